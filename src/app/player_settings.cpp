#include "app/player_settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <strings.h>

#include "app/shell.h"
#include "app/shell_internal.h"
#include "files/read_file.h"
#include "files/safe_write.h"

namespace dv {

namespace {

struct WindowSize {
    int Width, Height;
};
constexpr WindowSize kWindowSizes[] = {{640, 480},  {800, 600},  {1024, 768}, {1280, 720},
                                       {1366, 768}, {1600, 900}, {1920, 1080}};
constexpr int kVolumeStep = 10;
constexpr int kMinDeadZone = 4;
constexpr int kMaxDeadZone = 44;
constexpr int kDeadZoneStep = 2;

// Keys the game keeps for itself: quit, the menu, the saves, full screen, screenshots.
bool Reserved(int code) {
    return code == kVkEscape || code == 'P' || code == kVkEnter || code == kVkBackspace || code == kVkF1 + 4 ||
           code == kVkF1 + 8 || code == kVkF1 + 9 || code == kVkF1 + 10 || code == kVkF1 + 11;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool ParseWhole(std::string_view text, int low, int high, int& out) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    out = v;
    return true;
}

bool ParseBool(std::string_view text, bool& out) {
    const std::string t(text);
    for (const char* yes : {"yes", "on", "true", "1"}) {
        if (strcasecmp(t.c_str(), yes) == 0) return out = true, true;
    }
    for (const char* no : {"no", "off", "false", "0"}) {
        if (strcasecmp(t.c_str(), no) == 0) return out = false, true;
    }
    return false;
}

// Skipped lines told one by one; the rest are counted in one line.
constexpr int kMaxSkippedLinesTold = 20;

// Shown in a warning: printable bytes, at most 40 of them.
std::string Shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) out.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    return out;
}

// The setting `name` from `value`; an empty result means it applied.
std::string ApplyLine(std::string_view name, std::string_view value, PlayerSettings& s) {
    struct Percent {
        const char* Name;
        int* Value;
    };
    const Percent percents[] = {{"master_volume", &s.MasterVolume},
                                {"effects_volume", &s.EffectsVolume},
                                {"ambience_volume", &s.AmbienceVolume},
                                {"music_volume", &s.MusicVolume}};
    for (const Percent& p : percents) {
        if (name != p.Name) continue;
        if (!ParseWhole(value, 0, 100, *p.Value)) return "'" + Shown(value) + "' is not a whole number from 0 to 100";
        return {};
    }
    if (name == "window_width" || name == "window_height") {
        int& side = name == "window_width" ? s.WindowWidth : s.WindowHeight;
        if (!ParseWhole(value, kMinWindowSide, kMaxWindowSide, side))
            return "'" + Shown(value) + "' is not a whole number of pixels from " + std::to_string(kMinWindowSide) +
                   " to " + std::to_string(kMaxWindowSide);
        return {};
    }
    if (name == "pad_dead_zone") {
        if (!ParseWhole(value, kMinDeadZone, kMaxDeadZone, s.PadDeadZone))
            return "'" + Shown(value) + "' is not a whole number from " + std::to_string(kMinDeadZone) + " to " +
                   std::to_string(kMaxDeadZone);
        return {};
    }
    struct Switch {
        const char* Name;
        bool* Value;
    };
    const Switch switches[] = {{"full_screen", &s.FullScreen},        {"vertical_sync", &s.VerticalSync},
                               {"show_frame_rate", &s.ShowFrameRate}, {"invert_camera_tilt", &s.Keys.InvertTilt},
                               {"show_level_time", &s.ShowLevelTime}, {"shadows", &s.Shadows}};
    for (const Switch& w : switches) {
        if (name != w.Name) continue;
        if (!ParseBool(value, *w.Value)) return "'" + Shown(value) + "' is neither yes nor no";
        return {};
    }
    for (int k = 0; k < kGameKeyCount; ++k) {
        if (name != std::string("key_") + GameKeyId(static_cast<GameKey>(k))) continue;
        const int code = KeyCodeFromName(std::string(value).c_str());
        if (code < 0) return "unknown key '" + Shown(value) + "'";
        if (Reserved(code)) return "key '" + Shown(value) + "' is kept by the game";
        s.Keys.Code[k] = static_cast<uint8_t>(code);
        return {};
    }
    return "unknown setting '" + Shown(name) + "'";
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

void StepPercent(int& value, int step) { value = std::clamp(value + step * kVolumeStep, 0, 100); }

void StepWindowSize(PlayerSettings& s, int step) {
    constexpr int count = static_cast<int>(std::size(kWindowSizes));
    int at = 0;
    while (at < count && kWindowSizes[at].Width * kWindowSizes[at].Height < s.WindowWidth * s.WindowHeight) ++at;
    const bool exact =
        at < count && kWindowSizes[at].Width == s.WindowWidth && kWindowSizes[at].Height == s.WindowHeight;
    at = step > 0 ? (exact ? at + 1 : at) : at - 1;
    at = std::clamp(at, 0, count - 1);
    s.WindowWidth = kWindowSizes[at].Width;
    s.WindowHeight = kWindowSizes[at].Height;
}

}  // namespace

// A shell without player folders (tests, benchmarks) keeps its settings to itself.
void SavePlayerSettings(Shell& shell) {
    if (shell.Setup().Folders.SettingsPath.empty()) return;
    std::string error;
    if (!WritePlayerSettings(shell.Setup().Folders.SettingsPath, shell.Settings(), error)) shell.Notify(error);
}

void ParsePlayerSettings(std::string_view text, const std::string& name, PlayerSettings& out,
                         std::vector<std::string>& warnings) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const KeyBindings before = out.Keys;
    int lastKeyLine = 0;
    int lineNo = 0;
    int skipped = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNo;
        if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
        const size_t eq = line.find('=');
        std::string what;
        if (eq == std::string_view::npos) what = "expected 'name = value'";
        else what = ApplyLine(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), out);
        if (what.empty()) {
            if (line.substr(0, 4) == "key_") lastKeyLine = lineNo;
        } else if (++skipped <= kMaxSkippedLinesTold) {
            warnings.push_back(name + ":" + std::to_string(lineNo) + ": " + what + "; line skipped");
        }
    }
    if (skipped > kMaxSkippedLinesTold) {
        warnings.push_back(name + ": " + std::to_string(skipped - kMaxSkippedLinesTold) + " more lines skipped");
    }
    // Keys are checked once all are read, so that a file may swap two of them.
    for (int k = 0; k < kGameKeyCount; ++k) {
        for (int other = k + 1; other < kGameKeyCount; ++other) {
            if (out.Keys.Code[k] != out.Keys.Code[other]) continue;
            warnings.push_back(name + ":" + std::to_string(lastKeyLine) + ": key '" + KeyName(out.Keys.Code[k]) +
                               "' is bound to both " + GameKeyId(static_cast<GameKey>(k)) + " and " +
                               GameKeyId(static_cast<GameKey>(other)) + "; the keys stay as they were");
            const bool invert = out.Keys.InvertTilt;
            out.Keys = before;
            out.Keys.InvertTilt = invert;
            return;
        }
    }
}

void ReadPlayerSettings(const std::string& path, PlayerSettings& out, std::vector<std::string>& warnings) {
    std::string text, error;
    const FileRead got = ReadWholeFile(path, kMaxPlayerSettingsBytes, text, error);
    if (got == FileRead::Refused) warnings.push_back(error + "; the defaults apply");
    if (got == FileRead::Read) ParsePlayerSettings(text, path, out, warnings);
}

std::string FormatPlayerSettings(const PlayerSettings& s) {
    const auto yesNo = [](bool on) { return on ? "yes" : "no"; };
    std::ostringstream out;
    out << "# Dedivirede's settings, written by the game's settings page.\n"
        << "[sound]\n"
        << "master_volume = " << s.MasterVolume << "\n"
        << "effects_volume = " << s.EffectsVolume << "\n"
        << "ambience_volume = " << s.AmbienceVolume << "\n"
        << "music_volume = " << s.MusicVolume << "\n"
        << "[video]\n"
        << "window_width = " << s.WindowWidth << "\n"
        << "window_height = " << s.WindowHeight << "\n"
        << "full_screen = " << yesNo(s.FullScreen) << "\n"
        << "vertical_sync = " << yesNo(s.VerticalSync) << "\n"
        << "show_frame_rate = " << yesNo(s.ShowFrameRate) << "\n"
        << "show_level_time = " << yesNo(s.ShowLevelTime) << "\n"
        << "shadows = " << yesNo(s.Shadows) << "\n"
        << "[controls]\n"
        << "invert_camera_tilt = " << yesNo(s.Keys.InvertTilt) << "\n"
        << "pad_dead_zone = " << s.PadDeadZone << "\n";
    for (int k = 0; k < kGameKeyCount; ++k)
        out << "key_" << GameKeyId(static_cast<GameKey>(k)) << " = " << KeyName(s.Keys.Code[k]) << "\n";
    return out.str();
}

bool WritePlayerSettings(const std::string& path, const PlayerSettings& settings, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return WriteFileSafely(path, FormatPlayerSettings(settings), error);
}

std::vector<std::string> SettingsLines(const Shell& shell) {
    const PlayerSettings& s = shell.Settings();
    const auto percent = [](const char* label, int value) {
        return std::string(label) + "   " + std::to_string(value) + " %";
    };
    std::vector<std::string> lines = {
        percent("Master volume", s.MasterVolume),
        percent("Effects volume", s.EffectsVolume),
        percent("Ambience volume", s.AmbienceVolume),
        percent("Music volume", s.MusicVolume),
        "Window size   " + std::to_string(s.WindowWidth) + " x " + std::to_string(s.WindowHeight),
        std::string("Full screen   ") + OnOff(s.FullScreen),
        std::string("Vertical sync   ") + OnOff(s.VerticalSync),
        std::string("Show frame rate   ") + OnOff(s.ShowFrameRate),
        std::string("Invert camera tilt   ") + OnOff(s.Keys.InvertTilt),
        percent("Pad dead zone", s.PadDeadZone),
        std::string("Show level time   ") + OnOff(s.ShowLevelTime),
        std::string("Shadows   ") + OnOff(s.Shadows),
    };
    for (int k = 0; k < kGameKeyCount; ++k)
        lines.push_back(std::string(GameKeyLabel(static_cast<GameKey>(k))) + "   " + KeyName(s.Keys.Code[k]));
    lines.emplace_back("Back");
    return lines;
}

void ChangeSetting(Shell& shell, int line, int step) {
    PlayerSettings& s = ShellInternals::Settings(shell);
    switch (line) {
        case 0: StepPercent(s.MasterVolume, step); break;
        case 1: StepPercent(s.EffectsVolume, step); break;
        case 2: StepPercent(s.AmbienceVolume, step); break;
        case 3: StepPercent(s.MusicVolume, step); break;
        case 4: StepWindowSize(s, step); break;
        case 5: s.FullScreen = !s.FullScreen; break;
        case 6: s.VerticalSync = !s.VerticalSync; break;
        case 7: s.ShowFrameRate = !s.ShowFrameRate; break;
        case 8: s.Keys.InvertTilt = !s.Keys.InvertTilt; break;
        case 9: s.PadDeadZone = std::clamp(s.PadDeadZone + step * kDeadZoneStep, kMinDeadZone, kMaxDeadZone); break;
        case 10: s.ShowLevelTime = !s.ShowLevelTime; break;
        case 11: s.Shadows = !s.Shadows; break;
        default: return;
    }
    shell.ApplySettings();
    SavePlayerSettings(shell);
}

void BindKey(Shell& shell, int line, int code) {
    const int k = line - kSettingValueLines;
    if (k < 0 || k >= kGameKeyCount) return;
    PlayerSettings& s = ShellInternals::Settings(shell);
    const auto key = static_cast<GameKey>(k);
    if (Reserved(code)) {
        shell.Notify(KeyName(code) + " is kept by the game; " + GameKeyLabel(key) + " stays on " +
                     KeyName(s.Keys.Code[k]));
        return;
    }
    for (int other = 0; other < kGameKeyCount; ++other) {
        if (other != k && s.Keys.Code[other] == code) {
            shell.Notify(KeyName(code) + " is already bound to " + GameKeyLabel(static_cast<GameKey>(other)) +
                         "; choose another key");
            return;
        }
    }
    s.Keys.Code[k] = static_cast<uint8_t>(code);
    SavePlayerSettings(shell);
}

std::string RebindPrompt(const Shell& shell) {
    const int k = shell.Menu.Selected() - kSettingValueLines;
    if (k < 0 || k >= kGameKeyCount) return {};
    return std::string("Press a key for ") + GameKeyLabel(static_cast<GameKey>(k)) + " (Backspace: keep)";
}

}  // namespace dv
