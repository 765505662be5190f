// dvtool build-level SRC OUT.lev [--strict]: compiles a level source into a level file and its
// lightmaps, and prints the level checker's warnings.
#include <cstdio>
#include <cstring>
#include <exception>

#include "tools/dvtool/commands.h"
#include "tools/level/level_checker.h"
#include "tools/level/level_compiler.h"
#include "tools/level/source_build.h"

namespace dvtool {

int BuildLevel(int argc, char** argv) {
    const bool strict = argc == 4 && std::strcmp(argv[3], "--strict") == 0;
    if (argc != 3 && !strict) {
        std::fputs("usage: dvtool build-level SRC OUT.lev [--strict]\n", stderr);
        return 2;
    }
    try {
        dv::LevelSource source = dv::ReadLevelSource(argv[1]);
        dv::ResolveCharacterPack(source, argv[1], ToolFolder());
        const dv::CompiledLevel level = dv::CompileLevel(source, dv::SourceFolder(argv[1]), argv[2]);
        const std::vector<std::string> warnings = dv::CheckLevel(source, level.Data);
        for (const std::string& w : warnings) std::fprintf(stderr, "%s\n", w.c_str());
        // With --strict a warning is an error: nothing is written.
        if (strict && !warnings.empty()) return 2;
        dv::WriteCompiledLevel(level, argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
