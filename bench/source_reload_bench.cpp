// --watch on the cistern: from the write of its source to the end of the first frame that
// shows the level compiled again (lightmaps baked in full), with frames drawn all the while
// as the game draws them, 800 x 600 headless. One iteration is one save; the median of ten
// repetitions is the figure of docs/performance.md.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/game.h"
#include "app/shell.h"
#include "app/source_watch.h"
#include "math/clock.h"
#include "platform/gl_window.h"
#include "tools/level/source_build.h"

namespace dv {
namespace {

namespace fs = std::filesystem;

const std::string kData = DV_BINARY_DIR "/";
const std::string kCistern = DV_SOURCE_DIR "/assets/levels/cistern.txt";

void SourceReloadLatency(benchmark::State& state) {
    if (!fs::exists(kData + "font01.fnx") || !fs::exists(kData + "character.lev")) {
        state.SkipWithError(("no demo content in " + kData).c_str());
        return;
    }
    // The source alone in a folder of its own, as an author's; what it lacks comes from the
    // data folder.
    const fs::path dir = fs::temp_directory_path() / ("dv_reload_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string source = (dir / "cistern.txt").string();
    std::stringstream text;
    text << std::ifstream(kCistern).rdbuf();
    std::ofstream(source) << text.str();
    CompiledSource compiled;
    std::string error;
    if (!CompileSourceIntoCache(source, (dir / "cache").string(), kData, compiled, error)) {
        state.SkipWithError(error.c_str());
        return;
    }

    fs::current_path(kData);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ClockUseVirtual(false);
    MessageBoxes boxes;
    boxes.SetHeadless(true);
    const TurnRates turnRates = InitGameModules(kData + "set.txt", boxes);
    std::unique_ptr<GLWindow> window = GLWindow::Create("bench", 800, 600, false, true, error);
    if (!window) {
        state.SkipWithError(("no OpenGL 3.3 context: " + error).c_str());
        return;
    }
    auto shell = std::make_unique<Shell>();
    shell->Boxes.SetHeadless(true);
    ShellSetup setup;
    setup.BasePath = kData;
    setup.CharacterTurnRates = turnRates;
    setup.AudioSettings.Speakers = false;
    setup.AudioSettings.Mute = true;
    setup.SingleLevel = compiled.LevelPath;
    setup.LevelFolder = dir.string() + "/";
    setup.RoomNames = compiled.RoomNames;
    setup.SkipTitle = true;
    shell->Start(window->Window(), setup);
    SourceWatch watch(CompileSourceIntoCache, source, (dir / "cache").string(), kData, compiled);
    for (int i = 0; i < 3; ++i) shell->Idle(true);

    int save = 0;
    for (auto _ : state) {
        std::ofstream(source) << text.str() << "# save " << ++save << "\n";
        const auto written = std::chrono::steady_clock::now();
        bool swapped = false;
        while (!swapped) {
            watch.Poll();
            SourceResult result;
            if (watch.TakeResult(result)) {
                if (!result.Compiled) {
                    state.SkipWithError(result.Error.c_str());
                    break;
                }
                shell->ReloadLevel(result.Level);
                swapped = true;
            }
            shell->Idle(true);
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - written).count());
    }
    shell->Shutdown();
    fs::remove_all(dir);
}
BENCHMARK(SourceReloadLatency)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(10);

}  // namespace
}  // namespace dv
