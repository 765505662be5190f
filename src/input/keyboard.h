// The keyboard as the game reads it: one is-down flag per virtual-key code and the modifier
// set of the last key event. The platform's key and pad handlers write it; the game hands it
// to the follow camera and a snapshot of it to the character once per update tick.
#pragma once

#include <cstdint>

namespace dv {

// Windows virtual-key codes, which the key state is indexed by.
enum VirtualKey : uint8_t {
    kVkBackspace = 8,
    kVkTab = 9,
    kVkEnter = 13,
    kVkShift = 16,
    kVkCtrl = 17,
    kVkAlt = 18,
    kVkEscape = 27,
    kVkSpace = 32,
    kVkPageUp = 33,
    kVkPageDown = 34,
    kVkEnd = 35,
    kVkHome = 36,
    kVkLeft = 37,
    kVkUp = 38,
    kVkRight = 39,
    kVkDown = 40,
    kVkInsert = 45,
    kVkDelete = 46,
    kVk0 = 48,
    kVkA = 65,
    kVkF1 = 112,
};

enum ShiftBits : uint8_t { kShiftBit = 1, kAltBit = 2, kCtrlBit = 4 };

// The game's default keys of the camera and the character (input/key_bindings.h binds others).
inline constexpr int kKeyCameraUp = kVkUp;
inline constexpr int kKeyCameraDown = kVkDown;
inline constexpr int kKeyCameraLeft = kVkLeft;
inline constexpr int kKeyCameraRight = kVkRight;
inline constexpr int kKeyCameraFreeLook = kVkInsert;
inline constexpr int kKeyCameraHome = kVkHome;
inline constexpr int kKeyCharacterForward = kVkUp;
inline constexpr int kKeyCharacterBack = kVkDown;
inline constexpr int kKeyCharacterLeft = kVkLeft;
inline constexpr int kKeyCharacterRight = kVkRight;
inline constexpr int kKeyCharacterJump = kVkAlt;
inline constexpr int kKeyCharacterLetGo = kVkCtrl;
inline constexpr int kKeyCharacterTurnAround = kVkEnd;

struct KeyboardState {
    uint8_t Down[256] = {};  // 1 while the key is down
    uint8_t Shift = 0;       // ShiftBits of the last key event

    bool IsDown(int code) const { return code >= 0 && code < 256 && Down[code] != 0; }
    bool ShiftHeld() const { return (Shift & kShiftBit) != 0; }
    // The ShiftBits of the modifier keys down now (what a key event carries when the
    // modifiers are known only from the keys, as for replayed and generated keys).
    uint8_t ModifiersDown() const {
        return static_cast<uint8_t>((IsDown(kVkShift) ? kShiftBit : 0) | (IsDown(kVkAlt) ? kAltBit : 0) |
                                    (IsDown(kVkCtrl) ? kCtrlBit : 0));
    }
    // The key handlers. Press returns true for Escape, which closes the main window. Codes
    // outside 0..255 are ignored.
    bool Press(int code, uint8_t shift);
    void Release(int code, uint8_t shift);
    // All keys up, no modifiers.
    void Clear();
};

// The ShiftBits a modifier key stands for (0 for other keys).
inline constexpr uint8_t ModifierBit(int code) {
    return code == kVkShift ? kShiftBit : code == kVkAlt ? kAltBit : code == kVkCtrl ? kCtrlBit : 0;
}

// Where generated key events go when they should not reach a KeyboardState directly.
struct KeyHandlers {
    void* User = nullptr;
    void (*Down)(void* user, int code, uint8_t shift) = nullptr;
    void (*Up)(void* user, int code, uint8_t shift) = nullptr;
};

// Maps a key name of a replay script ("Up", "Shift", "A", "7", "F5", ...) or a decimal code
// to its virtual-key code; -1 when the name is unknown.
int KeyCodeFromName(const char* name);

}  // namespace dv
