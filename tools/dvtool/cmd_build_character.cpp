// dvtool build-character: builds the character from its sources and writes it into a level
// as movable 0, optionally with a contact sheet of its clips.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/character/character_build.h"
#include "tools/character/character_sheet.h"
#include "tools/dvtool/commands.h"
#include "world/level_file.h"
#include "world/level_sounds.h"

namespace dvtool {
namespace {

constexpr const char* kUsage =
    "usage: dvtool build-character SRCDIR OUT.lev [--level IN.lev] [--sheet OUT.png] "
    "[--sheet-clips ID,ID,...] [--sheet-frames N] [--sheet-zoom N] [--sheet-yaw DEG]\n";

// A whole number from lo to hi, nothing else.
bool ParseInt(const char* text, int lo, int hi, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseIds(const std::string& text, std::vector<int>& out) {
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t comma = std::min(text.find(',', pos), text.size());
        const std::string item = text.substr(pos, comma - pos);
        if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos || item.size() > 6) return false;
        out.push_back(std::stoi(item));
        pos = comma + 1;
    }
    return true;
}

}  // namespace

int BuildCharacterCommand(int argc, char** argv) {
    std::vector<std::string> positional;
    std::string inLevel, sheet;
    std::vector<int> sheetClips;
    int sheetFrames = 4;
    int sheetZoom = 1;
    float sheetYaw = -35.0f;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--level" && hasValue) {
            inLevel = argv[++i];
        } else if (a == "--sheet" && hasValue) {
            sheet = argv[++i];
        } else if (a == "--sheet-clips" && hasValue) {
            if (!ParseIds(argv[++i], sheetClips)) {
                std::fprintf(stderr, "build-character: --sheet-clips: '%s' is not a list of clip ids\n", argv[i]);
                return 2;
            }
        } else if (a == "--sheet-frames" && hasValue) {
            if (!ParseInt(argv[++i], 1, 16, sheetFrames)) {
                std::fprintf(stderr, "build-character: --sheet-frames: '%s' is not a number from 1 to 16\n", argv[i]);
                return 2;
            }
        } else if (a == "--sheet-zoom" && hasValue) {
            if (!ParseInt(argv[++i], 1, 8, sheetZoom)) {
                std::fprintf(stderr, "build-character: --sheet-zoom: '%s' is not a number from 1 to 8\n", argv[i]);
                return 2;
            }
        } else if (a == "--sheet-yaw" && hasValue) {
            char* end = nullptr;
            sheetYaw = std::strtof(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(sheetYaw >= -360.0f && sheetYaw <= 360.0f)) {
                std::fprintf(stderr, "build-character: --sheet-yaw: '%s' is not an angle in degrees\n", argv[i]);
                return 2;
            }
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "build-character: unknown or incomplete option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        const dv::CharacterSource source = dv::LoadCharacterSource(positional[0]);
        const dv::BuiltCharacter built = dv::BuildCharacter(source);
        dv::LevelFileData level;
        if (inLevel.empty()) {
            level = dv::CharacterOnlyLevel(built);
        } else {
            dv::ParseLevelFile(inLevel, level);
            dv::AddCharacterToLevel(level, built);
        }
        // Check the result the way the game's reader will before anything is written.
        const std::vector<uint8_t> bytes = dv::WriteLevel(level);
        dv::LevelFileData check;
        dv::ParseLevel(bytes.data(), bytes.size(), positional[1], check);
        if (!sheet.empty()) WriteCharacterSheet(built, sheetClips, sheetFrames, sheetZoom, sheetYaw, sheet);
        dv::WriteLevelFile(positional[1], level);
        // The footfalls go beside the pack, where the level compiler finds them.
        dv::LevelSounds sounds;
        for (const dv::CharacterClipSource& clip : source.Clips)
            if (!clip.Footfalls.empty()) sounds.Footfalls.push_back({clip.Id, clip.Footfalls});
        std::string error;
        if (!dv::WriteLevelSoundsFile(dv::LevelSoundsPath(positional[1]), sounds, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
        std::printf("%s: %d vertices, %d faces, %d bones, %d clips, %zu textures\n", positional[1].c_str(),
                    built.Model.VertexCount, built.Model.FaceCount, built.Skeleton.BoneCount, built.Movable.ClipCount,
                    built.Textures.size());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
