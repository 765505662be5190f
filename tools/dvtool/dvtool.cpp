// dvtool: inspection and content building for Dedivirede levels and pictures.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "tools/dvtool/commands.h"

std::string dvtool::ToolFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : self.parent_path().string() + "/";
}

namespace {

struct Command {
    const char* name;
    const char* usage;
    const char* help;                   // what the command does, its inputs and outputs
    int (*run)(int argc, char** argv);  // argv[0] is the command name
};

// One row per command; each command lives in its own tools/cmd_*.cpp.
constexpr Command kCommands[] = {
    {"help", "help [COMMAND]", "Lists the commands, or explains one.\n", nullptr},
    {"build-level", "build-level SRC OUT.lev [--strict]",
     "Compiles the level source SRC (see docs/level-format.md) into the level file OUT.lev and\n"
     "bakes its lightmaps beside it as <name>_lm0.bmp, <name>_lm1.bmp, ... Old lightmaps of the\n"
     "same name are left alone; remove them first when the level has fewer now. Prints the\n"
     "warnings of check-level on stderr; with --strict they are errors and nothing is written.\n",
     dvtool::BuildLevel},
    {"check-level", "check-level SRC",
     "Compiles the level source SRC in memory and prints, one line FILE:LINE: message each, what\n"
     "the compiler accepts but leaves the level broken: a start without headroom or off the floor,\n"
     "rooms no portal path reaches, no exit or an exit no chain of the character's moves reaches,\n"
     "lights and ambience outside their room or reaching another room through a wall, objects in\n"
     "solid cells, door cells without a matching door. Exit status 1 when there are warnings.\n",
     dvtool::CheckLevelCommand},
    {"check-route", "check-route SRC REPLAY [--step-ms N] [--no-title]",
     "Plays the level SRC (a source or a level file) headless in the game beside dvtool, with the\n"
     "keys of the replay file REPLAY on the virtual clock (N ms a tick, default 40), and prints\n"
     "the clock at which the character reaches the exit (status 0), or where the run ended\n"
     "without reaching it, as an --at place (status 1). The run uses settings of its own and goes\n"
     "on 30 s after the replay's last key. --no-title for a replay recorded without the title.\n",
     dvtool::CheckRouteCommand},
    {"build-font", "build-font FONT.ttf OUT.fnx [PIXELS]",
     "Renders the overlay's bitmap font from a TrueType font at PIXELS high (6..128, default 16).\n",
     dvtool::BuildFont},
    {"build-pictures", "build-pictures FONT.ttf OUTDIR",
     "Paints the title and closing pictures, OUTDIR/title1.jpg and OUTDIR/title2.jpg, with their\n"
     "captions set in FONT.ttf, and the level cards OUTDIR/card_hall.jpg, card_cistern.jpg and\n"
     "card_tower.jpg (without text: the game writes the level's name over their foot).\n",
     dvtool::BuildPictures},
    {"build-icon", "build-icon FONT.ttf OUT.png [SIZE]",
     "Paints the desktop icon, a SIZE x SIZE PNG (16..512, default 128) cut from the title picture.\n",
     dvtool::BuildIcon},
    {"build-sounds", "build-sounds SRCDIR OUTDIR",
     "Synthesises the game's sounds from the sources SRCDIR/*.txt (see docs/sounds.md) into OUTDIR:\n"
     "effects as 16-bit mono WAV, ambience loops as mono and music as stereo Ogg Vorbis, all 48 kHz.\n"
     "Nothing is written when a source is wrong.\n",
     dvtool::BuildSounds},
    {"sound-sheet", "sound-sheet SRCDIR FONT.ttf OUT.png",
     "Synthesises the sounds of SRCDIR as build-sounds does and draws, per sound, its name, length\n"
     "and peak, its waveform (full scale, 0.95 marked) and its spectrogram (30 Hz to 24 kHz, log\n"
     "scale) into the PNG OUT.png, labels set in FONT.ttf.\n",
     dvtool::SoundSheet},
    {"view-level", "view-level LEVEL OUTDIR",
     "Renders every room of LEVEL headless as the game draws it into OUTDIR/room<i>.png (800 x 600),\n"
     "from a camera near the room's south wall looking north (OUTDIR is made when missing). The\n"
     "lightmaps are read from the level's folder.\n",
     dvtool::ViewLevel},
    {"image", "image IN OUT.pam",
     "Decodes the picture IN by its extension, as the game's texture loader does, and writes its\n"
     "pixels as a PAM file (TUPLTYPE RGB_ALPHA).\n",
     dvtool::RunImage},
    {"level-info", "level-info FILE",
     "Prints a JSON summary of a level file: textures, animated sets, movables, objects, models,\n"
     "skeletons, animations, lightmaps, start room and position, rooms, boxes and words.\n",
     dvtool::RunLevelInfo},
    {"surface", "surface FILE ROOM X Z",
     "Prints, as JSON, the floor and ceiling under the point (X, Z) of a level, starting the search\n"
     "in room ROOM: floor, floorNormal, ceiling, ceilingNormal, room, inside, border, column, row.\n",
     dvtool::RunSurface},
    {"build-character",
     "build-character SRCDIR OUT.lev [--level IN.lev] [--sheet OUT.png] [--sheet-clips ID,ID,...] "
     "[--sheet-frames N] [--sheet-zoom N] [--sheet-yaw DEG]",
     "Builds the character (skeleton, skinned mesh, texture and clips) from the sources in SRCDIR\n"
     "and writes it as movable 0 into OUT.lev: a movable pack for a level source's `character`\n"
     "statement, or, with --level, a copy of IN.lev with the character in it. --sheet also paints a\n"
     "contact sheet of the chosen clips and frames.\n",
     dvtool::BuildCharacterCommand},
    {"view-character", "view-character LEVEL OUTDIR CLIP:FRAME...",
     "Renders the level's character (movable 0) headless as the game draws it, at the level's start\n"
     "seen from in front and to its left, one OUTDIR/character_<clip>_<frame>.png (800 x 600) per pose.\n",
     dvtool::ViewCharacter},
};

const Command* FindCommand(std::string_view name) {
    for (const Command& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

void PrintUsage(FILE* out) {
    std::fputs("usage: dvtool <command> [args]\n       dvtool help <command>\ncommands:\n", out);
    for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
}

void PrintCommandHelp(const Command& c) { std::printf("usage: dvtool %s\n\n%s", c.usage, c.help); }

bool IsHelpFlag(std::string_view arg) { return arg == "--help" || arg == "-h"; }

int RunHelp(int argc, char** argv) {
    if (argc < 3) {
        PrintUsage(stdout);
        return 0;
    }
    const Command* c = FindCommand(IsHelpFlag(argv[2]) ? "help" : argv[2]);
    if (c == nullptr) {
        std::fprintf(stderr, "dvtool: unknown command '%s'\n", argv[2]);
        PrintUsage(stderr);
        return 2;
    }
    PrintCommandHelp(*c);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string_view name = argv[1];
    if (name == "help" || IsHelpFlag(name)) return RunHelp(argc, argv);
    const Command* c = FindCommand(name);
    if (c == nullptr) {
        std::fprintf(stderr, "dvtool: unknown command '%s'\n", argv[1]);
        PrintUsage(stderr);
        return 2;
    }
    if (argc >= 3 && IsHelpFlag(argv[2])) {
        PrintCommandHelp(*c);
        return 0;
    }
    return c->run(argc - 1, argv + 1);
}
