#include <cmath>

#include "character_harness.h"
#include "motion/camera_control.h"

namespace dv::test {
namespace {

using Actions = CharacterBench;

// A room 3 cells wide (x 0-96) and `rows` long, 128 high, floor 0; the character stands in
// column 1 facing +Z.
std::vector<Tqtroom> Hall(int rows = 8) { return {Room({0, 0, 0}, 3, rows, 4)}; }
void SetRow(Tqtroom& room, int row, const tcell& cell) {
    for (int col = 0; col < room.Header.CellsX; ++col) room.Cells[col][row] = cell;
}

TEST_F(Actions, FirstCallSeesNoTimeAndTurningUsesTheStandingRate) {
    Use(Hall());
    Place({48, 0, 48});
    state.Action = 4;
    Hold(KeyCharRight);
    Tick();
    EXPECT_EQ(state.AngleY, 0);  // TickDelta 0 on the first call
    Tick();
    EXPECT_NEAR(state.AngleY, kStanding * kTickMs, 1e-5);
    Hold(KeyCharLeft);  // both held: right wins
    Tick();
    EXPECT_NEAR(state.AngleY, 2 * kStanding * kTickMs, 1e-5);
    Hold(KeyCharRight, false);
    Tick();
    EXPECT_NEAR(state.AngleY, kStanding * kTickMs, 1e-5);
    EXPECT_NEAR(MoveForward({0, 0, 0}, 0, 1).x, std::sin(kStanding * kTickMs * DegToRad), 1e-5);
    Hold(KeyCharLeft, false);
    Tick();
    EXPECT_EQ(state.Action, 0);
    EXPECT_EQ(state.ClipId, 0);
}

TEST_F(Actions, IdleStartsTheRunAndTheRunMovesAtItsSpeed) {
    Use(Hall());
    Place({48, 0, 48});
    Hold(KeyCharUp);
    Tick();
    ASSERT_EQ(state.Action, 9);
    EXPECT_EQ(state.TransitionRequested, 1);
    EXPECT_EQ(state.TransitionClip, 2);
    EXPECT_EQ(state.TransitionTarget, 8);
    EXPECT_EQ(state.TransitionLength, 4);
    EXPECT_EQ(state.Position.z, 48);  // first call: nothing moves
    Tick();
    EXPECT_NEAR(state.Position.z, 48 + 0.01f * kTickMs, 1e-4);  // run start creeps forward
    ASSERT_TRUE(TickUntil(5, 20));
    EXPECT_EQ(state.ClipId, 2);
    EXPECT_EQ(state.Frame, 7);
    EXPECT_EQ(CharacterModule.JumpMode, 0);
    const float z = state.Position.z;
    Tick();
    EXPECT_NEAR(state.Position.z - z, 0.066f * kTickMs, 1e-4);
    EXPECT_EQ(state.Position.x, 48);
    EXPECT_EQ(state.Position.y, 0);
    EXPECT_TRUE(Visited({9, 5}));
}

TEST_F(Actions, TheTimeScaleDividesEveryMove) {
    Use(Hall(12));
    Place({48, 0, 40});
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(5, 20));
    anim.TimeScale = 2;
    Tick();
    const float z = state.Position.z;
    Tick();
    EXPECT_NEAR(state.Position.z - z, 0.066f * kTickMs / 2, 1e-4);
    Hold(KeyCharRight);
    const float angle = state.AngleY;
    Tick();
    EXPECT_NEAR(state.AngleY - angle, kRunning * kTickMs / 2, 1e-5);
    anim.TimeScale = 0;  // not a usable scale: taken as 1
    Tick();
    EXPECT_EQ(state.TimeScale, 1);
    EXPECT_TRUE(std::isfinite(state.Position.z));
}

TEST_F(Actions, IdleStaysForALowCeilingOrAHighStepAhead) {
    std::vector<Tqtroom> rooms = Hall();
    SetRow(rooms[0], 2, Cell(0, 68));  // 19.2 of headroom
    Use(rooms);
    Place({48, 0, 62});
    Hold(KeyCharUp);
    Ticks(3);
    EXPECT_EQ(state.Action, 0);
    rooms = Hall();
    SetRow(rooms[0], 2, Cell(6));  // 9.6 up
    Use(rooms);
    Ticks(3);
    EXPECT_EQ(state.Action, 0);
    SetRow(rooms[0], 2, Cell(5));  // 8 up: still a step
    Use(rooms);
    Tick();
    EXPECT_EQ(state.Action, 9);
}

TEST_F(Actions, ReleasingForwardStopsTheRunOnlyInItsFrameWindows) {
    Use(Hall(12));
    Place({48, 0, 40});
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(5, 20));
    while (state.LastFrame != 4) Tick();
    Hold(KeyCharUp, false);
    for (int e = 5; e < 8; ++e) {
        Tick();
        EXPECT_EQ(state.Action, 5) << "LastFrame " << state.LastFrame;
    }
    Tick();  // LastFrame 8: the mid-stride stop
    EXPECT_EQ(state.LastFrame, 8);
    EXPECT_EQ(state.Action, 7);
    EXPECT_EQ(state.TransitionClip, 9);
    ASSERT_TRUE(TickUntil(8, 30));
    EXPECT_EQ(state.ClipId, 9);
    ASSERT_TRUE(TickUntil(0, 30));
    EXPECT_EQ(state.ClipId, 0);
    EXPECT_LT(state.Position.z, 96);
}

TEST_F(Actions, ReleasingForwardEarlyInTheStrideUsesTheFirstStop) {
    Use(Hall(12));
    Place({48, 0, 40});
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(5, 20));
    while (state.LastFrame != 20) Tick();
    Hold(KeyCharUp, false);
    Tick();
    EXPECT_EQ(state.Action, 6);
    EXPECT_EQ(state.TransitionClip, 8);
    ASSERT_TRUE(TickUntil(0, 40));
    EXPECT_TRUE(Visited({6, 8, 0}));
}

TEST_F(Actions, RunClimbsASmallStepOverSixTicks) {
    std::vector<Tqtroom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(3));  // 4.8 up from z = 96
    Use(rooms);
    Place({48, 0, 40});
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(2, 80));
    EXPECT_EQ(CharacterModule.StepSavedAction, 5);
    EXPECT_EQ(state.Position.y, 0);
    const float targetZ = CharacterModule.StepTarget.z;
    EXPECT_GT(targetZ, 96);
    for (int k = 1; k <= 5; ++k) {
        Tick();
        EXPECT_EQ(state.Action, 2);
        EXPECT_NEAR(state.Position.y, 0.8f * k, 1e-4);
    }
    Tick();
    EXPECT_EQ(state.Action, 5);
    EXPECT_NEAR(state.Position.y, 4.8f, 1e-4);
    EXPECT_EQ(state.Position.z, targetZ);
}

TEST_F(Actions, RunStopsAtAHighStepAndSettlesItsHeading) {
    std::vector<Tqtroom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(8));  // 12.8 up from z = 96
    Use(rooms);
    Place({48, 0, 40}, 3);  // slightly off the grid direction
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(3, 80));
    EXPECT_NEAR(state.Position.z + 3 * std::cos(3 * DegToRad), 96, 0.02);  // the edge less the look-ahead
    EXPECT_EQ(state.TransitionClip, 0);
    Hold(KeyCharUp, false);
    ASSERT_TRUE(TickUntil(51, 20));
    ASSERT_TRUE(TickUntil(0, 20));
    EXPECT_NEAR(state.AngleY, 0, 1e-4);  // snapped to the grid by the timed move
}

TEST_F(Actions, RunningOffADropFallsAndLands) {
    std::vector<Tqtroom> rooms = Hall();
    for (int row = 0; row < 3; ++row) SetRow(rooms[0], row, Cell(12));  // platform 19.2 up
    Use(rooms);
    Place({48, 19.2f, 40});
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(30, 80));
    EXPECT_NEAR(state.Position.y, 19.2f, 1e-4);
    EXPECT_GT(state.Position.z, 96);
    EXPECT_EQ(state.TransitionClip, 26);
    ASSERT_TRUE(TickUntil(1, 60));
    EXPECT_EQ(state.Position.y, 0);
    EXPECT_EQ(CharacterModule.QueuedAction, 29);  // forward held, a short fall: roll on
    ASSERT_TRUE(TickUntil(5, 40));
    EXPECT_TRUE(Visited({30, 1, 29, 5}));
}

TEST_F(Actions, AFallWithoutForwardEndsInTheHardLanding) {
    std::vector<Tqtroom> rooms = Hall();
    Use(rooms);
    Place({48, 19.2f, 40});
    CharacterModule.CurrentState = &state;
    StartFall();
    Tick();
    ASSERT_TRUE(TickUntil(1, 60));
    EXPECT_EQ(CharacterModule.QueuedAction, 25);
    EXPECT_EQ(state.TransitionClip, 24);
    ASSERT_TRUE(TickUntil(0, 40));
    EXPECT_TRUE(Visited({30, 1, 25, 0}));
}

TEST_F(Actions, RunningOffADeepDropTurnsAndGrabsTheEdge) {
    std::vector<Tqtroom> rooms = Hall();
    for (int row = 0; row < 3; ++row) SetRow(rooms[0], row, Cell(25));  // platform 40 up
    Use(rooms);
    Place({48, 40, 40});
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(54, 80));
    EXPECT_EQ(state.ClipId, 50);
    EXPECT_NEAR(state.Position.z, 97, 0.01);  // one unit past the edge
    EXPECT_EQ(state.Position.y, 40);
    Hold(KeyCharUp, false);
    ASSERT_TRUE(TickUntil(39, 40));
    EXPECT_NEAR(NormalizeAngle(state.AngleY), 180, 1e-4);
    EXPECT_EQ(state.Position.y, 24);  // hanging 16 below the edge
    EXPECT_EQ(resumeCalls, 1);
    ASSERT_TRUE(TickUntil(40, 40));
    EXPECT_EQ(state.ClipId, 35);
    Ticks(5);
    EXPECT_EQ(state.Action, 40);  // hangs while no key is held
}

// A wall 40 high from z = 96 whose top is the floor of the room above (room 1, from y = 40);
// column 0 rises to 64, so the ledge ends at x = 32. The lower room's ceiling opens into
// the upper room everywhere.
std::vector<Tqtroom> LedgeRooms() {
    std::vector<Tqtroom> rooms = {Room({0, 0, 0}, 4, 6, 2, Cell(0, 15)), Room({0, 40, 0}, 4, 6, 3)};
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 6; ++row) {
            const bool top = row >= 3;
            rooms[0].Cells[col][row] = Cell(top ? (col == 0 ? 40 : 25) : 0, 15);
            rooms[0].Cells[col][row].RoomAbove = 2;
            rooms[1].Cells[col][row] = Cell(top && col == 0 ? 15 : 0);
            if (!top) rooms[1].Cells[col][row].RoomBelow = 1;
        }
    }
    return rooms;
}

std::string Sequence(const std::vector<int>& actions) {
    std::string out;
    for (size_t i = 0; i < actions.size(); ++i)
        if (i == 0 || actions[i] != actions[i - 1]) out += std::to_string(actions[i]) + " ";
    return out;
}

TEST_F(Actions, StraightJumpCatchesTheLedgeShimmiesToItsEndAndClimbsIntoTheRoomAbove) {
    Use(LedgeRooms());
    Place({48, 0, 91});
    ShiftState = kAltBit;
    Tick();
    ASSERT_EQ(state.Action, 19);
    EXPECT_EQ(state.ClipId, 45);  // the ledge is out of reach of a climb
    ShiftState = 0;
    ASSERT_TRUE(TickUntil(39, 60)) << Sequence(actions);
    EXPECT_NEAR(CharacterModule.JumpLandFloor, 40, 1e-4);
    EXPECT_NEAR(CharacterModule.JumpCeiling, 136, 1e-4);
    EXPECT_NEAR(state.Position.y, 24, 1e-4);
    EXPECT_NEAR(state.Position.z, 95, 0.01);
    EXPECT_TRUE(Visited({19, 1, 20, 21, 51, 39})) << Sequence(actions);
    // The body was put at the hanging height at once, caught on the way up; the camera
    // offset starts where the body was and returns to 0 at frame 12.
    const float o = CharacterModule.OffsetBase;
    EXPECT_LT(o, 0);
    EXPECT_NEAR(o + 24 + 28, 40, 1.5f);  // caught with the hands within 1.5 of the ledge
    EXPECT_NEAR(CharacterModule.OffsetRate, o / -13, 1e-6);
    Tick();
    EXPECT_NEAR(state.EyeOffset.y, (state.FramePos + 1) * (o / -13) + o, 1e-5);
    EXPECT_EQ(state.TargetOffset.y, state.EyeOffset.y);
    ASSERT_TRUE(TickUntil(40, 30));
    EXPECT_EQ(state.EyeOffset.y, 0);
    EXPECT_EQ(state.TargetOffset.y, 0);

    Hold(KeyCharLeft);
    ASSERT_TRUE(TickUntil(46, 5));
    float lowest = state.Position.x;
    for (int i = 0; i < 400 && state.Action != 40; ++i) {
        Tick();
        lowest = std::min(lowest, state.Position.x);
    }
    EXPECT_EQ(state.Action, 40) << Sequence(actions);
    EXPECT_GT(lowest, 32 + 6);  // stopped before the hands met the higher wall
    EXPECT_LT(lowest, 32 + 6.2f);
    EXPECT_NEAR(state.Position.y, 24, 1e-4);
    Ticks(3);
    EXPECT_EQ(state.Action, 40);  // left still held at the end of the ledge
    Hold(KeyCharLeft, false);

    Hold(KeyCharAlt);
    Tick();
    ASSERT_EQ(state.Action, 48);
    EXPECT_EQ(CharacterModule.ClimbRoom, 1);
    EXPECT_EQ(focusCalls, 1);
    Hold(KeyCharAlt, false);
    ASSERT_TRUE(TickUntil(0, 40));
    EXPECT_EQ(state.Room, 1);
    EXPECT_NEAR(state.Position.y, 40, 1e-4);
    EXPECT_NEAR(state.Position.z, 98, 0.01);
    EXPECT_EQ(resumeCalls, 1);
}

TEST_F(Actions, EachClimbRisesInItsWindowAndEndsOnTheLedge) {
    struct Case {
        int16_t raw;
        int action, clip;
    } cases[] = {{8, 35, 30}, {13, 36, 31}, {17, 37, 32}, {21, 38, 33}};
    for (const Case& c : cases) {
        SetUp();
        focusCalls = resumeCalls = 0;
        std::vector<Tqtroom> rooms = Hall();
        SetRow(rooms[0], 3, Cell(c.raw));
        Use(rooms);
        Place({48, 0, 93});
        Tick();  // the first call runs with no elapsed time
        ShiftState = kAltBit;
        Tick();
        ShiftState = 0;
        ASSERT_EQ(state.Action, c.action) << "ledge raw " << c.raw;
        EXPECT_EQ(state.ClipId, c.clip);
        EXPECT_EQ(focusCalls, 1);
        float highest = 0;
        int ticks = 0;
        while (state.Action == c.action && ticks++ < 60) {
            Tick();
            if (state.Action == c.action) highest = std::max(highest, state.Position.y);
        }
        EXPECT_EQ(state.Action, 0) << "ledge raw " << c.raw;
        EXPECT_GT(highest, 0) << "the body rises during the climb";
        EXPECT_LT(highest, c.raw * kRawUnit);
        EXPECT_NEAR(state.Position.y, c.raw * kRawUnit, 1e-4);
        EXPECT_NEAR(state.Position.z, 99, 1e-4);
        EXPECT_EQ(state.Room, 0);
        EXPECT_EQ(resumeCalls, 1);
    }
}

TEST_F(Actions, AClimbFocusesTheFollowCameraAndHandsItBack) {
    Vec3 body{};
    float ax = 0, ay = 0, az = 0;
    TmaroCameracontrol camera(body, ax, ay, az);
    BindCharacterCamera(camera);
    std::vector<Tqtroom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(13));
    Use(rooms);
    Place({48, 0, 93});
    ShiftState = kAltBit;
    Tick();
    ShiftState = 0;
    ASSERT_EQ(state.Action, 36);
    EXPECT_EQ(camera.Mode, kCamFocus);
    EXPECT_NEAR(camera.Goal.y, 20.8f, 1e-4);
    EXPECT_EQ(camera.Speed, 1925);
    ASSERT_TRUE(TickUntil(0, 60));
    EXPECT_EQ(camera.Mode, kCamFollow);
}

TEST_F(Actions, WalkingStopsAtADropInsteadOfFallingAndStopsWhenReleased) {
    std::vector<Tqtroom> rooms = Hall();
    for (int row = 0; row < 3; ++row) SetRow(rooms[0], row, Cell(12));
    Use(rooms);
    Place({48, 19.2f, 80});
    Hold(KeyCharUp);
    ShiftState = kShiftBit;
    ASSERT_TRUE(TickUntil(11, 3));
    EXPECT_EQ(state.TransitionClip, 3);
    ASSERT_TRUE(TickUntil(10, 20));
    const float z = state.Position.z;
    Tick();
    EXPECT_GT(state.Position.z, z);
    ASSERT_TRUE(TickUntil(12, 200)) << Sequence(actions);
    EXPECT_NEAR(state.Position.y, 19.2f, 1e-4);
    EXPECT_LT(state.Position.z, 96 - 3 + 0.01f);  // stopped short of the edge by the look-ahead
    EXPECT_TRUE(Visited({11, 10, 1, 12})) << Sequence(actions);
    ASSERT_TRUE(TickUntil(0, 20));

    Place({48, 19.2f, 40});
    ASSERT_TRUE(TickUntil(10, 20));
    ShiftState = 0;  // letting Shift go ends the walk
    Tick();
    EXPECT_EQ(state.Action, 1);
    EXPECT_EQ(CharacterModule.QueuedAction, 12);
    EXPECT_TRUE(state.TransitionClip == 10 || state.TransitionClip == 11);
}

TEST_F(Actions, StepBackSideStepsAndWalkingBackward) {
    Use(Hall());
    Place({48, 0, 100});
    Hold(KeyCharDown);
    Tick();
    ASSERT_EQ(state.Action, 13);
    EXPECT_EQ(state.ClipId, 4);
    Hold(KeyCharDown, false);
    ASSERT_TRUE(TickUntil(0, 40));
    EXPECT_LT(state.Position.z, 100);
    EXPECT_NEAR(100 - state.Position.z, 0.0425f * kTickMs * 10, 0.05f);  // moved in frames 3-12

    Place({48, 0, 100});
    ShiftState = kShiftBit;
    Hold(KeyCharLeft);
    Tick();
    ASSERT_EQ(state.Action, 14);
    Ticks(5);
    EXPECT_EQ(state.Action, 14);
    EXPECT_LT(state.Position.x, 48);
    Hold(KeyCharLeft, false);
    ASSERT_TRUE(TickUntil(0, 30));
    EXPECT_EQ(state.Position.z, 100);

    Place({48, 0, 100});
    Hold(KeyCharRight);
    Tick();
    ASSERT_EQ(state.Action, 15);
    Hold(KeyCharRight, false);
    ASSERT_TRUE(TickUntil(0, 30));
    EXPECT_GT(state.Position.x, 48);

    Place({48, 0, 100});
    Hold(KeyCharDown);
    Tick();
    ASSERT_EQ(state.Action, 16);
    ASSERT_TRUE(TickUntil(17, 20));
    const float z = state.Position.z;
    Ticks(3);
    EXPECT_NEAR(z - state.Position.z, 3 * 0.009f * kTickMs, 1e-3);
    Hold(KeyCharDown, false);
    Tick();
    EXPECT_EQ(state.Action, 18);
    ASSERT_TRUE(TickUntil(0, 20));
}

TEST_F(Actions, ForwardJumpFliesAndLands) {
    Use(Hall(10));
    Place({48, 0, 40});
    Tick();
    ShiftState = kAltBit;
    Tick();
    ASSERT_EQ(state.Action, 19);
    EXPECT_EQ(state.ClipId, 12);
    ShiftState = 0;
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(23, 20));
    EXPECT_FLOAT_EQ(CharacterModule.FwdSpeed, 0.06f);
    EXPECT_EQ(CharacterModule.TakeoffPos.z, 40);
    Hold(KeyCharUp, false);
    float peak = 0;
    while (state.Action == 23 || state.Action == 24) {
        Tick();
        peak = std::max(peak, state.Position.y);
        ASSERT_LT(actions.size(), 200u);
    }
    EXPECT_EQ(state.Action, 1);
    EXPECT_EQ(CharacterModule.QueuedAction, 25);
    EXPECT_EQ(state.Position.y, 0);
    EXPECT_GT(peak, 20);
    EXPECT_GT(state.Position.z, 40 + 30);
    ASSERT_TRUE(TickUntil(0, 40));
    EXPECT_TRUE(Visited({19, 23, 24, 1, 25, 0})) << Sequence(actions);
}

TEST_F(Actions, ForwardJumpIntoAWallBumpsAndFalls) {
    std::vector<Tqtroom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(80));  // a wall from z = 96
    Use(rooms);
    Place({48, 0, 80});
    Tick();
    ShiftState = kAltBit;
    Tick();
    ShiftState = 0;
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(1, 40)) << Sequence(actions);
    EXPECT_EQ(CharacterModule.QueuedAction, 31);
    EXPECT_EQ(state.TransitionClip, 27);
    EXPECT_LT(state.Position.z, 96 - 1);  // set back from the wall's cell along the flight path
    EXPECT_GT(state.Position.z, 96 - 5 - 0.01f);
    Hold(KeyCharUp, false);
    ASSERT_TRUE(TickUntil(0, 80)) << Sequence(actions);
    EXPECT_TRUE(Visited({23, 1, 31, 30, 1, 25, 0})) << Sequence(actions);
    EXPECT_EQ(state.Position.y, 0);
}

TEST_F(Actions, RunningJumpTakesOffAtTheStrideAndLands) {
    Use(Hall(16));
    Place({48, 0, 40});
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(5, 20));
    ShiftState = kAltBit;
    ASSERT_TRUE(TickUntil(26, 30));
    EXPECT_TRUE(state.TransitionClip == 20 || state.TransitionClip == 19);
    EXPECT_EQ(state.TransitionTarget, 1);
    ShiftState = 0;
    ASSERT_TRUE(TickUntil(27, 30)) << Sequence(actions);
    EXPECT_EQ(CharacterModule.TakeoffPos.z, state.Position.z);
    ASSERT_TRUE(TickUntil(1, 120)) << Sequence(actions);
    EXPECT_EQ(CharacterModule.QueuedAction, 29);  // forward still held: roll into the run
    EXPECT_EQ(state.Position.y, 0);
    ASSERT_TRUE(TickUntil(5, 40));
    EXPECT_TRUE(Visited({26, 27, 28, 1, 29, 5})) << Sequence(actions);
}

TEST_F(Actions, StraightJumpUnderALowCeilingDropsAtOnce) {
    std::vector<Tqtroom> rooms = Hall();
    for (int row = 0; row < 8; ++row) SetRow(rooms[0], row, Cell(0, 64));  // 25.6 high
    Use(rooms);
    Place({48, 0, 40});
    Tick();
    ShiftState = kAltBit;
    Tick();
    ShiftState = 0;
    EXPECT_EQ(state.ClipId, 12);  // 25.6 of clearance: a jump, not out of reach
    ASSERT_TRUE(TickUntil(20, 40));
    Tick();
    EXPECT_EQ(state.Action, 30) << Sequence(actions);
    EXPECT_EQ(state.Position.y, 0);
    EXPECT_EQ(CharacterModule.FwdSpeed, 0);
    ASSERT_TRUE(TickUntil(0, 60));
    EXPECT_EQ(state.Position.y, 0);
}

TEST_F(Actions, TurnAroundTurnsHalfwayAtTheEndOfItsClip) {
    Use(Hall());
    Place({48, 0, 40});
    Hold(KeyCharEnd);
    Tick();
    ASSERT_EQ(state.Action, 32);
    Hold(KeyCharEnd, false);
    ASSERT_TRUE(TickUntil(0, 30));
    EXPECT_EQ(state.AngleY, 180);
    EXPECT_NEAR(MoveForward({0, 0, 0}, 0, 1).z, -1, 1e-5);
}

TEST_F(Actions, HangingDropFallsBackToTheFloor) {
    Use(LedgeRooms());
    Place({48, 24, 95});
    state.Action = 40;
    Hold(KeyCharCtrl);
    Tick();
    ASSERT_EQ(state.Action, 41);
    Hold(KeyCharCtrl, false);
    while (state.Action == 41) {
        Tick();
        if (state.Action == 41) {
            EXPECT_NEAR(state.EyeOffset.y, -(state.FramePos + 1) * 0.8076923f, 1e-5);
        }
        ASSERT_LT(actions.size(), 40u);
    }
    EXPECT_EQ(state.Action, 42);
    EXPECT_NEAR(state.Position.y, 13.5f, 1e-4);
    EXPECT_EQ(state.EyeOffset.y, 0);
    ASSERT_TRUE(TickUntil(0, 80)) << Sequence(actions);
    EXPECT_EQ(state.Position.y, 0);
    EXPECT_LT(state.Position.z, 95 - 8 + 0.1f);
}

TEST_F(Actions, HighHangShimmiesAndClimbs) {
    std::vector<Tqtroom> rooms = LedgeRooms();
    Use(rooms);
    Place({48, 16, 95});  // hands 24 below the ledge at 40
    state.Action = 49;
    Hold(KeyCharLeft);
    Tick();
    ASSERT_EQ(state.Action, 52);
    EXPECT_EQ(state.ClipId, 48);
    Ticks(20);
    EXPECT_LT(state.Position.x, 48);
    EXPECT_NEAR(state.Position.y, 16, 1e-4);
    Hold(KeyCharLeft, false);
    ASSERT_TRUE(TickUntil(49, 40)) << Sequence(actions);
    Hold(KeyCharAlt);
    Tick();
    ASSERT_EQ(state.Action, 50);
    Hold(KeyCharAlt, false);
    ASSERT_TRUE(TickUntil(0, 40));
    EXPECT_NEAR(state.Position.y, 40, 1e-4);
    EXPECT_NEAR(state.Position.z, 99.5f, 1e-3);
}

TEST_F(Actions, StraightJumpWithoutALedgeComesBackDown) {
    Use(Hall());
    Place({48, 0, 40});
    Tick();
    ShiftState = kAltBit;
    Tick();
    ShiftState = 0;
    ASSERT_TRUE(TickUntil(21, 40));
    float peak = 0;
    while (state.Action == 21) {
        Tick();
        peak = std::max(peak, state.Position.y);
        ASSERT_LT(actions.size(), 200u);
    }
    EXPECT_EQ(state.Action, 22);
    EXPECT_EQ(state.Position.y, 0);  // back at the take-off height
    EXPECT_LT(CharacterModule.VertSpeed, CharacterModule.MinVertSpeed);
    EXPECT_GT(peak, 20);  // v^2 / 2g = 21.8, plus the overshoot of 18 ms steps
    EXPECT_LT(peak, 24);
    ASSERT_TRUE(TickUntil(0, 40));
    EXPECT_EQ(state.Position.z, 40);
}

TEST_F(Actions, BackwardJumpLands) {
    Use(Hall());
    Place({48, 0, 200});
    Tick();
    ShiftState = kAltBit;
    Tick();
    ShiftState = 0;
    Hold(KeyCharDown);
    ASSERT_TRUE(TickUntil(33, 40)) << Sequence(actions);
    Hold(KeyCharDown, false);
    ASSERT_TRUE(TickUntil(0, 200)) << Sequence(actions);
    EXPECT_TRUE(Visited({19, 1, 33, 1, 25, 0})) << Sequence(actions);
    EXPECT_LT(state.Position.z, 200 - 20);
    EXPECT_EQ(state.Position.y, 0);
}

TEST_F(Actions, BumpWithTheAltBitFlipsBackward) {
    std::vector<Tqtroom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(80));
    Use(rooms);
    Place({48, 0, 80});
    Tick();
    ShiftState = kAltBit;
    Tick();
    Hold(KeyCharUp);
    ASSERT_TRUE(TickUntil(31, 60)) << Sequence(actions);
    Hold(KeyCharUp, false);
    ASSERT_TRUE(TickUntil(34, 10)) << Sequence(actions);
    ShiftState = 0;
    ASSERT_TRUE(TickUntil(24, 30)) << Sequence(actions);
    EXPECT_NEAR(NormalizeAngle(state.AngleY), 180, 1e-4);  // turned to face the way it flies
    EXPECT_EQ(state.ClipId, 15);
    EXPECT_EQ(state.Frame, 6);
    ASSERT_TRUE(TickUntil(0, 200)) << Sequence(actions);
    EXPECT_LT(state.Position.z, 80);
    EXPECT_EQ(state.Position.y, 0);
}

TEST_F(Actions, HangingLookDownAndShimmyRight) {
    Use(LedgeRooms());
    Place({48, 24, 95});
    state.Action = 40;
    Hold(KeyCharDown);
    Tick();
    ASSERT_EQ(state.Action, 43);
    ASSERT_TRUE(TickUntil(44, 30));
    Ticks(3);
    EXPECT_EQ(state.Action, 44);
    Hold(KeyCharDown, false);
    Tick();
    EXPECT_EQ(state.Action, 45);
    ASSERT_TRUE(TickUntil(40, 30));
    EXPECT_EQ(state.ClipId, 35);

    Hold(KeyCharRight);
    Tick();
    ASSERT_EQ(state.Action, 47);
    Ticks(10);
    EXPECT_NEAR(state.Position.x, 48 + 10 * 0.005f * kTickMs, 1e-3);
    Hold(KeyCharRight, false);
    ASSERT_TRUE(TickUntil(40, 30)) << Sequence(actions);
}

TEST_F(Actions, ShimmyOverARoomBelowLowersToTheHighHang) {
    std::vector<Tqtroom> rooms = LedgeRooms();
    rooms.push_back(Room({0, -64, 0}, 4, 6, 4));
    for (int row = 0; row < 3; ++row) rooms[0].Cells[2][row].RoomBelow = 3;
    Use(rooms);
    Place({60, 24, 95});
    state.Action = 40;
    Hold(KeyCharRight);
    ASSERT_TRUE(TickUntil(55, 300)) << Sequence(actions);
    EXPECT_GE(state.Position.x, 64);
    EXPECT_EQ(state.ClipId, 51);
    Hold(KeyCharRight, false);
    ASSERT_TRUE(TickUntil(49, 30));
    EXPECT_NEAR(state.Position.y, 16, 1e-4);
    EXPECT_EQ(state.EyeOffset.y, 0);

    Hold(KeyCharRight);
    Tick();
    ASSERT_EQ(state.Action, 53);
    Ticks(5);
    EXPECT_GT(state.Position.x, 64);
    Hold(KeyCharRight, false);
    Hold(KeyCharCtrl);
    ASSERT_TRUE(TickUntil(49, 40)) << Sequence(actions);
    Tick();
    EXPECT_EQ(state.Action, 42);
    EXPECT_NEAR(state.Position.y, 13, 1e-4);
    Hold(KeyCharCtrl, false);
    ASSERT_TRUE(TickUntil(30, 40)) << Sequence(actions);
}

TEST_F(Actions, TimedMoveWithAZeroDurationFinishesAtOnce) {
    Use(Hall());
    Place({48, 0, 40}, 10);
    state.Action = 0;
    CharacterModule.CurrentState = &state;
    StartTimedMove({50, 0, 42}, 0, 0);
    Tick();
    EXPECT_EQ(state.Action, 0);
    EXPECT_EQ(state.Position.x, 50);
    EXPECT_NEAR(state.AngleY, 0, 1e-5);
}

TEST_F(Actions, ACorruptActionNumberReturnsToIdle) {
    Use(Hall());
    Place({48, 0, 40});
    state.Action = 56;
    Tick();
    EXPECT_EQ(state.Action, 0);
    state.Action = -3;
    Tick();
    EXPECT_EQ(state.Action, 0);
}

}  // namespace
}  // namespace dv::test
