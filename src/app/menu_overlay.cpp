#include "app/menu_overlay.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/player_settings.h"
#include "app/shell.h"
#include "math/clock.h"
#include "render/texture_slots.h"

namespace dv {

namespace {

constexpr float kTextScale = 0.75f;
constexpr float kLineHeight = 20.0f;
constexpr float kMenuWidth = 440.0f;
constexpr float kMenuMargin = 16.0f;

void SetColour(Shell& shell, uint8_t r, uint8_t g, uint8_t b) {
    shell.Font.Red = r;
    shell.Font.Green = g;
    shell.Font.Blue = b;
}

}  // namespace

float OverlayScale(const Viewport& view) {
    const float scale = std::min(static_cast<float>(view.Width()) / 800.0f, static_cast<float>(view.Height()) / 600.0f);
    return scale > 0.0f ? scale : 1.0f;
}

namespace {

void DrawMenu(Shell& shell) {
    Viewport& vp = shell.View;
    if (shell.Menu.Page() == MenuPage::Photo) return;

    std::vector<std::string> lines;
    std::string title;
    switch (shell.Menu.Page()) {
        case MenuPage::Main:
            title = "Paused";
            for (int i = 0; i < kMainItemCount; ++i) lines.emplace_back(MainItemText(static_cast<MainItem>(i)));
            break;
        case MenuPage::SaveSlots:
        case MenuPage::LoadSlots:
            title = shell.Menu.Page() == MenuPage::SaveSlots ? "Save to" : "Load from";
            lines = shell.SlotLines();
            lines.resize(kSaveSlotCount);
            lines.emplace_back("Back");
            break;
        case MenuPage::Settings:
        case MenuPage::Rebind:
            title = "Settings";
            lines = SettingsLines(shell);
            break;
        case MenuPage::Photo: break;
    }

    // Laid out for 800 x 600 and scaled with the window.
    const float scale = OverlayScale(vp);
    const float lineHeight = kLineHeight * scale, textScale = kTextScale * scale, margin = kMenuMargin * scale;
    const float width = static_cast<float>(vp.Width()), height = static_cast<float>(vp.Height());
    const float left = std::max(0.0f, (width - kMenuWidth * scale) / 2);
    // The frame at 20 % of its brightness (the colour is doubled), darker still under the menu.
    SetColour(shell, 51, 51, 51);
    vp.DrawPicture(kPlainSlot, BlendMode::Darken, 0, 0, width, height);
    // A long page scrolls so that the selected line stays in view.
    const int fit = std::max(1, static_cast<int>((height - 3 * lineHeight) / lineHeight) - 1);
    const int count = static_cast<int>(lines.size());
    const int first = std::clamp(shell.Menu.Selected() - fit / 2, 0, std::max(0, count - fit));
    const int shown = std::min(count, fit);
    const float top = std::max(lineHeight, (height - static_cast<float>(shown + 2) * lineHeight) / 2);
    const float bottom = top + static_cast<float>(shown + 2) * lineHeight;
    SetColour(shell, 64, 64, 64);
    vp.DrawPicture(kPlainSlot, BlendMode::Darken, left - margin, top - margin,
                   std::min(width, left + (kMenuWidth + kMenuMargin) * scale), bottom + margin);
    SetColour(shell, 128, 128, 128);
    vp.DrawText(title, BlendMode::AlphaTested, left, top, textScale);
    if (shell.Menu.Page() == MenuPage::Rebind)
        vp.DrawText(RebindPrompt(shell), BlendMode::AlphaTested, left, top + lineHeight, textScale);
    for (int i = first; i < first + shown; ++i) {
        const bool selected = i == shell.Menu.Selected();
        if (selected) SetColour(shell, 128, 110, 32);
        else SetColour(shell, 100, 100, 100);
        const float y = top + static_cast<float>(i - first + 2) * lineHeight;
        vp.DrawText(selected ? "> " : "  ", BlendMode::AlphaTested, left, y, textScale);
        vp.DrawText(lines[static_cast<size_t>(i)], BlendMode::AlphaTested, left + 20 * scale, y, textScale);
    }
}

}  // namespace

void DrawFrontEnd(Shell& shell) {
    Viewport& vp = shell.View;
    if (shell.Paused()) DrawMenu(shell);
    const float lineHeight = kLineHeight * OverlayScale(vp);
    if (!shell.ReloadError().empty()) {
        // Above the notice line, until a good save of the source replaces it.
        SetColour(shell, 255, 96, 64);
        vp.DrawText(shell.ReloadError(), BlendMode::AlphaTested, 0, static_cast<float>(vp.Height()) - 2 * lineHeight,
                    kTextScale * OverlayScale(vp));
    }
    if (!shell.Notice().empty() && ClockSince(ClockMs(), shell.NoticeUntil()) < 0) {
        const float scale = OverlayScale(vp);
        SetColour(shell, 128, 128, 64);
        vp.DrawText(shell.Notice(), BlendMode::AlphaTested, 0, static_cast<float>(vp.Height()) - kLineHeight * scale,
                    kTextScale * scale);
    }
}

}  // namespace dv
