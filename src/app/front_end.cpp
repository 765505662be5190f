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
    if (!shell.InGame() || !shell.Game) return false;
    SaveHeader header{};
    SavedGame saved{};
    std::string error;
    const std::string path = SlotPath(shell, slot);
    const int32_t now = ClockMs();
    if (!ReadSaveFile(path, shell.LevelId, header, saved, error) ||
        !RestoreGame(saved, shell.Level.Map, *shell.Game, shell.ViewCamera, now, error)) {
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
        } else if (!ReadSaveFile(path, shell.LevelId, header, saved, error)) {
            line += "cannot be loaded";
        } else {
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
void DrawMenu(Shell& shell);
}  // namespace

void DrawFrontEnd(Shell& shell) {
    Viewport& vp = shell.View;
    if (shell.Paused()) DrawMenu(shell);
    if (!shell.Notice.empty() && ClockMs() < shell.NoticeUntil) {
        SetColour(shell, 128, 128, 64);
        vp.DrawText(shell.Notice, BlendMode::AlphaTested, 0, static_cast<float>(vp.Height) - kLineHeight, kTextScale);
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

    const float left = std::max(0.0f, (static_cast<float>(vp.Width) - kMenuWidth) / 2);
    // The frame at 40 % of its brightness, and darker still under the menu's lines.
    const float width = static_cast<float>(vp.Width), height = static_cast<float>(vp.Height);
    SetColour(shell, 51, 51, 51);
    vp.DrawPicture(kPlainSlot, BlendMode::Darken, 0, 0, width, height);
    // A long page scrolls so that the selected line stays in view.
    const int fit = std::max(1, static_cast<int>((static_cast<float>(vp.Height) - 3 * kLineHeight) / kLineHeight) - 1);
    const int count = static_cast<int>(lines.size());
    const int first = std::clamp(shell.Menu.Selected() - fit / 2, 0, std::max(0, count - fit));
    const float top = std::max(kLineHeight, (static_cast<float>(vp.Height) - (std::min(count, fit) + 2) * kLineHeight) / 2);
    const float bottom = top + static_cast<float>(std::min(count, fit) + 2) * kLineHeight;
    SetColour(shell, 64, 64, 64);
    vp.DrawPicture(kPlainSlot, BlendMode::Darken, left - kMenuMargin, top - kMenuMargin,
                   std::min(width, left + kMenuWidth + kMenuMargin), bottom + kMenuMargin);
    SetColour(shell, 128, 128, 128);
    vp.DrawText(title, BlendMode::AlphaTested, left, top, kTextScale);
    for (int i = first; i < std::min(count, first + fit); ++i) {
        const bool selected = i == shell.Menu.Selected();
        if (selected) SetColour(shell, 128, 110, 32);
        else SetColour(shell, 100, 100, 100);
        const float y = top + static_cast<float>(i - first + 2) * kLineHeight;
        vp.DrawText(selected ? "> " : "  ", BlendMode::AlphaTested, left, y, kTextScale);
        vp.DrawText(lines[static_cast<size_t>(i)], BlendMode::AlphaTested, left + 20, y, kTextScale);
    }
    if (shell.Menu.Page() == MenuPage::Rebind) {
        SetColour(shell, 128, 128, 128);
        vp.DrawText(RebindPrompt(shell), BlendMode::AlphaTested, left, top + kLineHeight, kTextScale);
    }
}

}  // namespace

}  // namespace dv
