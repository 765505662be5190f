#include "platform/keymap.h"

#include "input/keyboard.h"

namespace dv {

int VirtualKeyFromSdl(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return kVkA + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return kVk0 + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return kVkF1 + (key - SDLK_F1);
    switch (key) {
        case SDLK_LEFT: return kVkLeft;
        case SDLK_UP: return kVkUp;
        case SDLK_RIGHT: return kVkRight;
        case SDLK_DOWN: return kVkDown;
        case SDLK_INSERT: return kVkInsert;
        case SDLK_HOME: return kVkHome;
        case SDLK_END: return kVkEnd;
        case SDLK_ESCAPE: return kVkEscape;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return kVkShift;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return kVkCtrl;
        case SDLK_LALT:
        case SDLK_RALT: return kVkAlt;
        case SDLK_SPACE: return kVkSpace;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return kVkEnter;
        case SDLK_TAB: return kVkTab;
        case SDLK_BACKSPACE: return kVkBackspace;
        case SDLK_PAGEUP: return kVkPageUp;
        case SDLK_PAGEDOWN: return kVkPageDown;
        case SDLK_DELETE: return kVkDelete;
        default: return -1;
    }
}

uint8_t ShiftStateFromSdl(uint16_t mod) {
    uint8_t s = 0;
    if (mod & KMOD_SHIFT) s |= kShiftBit;
    if (mod & KMOD_ALT) s |= kAltBit;
    if (mod & KMOD_CTRL) s |= kCtrlBit;
    return s;
}

}  // namespace dv
