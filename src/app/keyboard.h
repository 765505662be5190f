// The process-wide keyboard state: one is-down flag per virtual-key code and the modifier
// set of the last key event. The window's key handlers write it; the camera control and the
// character actions poll it during their update step through the fixed bindings below.
#pragma once

#include <cstdint>

namespace dv {

// Windows virtual-key codes, which the key table is indexed by.
enum VirtualKey : uint8_t {
    kVkShift = 16, kVkCtrl = 17, kVkAlt = 18, kVkEscape = 27,
    kVkEnd = 35, kVkHome = 36, kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40,
    kVkInsert = 45, kVk0 = 48, kVkA = 65, kVkF1 = 112,
};

enum ShiftBits : uint8_t { kShiftBit = 1, kAltBit = 2, kCtrlBit = 4 };

inline uint8_t KeyTable[256] = {};  // 1 while the key is down
inline uint8_t ShiftState = 0;      // modifiers of the last key event

inline constexpr int KeyCamUp = kVkUp;
inline constexpr int KeyCamDown = kVkDown;
inline constexpr int KeyCamLeft = kVkLeft;
inline constexpr int KeyCamRight = kVkRight;
inline constexpr int KeyCamMode = kVkInsert;
inline constexpr int KeyCharUp = kVkUp;
inline constexpr int KeyCharDown = kVkDown;
inline constexpr int KeyCharLeft = kVkLeft;
inline constexpr int KeyCharRight = kVkRight;
inline constexpr int KeyCharAlt = kVkAlt;
inline constexpr int KeyCharCtrl = kVkCtrl;
inline constexpr int KeyCharEnd = kVkEnd;

inline bool KeyIsDown(int code) { return code >= 0 && code < 256 && KeyTable[code] != 0; }
inline bool ShiftHeld() { return (ShiftState & kShiftBit) != 0; }

// The data half of the window's key handlers. KeyDown returns true for Escape, which closes
// the main window. Codes outside 0..255 are ignored.
bool KeyDown(int code, uint8_t shift);
void KeyUp(int code, uint8_t shift);
void KeyTableClear();  // all flags and the shift state to 0

// Maps a key name of a replay script ("Up", "Shift", "A", "7", "F5", ...) or a decimal code
// to its virtual-key code; -1 when the name is unknown.
int KeyCodeFromName(const char* name);

}  // namespace dv
