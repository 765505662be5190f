// dvtool check-level SRC: the level checker's warnings for a level source.
#include <cstdio>
#include <exception>

#include "tools/dvtool/commands.h"
#include "tools/level/level_checker.h"
#include "tools/level/level_compiler.h"
#include "tools/level/source_build.h"

namespace dvtool {

int CheckLevelCommand(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: dvtool check-level SRC\n", stderr);
        return 2;
    }
    try {
        dv::LevelSource source = dv::ReadLevelSource(argv[1]);
        dv::ResolveCharacterPack(source, argv[1], ToolFolder());
        const dv::CompiledLevel level = dv::CompileLevel(source, dv::SourceFolder(argv[1]), "check.lev");
        const std::vector<std::string> warnings = dv::CheckLevel(source, level.Data);
        for (const std::string& w : warnings) std::printf("%s\n", w.c_str());
        return warnings.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}

}  // namespace dvtool
