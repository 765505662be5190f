#include <gtest/gtest.h>

#include <cstddef>

#include "app/keyboard.h"
#include "math/clock.h"
#include "motion/movement.h"

using namespace dv;

TEST(Movement, TickGateIsStrictlyGreaterThanTheInterval) {
    ClockUseVirtual(true);
    Tmovement body(VecMake(1, 2, 3));
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

    // The difference is formed in 64 bits, so a clock that wrapped past int32 still ticks.
    body.LastTick = INT32_MAX - 5;
    ClockSetVirtualMs(INT32_MIN + 20);
    EXPECT_FALSE(body.IsDue());
    ClockUseVirtual(false);
}

TEST(Movement, BodyIsSixContiguousFloats) {
    EXPECT_EQ(offsetof(Tmaromovement, AngleX), 12u);
    EXPECT_EQ(offsetof(Tmaromovement, AngleZ), 20u);
}

TEST(Keyboard, HandlersTrackKeysAndModifiers) {
    KeyTableClear();
    EXPECT_FALSE(KeyDown(kVkShift, kShiftBit));
    EXPECT_EQ(KeyTable[16], 1);
    EXPECT_TRUE(ShiftHeld());
    KeyUp(kVkShift, 0);
    EXPECT_EQ(KeyTable[16], 0);
    EXPECT_FALSE(ShiftHeld());

    KeyDown(kVkUp, 0);
    KeyDown(kVkShift, kShiftBit);
    EXPECT_TRUE(KeyIsDown(KeyCharUp));
    EXPECT_TRUE(ShiftHeld());
    KeyDown(kVkUp, kShiftBit);  // auto-repeat just sets the flag again
    KeyUp(kVkShift, 0);
    EXPECT_TRUE(KeyIsDown(KeyCamUp));
    EXPECT_FALSE(ShiftHeld());

    EXPECT_TRUE(KeyDown(kVkEscape, 0));  // Escape asks to close the window
    EXPECT_FALSE(KeyDown(300, 0));       // out-of-range codes are ignored
    EXPECT_FALSE(KeyIsDown(300));
    KeyTableClear();
    EXPECT_FALSE(KeyIsDown(kVkUp));
    EXPECT_EQ(ShiftState, 0);
}

TEST(Keyboard, ReplayKeyNames) {
    EXPECT_EQ(KeyCodeFromName("Up"), 38);
    EXPECT_EQ(KeyCodeFromName("insert"), 45);
    EXPECT_EQ(KeyCodeFromName("Alt"), 18);
    EXPECT_EQ(KeyCodeFromName("q"), 'Q');
    EXPECT_EQ(KeyCodeFromName("Z"), 'Z');
    EXPECT_EQ(KeyCodeFromName("7"), '7');
    EXPECT_EQ(KeyCodeFromName("F12"), 123);
    EXPECT_EQ(KeyCodeFromName("113"), 113);
    EXPECT_EQ(KeyCodeFromName("256"), -1);
    EXPECT_EQ(KeyCodeFromName("Upp"), -1);
    EXPECT_EQ(KeyCodeFromName(""), -1);
    EXPECT_EQ(KeyCodeFromName("-4"), -1);
}
