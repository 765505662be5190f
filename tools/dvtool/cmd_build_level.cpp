// dvtool build-level SRC OUT.lev: compiles a level source into a level file and its lightmaps.
#include <cstdio>
#include <exception>

#include "tools/dvtool/commands.h"
#include "tools/level/level_compiler.h"

namespace dvtool {

int BuildLevel(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: dvtool build-level SRC OUT.lev\n", stderr);
        return 2;
    }
    try {
        const dv::CompiledLevel level = dv::CompileLevelFile(argv[1], argv[2]);
        dv::WriteCompiledLevel(level, argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
