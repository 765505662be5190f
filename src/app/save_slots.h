// The save slots: where each slot's file lives, saving the game into one and loading it back,
// and the lines the save and load pages list them by.
#pragma once

#include <string>

namespace dv {

class Shell;

inline constexpr int kQuickSlot = 0;

std::string SlotPath(const Shell& shell, int slot);
std::string SlotName(int slot);  // "Quick", "Slot 1", ...
// Saves the game as it stands into `slot`, or loads it from there; a failure is told to the
// player in one line and the game goes on as it was.
void SaveToSlot(Shell& shell, int slot);
bool LoadFromSlot(Shell& shell, int slot);
// Reads the slots' headers into the lines the save and load pages show.
void RefreshSlotLines(Shell& shell);

}  // namespace dv
