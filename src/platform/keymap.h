// Translates SDL key events into the Windows virtual-key codes and shift-state bits the
// keyboard table uses.
#pragma once

#include <cstdint>

#include <SDL_keyboard.h>

namespace dv {

// The virtual-key code of an SDL key, or -1 for keys the game has no code for.
int VirtualKeyFromSdl(SDL_Keycode key);
// SDL modifiers as the shift state: bit 0 Shift, bit 1 Alt, bit 2 Ctrl.
uint8_t ShiftStateFromSdl(uint16_t mod);

}  // namespace dv
