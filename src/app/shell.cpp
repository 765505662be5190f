#include "app/shell.h"

#include <SDL.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "app/front_end.h"
#include "app/game.h"
#include "character/character.h"
#include "math/clock.h"
#include "render/font.h"
#include "render/store_source.h"
#include "world/level_file.h"
#include "world/level_loader.h"

namespace dv {

const char* const kCreditLines[2] = {
    "An engine and demo of our own, on SDL2 and OpenGL",
    "Arrows run and turn, Shift walks, Alt jumps and climbs, Esc quits",
};

namespace {

constexpr int32_t kTitleSlot = 5001;
constexpr int32_t kTitleMs = 6999;  // shown while clock - start <= this
constexpr int32_t kClosingMs = 4999;
constexpr int32_t kLevelCardMs = 3999;  // the next level's card
constexpr const char* kResetFailed = "Error trying to setup Direct3d";
constexpr int32_t kNoticeMs = 4000;
constexpr int kVkF5 = kVkF1 + 4;
constexpr int kVkF9 = kVkF1 + 8;
constexpr int kVkF11 = kVkF1 + 10;

void GameUpdateCallback(Shell& shell) { GameUpdate(shell); }

// Sound problems never stop the game; they are one line each on stderr.
void PrintWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) std::fprintf(stderr, "%s\n", w.c_str());
}

}  // namespace

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
    Audio.Start(AudioSettings, BasePath, BasePath + Levels[0].File, Level.Map, warnings);
    PrintWarnings(warnings);

    UpdateCallback = TitleSequence;
    Running = true;
}

void Shell::ReadLevels() {
    std::string error;
    if (!ReadLevelList(BasePath, Levels, error)) Boxes.Fatal(error, "Error");
    LevelIds.assign(Levels.size(), LevelIdentity{});
    // The first level is read, and so checked, when it is loaded just after.
    for (size_t i = 1; i < Levels.size(); ++i) {
        const LevelEntry& entry = Levels[i];
        const std::string path = BasePath + entry.File;
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
    const std::string levelPath = BasePath + Levels[index].File;
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
    const std::string fontPath = BasePath + "font01.fnx";
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

void Shell::EnterLevel(size_t index) {
    std::unique_ptr<FILE, TraceFileCloser> trace;
    if (Game) trace = std::move(Game->Trace);
    LoadLevelAt(index);
    CreateGameState(*this);
    Game->Trace = std::move(trace);
    PlayStartedAt = ClockMs();  // a saved game loaded on another level plays on at once
    std::vector<std::string> warnings;
    Audio.ChangeLevel(BasePath + Levels[index].File, Level.Map, warnings);
    PrintWarnings(warnings);
}

void Shell::FinishLevel() {
    if (LevelIndex + 1 >= Levels.size()) return EnterClosingPicture();
    View.SetScene3D(nullptr, nullptr);
    View.SetOverlay2D(nullptr, nullptr);
    UpdateCallback = TitleSequence;
    TitleState = 4;
    PlayStartedAt = -1;
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
    if (View.FullScreen) return;
    int w = width, h = height;
    if (Window != nullptr) SDL_GL_GetDrawableSize(Window, &w, &h);
    if (!View.Resize(w, h) || !View.DrawFrame()) FailGraphics(kResetFailed);
}

void Shell::Idle(bool active) {
    if (!active) {
        // An open menu already holds the game's clocks until it closes.
        if (Game && !Paused()) HoldRunnerClock(Game->Actions);
        return;
    }
    if (UpdateCallback != nullptr && !Paused()) UpdateCallback(*this);
    Audio.Frame(ViewCamera.Position, ViewCamera.Target);
    if (!View.RenderFrame()) FailGraphics(kResetFailed);
}

bool Shell::InGame() const { return UpdateCallback == GameUpdateCallback; }

void Shell::KeyDown(int code, uint8_t shift, bool repeat) {
    if (code == kVkEscape) {
        Keys.Press(code, shift);
        Close();
        return;
    }
    if (!repeat && (code == kVkF11 || (code == kVkEnter && (shift & kAltBit) != 0))) {
        ToggleFullScreen();
        return;
    }
    if (Paused()) {
        if (repeat && IsMenuKey(code)) return;
        const MenuPage before = Menu.Page();
        const MenuResult result = Menu.HandleKey(code);
        const bool slotPage = Menu.Page() == MenuPage::SaveSlots || Menu.Page() == MenuPage::LoadSlots;
        if (slotPage && Menu.Page() != before) RefreshSlotLines(*this);
        RunMenuCommand(*this, result);
        return;
    }
    if (InGame() && !repeat) {
        if (IsMenuKey(code)) {
            OpenMenu();
            return;
        }
        if (code == kVkF5 || code == kVkF9) {
            if (code == kVkF5) SaveToSlot(*this, kQuickSlot);
            else LoadFromSlot(*this, kQuickSlot);
            return;
        }
    }
    Keys.Press(code, shift);
}

void Shell::KeyUp(int code, uint8_t shift) { Keys.Release(code, shift); }

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
    if (Game) ShiftGameClocks(*Game, ClockMs() - PausedAt);
}

void Shell::RestartLevel() {
    auto trace = std::move(Game->Trace);
    CreateGameState(*this);
    Game->Trace = std::move(trace);
    HoldRunnerClock(Game->Actions);
    Notify("Level restarted");
}

void Shell::Notify(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    Notice = text;
    NoticeUntil = ClockMs() + kNoticeMs;
}

void Shell::EnterClosingPicture() {
    View.SetScene3D(nullptr, nullptr);
    View.SetOverlay2D(nullptr, nullptr);
    UpdateCallback = TitleSequence;
    TitleState = 2;
}

namespace {

// From a picture into the game: its scene and overlay, the update step, the level's sounds.
void BeginPlay(Shell& shell) {
    shell.View.SetScene3D(GameScene3D, &shell);
    shell.View.SetOverlay2D(GameOverlay2D, &shell);
    shell.TitleState = 0;
    shell.PlayStartedAt = ClockMs();
    shell.UpdateCallback = GameUpdateCallback;
    if (shell.Game) HoldRunnerClock(shell.Game->Actions);  // the first step sees no time from the picture
    std::vector<std::string> warnings;
    shell.Audio.EnterLevel(warnings);
    PrintWarnings(warnings);
}

}  // namespace

void TitleSequence(Shell& shell) {
    const int32_t now = ClockMs();
    switch (shell.TitleState) {
        case 0:
        case 2: {
            shell.View.SetScene3D(nullptr, nullptr);
            shell.View.SetOverlay2D(TitleOverlay2D, &shell);
            shell.TitleStartTime = now;
            // A missing picture leaves the slot empty: its quad then shows the plain grey of the
            // picture colour, with the text over it.
            std::string ignored;
            shell.Textures.LoadFromFile(kTitleSlot,
                                        shell.BasePath + (shell.TitleState == 0 ? "title1.jpg" : "title2.jpg"), false,
                                        true, ignored);
            if (shell.TitleState == 0) shell.Audio.PlayMusic(MusicPiece::Title);
            else shell.Audio.EnterClosing();
            shell.TitleState = shell.TitleState == 0 ? 1 : 3;
            break;
        }
        case 1:
            if (now - shell.TitleStartTime > kTitleMs) BeginPlay(shell);
            break;
        case 3:
            if (now - shell.TitleStartTime > kClosingMs) {
                shell.View.SetScene3D(nullptr, nullptr);
                shell.View.SetOverlay2D(nullptr, nullptr);
                shell.Close();
            }
            break;
        case 4: {
            // The next level's card: its picture and name while the level that was finished
            // falls silent. The level loads when the card ends.
            shell.View.SetOverlay2D(LevelCardOverlay2D, &shell);
            shell.TitleStartTime = now;
            std::string ignored;
            shell.Textures.LoadFromFile(kTitleSlot, shell.BasePath + shell.Levels[shell.LevelIndex + 1].Card, false,
                                        true, ignored);
            shell.Audio.LeaveLevel();
            shell.TitleState = 5;
            break;
        }
        case 5:
            if (now - shell.TitleStartTime > kLevelCardMs) {
                shell.EnterLevel(shell.LevelIndex + 1);
                BeginPlay(shell);
            }
            break;
        default: break;
    }
}

void TitleOverlay2D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running) return;
    Viewport& vp = shell.View;
    vp.Begin2D();
    vp.SetFont(&shell.Font);
    shell.Font.Red = shell.Font.Green = shell.Font.Blue = 128;
    // The picture fills the 800 x 600 layout (its texture is stretched to powers of two, so
    // the layout, not the texture, gives its proportions), scaled to the window and centred;
    // the texts keep their places on it.
    const float scale = OverlayScale(vp);
    const float width = static_cast<float>(vp.Width), height = static_cast<float>(vp.Height);
    const float left = (width - 800.0f * scale) / 2, top = (height - 600.0f * scale) / 2;
    vp.DrawPicture(kTitleSlot, BlendMode::Opaque, left, top, left + 800.0f * scale, top + 600.0f * scale);
    shell.Font.Blue = 0;
    vp.DrawText("DediVirede Alpha 1", BlendMode::AlphaTested, left, top, 0.75f * scale);
    vp.DrawText(kCreditLines[0], BlendMode::AlphaTested, left, top + 20 * scale, 0.75f * scale);
    vp.DrawText(kCreditLines[1], BlendMode::AlphaTested, left, top + 40 * scale, 0.75f * scale);
}

void LevelCardOverlay2D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running || shell.LevelIndex + 1 >= shell.Levels.size()) return;
    Viewport& vp = shell.View;
    vp.Begin2D();
    vp.SetFont(&shell.Font);
    // The picture is laid out as the title's; the level's name stands centred near its foot.
    const float scale = OverlayScale(vp);
    const float width = static_cast<float>(vp.Width), height = static_cast<float>(vp.Height);
    const float left = (width - 800.0f * scale) / 2, top = (height - 600.0f * scale) / 2;
    vp.DrawPicture(kTitleSlot, BlendMode::Opaque, left, top, left + 800.0f * scale, top + 600.0f * scale);
    const std::string& name = shell.Levels[shell.LevelIndex + 1].Name;
    const float textScale = 1.5f * scale;
    const float textWidth = TextWidth(shell.Font, name) * textScale;
    shell.Font.Red = shell.Font.Green = 255;
    shell.Font.Blue = 224;
    vp.DrawText(name, BlendMode::AlphaTested, (width - textWidth) / 2, top + 520.0f * scale, textScale);
}

void GameOverlay2D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running) return;
    Viewport& vp = shell.View;
    vp.Begin2D();
    vp.SetFont(&shell.Font);
    shell.Font.Red = shell.Font.Green = shell.Font.Blue = 128;
    // Formatted on the stack: the overlay runs every frame and allocates nothing.
    char line[48];
    const auto written = [&line](int size) {
        return std::string_view(line, static_cast<size_t>(std::clamp(size, 0, int(sizeof line) - 1)));
    };
    const float scale = OverlayScale(vp);
    const int size = std::snprintf(line, sizeof line, "%d X %d", shell.OuterWidth, shell.OuterHeight);
    vp.DrawText(written(size), BlendMode::AlphaTested, 0, 0, 0.75f * scale);
    if (shell.Settings.ShowFrameRate) {
        const int fps = std::snprintf(line, sizeof line, "FPS:%d", vp.FramesPerSecond);
        vp.DrawText(written(fps), BlendMode::AlphaTested, 0, 20 * scale, 0.75f * scale);
    }
    DrawFrontEnd(shell);
}

}  // namespace dv
