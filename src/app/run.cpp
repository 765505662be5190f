#include "app/run.h"

#include <SDL.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/frame_stats.h"
#include "app/game.h"
#include "app/player_settings.h"
#include "input/keyboard.h"
#include "app/replay.h"
#include "app/screenshot_writer.h"
#include "app/shell.h"
#include "app/shell_internal.h"
#include "app/source_watch.h"
#include "math/clock.h"
#include "platform/gamepad.h"
#include "platform/gl_window.h"
#include "platform/heap.h"
#include "platform/keymap.h"
#include "platform/player_folders.h"

namespace dv {

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kVkScreenshot = kVkF1 + 11;  // F12: the player's screenshot

std::string CurrentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string(".");
}

// A relative output path names a file in the folder the game was started from.
std::string FromStartDir(const std::string& startDir, const std::string& path) {
    return path.empty() || path.front() == '/' ? path : startDir + "/" + path;
}

// The data folder with a trailing separator: with --data the current directory (already
// changed into it, so a relative --data does not apply twice), else the executable's folder.
std::string FindBasePath(const Options& options) {
    std::string path = options.DataDir.empty() ? std::string() : CurrentDirectory();
    if (path.empty()) {
        char* base = SDL_GetBasePath();
        if (base != nullptr) {
            path = base;
            SDL_free(base);
        }
    }
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

// The one line for a start without --headless where no window system answers.
std::string NoDisplayLine(const std::string& reason) {
    std::string named;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0') continue;
        named += (named.empty() ? "" : ", ") + std::string(variable) + "=" + value;
    }
    const std::string what =
        named.empty() ? "neither DISPLAY nor WAYLAND_DISPLAY is set" : named + " cannot be reached";
    return "dedivirede: no display: " + what + " (" + reason +
           "); set DISPLAY or WAYLAND_DISPLAY to a running display, or start with --headless";
}

// A replayed key goes through the same handlers as a real one; the shift state is what the
// keyboard state says once the key itself is applied.
void FeedReplayEvent(Shell& shell, const ReplayEvent& e, bool& screenshotWanted) {
    const uint8_t own = ModifierBit(e.Key);
    if (e.Down) {
        if (e.Key == kVkScreenshot) screenshotWanted = true;
        shell.KeyDown(e.Key, static_cast<uint8_t>(shell.Keys.ModifiersDown() | own));
    } else {
        shell.KeyUp(e.Key, static_cast<uint8_t>(shell.Keys.ModifiersDown() & ~own));
    }
}

// The pads' keys take the same way as the keyboard's.
void PadKeyDown(void* shell, int code, uint8_t shift) { static_cast<Shell*>(shell)->KeyDown(code, shift); }
void PadKeyUp(void* shell, int code, uint8_t shift) { static_cast<Shell*>(shell)->KeyUp(code, shift); }

void HandleEvent(Shell& shell, const SDL_Event& e, bool& focused, Gamepads& pads, bool& screenshotWanted) {
    const uint8_t padShift = pads.ShiftBits();
    switch (e.type) {
        case SDL_QUIT: shell.Close(); break;
        case SDL_KEYDOWN: {
            const int vk = VirtualKeyFromSdl(e.key.keysym.sym);
            if (vk == kVkScreenshot && e.key.repeat == 0) screenshotWanted = true;
            if (vk >= 0) shell.KeyDown(vk, ShiftStateFromSdl(e.key.keysym.mod) | padShift, e.key.repeat != 0);
            break;
        }
        case SDL_KEYUP: {
            const int vk = VirtualKeyFromSdl(e.key.keysym.sym);
            if (vk >= 0) shell.KeyUp(vk, ShiftStateFromSdl(e.key.keysym.mod) | padShift);
            break;
        }
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) focused = true;
            // The key-up of a key held while the window loses focus never arrives; release
            // everything so the character does not run on by itself when focus returns.
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                focused = false;
                shell.Keys.Clear();
            }
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) shell.Resize(e.window.data1, e.window.data2);
            break;
        default: pads.HandleEvent(e, ShiftStateFromSdl(SDL_GetModState())); break;
    }
}

// Takes the frame just drawn for the player's screenshot; the writer encodes it in the background.
void QueuePlayerScreenshot(const Viewport& view, ScreenshotWriter& writer, const std::string& folder) {
    FramePixels frame;
    if (!view.ReadFrame(frame)) {
        std::fprintf(stderr, "screenshot: cannot read the frame back\n");
        return;
    }
    const std::string path = folder + "/" + ScreenshotFileName(std::chrono::system_clock::now());
    if (!writer.Submit(path, frame.Width, frame.Height, std::move(frame.Rgba)))
        std::fprintf(stderr, "%s: screenshot skipped, the previous ones are still being written\n", path.c_str());
}

// --watch between two frames: looks at the source's files and takes a compile that ended (on
// the virtual clock, waiting for one started, so that runs repeat exactly). A good one is
// swapped in and its write's time returned; a fault is shown until a good one comes.
std::optional<std::chrono::system_clock::time_point> TakeSourceChange(Shell& shell, SourceWatch& watch, bool wait) {
    watch.Poll();
    if (wait) watch.Wait();
    SourceResult result;
    if (!watch.TakeResult(result)) return std::nullopt;
    if (!result.Compiled) {
        std::fprintf(stderr, "%s\n", result.Error.c_str());
        // On screen the file's own name is enough.
        std::string shown = result.Error;
        const size_t slash = shown.rfind('/', shown.find(':'));
        if (slash != std::string::npos) shown.erase(0, slash + 1);
        ShellInternals::ReloadError(shell) = shown;
        return std::nullopt;
    }
    ShellInternals::ReloadError(shell).clear();
    shell.ReloadLevel(result.Level);
    return result.WrittenAt;
}

}  // namespace

void FeedReplayEvent(Shell& shell, const ReplayEvent& e) {
    bool screenshotWanted = false;
    FeedReplayEvent(shell, e, screenshotWanted);
}

int RunGame(const Options& given, const SourceCompiler& compiler) {
    // Player screenshots and the output files go where the player started the game, even
    // when --data moves the current directory away.
    const std::string startDir = CurrentDirectory();
    Options options = given;
    options.TracePath = FromStartDir(startDir, options.TracePath);
    options.StatsPath = FromStartDir(startDir, options.StatsPath);
    options.ConfigDir = FromStartDir(startDir, options.ConfigDir);
    for (ScreenshotRequest& shot : options.Screenshots) shot.Path = FromStartDir(startDir, shot.Path);

    ReplayChain replay;
    std::string error;
    if (!LoadReplayChain(options.ReplayPaths, replay, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (!options.DataDir.empty() && chdir(options.DataDir.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot use it as the data folder\n", options.DataDir.c_str());
        return 2;
    }
    std::unique_ptr<GLWindow> window;  // declared before the shell, so it outlives the device
    Shell shell;
    if (options.Headless) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        shell.Boxes.SetHeadless(true);
    } else if (std::string reason; !DisplayReachable(reason)) {
        std::fprintf(stderr, "%s\n", NoDisplayLine(reason).c_str());
        return 1;
    } else {
        shell.Boxes.SetHeadless(false);
    }
    const std::string basePath = FindBasePath(options);
    ShellSetup setup;
    setup.AudioSettings.Speakers = !options.Headless;
    setup.AudioSettings.Mute = options.Mute;
    setup.AudioSettings.RecordPath = FromStartDir(startDir, options.AudioOutPath);
    ClockStart();
    if (options.StepMs > 0) ClockUseVirtual(true);
    setup.BasePath = basePath;
    setup.Folders = FindPlayerFolders(options.ConfigDir);
    CompiledSource compiled;  // of a level source played
    if (options.Watch && !IsLevelSource(options.LevelPath)) {
        std::fprintf(stderr, "--watch: it watches a level source played with --level FILE.txt\n");
        return 2;
    }
    if (!options.LevelPath.empty()) {
        const std::string level = FromStartDir(startDir, options.LevelPath);
        setup.SingleLevel = level;
        setup.LevelFolder = std::filesystem::path(level).parent_path().string() + "/";
        if (IsLevelSource(level)) {
            if (!compiler) error = level + ": this build plays compiled levels only";
            if (!compiler || !compiler(level, setup.Folders.CacheDir, basePath, compiled, error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 2;
            }
            setup.SingleLevel = compiled.LevelPath;
            setup.RoomNames = compiled.RoomNames;
        }
    }
    setup.SkipTitle = options.NoTitle;
    setup.AuthorKeys = options.Author || options.Watch;
    setup.StartAt = options.At;
    setup.CharacterTurnRates = InitGameModules(setup.DataFile("set.txt"), shell.Boxes);
    std::vector<std::string> warnings;
    ReadPlayerSettings(setup.Folders.SettingsPath, setup.Settings, warnings);
    for (const std::string& warning : warnings) std::fprintf(stderr, "%s\n", warning.c_str());

    // The window opens at its designed size and start-up makes it 800 x 600. An offscreen
    // surface cannot change size, so headless it starts at the final size.
    const int width = options.Headless ? setup.Settings.WindowWidth : 695;
    const int height = options.Headless ? setup.Settings.WindowHeight : 442;
    window = GLWindow::Create("Dedivirede Alpha 1", width, height, !options.Headless, true, error);
    if (!window) shell.Boxes.Fatal("There is not DX8.1 support in your videocard", "Error", error);

    shell.Start(window->Window(), setup);
    if (!options.TracePath.empty() && !OpenTrace(shell, options.TracePath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        shell.Shutdown();
        return 2;
    }

    // A record that cannot be made (its line is already on stderr) ends the run before it
    // starts, as a trace file that cannot be created does.
    if (!options.AudioOutPath.empty() && !shell.Audio.Recording()) {
        shell.Shutdown();
        return 2;
    }

    std::unique_ptr<SourceWatch> watch;
    if (options.Watch)
        watch = std::make_unique<SourceWatch>(compiler, FromStartDir(startDir, options.LevelPath),
                                              shell.Setup().Folders.CacheDir, basePath, compiled);
    std::vector<FileCopyRequest> copies = options.Copies;
    for (FileCopyRequest& copy : copies) {
        copy.From = FromStartDir(startDir, copy.From);
        copy.To = FromStartDir(startDir, copy.To);
    }
    std::vector<ScreenshotRequest> shots = options.Screenshots;
    FrameStats stats;
    Gamepads pads(shell.Keys);
    pads.SetKeyHandlers({&shell, PadKeyDown, PadKeyUp});
    ScreenshotWriter screenshotWriter;
    HeapKeeper heap;
    bool screenshotWanted = false;
    bool focused = true;
    bool outputFailed = false;  // a screenshot asked for could not be written (its line is out)
    while (!shell.CloseRequested()) {
        SDL_Event e;
        pads.SetDeadZone(shell.Settings().PadDeadZone);
        while (SDL_PollEvent(&e)) HandleEvent(shell, e, focused, pads, screenshotWanted);
        if (shell.CloseRequested()) break;
        const bool active = options.Headless || focused;
        if (!active) {
            shell.Idle(false);
            SDL_WaitEventTimeout(nullptr, 50);  // inactive: no updates, no frames
            continue;
        }
        if (options.StepMs > 0) ClockAdvanceVirtual(options.StepMs);
        const int32_t now = ClockMs();
        while (const ReplayEvent* ev = replay.NextDue(now, shell.LevelIndex(), shell.PlayStartedAt()))
            FeedReplayEvent(shell, *ev, screenshotWanted);
        if (options.QuitAfterMs >= 0 && now >= options.QuitAfterMs) break;
        if (shell.CloseRequested()) break;
        for (auto it = copies.begin(); it != copies.end();) {
            if (it->ClockMs > now) {
                ++it;
                continue;
            }
            std::error_code ec;
            std::filesystem::copy_file(it->From, it->To, std::filesystem::copy_options::overwrite_existing, ec);
            if (ec)
                std::fprintf(stderr, "--copy-at: %s over %s: %s\n", it->From.c_str(), it->To.c_str(),
                             ec.message().c_str());
            it = copies.erase(it);
        }
        std::optional<std::chrono::system_clock::time_point> reloadWrittenAt;
        if (watch) reloadWrittenAt = TakeSourceChange(shell, *watch, options.StepMs > 0);

        // The mix up to this clock is what the last update started; this update's sounds
        // begin at `now`.
        shell.Audio.RenderUpTo(now);
        const uint64_t drawsBefore = shell.View.Counters().DrawCalls;
        const auto start = Steady::now();
        shell.Idle(true);
        const double frameMs = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
        const uint64_t draws = shell.View.Counters().DrawCalls - drawsBefore;
        stats.Record(frameMs, shell.View.TriangleCount(), draws, LastSceneBuildUs(shell));
        heap.AfterFrame();
        if (reloadWrittenAt) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now() -
                                                                                  *reloadWrittenAt);
            std::fprintf(stderr, "%s: reloaded, %lld ms from the save to the first frame\n", options.LevelPath.c_str(),
                         static_cast<long long>(ms.count()));
        }
        if (screenshotWanted) {
            QueuePlayerScreenshot(shell.View, screenshotWriter, startDir);
            screenshotWanted = false;
        }

        for (auto it = shots.begin(); it != shots.end();) {
            if (it->ClockMs <= now) {
                if (!SaveScreenshot(shell.View, it->Path)) outputFailed = true;
                it = shots.erase(it);
            } else {
                ++it;
            }
        }
    }
    stats.SetFpsShown(shell.View.FramesPerSecond());
    // Every output asked for is finished; each that could not be written is one line, and the
    // run ends with status 1.
    const auto failed = [&outputFailed](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        outputFailed = true;
    };
    if (shell.Game && !CloseTrace(*shell.Game, options.TracePath, error)) failed(error);
    if (screenshotWriter.Flush() > 0) outputFailed = true;
    shell.Shutdown();
    if (!shell.Audio.Finish(error)) failed(error);
    if (!options.StatsPath.empty() && !stats.WriteJson(options.StatsPath, error)) failed(error);
    return outputFailed ? 1 : 0;
}

}  // namespace dv
