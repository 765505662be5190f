#include <gtest/gtest.h>

#include <cstddef>

#include "character/character.h"
#include "input/keyboard.h"
#include "motion/follow_camera.h"
#include "math/clock.h"
#include "motion/movement_body.h"

using namespace dv;

TEST(Movement, TickGateIsStrictlyGreaterThanTheInterval) {
    ClockUseVirtual(true);
    MovementBody body(VecMake(1, 2, 3));
    EXPECT_EQ(body.Movement.Position.y, 2.0f);
    EXPECT_EQ(body.Movement.AngleY, 0.0f);
    EXPECT_EQ(body.TickInterval, 18);

    ClockSetVirtualMs(18);
    EXPECT_FALSE(body.IsDue());  // LastTick starts at 0
    ClockSetVirtualMs(19);
    EXPECT_TRUE(body.IsDue());
    body.MarkTick();
    ClockAdvanceVirtual(18);
    EXPECT_FALSE(body.IsDue());
    ClockAdvanceVirtual(1);
    EXPECT_TRUE(body.IsDue());

    ClockUseVirtual(false);
}

// The clock wraps after 2^31 ms (24.8 days): every reader subtracts modulo 2^32, so the
// body's tick, the character's step, and the camera's move (a float reading) see the
// 26 ms that passed across the wrap.
TEST(Movement, TimeAcrossTheClockWrapIsTheTimeThatPassed) {
    ClockUseVirtual(true);
    MovementBody body(VecMake(0, 0, 0));
    body.LastTick = INT32_MAX - 5;
    ClockSetVirtualMs(INT32_MIN + 20);
    EXPECT_TRUE(body.IsDue());
    EXPECT_EQ(ClockSince(ClockMs(), body.LastTick), 26);
    EXPECT_EQ(ClockAfter(body.LastTick, 26), INT32_MIN + 20);
    EXPECT_DOUBLE_EQ(ClockSince(INT32_MIN + 20, static_cast<double>(INT32_MAX - 5)), 26.0);

    ClockUseVirtual(false);
}

TEST(Movement, BodyIsSixContiguousFloats) {
    EXPECT_EQ(offsetof(BodyPose, AngleX), 12u);
    EXPECT_EQ(offsetof(BodyPose, AngleZ), 20u);
}

TEST(Keyboard, HandlersTrackKeysAndModifiers) {
    KeyboardState keys;
    EXPECT_FALSE(keys.Press(kVkShift, kShiftBit));
    EXPECT_EQ(keys.Down[16], 1);
    EXPECT_TRUE(keys.ShiftHeld());
    keys.Release(kVkShift, 0);
    EXPECT_EQ(keys.Down[16], 0);
    EXPECT_FALSE(keys.ShiftHeld());

    keys.Press(kVkUp, 0);
    keys.Press(kVkShift, kShiftBit);
    EXPECT_TRUE(keys.IsDown(kKeyCharacterForward));
    EXPECT_TRUE(keys.ShiftHeld());
    keys.Press(kVkUp, kShiftBit);  // auto-repeat just sets the flag again
    keys.Release(kVkShift, 0);
    EXPECT_TRUE(keys.IsDown(kKeyCameraUp));
    EXPECT_FALSE(keys.ShiftHeld());

    EXPECT_TRUE(keys.Press(kVkEscape, 0));  // Escape asks to close the window
    EXPECT_FALSE(keys.Press(300, 0));       // out-of-range codes are ignored
    EXPECT_FALSE(keys.IsDown(300));
    keys.Clear();
    EXPECT_FALSE(keys.IsDown(kVkUp));
    EXPECT_EQ(keys.Shift, 0);
}

// The character and the camera read their keys through snapshots taken at the tick.
TEST(Keyboard, SnapshotsForTheCharacterAndTheCamera) {
    KeyboardState keys;
    keys.Press(kVkUp, kShiftBit | kAltBit);
    keys.Press(kVkEnd, kShiftBit | kAltBit);
    keys.Press('q', kShiftBit | kAltBit);  // the lower-case code of Q (F2) tilts as well
    const CharacterInput c = CharacterInputFrom(keys, 0);
    EXPECT_TRUE(c.Forward && c.TurnAround && c.Shift && c.Alt);
    EXPECT_FALSE(c.Back || c.Left || c.Right || c.Jump || c.LetGo);
    const CameraInput cam = CameraInputFrom(keys);
    EXPECT_TRUE(cam.Up && cam.TiltUp);
    EXPECT_FALSE(cam.Down || cam.FreeLook || cam.Home || cam.TiltDown || cam.SwingLeft || cam.SwingRight);
}

TEST(Keyboard, ReplayKeyNames) {
    EXPECT_EQ(KeyCodeFromName("Up"), 38);
    EXPECT_EQ(KeyCodeFromName("insert"), 45);
    EXPECT_EQ(KeyCodeFromName("Alt"), 18);
    EXPECT_EQ(KeyCodeFromName("q"), 'Q');
    EXPECT_EQ(KeyCodeFromName("Z"), 'Z');
    EXPECT_EQ(KeyCodeFromName("7"), '7');
    EXPECT_EQ(KeyCodeFromName("F12"), 123);
    EXPECT_EQ(KeyCodeFromName("Enter"), 13);  // the names the replay scripts of the menu need
    EXPECT_EQ(KeyCodeFromName("P"), 'P');
    EXPECT_EQ(KeyCodeFromName("F10"), 121);
    EXPECT_EQ(KeyCodeFromName("pageup"), 33);
    EXPECT_EQ(KeyCodeFromName("113"), 113);
    EXPECT_EQ(KeyCodeFromName("256"), -1);
    EXPECT_EQ(KeyCodeFromName("Upp"), -1);
    EXPECT_EQ(KeyCodeFromName(""), -1);
    EXPECT_EQ(KeyCodeFromName("-4"), -1);
}
