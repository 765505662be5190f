// The player's settings: kept in settings.ini as "name = value" lines, shown and changed on
// the pause menu's settings page. The shell owns one PlayerSettings and applies it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "input/key_bindings.h"

namespace dv {

class Shell;

struct PlayerSettings {
    int MasterVolume = 100;  // percent, 0 to 100
    int EffectsVolume = 100;
    int AmbienceVolume = 100;
    int MusicVolume = 100;
    int WindowWidth = 800;
    int WindowHeight = 600;
    bool FullScreen = false;
    bool VerticalSync = true;
    bool ShowFrameRate = true;
    int PadDeadZone = 24;        // percent of the stick's travel
    bool ShowLevelTime = false;  // the level's time in the overlay
    bool Shadows = true;         // the character's shadow on the ground
    KeyBindings Keys;            // with the camera's InvertTilt
};

inline constexpr int kMinWindowSide = 320;
inline constexpr int kMaxWindowSide = 16384;
inline constexpr size_t kMaxPlayerSettingsBytes = 1u << 20;

// Parses the text of a settings file named `name`. A line that cannot be read (no '=', an
// unknown name, a value out of range, a key bound twice) is skipped with a warning
// "NAME:LINE: what was wrong" in `warnings`; the other lines still apply over `out`.
void ParsePlayerSettings(std::string_view text, const std::string& name, PlayerSettings& out,
                         std::vector<std::string>& warnings);
// A missing file leaves `out` as it is (the defaults) and warns of nothing; one that cannot be
// read (a folder, a FIFO, larger than kMaxPlayerSettingsBytes) warns once and leaves it too.
void ReadPlayerSettings(const std::string& path, PlayerSettings& out, std::vector<std::string>& warnings);
std::string FormatPlayerSettings(const PlayerSettings& settings);
// Writes safely (files/safe_write.h) over `path`, making its folder when needed.
bool WritePlayerSettings(const std::string& path, const PlayerSettings& settings, std::string& error);

// Writes the shell's settings to its settings file, telling the player when that fails.
void SavePlayerSettings(Shell& shell);

// The settings page: its lines as the menu shows them (Back last), which of them are keys.
inline constexpr int kSettingValueLines = 12;
inline constexpr int kSettingsLineCount = kSettingValueLines + kGameKeyCount + 1;
std::vector<std::string> SettingsLines(const Shell& shell);
// Left (-1) or right (+1) on line `line`: the value steps, and the settings are applied and
// written.
void ChangeSetting(Shell& shell, int line, int step);
// Binds `code` to the key of line `line`, unless another action has it or the game keeps it
// for itself (then the player is told and nothing changes).
void BindKey(Shell& shell, int line, int code);
std::string RebindPrompt(const Shell& shell);

}  // namespace dv
