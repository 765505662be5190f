#include "app/overlays.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/menu_overlay.h"
#include "app/shell.h"
#include "render/texture_slots.h"

namespace dv {

const char* const kCreditLines[2] = {
    "An engine and demo of our own, on SDL2 and OpenGL",
    "Arrows run and turn, Shift walks, Alt jumps and climbs, Esc quits",
};

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
    const float width = static_cast<float>(vp.Width()), height = static_cast<float>(vp.Height());
    const float left = (width - 800.0f * scale) / 2, top = (height - 600.0f * scale) / 2;
    vp.DrawPicture(kPictureSlot, BlendMode::Opaque, left, top, left + 800.0f * scale, top + 600.0f * scale);
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
    const float width = static_cast<float>(vp.Width()), height = static_cast<float>(vp.Height());
    const float left = (width - 800.0f * scale) / 2, top = (height - 600.0f * scale) / 2;
    vp.DrawPicture(kPictureSlot, BlendMode::Opaque, left, top, left + 800.0f * scale, top + 600.0f * scale);
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
        const int fps = std::snprintf(line, sizeof line, "FPS:%d", vp.FramesPerSecond());
        vp.DrawText(written(fps), BlendMode::AlphaTested, 0, 20 * scale, 0.75f * scale);
    }
    DrawFrontEnd(shell);
}

}  // namespace dv
