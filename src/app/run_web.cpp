// The program's life in a browser: the same shell as on the desktop (app/run.cpp), driven by
// the page's animation frames instead of an event loop. The data is packed with the page
// under /data; output files (trace, screenshots, statistics) are written into the page's
// in-memory file system, where the page's script can read them.
#include "app/run.h"

#include <emscripten/emscripten.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/frame_stats.h"
#include "app/game.h"
#include "app/replay.h"
#include "app/screenshot_writer.h"
#include "app/shell.h"
#include "math/clock.h"
#include "platform/web/web_input.h"
#include "platform/web/web_window.h"

namespace dv {

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kVkScreenshot = kVkF1 + 11;
constexpr const char* kCanvas = "#canvas";
constexpr const char* kPlayerScreenshot = "/screenshot.png";

// Everything one run keeps between animation frames.
struct WebRun {
    Options Opts;
    Shell Game;
    std::unique_ptr<WebWindow> Window;
    std::unique_ptr<WebInput> Input;
    ReplayChain Replay;
    std::vector<ScreenshotRequest> Shots;
    FrameStats Stats;
    bool Done = false;
    bool Shown = false;         // the first frame has been drawn
    bool OutputFailed = false;  // a screenshot asked for could not be written
};

// Tells the page the game has ended and with which status (Module.dvFinished).
void ReportFinished(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    EM_ASM(
        {
            if (Module.dvFinished) Module.dvFinished($0);
        },
        status);
}

void Finish(WebRun& run) {
    run.Done = true;
    emscripten_cancel_main_loop();
    run.Stats.SetFpsShown(run.Game.View.FramesPerSecond());
    run.Game.Shutdown();
    std::string error;
    int status = run.OutputFailed ? 1 : 0;
    if (!run.Game.Audio.Finish(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        status = 1;
    }
    if (!run.Opts.StatsPath.empty() && !run.Stats.WriteJson(run.Opts.StatsPath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        status = 1;
    }
    ReportFinished(status);
}

void SaveDueScreenshots(WebRun& run, int32_t now) {
    for (auto it = run.Shots.begin(); it != run.Shots.end();) {
        if (it->ClockMs > now) {
            ++it;
            continue;
        }
        if (!SaveScreenshot(run.Game.View, it->Path)) run.OutputFailed = true;
        it = run.Shots.erase(it);
    }
}

// One animation frame: input, clock and replay, one idle event, then the frame's captures.
void Frame(void* user) {
    WebRun& run = *static_cast<WebRun*>(user);
    if (run.Done) return;
    Shell& shell = run.Game;
    WebInput& input = *run.Input;
    input.PollGamepads();
    if (int width = 0, height = 0; run.Window->TakeResize(width, height)) shell.Resize(width, height);
    if (input.CloseRequested) shell.Close();
    if (shell.CloseRequested()) return Finish(run);
    if (!run.Opts.Headless && !input.Focused) {
        shell.Idle(false);
        return;
    }
    if (run.Opts.StepMs > 0) ClockAdvanceVirtual(run.Opts.StepMs);
    const int32_t now = ClockMs();
    while (const ReplayEvent* e = run.Replay.NextDue(now, shell.LevelIndex(), shell.PlayStartedAt())) {
        if (e->Down && e->Key == kVkScreenshot) input.ScreenshotWanted = true;
        FeedReplayEvent(shell, *e);
    }
    if (run.Opts.QuitAfterMs >= 0 && now >= run.Opts.QuitAfterMs) return Finish(run);
    if (shell.CloseRequested()) return Finish(run);

    shell.Audio.RenderUpTo(now);
    const uint64_t drawsBefore = shell.View.Counters().DrawCalls;
    const auto start = Steady::now();
    shell.Idle(true);
    const double frameMs = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
    run.Stats.Record(frameMs, shell.View.TriangleCount(), shell.View.Counters().DrawCalls - drawsBefore,
                     LastSceneBuildUs(shell));
    if (!run.Shown) {
        run.Shown = true;
        EM_ASM({
            if (Module.dvFirstFrame) Module.dvFirstFrame();
        });
    }
    if (input.ScreenshotWanted) {
        SaveScreenshot(shell.View, kPlayerScreenshot);
        EM_ASM(
            {
                if (Module.dvScreenshotSaved) Module.dvScreenshotSaved(UTF8ToString($0));
            },
            kPlayerScreenshot);
        input.ScreenshotWanted = false;
    }
    SaveDueScreenshots(run, now);
}

}  // namespace

void FeedReplayEvent(Shell& shell, const ReplayEvent& e) {
    if (e.Down) {
        shell.Keys.Down[e.Key] = 1;
        if (shell.Keys.Press(e.Key, shell.Keys.ModifiersDown())) shell.Close();
    } else {
        shell.Keys.Down[e.Key] = 0;
        shell.Keys.Release(e.Key, shell.Keys.ModifiersDown());
    }
}

int RunGame(const Options& options, const SourceCompiler&) {
    // Lives until the page closes: the browser calls Frame long after this function has
    // handed control back (the main loop below never returns here).
    static WebRun run;
    run.Opts = options;
    std::string error;
    if (!LoadReplayChain(options.ReplayPaths, run.Replay, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        ReportFinished(2);
        return 2;
    }
    const std::string basePath = (options.DataDir.empty() ? std::string("/data") : options.DataDir) + "/";
    Shell& shell = run.Game;
    shell.Boxes.SetHeadless(false);
    ShellSetup setup;
    setup.BasePath = basePath;
    setup.AudioSettings.Speakers = true;
    setup.AudioSettings.Mute = options.Mute;
    ClockStart();
    if (options.StepMs > 0) ClockUseVirtual(true);
    setup.CharacterTurnRates = InitGameModules(basePath + "set.txt", shell.Boxes);

    run.Window = WebWindow::Create(kCanvas, options.CanvasWidth, options.CanvasHeight, error);
    if (!run.Window) shell.Boxes.Fatal("There is not DX8.1 support in your videocard", "Error", error);
    shell.Start(run.Window->Window(), setup);
    // Start sizes the view for the settings' window; in a browser the canvas has the say.
    int width = 0, height = 0;
    run.Window->Size(width, height);
    shell.Resize(width, height);
    if (!options.TracePath.empty() && !OpenTrace(shell, options.TracePath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        shell.Shutdown();
        ReportFinished(2);
        return 2;
    }
    run.Input = std::make_unique<WebInput>(shell.Keys);
    run.Shots = options.Screenshots;
    emscripten_set_main_loop_arg(Frame, &run, 0, true);
    return 0;
}

}  // namespace dv
