#include "app/shell.h"

#include <SDL.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "app/game.h"
#include "character/character_module.h"
#include "math/clock.h"
#include "platform/message_box.h"
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
constexpr int32_t kTitleMs = 6999;    // shown while clock - start <= this
constexpr int32_t kClosingMs = 4999;

void GameUpdateCallback(TForm1& form) { GameUpdate(form); }

}  // namespace

TForm1::TForm1() = default;
TForm1::~TForm1() = default;

void TForm1::FormCreate(SDL_Window* window, const std::string& basePath) {
    Window = window;
    std::setlocale(LC_NUMERIC, "C");  // "." as the decimal separator everywhere
    Running = false;
    FarPlane = 4224.0f;
    FogColor = {0, 0, 0, 255};

    if (!CheckDirect3D()) FatalError("There is not DX8.1 support in your videocard", "Error");

    Viewport.SetCamera(&Camera);
    Viewport.DepthEnabled = true;
    Viewport.ModulateShift = 1;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    Viewport.Setup(window, w, h, false);
    Viewport.SetScene3D(nullptr, nullptr);
    Viewport.SetOverlay2D(nullptr, nullptr);
    Viewport.SetClearColor(PackColor(0, 0, 0, 255));
    Viewport.SetTextureSource(StoreTextureSource(Textures));

    FogStart = 192.0f;
    FogEnd = 1024.0f;
    FogOffset = -64.0f;
    FogEnabled = true;
    ApplyFog();

    BasePath = basePath;
    Textures.ShowMessage = [](const std::string& text) { ShowMessage(text); };
    Textures.MipCount = 4;
    const std::string levelPath = BasePath + "test.lev";
    try {
        LoadLevel(Level, levelPath, Textures);
    } catch (const std::exception& e) {
        FatalError(e.what(), "Error");
    }
    Viewport.AnimatedTextures[0] = Level.AnimSetA;
    Viewport.AnimatedTextures[1] = Level.AnimSetB;
    // Only the bumped wall materials (base slots 1 to the bump tile count) get the bump effect.
    Viewport.LevelLimit = Level.BumpTileCount;

    // The font loader shows its own message. Without the file the game goes on and texts
    // draw nothing; a damaged one is a read error and ends the program.
    const std::string fontPath = BasePath + "font01.fnx";
    std::error_code ec;
    if (!LoadFont(Font, fontPath, Textures) && std::filesystem::exists(fontPath, ec)) std::exit(1);
    // Everything reaches the driver now: a room first entered late then allocates nothing.
    if (Direct3DDevice8* device = D3DDevice()) Textures.PreLoadAll(*device);

    SDL_SetWindowSize(window, 800, 600);
    FormResize(800, 600);

    CreateGameState(*this);
    ObjectIds.Clear();
    for (int32_t i = 0; i < Level.ObjectCount; ++i) ObjectIds.Add(i, Level.Objects[i].Id);

    UpdateCallback = TitleSequence;
    Running = true;
}

void TForm1::FormDestroy() { ReleaseDevice(); }

void TForm1::FormResize(int width, int height) {
    OuterWidth = width;
    OuterHeight = height;
    if (Viewport.FullScreen) return;
    int w = width, h = height;
    if (Window != nullptr) SDL_GL_GetDrawableSize(Window, &w, &h);
    Viewport.Resize(w, h);
    Viewport.DrawFrame();
}

void TForm1::AppOnIdle(bool active) {
    if (!active) {
        if (Game) HoldRunnerClock(Game->Actions);
        return;
    }
    if (UpdateCallback != nullptr) UpdateCallback(*this);
    Viewport.RenderFrame();
}

void TForm1::EnterClosingPicture() {
    Viewport.SetScene3D(nullptr, nullptr);
    Viewport.SetOverlay2D(nullptr, nullptr);
    UpdateCallback = TitleSequence;
    TitleState = 2;
}

void TitleSequence(TForm1& form) {
    const int32_t now = ClockMs();
    switch (form.TitleState) {
        case 0:
        case 2:
            form.Viewport.SetScene3D(nullptr, nullptr);
            form.Viewport.SetOverlay2D(TitleOverlay2D, &form);
            form.TitleStartTime = now;
            // A missing picture leaves the slot empty: its quad then shows the plain grey of the
            // picture colour, with the text over it.
            form.Textures.LoadFromFile(kTitleSlot, form.BasePath + (form.TitleState == 0 ? "title1.jpg" : "title2.jpg"),
                                       false, true);
            form.TitleState = form.TitleState == 0 ? 1 : 3;
            break;
        case 1:
            if (now - form.TitleStartTime > kTitleMs) {
                form.Viewport.SetScene3D(GameScene3D, &form);
                form.Viewport.SetOverlay2D(GameOverlay2D, &form);
                form.TitleState = 0;
                form.UpdateCallback = GameUpdateCallback;
                if (form.Game) HoldRunnerClock(form.Game->Actions);  // the first step sees no time from the title
            }
            break;
        case 3:
            if (now - form.TitleStartTime > kClosingMs) {
                form.Viewport.SetScene3D(nullptr, nullptr);
                form.Viewport.SetOverlay2D(nullptr, nullptr);
                form.Close();
            }
            break;
        default:
            break;
    }
}

void TitleOverlay2D(void* user) {
    TForm1& form = *static_cast<TForm1*>(user);
    if (!form.Running) return;
    TGLViewport& vp = form.Viewport;
    vp.Begin2D();
    vp.SetFont(&form.Font);
    form.Font.Red = form.Font.Green = form.Font.Blue = 128;
    vp.DrawPicture(kTitleSlot, 0, 0, 0, static_cast<float>(vp.Width), static_cast<float>(vp.Height));
    form.Font.Blue = 0;
    vp.DrawText("DediVirede Alpha 1", 1, 0, 0, 0.75f);
    vp.DrawText(kCreditLines[0], 1, 0, 20, 0.75f);
    vp.DrawText(kCreditLines[1], 1, 0, 40, 0.75f);
}

void GameOverlay2D(void* user) {
    TForm1& form = *static_cast<TForm1*>(user);
    if (!form.Running) return;
    TGLViewport& vp = form.Viewport;
    vp.Begin2D();
    vp.SetFont(&form.Font);
    form.Font.Red = form.Font.Green = form.Font.Blue = 128;
    // Formatted on the stack: the overlay runs every frame and allocates nothing.
    char line[48];
    const int size = std::snprintf(line, sizeof line, "%d X %d", form.OuterWidth, form.OuterHeight);
    vp.DrawText(std::string_view(line, static_cast<size_t>(std::clamp(size, 0, int(sizeof line) - 1))), 1, 0, 0,
                0.75f);
    const int fps = std::snprintf(line, sizeof line, "FPS:%d", vp.FramesPerSecond);
    vp.DrawText(std::string_view(line, static_cast<size_t>(std::clamp(fps, 0, int(sizeof line) - 1))), 1, 0, 20,
                0.75f);
}

}  // namespace dv
