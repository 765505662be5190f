// dvtool: inspection and content building for Dedivirede levels and pictures.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tools/commands.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);  // argv[0] is the command name
};

// One row per command; each command lives in its own tools/cmd_*.cpp.
constexpr Command kCommands[] = {
    {"help", "help [COMMAND]", nullptr},
    {"build-level", "build-level SRC OUT.lev", dvtool::BuildLevel},
    {"build-font", "build-font FONT.ttf OUT.fnx [PIXELS]", dvtool::BuildFont},
    {"build-pictures", "build-pictures FONT.ttf OUTDIR", dvtool::BuildPictures},
    {"view-level", "view-level LEVEL OUTDIR", dvtool::ViewLevel},
    {"image", "image IN OUT.pam", dvtool::RunImage},
    {"level-info", "level-info FILE", dvtool::RunLevelInfo},
    {"surface", "surface FILE ROOM X Z", dvtool::RunSurface},
    {"level-info", "level-info FILE", dvtool::RunLevelInfo},
    {"build-character", "build-character SRCDIR OUT.lev [--level IN.lev] [--sheet OUT.png] [--sheet-clips IDS] [--sheet-frames N] [--sheet-zoom N] [--sheet-yaw DEG]",
     dvtool::BuildCharacterCommand},
    {"view-character", "view-character LEVEL OUTDIR CLIP:FRAME...", dvtool::ViewCharacter},
};

void PrintUsage(FILE* out) {
    std::fputs("usage: dvtool <command> [args]\ncommands:\n", out);
    for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string_view name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        PrintUsage(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == c.name && c.run != nullptr) return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "dvtool: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
