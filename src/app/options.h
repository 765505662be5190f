// The game's command line. With no arguments the game behaves exactly as a player expects;
// the options exist for testing, recording and level authors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

struct ScreenshotRequest {
    int32_t ClockMs = 0;
    std::string Path;
};

// --copy-at MS:FROM:TO: at clock MS the game copies FROM over TO (a test's edit of a watched
// source at a known tick).
struct FileCopyRequest {
    int32_t ClockMs = 0;
    std::string From, To;
};

// Where --at starts the character: a room (its name in the source, or its number) and a
// place in cells within it, as the source's start statement; HEADING in degrees, 0 facing
// north (+Z), 90 east.
struct StartPlace {
    bool Given = false;
    std::string Room;
    float X = 0, Z = 0;
    float Heading = 0;
};

struct Options {
    bool Headless = false;
    std::string DataDir;                   // empty: the executable's folder
    int32_t StepMs = 0;                    // 0: real clock; otherwise the virtual clock advances by this per idle event
    std::vector<std::string> ReplayPaths;  // one script per level, the first for the first
    std::string TracePath;
    std::vector<ScreenshotRequest> Screenshots;
    int32_t QuitAfterMs = -1;  // -1: never
    std::string StatsPath;
    bool Mute = false;         // no sound (an --audio-out record is then silence)
    std::string AudioOutPath;  // the mix rendered offline, in step with the game clock
    std::string ConfigDir;     // empty: the settings and saved games in the player's XDG folders
    int32_t CanvasWidth = 0;   // browser only (--canvas WxH): a fixed canvas; 0 follows the page
    int32_t CanvasHeight = 0;
    std::string LevelPath;  // --level: this one level alone, no level list
    StartPlace At;          // --at
    bool NoTitle = false;   // play at once, without the title picture
    bool Author = false;    // --author: the author keys (also bound by --watch)
    bool Watch = false;     // --watch: a level source played is compiled and swapped in again when it changes
    std::vector<FileCopyRequest> Copies;  // --copy-at
    bool ShowHelp = false;
    bool ShowVersion = false;
};

// Parses argv. On failure returns false with a one-line message in `error`.
bool ParseOptions(int argc, const char* const* argv, Options& out, std::string& error);

// The usage text printed by --help and after an option error.
const char* UsageText();

}  // namespace dv
