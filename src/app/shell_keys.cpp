// The shell's key dispatch: Escape and full screen always, the pause menu while it is open,
// the menu and save keys in play, and the rest to the keyboard state.
#include "app/front_end.h"
#include "app/save_slots.h"
#include "app/shell.h"

namespace dv {

namespace {

constexpr int kVkF5 = kVkF1 + 4;
constexpr int kVkF9 = kVkF1 + 8;
constexpr int kVkF11 = kVkF1 + 10;

}  // namespace

void Shell::KeyDown(int code, uint8_t shift, bool repeat) {
    if (code == kVkEscape) {
        Keys.Press(code, shift);
        Close();
        return;
    }
    if (!repeat && (code == kVkF11 || (code == kVkEnter && (shift & kAltBit) != 0))) {
        ToggleFullScreen();
        return;
    }
    if (Paused()) {
        if (repeat && IsMenuKey(code)) return;
        if (PhotoKey(*this, code, true)) return;
        const MenuPage before = Menu.Page();
        const MenuResult result = Menu.HandleKey(code);
        const bool slotPage = Menu.Page() == MenuPage::SaveSlots || Menu.Page() == MenuPage::LoadSlots;
        if (slotPage && Menu.Page() != before) RefreshSlotLines(*this);
        if (Menu.Page() != MenuPage::Photo) LeavePhotoMode(*this);
        RunMenuCommand(*this, result);
        return;
    }
    if (InGame() && AuthorKeyDown(*this, code, repeat)) return;
    if (InGame() && !repeat) {
        if (IsMenuKey(code)) {
            OpenMenu();
            return;
        }
        if (code == kVkF5 || code == kVkF9) {
            if (code == kVkF5) SaveToSlot(*this, kQuickSlot);
            else LoadFromSlot(*this, kQuickSlot);
            return;
        }
    }
    Keys.Press(code, shift);
}

void Shell::KeyUp(int code, uint8_t shift) {
    PhotoKey(*this, code, false);
    AuthorKeyUp(*this, code);
    Keys.Release(code, shift);
}

}  // namespace dv
