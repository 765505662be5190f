#include "app/front_end.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "app/game.h"
#include "app/player_settings.h"
#include "app/save_game.h"
#include "app/shell.h"
#include "math/clock.h"

namespace dv {

namespace {

constexpr float kTextScale = 0.75f;
constexpr float kLineHeight = 20.0f;
constexpr float kMenuWidth = 440.0f;
constexpr float kMenuMargin = 16.0f;
// A texture slot nothing is loaded into: its quads draw their colour alone.
constexpr int32_t kPlainSlot = 5002;

std::string EnvFolder(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/" + fallbackUnderHome;
}

// The clock the game's state is read at: the moment the menu opened while it is open, since
// the game's clocks stand still from then on.
int32_t GameNow(const Shell& shell) { return shell.Paused() ? shell.PausedAt : ClockMs(); }

void SetColour(Shell& shell, uint8_t r, uint8_t g, uint8_t b) {
    shell.Font.Red = r;
    shell.Font.Green = g;
    shell.Font.Blue = b;
}

}  // namespace

float OverlayScale(const Viewport& view) {
    const float scale = std::min(static_cast<float>(view.Width) / 800.0f, static_cast<float>(view.Height) / 600.0f);
    return scale > 0.0f ? scale : 1.0f;
}

PlayerFolders FindPlayerFolders(const std::string& configDir) {
    if (!configDir.empty()) return {configDir + "/settings.ini", configDir + "/saves"};
    return {EnvFolder("XDG_CONFIG_HOME", ".config") + "/dedivirede/settings.ini",
            EnvFolder("XDG_DATA_HOME", ".local/share") + "/dedivirede/saves"};
}

std::string SlotName(int slot) { return slot == kQuickSlot ? "Quick" : "Slot " + std::to_string(slot); }

std::string SlotPath(const Shell& shell, int slot) {
    return shell.Folders.SavesDir + "/" + (slot == kQuickSlot ? std::string("quick") : "slot" + std::to_string(slot)) +
           ".sav";
}

void SaveToSlot(Shell& shell, int slot) {
    if (!shell.InGame() || !shell.Game) return;
    if (shell.Folders.SavesDir.empty()) {
        shell.Notify("No folder for saved games: nothing saved");
        return;
    }
    const SavedGame saved = CaptureGame(*shell.Game, shell.ViewCamera, GameNow(shell));
    std::string error;
    if (!WriteSaveFile(SlotPath(shell, slot), saved, shell.LevelId, static_cast<int64_t>(std::time(nullptr)), error)) {
        shell.Notify(error);
        return;
    }
    RefreshSlotLines(shell);
    shell.Notify("Saved to " + SlotName(slot));
}

bool LoadFromSlot(Shell& shell, int slot) {
    if (!shell.InGame() || !shell.Game || shell.Folders.SavesDir.empty()) return false;
    SaveHeader header{};
    SavedGame saved{};
    std::string error;
    const std::string path = SlotPath(shell, slot);
    const int32_t now = ClockMs();
    size_t level = 0;
    if (!ReadSaveFile(path, shell.LevelIds, level, header, saved, error)) {
        if (error.rfind(path, 0) != 0) error = path + ": damaged: " + error;
        shell.Notify(error);
        return false;
    }
    // A game saved on another level of the adventure starts that level first.
    if (level != shell.LevelIndex) shell.EnterLevel(level);
    if (!RestoreGame(saved, shell.Level.Map, *shell.Game, shell.ViewCamera, now, error)) {
        if (error.rfind(path, 0) != 0) error = path + ": damaged: " + error;
        shell.Notify(error);
        return false;
    }
    RebuildCharacterLights(shell);
    if (shell.Paused()) {
        shell.PausedAt = now;
        shell.ResumeGame();
    }
    shell.Notify("Loaded " + SlotName(slot));
    return true;
}

void RefreshSlotLines(Shell& shell) {
    shell.SlotLines.assign(kSaveSlotCount, std::string());
    for (int slot = 0; slot < kSaveSlotCount; ++slot) {
        const std::string path = SlotPath(shell, slot);
        std::string line = SlotName(slot) + "   ";
        std::error_code ec;
        SaveHeader header{};
        SavedGame saved{};
        std::string error;
        if (!std::filesystem::exists(path, ec)) {
            line += "empty";
        } else if (size_t level = 0; !ReadSaveFile(path, shell.LevelIds, level, header, saved, error)) {
            line += "cannot be loaded";
        } else {
            if (shell.Levels.size() > 1) line += shell.Levels[level].Name + "   ";
            char when[32] = "?";
            const auto t = static_cast<std::time_t>(header.SavedAt);
            std::tm local{};
            if (localtime_r(&t, &local) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
            line += std::string(when) + "   room " + std::to_string(header.Room + 1);
        }
        shell.SlotLines[static_cast<size_t>(slot)] = line;
    }
}

void RunMenuCommand(Shell& shell, const MenuResult& result) {
    switch (result.Command) {
        case MenuCommand::None: break;
        case MenuCommand::Resume: shell.ResumeGame(); break;
        case MenuCommand::SaveSlot: SaveToSlot(shell, result.Slot); break;
        case MenuCommand::LoadSlot: LoadFromSlot(shell, result.Slot); break;
        case MenuCommand::Restart:
            shell.ResumeGame();
            shell.RestartLevel();
            break;
        case MenuCommand::Quit: shell.Close(); break;
        case MenuCommand::ChangeSetting: ChangeSetting(shell, result.Line, result.Step); break;
        case MenuCommand::BindKey: BindKey(shell, result.Line, result.Key); break;
    }
}

namespace {

void DrawMenu(Shell& shell) {
    Viewport& vp = shell.View;

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
            lines = shell.SlotLines;
            lines.resize(kSaveSlotCount);
            lines.emplace_back("Back");
            break;
        case MenuPage::Settings:
        case MenuPage::Rebind:
            title = "Settings";
            lines = SettingsLines(shell);
            break;
    }

    // Laid out for 800 x 600 and scaled with the window.
    const float scale = OverlayScale(vp);
    const float lineHeight = kLineHeight * scale, textScale = kTextScale * scale, margin = kMenuMargin * scale;
    const float width = static_cast<float>(vp.Width), height = static_cast<float>(vp.Height);
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
    if (!shell.Notice.empty() && ClockMs() < shell.NoticeUntil) {
        const float scale = OverlayScale(vp);
        SetColour(shell, 128, 128, 64);
        vp.DrawText(shell.Notice, BlendMode::AlphaTested, 0, static_cast<float>(vp.Height) - kLineHeight * scale,
                    kTextScale * scale);
    }
}

}  // namespace dv
