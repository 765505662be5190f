// What the pause menu's commands and the save keys do to the shell's game, where the
// player's files live, and how the menu is drawn over the dimmed frame.
#pragma once

#include <string>

#include "app/pause_menu.h"

namespace dv {

class Shell;
class Viewport;

// The 2D overlay is laid out for 800 x 600 and scaled by this, the same across and down, so
// that it fits any window without distortion.
float OverlayScale(const Viewport& view);

inline constexpr int kQuickSlot = 0;

// Where the settings file and the saved games live: with `configDir` (--config) that folder
// and its "saves" folder; else $XDG_CONFIG_HOME/dedivirede (~/.config/dedivirede) and
// $XDG_DATA_HOME/dedivirede/saves (~/.local/share/dedivirede/saves).
struct PlayerFolders {
    std::string SettingsPath;
    std::string SavesDir;
};
PlayerFolders FindPlayerFolders(const std::string& configDir);

std::string SlotPath(const Shell& shell, int slot);
std::string SlotName(int slot);  // "Quick", "Slot 1", ...
// Saves the game as it stands into `slot`, or loads it from there; a failure is told to the
// player in one line and the game goes on as it was.
void SaveToSlot(Shell& shell, int slot);
bool LoadFromSlot(Shell& shell, int slot);
// Reads the slots' headers into the lines the save and load pages show.
void RefreshSlotLines(Shell& shell);
void RunMenuCommand(Shell& shell, const MenuResult& result);
// The menu (when open) and the notice line, drawn by the game's 2D overlay.
void DrawFrontEnd(Shell& shell);

}  // namespace dv
