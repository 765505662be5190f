#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>

#include "input/keyboard.h"
#include "platform/gamepad.h"

using namespace dv;

namespace {

bool Held(const PadState& s, int code) {
    for (int i = 0; i < kPadKeyCount; ++i) {
        if (PadKeyCode(i) == code) return (s.HeldMask() & (1u << i)) != 0;
    }
    return false;
}

// A virtual game controller whose buttons and axes follow SDL's controller numbering.
class VirtualPad {
public:
    VirtualPad() {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "test pad";
        index_ = SDL_JoystickAttachVirtualEx(&desc);
        if (index_ >= 0) joystick_ = SDL_JoystickOpen(index_);
    }
    ~VirtualPad() { Detach(); }
    bool Ok() const { return joystick_ != nullptr; }
    void Button(SDL_GameControllerButton b, bool down) { SDL_JoystickSetVirtualButton(joystick_, b, down ? 1 : 0); }
    void Axis(SDL_GameControllerAxis a, int v) { SDL_JoystickSetVirtualAxis(joystick_, a, static_cast<Sint16>(v)); }
    void Detach() {
        if (joystick_ == nullptr) return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
        }
    }

private:
    int index_ = -1;
    SDL_Joystick* joystick_ = nullptr;
};

void Pump(Gamepads& pads) {
    SDL_Event e;
    SDL_PumpEvents();
    while (SDL_PollEvent(&e)) pads.HandleEvent(e, 0);
}

}  // namespace

TEST(PadState, ButtonsMapOntoTheKeyCodes) {
    PadState s;
    const std::pair<SDL_GameControllerButton, int> map[] = {
        {SDL_CONTROLLER_BUTTON_DPAD_UP, kVkUp},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kVkDown},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kVkLeft},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kVkRight},
        {SDL_CONTROLLER_BUTTON_A, kVkAlt},
        {SDL_CONTROLLER_BUTTON_B, kVkCtrl},
        {SDL_CONTROLLER_BUTTON_Y, kVkEnd},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kVkShift},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kVkInsert},
    };
    for (const auto& [button, code] : map) {
        s.SetButton(button, true);
        EXPECT_TRUE(Held(s, code)) << code;
        s.SetButton(button, false);
        EXPECT_EQ(s.HeldMask(), 0) << code;
    }
    s.SetButton(SDL_CONTROLLER_BUTTON_X, true);  // unmapped
    s.SetButton(99, true);                       // out of range
    EXPECT_EQ(s.HeldMask(), 0);
    s.SetButton(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
    s.SetButton(SDL_CONTROLLER_BUTTON_A, true);
    s.SetButton(SDL_CONTROLLER_BUTTON_B, true);
    EXPECT_EQ(PadShiftBits(s.HeldMask()), kShiftBit | kAltBit | kCtrlBit);
}

TEST(PadState, StickHasADeadZoneAndHysteresis) {
    PadState s;
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, -(kStickPress - 1));
    EXPECT_FALSE(Held(s, kVkLeft));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, -kStickPress);
    EXPECT_TRUE(Held(s, kVkLeft));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, -kStickRelease);  // between the thresholds: stays
    EXPECT_TRUE(Held(s, kVkLeft));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, -(kStickRelease - 1));
    EXPECT_FALSE(Held(s, kVkLeft));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, -kStickRelease);  // coming back up does not press
    EXPECT_FALSE(Held(s, kVkLeft));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, 32767);  // straight across
    EXPECT_FALSE(Held(s, kVkLeft));
    EXPECT_TRUE(Held(s, kVkRight));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTY, -20000);  // SDL's y grows downwards
    EXPECT_TRUE(Held(s, kVkUp));
    s.SetAxis(SDL_CONTROLLER_AXIS_RIGHTX, -32768);  // other axes do nothing
    EXPECT_FALSE(Held(s, kVkLeft));
    // The d-pad and the stick hold the same arrow independently.
    s.SetButton(SDL_CONTROLLER_BUTTON_DPAD_UP, true);
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTY, 0);
    EXPECT_TRUE(Held(s, kVkUp));
}

TEST(Gamepads, VirtualControllerDrivesTheKeysAndHotPlugs) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    KeyboardState keys;
    {
        Gamepads pads(keys);
        VirtualPad pad;
        ASSERT_TRUE(pad.Ok()) << SDL_GetError();
        Pump(pads);
        ASSERT_EQ(pads.Count(), 1);

        pad.Button(SDL_CONTROLLER_BUTTON_A, true);
        Pump(pads);
        EXPECT_EQ(keys.Down[kVkAlt], 1);
        EXPECT_EQ(keys.Shift, kAltBit);  // the actions test the Alt bit as well as the key

        pad.Button(SDL_CONTROLLER_BUTTON_A, false);
        pad.Button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
        pad.Button(SDL_CONTROLLER_BUTTON_DPAD_UP, true);
        Pump(pads);
        EXPECT_EQ(keys.Down[kVkAlt], 0);
        EXPECT_EQ(keys.Down[kVkShift], 1);
        EXPECT_EQ(keys.Down[kVkUp], 1);
        EXPECT_EQ(keys.Shift, kShiftBit);  // walk, not run
        EXPECT_EQ(pads.ShiftBits(), kShiftBit);

        pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 30000);
        pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
        Pump(pads);
        EXPECT_EQ(keys.Down[kVkRight], 1);
        EXPECT_EQ(keys.Down[kVkInsert], 1);

        // Pulling the pad out lets go of everything it held.
        pad.Detach();
        Pump(pads);
        EXPECT_EQ(pads.Count(), 0);
        for (int code : {kVkShift, kVkUp, kVkRight, kVkInsert}) EXPECT_EQ(keys.Down[code], 0) << code;
        EXPECT_EQ(keys.Shift, 0);

        // Plugged in again, it works again.
        VirtualPad again;
        ASSERT_TRUE(again.Ok());
        Pump(pads);
        EXPECT_EQ(pads.Count(), 1);
        again.Button(SDL_CONTROLLER_BUTTON_Y, true);
        Pump(pads);
        EXPECT_EQ(keys.Down[kVkEnd], 1);
    }
    EXPECT_EQ(keys.Down[kVkEnd], 0);  // closing the pads releases their keys
}

// Start is the pause menu's key (F10), and the dead zone set from the settings moves both
// thresholds of the stick.
TEST(PadState, StartPressesTheMenuKeyAndTheDeadZoneMovesTheThresholds) {
    PadState s;
    s.SetButton(SDL_CONTROLLER_BUTTON_START, true);
    EXPECT_TRUE(Held(s, kVkF1 + 9));
    s.SetButton(SDL_CONTROLLER_BUTTON_START, false);
    EXPECT_FALSE(Held(s, kVkF1 + 9));

    s.SetDeadZone(10);  // lets go below 3276, presses from 6552
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, 6551);
    EXPECT_FALSE(Held(s, kVkRight));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, 6552);
    EXPECT_TRUE(Held(s, kVkRight));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, 3276);
    EXPECT_TRUE(Held(s, kVkRight));
    s.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, 3275);
    EXPECT_FALSE(Held(s, kVkRight));
}
