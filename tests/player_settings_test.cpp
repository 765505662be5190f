// The settings file: what is read, what is skipped with a warning, what is written; and the
// key bindings as the character and the camera read them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/player_settings.h"
#include "character/character.h"
#include "motion/follow_camera.h"

namespace {

std::vector<std::string> Parse(const std::string& text, dv::PlayerSettings& s) {
    std::vector<std::string> warnings;
    dv::ParsePlayerSettings(text, "s.ini", s, warnings);
    return warnings;
}

}  // namespace

TEST(PlayerSettingsFile, ReadsEveryKindOfLineAndSkipsBadOnesWithTheirLineNumber) {
    dv::PlayerSettings s;
    const std::vector<std::string> warnings = Parse(
        "\xEF\xBB\xBF# comment\n[sound]\r\nmaster_volume = 40\r\nmusic_volume=101\n"
        "window_width = 1280\nwindow_height = 12\nfull_screen = yes\nvertical_sync = Off\n"
        "show_frame_rate = maybe\ninvert_camera_tilt = on\npad_dead_zone = 30\n"
        "key_jump = Space\nkey_let_go = F12\nkey_walk = NoSuchKey\nvolume\ncolour = red\n",
        s);
    EXPECT_EQ(s.MasterVolume, 40);
    EXPECT_EQ(s.MusicVolume, 100);
    EXPECT_EQ(s.WindowWidth, 1280);
    EXPECT_EQ(s.WindowHeight, 600);
    EXPECT_TRUE(s.FullScreen);
    EXPECT_FALSE(s.VerticalSync);
    EXPECT_TRUE(s.ShowFrameRate);
    EXPECT_TRUE(s.Keys.InvertTilt);
    EXPECT_EQ(s.PadDeadZone, 30);
    EXPECT_EQ(s.Keys.Of(dv::GameKey::Jump), dv::kVkSpace);
    EXPECT_EQ(s.Keys.Of(dv::GameKey::LetGo), dv::kVkCtrl);
    EXPECT_EQ(s.Keys.Of(dv::GameKey::Walk), dv::kVkShift);
    const std::vector<std::string> expected = {
        "s.ini:4: '101' is not a whole number from 0 to 100; line skipped",
        "s.ini:6: '12' is not a whole number of pixels from 320 to 16384; line skipped",
        "s.ini:9: 'maybe' is neither yes nor no; line skipped",
        "s.ini:13: key 'F12' is kept by the game; line skipped",
        "s.ini:14: unknown key 'NoSuchKey'; line skipped",
        "s.ini:15: expected 'name = value'; line skipped",
        "s.ini:16: unknown setting 'colour'; line skipped",
    };
    EXPECT_EQ(warnings, expected);
}

// A file of a thousand bad lines: the first twenty are told, the rest counted in one line.
TEST(PlayerSettingsFile, ManyBadLinesAreToldTwentyThenCounted) {
    dv::PlayerSettings s;
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "nonsense\n";
    text += "master_volume = 40\n";
    const std::vector<std::string> warnings = Parse(text, s);
    ASSERT_EQ(warnings.size(), 21u);
    EXPECT_EQ(warnings[19], "s.ini:20: expected 'name = value'; line skipped");
    EXPECT_EQ(warnings[20], "s.ini: 980 more lines skipped");
    EXPECT_EQ(s.MasterVolume, 40);
}

TEST(PlayerSettingsFile, KeysMaySwapButNotBeBoundTwice) {
    dv::PlayerSettings s;
    EXPECT_TRUE(Parse("key_forward = Down\nkey_back = Up\n", s).empty());
    EXPECT_EQ(s.Keys.Of(dv::GameKey::Forward), dv::kVkDown);
    EXPECT_EQ(s.Keys.Of(dv::GameKey::Back), dv::kVkUp);

    dv::PlayerSettings t;
    const std::vector<std::string> warnings =
        Parse("invert_camera_tilt = yes\nkey_jump = W\n\nkey_turn_around = W\n", t);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "s.ini:4: key 'W' is bound to both jump and turn_around; the keys stay as they were");
    EXPECT_EQ(t.Keys.Of(dv::GameKey::Jump), dv::kVkAlt);
    EXPECT_TRUE(t.Keys.InvertTilt);
}

TEST(PlayerSettingsFile, WrittenFileReadsBackTheSameAndAMissingOneIsTheDefaults) {
    const std::string dir = ::testing::TempDir() + "dvsettings" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    const std::string path = dir + "/sub/settings.ini";
    dv::PlayerSettings s;
    std::vector<std::string> warnings;
    dv::ReadPlayerSettings(path, s, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(dv::FormatPlayerSettings(s), dv::FormatPlayerSettings(dv::PlayerSettings{}));

    s.EffectsVolume = 30;
    s.WindowWidth = 1920;
    s.WindowHeight = 1080;
    s.ShowFrameRate = false;
    s.Keys.Code[static_cast<int>(dv::GameKey::SwingLeft)] = '7';
    std::string error;
    ASSERT_TRUE(dv::WritePlayerSettings(path, s, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    dv::PlayerSettings back;
    dv::ReadPlayerSettings(path, back, warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(dv::FormatPlayerSettings(back), dv::FormatPlayerSettings(s));
}

TEST(KeyBindingsInput, ReboundKeysDriveTheCharacterAndTheCamera) {
    dv::KeyBindings b;
    b.Code[static_cast<int>(dv::GameKey::Jump)] = dv::kVkSpace;
    b.Code[static_cast<int>(dv::GameKey::Walk)] = 'W';
    b.InvertTilt = true;
    dv::KeyboardState keys;
    keys.Press(dv::kVkSpace, 0);
    keys.Press('W', 0);
    keys.Press('Q', 0);
    const dv::CharacterInput in = dv::CharacterInputFrom(keys, 0, b);
    EXPECT_TRUE(in.Jump && in.Alt && in.Shift);
    const dv::CameraInput cam = dv::CameraInputFrom(keys, b);
    EXPECT_TRUE(cam.TiltDown);
    EXPECT_FALSE(cam.TiltUp);

    // With the default keys, walking and the jump's Alt are the modifiers of the last event.
    dv::KeyboardState plain;
    plain.Press(dv::kVkAlt, dv::kAltBit);
    plain.Press(dv::kVkUp, dv::kShiftBit);
    const dv::CharacterInput d = dv::CharacterInputFrom(plain, 0);
    EXPECT_TRUE(d.Jump && d.Shift && d.Forward);
    EXPECT_FALSE(d.Alt);
}

// Every key code has a name that replay scripts and the settings file read back as that code;
// the keys of the menu, the saves and full screen have their own names.
TEST(KeyBindingsInput, KeyNamesReadBackAsTheirCodes) {
    for (int code = 0; code < 256; ++code) EXPECT_EQ(dv::KeyCodeFromName(dv::KeyName(code).c_str()), code) << code;
    EXPECT_EQ(dv::KeyName('P'), "P");
    EXPECT_EQ(dv::KeyName(dv::kVkF1 + 4), "F5");
    EXPECT_EQ(dv::KeyName(dv::kVkF1 + 8), "F9");
    EXPECT_EQ(dv::KeyName(dv::kVkF1 + 9), "F10");
    EXPECT_EQ(dv::KeyName(dv::kVkF1 + 10), "F11");
    EXPECT_EQ(dv::KeyName(dv::kVkEnter), "Enter");
    EXPECT_EQ(dv::KeyName(dv::kVkBackspace), "Backspace");
}
