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

void Shell::Start(SDL_Window* window, const std::string& basePath) {
    Window = window;
    std::setlocale(LC_NUMERIC, "C");  // "." as the decimal separator everywhere
    Running = false;
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

    BasePath = basePath;
    Textures.MipCount = 4;
    ReadLevels();
    LoadLevelAt(0);
    if (StartAt.Given) ResolveStartAt();

    SDL_SetWindowSize(window, Settings.WindowWidth, Settings.WindowHeight);
    Resize(Settings.WindowWidth, Settings.WindowHeight);
    // The window starts windowed with vertical sync (headless without, which stays).
    AppliedSettings = Settings;
    AppliedSettings.FullScreen = false;
    AppliedSettings.VerticalSync = true;
    ApplySettings();
    Menu.SetSettingsShape(kSettingsLineCount, kSettingValueLines, kGameKeyCount);

    CreateGameState(*this);
    std::vector<std::string> warnings;
    Audio.Start(AudioSettings, BasePath, LevelPath(0), Level.Map, warnings);
    PrintWarnings(warnings);

    UpdateCallback = TitleSequence;
    Running = true;
    if (SkipTitle) BeginPlay(*this);
}

std::string Shell::DataFile(const std::string& name) const {
    std::error_code ec;
    if (!LevelFolder.empty() && std::filesystem::is_regular_file(LevelFolder + name, ec)) return LevelFolder + name;
    return BasePath + name;
}

std::string Shell::LevelPath(size_t index) const {
    const std::string& file = Levels[index].File;
    return !file.empty() && file.front() == '/' ? file : BasePath + file;
}

void Shell::ReadLevels() {
    std::string error;
    if (!SingleLevel.empty()) {
        Levels.assign(1, LevelEntry{SingleLevel, "", std::filesystem::path(SingleLevel).stem().string(), 0});
        LevelIds.assign(1, LevelIdentity{});
        return;
    }
    if (!ReadLevelList(BasePath, Levels, error)) Boxes.Fatal(error, "Error");
    LevelIds.assign(Levels.size(), LevelIdentity{});
    // The first level is read, and so checked, when it is loaded just after.
    for (size_t i = 1; i < Levels.size(); ++i) {
        const LevelEntry& entry = Levels[i];
        const std::string path = LevelPath(i);
        // Messages of a listed level say where the list names it.
        const std::string where =
            entry.Line > 0 ? BasePath + kLevelListFile + ":" + std::to_string(entry.Line) + ": " : "";
        if (!ReadLevelIdentity(path, LevelIds[i], error)) Boxes.Fatal(where + error, "Error");
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
    if (std::string error; !ReadLevelIdentity(levelPath, LevelIds[index], error)) Boxes.Fatal(error, "Error");
    LevelIndex = index;
    LevelId = LevelIds[index];
    View.AnimatedTextures[0] = Level.AnimSetA;
    View.AnimatedTextures[1] = Level.AnimSetB;
    // Only the bumped wall materials (base slots 1 to the bump tile count) get the bump effect.
    View.LevelLimit = Level.BumpTileCount;

    // The level's load emptied the texture store, so the font is loaded again. Without the
    // file the game goes on and texts draw nothing (said once, at start-up); a damaged one is
    // a read error and ends the program.
    const std::string fontPath = DataFile("font01.fnx");
    if (std::string error; !LoadFont(Font, fontPath, Textures, error)) {
        if (!Running) Boxes.Show(error);
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
    std::snprintf(place, sizeof place, " %g %g", static_cast<double>(StartAt.X), static_cast<double>(StartAt.Z));
    std::fprintf(stderr, "dedivirede: --at %s%s: %s\n", StartAt.Room.c_str(), place, fault.c_str());
    Shutdown();
    ExitProgram(2);
}

std::string Shell::PlaceStartAt() {
    HasStartOverride = false;
    const LevelMap& map = Level.Map;
    int room = -1;
    for (size_t i = 0; i < RoomNames.size(); ++i)
        if (RoomNames[i] == StartAt.Room) room = static_cast<int>(i);
    if (room < 0 && RoomNames.empty()) {
        char* end = nullptr;
        const long number = std::strtol(StartAt.Room.c_str(), &end, 10);
        if (*end == '\0' && number >= 0 && number < map.RoomCount) room = static_cast<int>(number);
    }
    if (room < 0) {
        const std::string rooms = "0 to " + std::to_string(map.RoomCount - 1);
        if (!RoomNames.empty()) return "the level has no room '" + StartAt.Room + "'";
        return "the level has no room '" + StartAt.Room + "' (a compiled level names its rooms by number, " + rooms +
               ")";
    }
    const PlaceResult placed = PlaceOnFloor(map, room, StartAt.X, StartAt.Z);
    if (placed.Fault != PlaceFault::None) return "that place " + PlaceFaultText(map, room, placed);
    HasStartOverride = true;
    StartOverride = placed.Start;
    StartHeading = StartAt.Heading;
    return "";
}

void Shell::EnterLevel(size_t index) {
    std::unique_ptr<FILE, TraceFileCloser> trace;
    if (Game) trace = std::move(Game->Trace);
    LoadLevelAt(index);
    CreateGameState(*this);
    Game->Trace = std::move(trace);
    PlayStartedAt = ClockMs();  // a saved game loaded on another level plays on at once
    BeginLevelRun(*Game, PlayStartedAt);
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
    OuterWidth = width;
    OuterHeight = height;
    if (View.FullScreen()) return;
    int w = width, h = height;
    if (Window != nullptr) SDL_GL_GetDrawableSize(Window, &w, &h);
    if (!View.Resize(w, h) || !View.DrawFrame()) FailGraphics(kResetFailed);
}

void Shell::Idle(bool active) {
    if (!active) {
        // An open menu already holds the game's clocks until it closes.
        if (Game && !Paused()) HoldRunnerClock(Game->Actions, ClockMs());
        return;
    }
    if (UpdateCallback != nullptr && !Paused()) UpdateCallback(*this);
    Audio.Frame(ViewCamera.Position, ViewCamera.Target);
    if (!View.RenderFrame()) FailGraphics(kResetFailed);
}

bool Shell::InGame() const { return UpdateCallback == GameUpdate; }

void Shell::ApplySettings() {
    PlayerSettings& was = AppliedSettings;
    if (Window != nullptr && Settings.VerticalSync != was.VerticalSync)
        SDL_GL_SetSwapInterval(Settings.VerticalSync ? 1 : 0);
    if (Window != nullptr && Settings.FullScreen != was.FullScreen)
        SDL_SetWindowFullscreen(Window, Settings.FullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    const bool sizeChanged = Settings.WindowWidth != was.WindowWidth || Settings.WindowHeight != was.WindowHeight;
    // Leaving full screen, the window gets back the size it had, dragged or set.
    if (Window != nullptr && !Settings.FullScreen && sizeChanged) {
        SDL_SetWindowSize(Window, Settings.WindowWidth, Settings.WindowHeight);
        Resize(Settings.WindowWidth, Settings.WindowHeight);
    }
    Audio.Sounds().SetVolumes({Settings.MasterVolume / 100.0f, Settings.EffectsVolume / 100.0f,
                               Settings.AmbienceVolume / 100.0f, Settings.MusicVolume / 100.0f});
    was = Settings;
}

void Shell::ToggleFullScreen() {
    Settings.FullScreen = !Settings.FullScreen;
    ApplySettings();
    SavePlayerSettings(*this);
}

void Shell::OpenMenu() {
    if (!InGame() || Paused()) return;
    Menu.Open();
    PausedAt = ClockMs();
}

void Shell::ResumeGame() {
    Menu.Close();
    if (Game) ShiftGameClocks(*Game, ClockSince(ClockMs(), PausedAt));
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
    Notice = text;
    NoticeUntil = ClockAfter(ClockMs(), kNoticeMs);
}

}  // namespace dv
