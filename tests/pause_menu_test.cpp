// The pause menu's pages and keys, without a window.
#include <gtest/gtest.h>

#include "app/pause_menu.h"
#include "input/keyboard.h"

using dv::MenuCommand;
using dv::MenuPage;

namespace {

constexpr int kF10 = dv::kVkF1 + 9;

}  // namespace

TEST(PauseMenu, MovesWrapsAndChoosesOnTheMainPage) {
    dv::PauseMenu menu;
    menu.Open();
    EXPECT_TRUE(menu.IsOpen());
    EXPECT_EQ(menu.Selected(), 0);
    menu.HandleKey(dv::kVkUp);
    EXPECT_EQ(menu.Selected(), dv::kMainItemCount - 1);  // Quit
    EXPECT_EQ(menu.HandleKey(dv::kVkEnter).Command, MenuCommand::Quit);
    menu.HandleKey(dv::kVkDown);
    EXPECT_EQ(menu.Selected(), 0);
    const dv::MenuResult resume = menu.HandleKey(dv::kVkAlt);  // the pad's A
    EXPECT_EQ(resume.Command, MenuCommand::Resume);
    EXPECT_FALSE(menu.IsOpen());

    menu.Open();
    EXPECT_EQ(menu.HandleKey('P').Command, MenuCommand::Resume);
    menu.Open();
    EXPECT_EQ(menu.HandleKey(kF10).Command, MenuCommand::Resume);
    EXPECT_TRUE(dv::IsMenuKey('P') && dv::IsMenuKey(kF10) && !dv::IsMenuKey(dv::kVkEscape));
}

TEST(PauseMenu, SlotPagesNameTheSlotAndGoBack) {
    dv::PauseMenu menu;
    menu.Open();
    menu.HandleKey(dv::kVkDown);
    menu.HandleKey(dv::kVkEnter);
    EXPECT_EQ(menu.Page(), MenuPage::SaveSlots);
    menu.HandleKey(dv::kVkDown);
    menu.HandleKey(dv::kVkDown);
    const dv::MenuResult save = menu.HandleKey(dv::kVkEnter);
    EXPECT_EQ(save.Command, MenuCommand::SaveSlot);
    EXPECT_EQ(save.Slot, 2);
    EXPECT_TRUE(menu.IsOpen());
    menu.HandleKey(dv::kVkBackspace);
    EXPECT_EQ(menu.Page(), MenuPage::Main);
    EXPECT_EQ(menu.Selected(), 1);  // back on Save

    menu.HandleKey(dv::kVkDown);
    menu.HandleKey(dv::kVkEnter);
    EXPECT_EQ(menu.Page(), MenuPage::LoadSlots);
    menu.HandleKey(dv::kVkUp);  // wraps to Back
    EXPECT_EQ(menu.HandleKey(dv::kVkEnter).Command, MenuCommand::None);
    EXPECT_EQ(menu.Page(), MenuPage::Main);
    EXPECT_EQ(menu.Selected(), 2);
}

TEST(PauseMenu, SettingsChangeWithArrowsAndRebindTakesTheNextKey) {
    dv::PauseMenu menu;
    menu.SetSettingsShape(6, 2, 3);  // two values, three keys, Back
    menu.Open();
    for (int i = 0; i < 3; ++i) menu.HandleKey(dv::kVkDown);
    menu.HandleKey(dv::kVkEnter);
    ASSERT_EQ(menu.Page(), MenuPage::Settings);
    dv::MenuResult r = menu.HandleKey(dv::kVkLeft);
    EXPECT_EQ(r.Command, MenuCommand::ChangeSetting);
    EXPECT_EQ(r.Line, 0);
    EXPECT_EQ(r.Step, -1);

    menu.HandleKey(dv::kVkDown);
    menu.HandleKey(dv::kVkDown);
    EXPECT_EQ(menu.HandleKey(dv::kVkRight).Command, MenuCommand::None);  // a key line has no value to step
    menu.HandleKey(dv::kVkEnter);
    EXPECT_EQ(menu.Page(), MenuPage::Rebind);
    r = menu.HandleKey('P');  // the menu key too is a key like any other here
    EXPECT_EQ(r.Command, MenuCommand::BindKey);
    EXPECT_EQ(r.Line, 2);
    EXPECT_EQ(r.Key, 'P');
    EXPECT_EQ(menu.Page(), MenuPage::Settings);
    EXPECT_TRUE(menu.IsOpen());

    menu.HandleKey(dv::kVkEnter);
    EXPECT_EQ(menu.HandleKey(dv::kVkBackspace).Command, MenuCommand::None);  // cancelled
    EXPECT_EQ(menu.Page(), MenuPage::Settings);
    menu.HandleKey(dv::kVkUp);
    menu.HandleKey(dv::kVkUp);
    menu.HandleKey(dv::kVkUp);  // wraps to Back
    menu.HandleKey(dv::kVkEnter);
    EXPECT_EQ(menu.Page(), MenuPage::Main);
}

// Photo mode is a page of its own with no lines: the menu stays open (the game paused) and
// hidden; Backspace goes back to the main page on its item, the menu keys back to the game.
TEST(PauseMenu, PhotoModeKeepsTheGamePausedUntilLeft) {
    dv::PauseMenu menu;
    menu.Open();
    for (int i = 0; i < 3; ++i) menu.HandleKey(dv::kVkUp);
    EXPECT_STREQ(dv::MainItemText(static_cast<dv::MainItem>(menu.Selected())), "Photo mode");
    EXPECT_EQ(menu.HandleKey(dv::kVkEnter).Command, MenuCommand::Photo);
    EXPECT_EQ(menu.Page(), MenuPage::Photo);
    EXPECT_TRUE(menu.IsOpen());
    EXPECT_EQ(menu.HandleKey(dv::kVkEnter).Command, MenuCommand::None);
    EXPECT_EQ(menu.Page(), MenuPage::Photo);
    EXPECT_EQ(menu.HandleKey(dv::kVkBackspace).Command, MenuCommand::None);
    EXPECT_EQ(menu.Page(), MenuPage::Main);
    EXPECT_EQ(menu.Selected(), static_cast<int>(dv::MainItem::Photo));
    menu.HandleKey(dv::kVkEnter);
    EXPECT_EQ(menu.HandleKey('P').Command, MenuCommand::Resume);
    EXPECT_FALSE(menu.IsOpen());
}
