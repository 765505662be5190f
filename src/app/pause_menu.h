// The pause menu: which page is shown, which line is selected, and what a key does there.
// It only keeps the menu's own state; the shell carries out what it asks for (a save, a
// load, a restart, a changed setting) and draws it with the bitmap font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

// Photo: the menu is hidden while the photo camera flies; the game stays paused.
enum class MenuPage : uint8_t { Main, SaveSlots, LoadSlots, Settings, Rebind, Photo };

enum class MenuCommand : uint8_t {
    None,
    Resume,
    SaveSlot,  // MenuResult::Slot
    LoadSlot,  // MenuResult::Slot
    Restart,
    Quit,
    ChangeSetting,  // MenuResult::Line of the settings page, MenuResult::Step -1 or +1
    BindKey,        // MenuResult::Line of the settings page, MenuResult::Key the new key
    Photo,          // the photo mode page was chosen
};

struct MenuResult {
    MenuCommand Command = MenuCommand::None;
    int Slot = 0;
    int Line = 0;
    int Step = 0;
    int Key = 0;
};

// The main page's lines, in order.
enum class MainItem : uint8_t { Resume, Save, Load, Settings, Photo, Restart, Quit };
inline constexpr int kMainItemCount = 7;
const char* MainItemText(MainItem item);

// Save slots: 0 is the quick slot of F5 and F9, then the numbered ones.
inline constexpr int kSaveSlotCount = 5;

class PauseMenu {
public:
    bool IsOpen() const { return open_; }
    void Open();
    void Close() { open_ = false; }
    MenuPage Page() const { return page_; }
    int Selected() const { return selected_; }
    // The settings page has `lines` lines, of which `keyLines` (from `firstKeyLine` on) are
    // key bindings chosen with Enter; the last line is Back.
    void SetSettingsShape(int lines, int firstKeyLine, int keyLines);

    // A key pressed while the menu is open: Up and Down move, Enter or Alt (the pad's A)
    // chooses, Left and Right change a setting, Backspace or Ctrl (the pad's B) goes back a
    // page; P, F10 and the pad's Start close it. On the rebinding prompt the next key is the
    // new one (Backspace cancels). In photo mode Backspace goes back to the main page.
    MenuResult HandleKey(int code);

private:
    int LineCount() const;
    MenuResult Choose();
    void Show(MenuPage page, int selected);

    bool open_ = false;
    MenuPage page_ = MenuPage::Main;
    int selected_ = 0;
    int settingsLines_ = 1;
    int firstKeyLine_ = 0;
    int keyLines_ = 0;
    int rebindLine_ = 0;
};

// True for the keys that open and close the menu (P, F10, the pad's Start sends F10).
bool IsMenuKey(int code);

}  // namespace dv
