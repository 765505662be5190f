// The game's entry point: parse the command line and run, with the content tools' level
// compiler for the level sources the game plays directly (the browser plays compiled levels).
#include <cstdio>

#include "app/options.h"
#include "app/run.h"
#ifndef __EMSCRIPTEN__
#include "tools/level/source_build.h"
#endif

int main(int argc, char** argv) {
    dv::Options options;
    std::string error;
    if (!dv::ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "dedivirede: %s\n%s", error.c_str(), dv::UsageText());
        return 2;
    }
    if (options.ShowHelp) {
        std::fputs(dv::UsageText(), stdout);
        return 0;
    }
    if (options.ShowVersion) {
        std::puts("dedivirede " DV_VERSION);
        return 0;
    }
#ifndef __EMSCRIPTEN__
    return dv::RunGame(options, dv::CompileSourceIntoCache);
#else
    return dv::RunGame(options, nullptr);
#endif
}
