#include "platform/gamepad.h"

#include <algorithm>

#include "input/keyboard.h"

namespace dv {

namespace {

// The pad's keys, in the order of kPadCodes and of the bits of a held mask.
enum class PadKey : uint8_t { Left, Up, Right, Down, Alt, Ctrl, End, Shift, Insert, Start };

constexpr uint8_t kPadCodes[kPadKeyCount] = {kVkLeft, kVkUp,  kVkRight, kVkDown,   kVkAlt,
                                             kVkCtrl, kVkEnd, kVkShift, kVkInsert, kVkF1 + 9};

struct ButtonKey {
    SDL_GameControllerButton button;
    PadKey key;
};

constexpr ButtonKey kButtons[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadKey::Left},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, PadKey::Up},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadKey::Right},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadKey::Down},
    {SDL_CONTROLLER_BUTTON_A, PadKey::Alt},
    {SDL_CONTROLLER_BUTTON_B, PadKey::Ctrl},
    {SDL_CONTROLLER_BUTTON_Y, PadKey::End},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, PadKey::Shift},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, PadKey::Insert},
    {SDL_CONTROLLER_BUTTON_START, PadKey::Start},
};

constexpr uint16_t Bit(int index) { return static_cast<uint16_t>(1u << index); }
constexpr uint16_t Bit(PadKey key) { return Bit(static_cast<int>(key)); }

// One stick axis: the negative and positive directions latched with hysteresis.
uint8_t LatchAxis(uint8_t bits, uint8_t negBit, uint8_t posBit, int value, int press, int release) {
    const bool neg = (bits & negBit) != 0 ? value <= -release : value <= -press;
    const bool pos = (bits & posBit) != 0 ? value >= release : value >= press;
    bits = static_cast<uint8_t>(bits & ~(negBit | posBit));
    if (neg) bits |= negBit;
    if (pos) bits |= posBit;
    return bits;
}

}  // namespace

void PadState::SetButton(int button, bool down) {
    if (button < 0 || button >= 32) return;
    const uint32_t bit = 1u << button;
    buttons_ = down ? buttons_ | bit : buttons_ & ~bit;
}

void PadState::SetAxis(int axis, int value) {
    if (axis == SDL_CONTROLLER_AXIS_LEFTX)
        stick_ = LatchAxis(stick_, Bit(PadKey::Left), Bit(PadKey::Right), value, press_, release_);
    if (axis == SDL_CONTROLLER_AXIS_LEFTY)
        stick_ = LatchAxis(stick_, Bit(PadKey::Up), Bit(PadKey::Down), value, press_, release_);
}

void PadState::SetDeadZone(int percent) {
    release_ = std::clamp(percent, 1, 49) * 32767 / 100;
    press_ = 2 * release_;
}

void Gamepads::SetDeadZone(int percent) {
    if (percent == deadZone_) return;
    deadZone_ = percent;
    for (Pad& pad : pads_) pad.State.SetDeadZone(percent);
}

uint16_t PadState::HeldMask() const {
    uint16_t mask = stick_;
    for (const ButtonKey& b : kButtons) {
        if ((buttons_ & (1u << b.button)) != 0) mask |= Bit(b.key);
    }
    return mask;
}

int PadKeyCode(int index) { return index >= 0 && index < kPadKeyCount ? kPadCodes[index] : -1; }

uint8_t PadShiftBits(uint16_t mask) {
    uint8_t s = 0;
    if ((mask & Bit(PadKey::Shift)) != 0) s |= kShiftBit;
    if ((mask & Bit(PadKey::Alt)) != 0) s |= kAltBit;
    if ((mask & Bit(PadKey::Ctrl)) != 0) s |= kCtrlBit;
    return s;
}

Gamepads::Gamepads(KeyboardState& keys) : keys_(keys) { started_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0; }

Gamepads::~Gamepads() {
    ReleaseAll(0);
    if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

Gamepads::Pad* Gamepads::Find(SDL_JoystickID id) {
    for (Pad& p : pads_) {
        if (p.Id == id) return &p;
    }
    return nullptr;
}

void Gamepads::Open(int deviceIndex) {
    if (!SDL_IsGameController(deviceIndex)) return;
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (id < 0 || Find(id) != nullptr) return;
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (controller == nullptr) return;
    Pad pad;
    if (deadZone_ >= 0) pad.State.SetDeadZone(deadZone_);
    pad.Id = id;
    pad.Controller = controller;
    pads_.push_back(pad);
}

void Gamepads::Remove(SDL_JoystickID id, uint8_t keyboardShift) {
    Pad* pad = Find(id);
    if (pad == nullptr) return;
    Apply(*pad, 0, keyboardShift);
    SDL_GameControllerClose(pad->Controller);
    pads_.erase(pads_.begin() + (pad - pads_.data()));
}

void Gamepads::ReleaseAll(uint8_t keyboardShift) {
    while (!pads_.empty()) Remove(pads_.back().Id, keyboardShift);
}

uint16_t Gamepads::HeldByOthers(const Pad& pad) const {
    uint16_t mask = 0;
    for (const Pad& p : pads_) {
        if (&p != &pad) mask |= p.Held;
    }
    return mask;
}

uint8_t Gamepads::ShiftBits() const {
    uint16_t mask = 0;
    for (const Pad& p : pads_) mask |= p.Held;
    return PadShiftBits(mask);
}

void Gamepads::Apply(Pad& pad, uint16_t now, uint8_t keyboardShift) {
    const uint16_t others = HeldByOthers(pad);
    const uint16_t pressed = static_cast<uint16_t>(now & ~pad.Held);
    const uint16_t released = static_cast<uint16_t>(pad.Held & ~now & ~others);
    pad.Held = now;
    const uint8_t shift = static_cast<uint8_t>(keyboardShift | PadShiftBits(static_cast<uint16_t>(now | others)));
    for (int i = 0; i < kPadKeyCount; ++i) {
        if ((released & Bit(i)) != 0) {
            if (handlers_.Up != nullptr) handlers_.Up(handlers_.User, kPadCodes[i], shift);
            else keys_.Release(kPadCodes[i], shift);
        }
        if ((pressed & Bit(i)) != 0) {
            if (handlers_.Down != nullptr) handlers_.Down(handlers_.User, kPadCodes[i], shift);
            else keys_.Press(kPadCodes[i], shift);
        }
    }
}

bool Gamepads::HandleEvent(const SDL_Event& e, uint8_t keyboardShift) {
    switch (e.type) {
        case SDL_CONTROLLERDEVICEADDED: Open(e.cdevice.which); return true;
        case SDL_CONTROLLERDEVICEREMOVED: Remove(e.cdevice.which, keyboardShift); return true;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            if (Pad* pad = Find(e.cbutton.which)) {
                pad->State.SetButton(e.cbutton.button, e.type == SDL_CONTROLLERBUTTONDOWN);
                Apply(*pad, pad->State.HeldMask(), keyboardShift);
            }
            return true;
        case SDL_CONTROLLERAXISMOTION:
            if (Pad* pad = Find(e.caxis.which)) {
                pad->State.SetAxis(e.caxis.axis, e.caxis.value);
                Apply(*pad, pad->State.HeldMask(), keyboardShift);
            }
            return true;
        default: return false;
    }
}

}  // namespace dv
