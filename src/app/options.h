// The game's command line. With no arguments the game behaves exactly as a player expects;
// the options exist for testing, recording and level authors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

struct ScreenshotRequest {
    int32_t clockMs = 0;
    std::string path;
};

// Where --at starts the character: a room (its name in the source, or its number) and a
// place in cells within it, as the source's start statement; HEADING in degrees, 0 facing
// north (+Z), 90 east.
struct StartPlace {
    bool given = false;
    std::string room;
    float x = 0, z = 0;
    float heading = 0;
};

struct Options {
    bool headless = false;
    std::string dataDir;                   // empty: the executable's folder
    int32_t stepMs = 0;                    // 0: real clock; otherwise the virtual clock advances by this per idle event
    std::vector<std::string> replayPaths;  // one script per level, the first for the first
    std::string tracePath;
    std::vector<ScreenshotRequest> screenshots;
    int32_t quitAfterMs = -1;  // -1: never
    std::string statsPath;
    bool mute = false;         // no sound (an --audio-out record is then silence)
    std::string audioOutPath;  // the mix rendered offline, in step with the game clock
    std::string configDir;     // empty: the settings and saved games in the player's XDG folders
    int32_t canvasWidth = 0;   // browser only (--canvas WxH): a fixed canvas; 0 follows the page
    int32_t canvasHeight = 0;
    std::string levelPath;  // --level: this one level alone, no level list
    StartPlace at;          // --at
    bool noTitle = false;   // play at once, without the title picture
    bool showHelp = false;
    bool showVersion = false;
};

// Parses argv. On failure returns false with a one-line message in `error`.
bool ParseOptions(int argc, const char* const* argv, Options& out, std::string& error);

// The usage text printed by --help and after an option error.
const char* UsageText();

}  // namespace dv
