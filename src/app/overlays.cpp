#include "app/overlays.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/game.h"
#include "app/level_run.h"
#include "app/menu_overlay.h"
#include "app/shell.h"
#include "math/clock.h"
#include "render/texture_slots.h"

namespace dv {

const char* const kCreditLines[2] = {
    "An engine and demo of our own, on SDL2 and OpenGL",
    "Arrows run and turn, Shift walks, Alt jumps and climbs, Esc quits",
};

namespace {

// Text formatted on the stack: the overlays run every frame and allocate nothing.
struct LineBuffer {
    char Text[128];
    int Length = 0;
    std::string_view View() const { return std::string_view(Text, static_cast<size_t>(Length)); }
};

template <class... Args>
LineBuffer Format(const char* format, Args... args) {
    LineBuffer line;
    line.Length = std::clamp(std::snprintf(line.Text, sizeof line.Text, format, args...), 0,
                             static_cast<int>(sizeof line.Text) - 1);
    return line;
}

void DrawCentred(Shell& shell, std::string_view text, float y, float textScale) {
    Viewport& vp = shell.View;
    const float x = (static_cast<float>(vp.Width()) - TextWidth(shell.Font, text) * textScale) / 2;
    vp.DrawText(text, BlendMode::AlphaTested, x, y, textScale);
}

// The finished level's time and statistics, centred on a darkened band whose top is `y`.
void DrawRunSummary(Shell& shell, float y, float scale) {
    if (!shell.Game || !shell.Game->Run.Finished()) return;
    const RunStats stats = shell.Game->Run.Stats(0);
    Viewport& vp = shell.View;
    const float lineHeight = 22 * scale;
    vp.DrawPicture(kPlainSlot, BlendMode::Darken, 0, y - 6 * scale, static_cast<float>(vp.Width()),
                   y + 2.5f * lineHeight);
    char time[24];
    FormatRunTime(stats.TimeMs, time, sizeof time);
    shell.Font.Red = shell.Font.Green = shell.Font.Blue = 255;
    DrawCentred(shell, Format("%s   %s", shell.Levels()[shell.LevelIndex()].Name.c_str(), time).View(), y, scale);
    shell.Font.Red = shell.Font.Green = shell.Font.Blue = 200;
    const auto metres = static_cast<int>(DistanceInMetres(stats.Distance) + 0.5f);
    DrawCentred(shell,
                Format("Distance %d m   Jumps %d   Grabs %d   Falls %d   Saves loaded %d", metres, stats.Jumps,
                       stats.Grabs, stats.Falls, stats.SavesLoaded)
                    .View(),
                y + lineHeight, 0.75f * scale);
}

}  // namespace

void TitleOverlay2D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running()) return;
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
    if (shell.TitleState() == TitleStep::Closing) DrawRunSummary(shell, top + 440.0f * scale, scale);
}

void LevelCardOverlay2D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running() || shell.LevelIndex() + 1 >= shell.Levels().size()) return;
    Viewport& vp = shell.View;
    vp.Begin2D();
    vp.SetFont(&shell.Font);
    // The picture is laid out as the title's; the level's name stands centred near its foot.
    const float scale = OverlayScale(vp);
    const float width = static_cast<float>(vp.Width()), height = static_cast<float>(vp.Height());
    const float left = (width - 800.0f * scale) / 2, top = (height - 600.0f * scale) / 2;
    vp.DrawPicture(kPictureSlot, BlendMode::Opaque, left, top, left + 800.0f * scale, top + 600.0f * scale);
    const std::string& name = shell.Levels()[shell.LevelIndex() + 1].Name;
    const float textScale = 1.5f * scale;
    const float textWidth = TextWidth(shell.Font, name) * textScale;
    shell.Font.Red = shell.Font.Green = 255;
    shell.Font.Blue = 224;
    vp.DrawText(name, BlendMode::AlphaTested, (width - textWidth) / 2, top + 520.0f * scale, textScale);
    DrawRunSummary(shell, top + 440.0f * scale, scale);
}

void GameOverlay2D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running()) return;
    Viewport& vp = shell.View;
    vp.Begin2D();
    // A photo shows the world alone.
    if (shell.Photo.Active) return;
    vp.SetFont(&shell.Font);
    shell.Font.Red = shell.Font.Green = shell.Font.Blue = 128;
    // Formatted on the stack: the overlay runs every frame and allocates nothing.
    char line[48];
    const auto written = [&line](int size) {
        return std::string_view(line, static_cast<size_t>(std::clamp(size, 0, int(sizeof line) - 1)));
    };
    const float scale = OverlayScale(vp);
    const int size = std::snprintf(line, sizeof line, "%d X %d", shell.OuterWidth(), shell.OuterHeight());
    vp.DrawText(written(size), BlendMode::AlphaTested, 0, 0, 0.75f * scale);
    float y = 20 * scale;
    if (shell.Settings().ShowFrameRate) {
        const int fps = std::snprintf(line, sizeof line, "FPS:%d", vp.FramesPerSecond());
        vp.DrawText(written(fps), BlendMode::AlphaTested, 0, y, 0.75f * scale);
        y += 20 * scale;
    }
    if (shell.Settings().ShowLevelTime && shell.Game) {
        // The time stands still while the menu is open, at the moment it opened.
        const int32_t now = shell.Paused() ? shell.PausedAt() : ClockMs();
        const int time = FormatRunTime(shell.Game->Run.TimeMs(now), line, sizeof line);
        vp.DrawText(written(time), BlendMode::AlphaTested, 0, y, 0.75f * scale);
    }
    DrawAuthorOverlay(shell);
    DrawFrontEnd(shell);
}

}  // namespace dv
