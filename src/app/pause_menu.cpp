#include "app/pause_menu.h"

#include <algorithm>

#include "input/keyboard.h"

namespace dv {

namespace {

constexpr int kVkF10 = kVkF1 + 9;

}  // namespace

const char* MainItemText(MainItem item) {
    switch (item) {
        case MainItem::Resume: return "Resume";
        case MainItem::Save: return "Save";
        case MainItem::Load: return "Load";
        case MainItem::Settings: return "Settings";
        case MainItem::Photo: return "Photo mode";
        case MainItem::Restart: return "Restart level";
        case MainItem::Quit: return "Quit";
    }
    return "";
}

bool IsMenuKey(int code) { return code == 'P' || code == kVkF10; }

void PauseMenu::Open() {
    open_ = true;
    Show(MenuPage::Main, 0);
}

void PauseMenu::SetSettingsShape(int lines, int firstKeyLine, int keyLines) {
    settingsLines_ = std::max(1, lines);
    firstKeyLine_ = firstKeyLine;
    keyLines_ = keyLines;
}

void PauseMenu::Show(MenuPage page, int selected) {
    page_ = page;
    selected_ = selected;
}

int PauseMenu::LineCount() const {
    switch (page_) {
        case MenuPage::Main: return kMainItemCount;
        case MenuPage::SaveSlots:
        case MenuPage::LoadSlots: return kSaveSlotCount + 1;  // the slots, then Back
        case MenuPage::Settings: return settingsLines_;
        case MenuPage::Rebind:
        case MenuPage::Photo: return 1;
    }
    return 1;
}

MenuResult PauseMenu::HandleKey(int code) {
    MenuResult result;
    if (page_ == MenuPage::Rebind) {
        Show(MenuPage::Settings, rebindLine_);
        if (code == kVkBackspace) return result;
        result.Command = MenuCommand::BindKey;
        result.Line = rebindLine_;
        result.Key = code;
        return result;
    }
    if (IsMenuKey(code)) {
        open_ = false;
        result.Command = MenuCommand::Resume;
        return result;
    }
    const int lines = LineCount();
    switch (code) {
        case kVkUp: selected_ = (selected_ + lines - 1) % lines; break;
        case kVkDown: selected_ = (selected_ + 1) % lines; break;
        case kVkLeft:
        case kVkRight:
            if (page_ == MenuPage::Settings && selected_ < firstKeyLine_) {
                result.Command = MenuCommand::ChangeSetting;
                result.Line = selected_;
                result.Step = code == kVkLeft ? -1 : 1;
            }
            break;
        case kVkEnter:
        case kVkAlt: return Choose();
        case kVkBackspace:
        case kVkCtrl:
            if (page_ == MenuPage::Main) {
                open_ = false;
                result.Command = MenuCommand::Resume;
            } else {
                const MainItem from = page_ == MenuPage::Settings    ? MainItem::Settings
                                      : page_ == MenuPage::LoadSlots ? MainItem::Load
                                      : page_ == MenuPage::Photo     ? MainItem::Photo
                                                                     : MainItem::Save;
                Show(MenuPage::Main, static_cast<int>(from));
            }
            break;
        default: break;
    }
    return result;
}

MenuResult PauseMenu::Choose() {
    MenuResult result;
    switch (page_) {
        case MenuPage::Main:
            switch (static_cast<MainItem>(selected_)) {
                case MainItem::Resume:
                    open_ = false;
                    result.Command = MenuCommand::Resume;
                    break;
                case MainItem::Save: Show(MenuPage::SaveSlots, 0); break;
                case MainItem::Load: Show(MenuPage::LoadSlots, 0); break;
                case MainItem::Settings: Show(MenuPage::Settings, 0); break;
                case MainItem::Restart:
                    open_ = false;
                    result.Command = MenuCommand::Restart;
                    break;
                case MainItem::Photo:
                    Show(MenuPage::Photo, 0);
                    result.Command = MenuCommand::Photo;
                    break;
                case MainItem::Quit: result.Command = MenuCommand::Quit; break;
            }
            break;
        case MenuPage::SaveSlots:
        case MenuPage::LoadSlots:
            if (selected_ == kSaveSlotCount) {
                Show(MenuPage::Main, static_cast<int>(page_ == MenuPage::SaveSlots ? MainItem::Save : MainItem::Load));
                break;
            }
            result.Command = page_ == MenuPage::SaveSlots ? MenuCommand::SaveSlot : MenuCommand::LoadSlot;
            result.Slot = selected_;
            break;
        case MenuPage::Settings:
            if (selected_ == settingsLines_ - 1) {
                Show(MenuPage::Main, static_cast<int>(MainItem::Settings));
            } else if (selected_ >= firstKeyLine_ && selected_ < firstKeyLine_ + keyLines_) {
                rebindLine_ = selected_;
                page_ = MenuPage::Rebind;
            } else {
                result.Command = MenuCommand::ChangeSetting;
                result.Line = selected_;
                result.Step = 1;
            }
            break;
        case MenuPage::Rebind:
        case MenuPage::Photo: break;
    }
    return result;
}

}  // namespace dv
