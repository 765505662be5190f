#include "app/shell.h"

#include <SDL.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "app/game.h"
#include "app/title_sequence.h"
#include "character/character.h"
#include "math/clock.h"
#include "render/font.h"
#include "render/store_source.h"
#include "world/level_file.h"
#include "world/level_loader.h"

namespace dv {

namespace {

constexpr const char* kResetFailed = "Error trying to setup Direct3d";
constexpr int32_t kNoticeMs = 4000;

}  // namespace

void PrintWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) std::fprintf(stderr, "%s\n", w.c_str());
}

Shell::Shell() {
    View.Messages = Boxes.Sink();
    Textures.Messages = Boxes.Sink();
}

Shell::~Shell() = default;

void Shell::Start(SDL_Window* window, const ShellSetup& setup) {
    setup_ = setup;
    settings_ = setup.Settings;
    window_ = window;
    std::setlocale(LC_NUMERIC, "C");  // "." as the decimal separator everywhere
    running_ = false;
    View.FarPlane = 4224.0f;
    View.Fog.Red = View.Fog.Green = View.Fog.Blue = 0;

    if (!View.OpenGraphics()) Boxes.Fatal("There is not DX8.1 support in your videocard", "Error");

    View.SetCamera(&ViewCamera);
    View.DepthEnabled = true;
    View.ModulateShift = 1;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    if (!View.Setup(window, w, h, false)) FailGraphics("Error trying to Create DX Viewport!");
    View.SetScene3D(nullptr, nullptr);
    View.SetOverlay2D(nullptr, nullptr);
    View.SetClearColor(PackColor(0, 0, 0, 255));
    View.SetTextureSource(StoreTextureSource(Textures));

    View.Fog.Start = 192.0f;
    View.Fog.End = 1024.0f;
    View.Fog.Offset = -64.0f;
    View.Fog.Enabled = true;
    View.ApplyFog();

    Textures.MipCount = 4;
    ReadLevels();
    LoadLevelAt(0);
    if (setup_.StartAt.Given) ResolveStartAt();

    SDL_SetWindowSize(window, settings_.WindowWidth, settings_.WindowHeight);
    Resize(settings_.WindowWidth, settings_.WindowHeight);
    // The window starts windowed with vertical sync (headless without, which stays).
    appliedSettings_ = settings_;
    appliedSettings_.FullScreen = false;
    appliedSettings_.VerticalSync = true;
    ApplySettings();
    Menu.SetSettingsShape(kSettingsLineCount, kSettingValueLines, kGameKeyCount);

    CreateGameState(*this);
    std::vector<std::string> warnings;
    Audio.Start(setup_.AudioSettings, setup_.BasePath, LevelPath(0), Level.Map, warnings);
    PrintWarnings(warnings);

    updateCallback_ = TitleSequence;
    running_ = true;
    if (setup_.SkipTitle) BeginPlay(*this);
}

std::string ShellSetup::DataFile(const std::string& name) const {
    std::error_code ec;
    if (!LevelFolder.empty() && std::filesystem::is_regular_file(LevelFolder + name, ec)) return LevelFolder + name;
    return BasePath + name;
}

std::string Shell::LevelPath(size_t index) const {
    const std::string& file = levels_[index].File;
    return !file.empty() && file.front() == '/' ? file : setup_.BasePath + file;
}

void Shell::ReadLevels() {
    std::string error;
    if (!setup_.SingleLevel.empty()) {
        levels_.assign(
            1, LevelEntry{setup_.SingleLevel, "", std::filesystem::path(setup_.SingleLevel).stem().string(), 0});
        levelIds_.assign(1, LevelIdentity{});
        return;
    }
    if (!ReadLevelList(setup_.BasePath, levels_, error)) Boxes.Fatal(error, "Error");
    levelIds_.assign(levels_.size(), LevelIdentity{});
    // The first level is read, and so checked, when it is loaded just after.
    for (size_t i = 1; i < levels_.size(); ++i) {
        const LevelEntry& entry = levels_[i];
        const std::string path = LevelPath(i);
        // Messages of a listed level say where the list names it.
        const std::string where =
            entry.Line > 0 ? setup_.BasePath + kLevelListFile + ":" + std::to_string(entry.Line) + ": " : "";
        if (!ReadLevelIdentity(path, levelIds_[i], error)) Boxes.Fatal(where + error, "Error");
        try {
            LevelFileData data;
            ParseLevelFile(path, data);
        } catch (const std::exception& e) {
            Boxes.Fatal(where + e.what(), "Error");
        }
    }
}

void Shell::LoadLevelAt(size_t index) {
    const std::string levelPath = LevelPath(index);
    try {
        LoadLevel(Level, levelPath, Textures);
    } catch (const std::exception& e) {
        Boxes.Fatal(e.what(), "Error");
    }
    if (std::string error; !ReadLevelIdentity(levelPath, levelIds_[index], error)) Boxes.Fatal(error, "Error");
    levelIndex_ = index;
    levelId_ = levelIds_[index];
    View.AnimatedTextures[0] = Level.AnimSetA;
    View.AnimatedTextures[1] = Level.AnimSetB;
    // Only the bumped wall materials (base slots 1 to the bump tile count) get the bump effect.
    View.LevelLimit = Level.BumpTileCount;

    // The level's load emptied the texture store, so the font is loaded again. Without the
    // file the game goes on and texts draw nothing (said once, at start-up); a damaged one is
    // a read error and ends the program.
    const std::string fontPath = DataFile("font01.fnx");
    if (std::string error; !LoadFont(Font, fontPath, Textures, error)) {
        if (!running_) Boxes.Show(error);
        std::error_code ec;
        if (std::filesystem::exists(fontPath, ec)) ExitProgram(1);
    }
    // Everything reaches the driver now: a room first entered late then allocates nothing.
    PreloadTextures(View, Textures);
    ObjectIds.Clear();
    for (int32_t i = 0; i < Level.ObjectCount; ++i) ObjectIds.Add(i, Level.Objects[i].Id);
}

void Shell::ResolveStartAt() {
    const std::string fault = PlaceStartAt();
    if (fault.empty()) return;
    char place[64];
    std::snprintf(place, sizeof place, " %g %g", static_cast<double>(setup_.StartAt.X),
                  static_cast<double>(setup_.StartAt.Z));
    std::fprintf(stderr, "dedivirede: --at %s%s: %s\n", setup_.StartAt.Room.c_str(), place, fault.c_str());
    Shutdown();
    ExitProgram(2);
}

std::string Shell::PlaceStartAt() {
    hasStartOverride_ = false;
    const LevelMap& map = Level.Map;
    int room = -1;
    for (size_t i = 0; i < setup_.RoomNames.size(); ++i)
        if (setup_.RoomNames[i] == setup_.StartAt.Room) room = static_cast<int>(i);
    if (room < 0 && setup_.RoomNames.empty()) {
        char* end = nullptr;
        const long number = std::strtol(setup_.StartAt.Room.c_str(), &end, 10);
        if (*end == '\0' && number >= 0 && number < map.RoomCount) room = static_cast<int>(number);
    }
    if (room < 0) {
        const std::string rooms = "0 to " + std::to_string(map.RoomCount - 1);
        if (!setup_.RoomNames.empty()) return "the level has no room '" + setup_.StartAt.Room + "'";
        return "the level has no room '" + setup_.StartAt.Room + "' (a compiled level names its rooms by number, " +
               rooms + ")";
    }
    const PlaceResult placed = PlaceOnFloor(map, room, setup_.StartAt.X, setup_.StartAt.Z);
    if (placed.Fault != PlaceFault::None) return "that place " + PlaceFaultText(map, room, placed);
    hasStartOverride_ = true;
    startOverride_ = placed.Start;
    startHeading_ = setup_.StartAt.Heading;
    return "";
}

void Shell::EnterLevel(size_t index) {
    std::unique_ptr<FILE, TraceFileCloser> trace;
    if (Game) trace = std::move(Game->Trace);
    LoadLevelAt(index);
    CreateGameState(*this);
    Game->Trace = std::move(trace);
    playStartedAt_ = ClockMs();  // a saved game loaded on another level plays on at once
    BeginLevelRun(*Game, playStartedAt_);
    std::vector<std::string> warnings;
    Audio.ChangeLevel(LevelPath(index), Level.Map, warnings);
    PrintWarnings(warnings);
}

void Shell::Shutdown() { View.ReleaseGraphics(); }

void Shell::FailGraphics(const std::string& text) {
    Boxes.Show(text, "Error", MessageKind::Error);
    Shutdown();
    ExitProgram(1);
}

void Shell::Resize(int width, int height) {
    outerWidth_ = width;
    outerHeight_ = height;
    if (View.FullScreen()) return;
    int w = width, h = height;
    if (window_ != nullptr) SDL_GL_GetDrawableSize(window_, &w, &h);
    if (!View.Resize(w, h) || !View.DrawFrame()) FailGraphics(kResetFailed);
}

void Shell::Idle(bool active) {
    if (!active) {
        // An open menu already holds the game's clocks until it closes.
        if (Game && !Paused()) HoldRunnerClock(Game->Actions, ClockMs());
        return;
    }
    if (updateCallback_ != nullptr && !Paused()) updateCallback_(*this);
    if (Paused()) PhotoUpdate(*this);
    Audio.Frame(ViewCamera.Position, ViewCamera.Target);
    if (!View.RenderFrame()) FailGraphics(kResetFailed);
}

bool Shell::InGame() const { return updateCallback_ == GameUpdate; }

void Shell::ApplySettings() {
    PlayerSettings& was = appliedSettings_;
    if (window_ != nullptr && settings_.VerticalSync != was.VerticalSync)
        SDL_GL_SetSwapInterval(settings_.VerticalSync ? 1 : 0);
    if (window_ != nullptr && settings_.FullScreen != was.FullScreen)
        SDL_SetWindowFullscreen(window_, settings_.FullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    const bool sizeChanged = settings_.WindowWidth != was.WindowWidth || settings_.WindowHeight != was.WindowHeight;
    // Leaving full screen, the window gets back the size it had, dragged or set.
    if (window_ != nullptr && !settings_.FullScreen && sizeChanged) {
        SDL_SetWindowSize(window_, settings_.WindowWidth, settings_.WindowHeight);
        Resize(settings_.WindowWidth, settings_.WindowHeight);
    }
    Audio.Sounds().SetVolumes({settings_.MasterVolume / 100.0f, settings_.EffectsVolume / 100.0f,
                               settings_.AmbienceVolume / 100.0f, settings_.MusicVolume / 100.0f});
    was = settings_;
}

void Shell::ToggleFullScreen() {
    settings_.FullScreen = !settings_.FullScreen;
    ApplySettings();
    SavePlayerSettings(*this);
}

void Shell::OpenMenu() {
    if (!InGame() || Paused()) return;
    Menu.Open();
    pausedAt_ = ClockMs();
}

void Shell::ResumeGame() {
    Menu.Close();
    LeavePhotoMode(*this);
    if (Game) ShiftGameClocks(*Game, ClockSince(ClockMs(), pausedAt_));
}

void Shell::RestartLevel() {
    auto trace = std::move(Game->Trace);
    CreateGameState(*this);
    Game->Trace = std::move(trace);
    HoldRunnerClock(Game->Actions, ClockMs());
    BeginLevelRun(*Game, ClockMs());
    Notify("Level restarted");
}

void Shell::Notify(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    notice_ = text;
    noticeUntil_ = ClockAfter(ClockMs(), kNoticeMs);
}

}  // namespace dv
