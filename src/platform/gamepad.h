// Game controllers as more keys: SDL's game-controller events are mapped onto the same
// virtual-key codes the keyboard writes into the KeyboardState, so the camera and the
// character see a pad only as keys and shift-state bits.
//
//   d-pad, left stick   arrows (37-40)       A / cross       Alt (18)
//   B / circle          Ctrl (17)            Y / triangle    End (35)
//   left shoulder       Shift (16)           right shoulder  Insert (45)
//   Start               F10 (121), the pause menu
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "input/keyboard.h"

namespace dv {

// The left stick presses an arrow once its axis passes kStickPress and lets it go only when
// the axis falls back below kStickRelease, so a stick resting near the threshold does not
// chatter; everything below kStickRelease is the dead zone.
inline constexpr int kStickPress = 16000;
inline constexpr int kStickRelease = 8000;

// One pad's controls, independent of any device: buttons and the latched stick directions.
class PadState {
public:
    void SetButton(int button, bool down);  // an SDL_GameControllerButton; others are ignored
    void SetAxis(int axis, int value);      // an SDL_GameControllerAxis, -32768..32767
    // The virtual-key codes held, as a bit mask over PadKeyCode(0..kPadKeyCount-1).
    uint16_t HeldMask() const;
    // The dead zone as a share of the stick's travel: it lets go below `percent` and presses
    // at twice that.
    void SetDeadZone(int percent);

private:
    uint32_t buttons_ = 0;
    uint8_t stick_ = 0;  // bits: left, up, right, down
    int press_ = kStickPress;
    int release_ = kStickRelease;
};

inline constexpr int kPadKeyCount = 10;
// The code of bit `index` of a held mask.
int PadKeyCode(int index);
// Shift-state bits (Shift, Alt, Ctrl) of a held mask.
uint8_t PadShiftBits(uint16_t mask);

// The open pads, which press and release keys of `keys` (it must outlive them). Creating it
// starts SDL's game-controller subsystem (pads already connected then arrive as device-added
// events); destroying it lets go of every key a pad holds.
class Gamepads {
public:
    explicit Gamepads(KeyboardState& keys);
    ~Gamepads();
    Gamepads(const Gamepads&) = delete;
    Gamepads& operator=(const Gamepads&) = delete;

    // Takes controller events (added, removed, button, axis) and turns their changes into
    // key presses and releases with `keyboardShift` plus the pads' own modifiers as shift state.
    // A removed pad releases every key it held. Returns false for events of other kinds.
    bool HandleEvent(const SDL_Event& e, uint8_t keyboardShift);
    // The shift-state bits of the keys all pads hold together.
    uint8_t ShiftBits() const;
    int Count() const { return static_cast<int>(pads_.size()); }
    void ReleaseAll(uint8_t keyboardShift);
    // Sends the pads' presses and releases to `handlers` instead of the keyboard state.
    void SetKeyHandlers(const KeyHandlers& handlers) { handlers_ = handlers; }
    // For every pad, now and later (see PadState::SetDeadZone).
    void SetDeadZone(int percent);

private:
    struct Pad {
        SDL_JoystickID Id = -1;
        SDL_GameController* Controller = nullptr;
        PadState State;
        uint16_t Held = 0;
    };

    Pad* Find(SDL_JoystickID id);
    void Open(int deviceIndex);
    void Remove(SDL_JoystickID id, uint8_t keyboardShift);
    // Sends the key changes between the pad's held keys and `now`.
    void Apply(Pad& pad, uint16_t now, uint8_t keyboardShift);
    uint16_t HeldByOthers(const Pad& pad) const;

    KeyboardState& keys_;
    KeyHandlers handlers_;
    int deadZone_ = -1;  // -1: the PadState default
    std::vector<Pad> pads_;
    bool started_ = false;
};

}  // namespace dv
