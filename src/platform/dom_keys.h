// The browser's key names to the game's virtual-key codes, as platform/keymap.h does for
// SDL's. Plain code, so it is built and tested natively too.
#pragma once

#include <string_view>

namespace dv {

// The virtual-key code of a DOM KeyboardEvent.code ("ArrowLeft", "KeyA", "Digit1", "F12",
// "ShiftLeft", ...); -1 for keys the game does not use.
int VirtualKeyFromDomCode(std::string_view code);

}  // namespace dv
