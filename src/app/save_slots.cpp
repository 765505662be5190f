#include "app/save_slots.h"

#include <ctime>
#include <filesystem>

#include "app/game.h"
#include "app/save_game.h"
#include "app/shell.h"
#include "app/shell_internal.h"
#include "math/clock.h"
#include "world/level_file.h"

namespace dv {

namespace {

// The clock the game's state is read at: the moment the menu opened while it is open, since
// the game's clocks stand still from then on.
int32_t GameNow(const Shell& shell) { return shell.Paused() ? shell.PausedAt() : ClockMs(); }

bool SaveFitsLevelFile(const std::string& levelPath, const SavedGame& saved, std::string& error) {
    LevelFileData data;
    try {
        ParseLevelFile(levelPath, data);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return SaveFitsLevel(saved, data.Level, error);
}

}  // namespace

std::string SlotName(int slot) { return slot == kQuickSlot ? "Quick" : "Slot " + std::to_string(slot); }

std::string SlotPath(const Shell& shell, int slot) {
    return shell.Setup().Folders.SavesDir + "/" +
           (slot == kQuickSlot ? std::string("quick") : "slot" + std::to_string(slot)) + ".sav";
}

void SaveToSlot(Shell& shell, int slot) {
    if (!shell.InGame() || !shell.Game) return;
    if (shell.Setup().Folders.SavesDir.empty()) {
        shell.Notify("No folder for saved games: nothing saved");
        return;
    }
    const SavedGame saved = CaptureGame(*shell.Game, shell.ViewCamera, GameNow(shell));
    std::string error;
    if (!WriteSaveFile(SlotPath(shell, slot), saved, ShellInternals::LevelId(shell),
                       static_cast<int64_t>(std::time(nullptr)), error)) {
        shell.Notify(error);
        return;
    }
    RefreshSlotLines(shell);
    shell.Notify("Saved to " + SlotName(slot));
}

bool LoadFromSlot(Shell& shell, int slot) {
    if (!shell.InGame() || !shell.Game || shell.Setup().Folders.SavesDir.empty()) return false;
    SaveHeader header{};
    SavedGame saved{};
    std::string error;
    const std::string path = SlotPath(shell, slot);
    const int32_t now = ClockMs();
    size_t level = 0;
    if (!ReadSaveFile(path, ShellInternals::LevelIds(shell), level, header, saved, error)) {
        if (error.rfind(path, 0) != 0) error = path + ": damaged: " + error;
        shell.Notify(error);
        return false;
    }
    // A game saved on another level of the adventure starts that level, but only once the
    // save is known to fit it: a load that fails leaves the game being played as it was.
    if (level != shell.LevelIndex()) {
        if (!SaveFitsLevelFile(shell.Setup().BasePath + shell.Levels()[level].File, saved, error)) {
            if (error.rfind(path, 0) != 0) error = path + ": damaged: " + error;
            shell.Notify(error);
            return false;
        }
        shell.EnterLevel(level);
    }
    if (!RestoreGame(saved, shell.Level.Map, *shell.Game, shell.ViewCamera, now, error)) {
        if (error.rfind(path, 0) != 0) error = path + ": damaged: " + error;
        shell.Notify(error);
        return false;
    }
    RebuildCharacterLights(shell);
    if (shell.Paused()) {
        ShellInternals::PausedAt(shell) = now;
        shell.ResumeGame();
    }
    shell.Notify("Loaded " + SlotName(slot));
    return true;
}

void RefreshSlotLines(Shell& shell) {
    ShellInternals::SlotLines(shell).assign(kSaveSlotCount, std::string());
    for (int slot = 0; slot < kSaveSlotCount; ++slot) {
        const std::string path = SlotPath(shell, slot);
        std::string line = SlotName(slot) + "   ";
        std::error_code ec;
        SaveHeader header{};
        SavedGame saved{};
        std::string error;
        if (!std::filesystem::exists(path, ec)) {
            line += "empty";
        } else if (size_t level = 0;
                   !ReadSaveFile(path, ShellInternals::LevelIds(shell), level, header, saved, error)) {
            line += "cannot be loaded";
        } else {
            if (shell.Levels().size() > 1) line += shell.Levels()[level].Name + "   ";
            char when[32] = "?";
            const auto t = static_cast<std::time_t>(header.SavedAt);
            std::tm local{};
            if (localtime_r(&t, &local) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
            line += std::string(when) + "   room " + std::to_string(static_cast<int64_t>(header.Room) + 1);
        }
        ShellInternals::SlotLines(shell)[static_cast<size_t>(slot)] = line;
    }
}

}  // namespace dv
