#include <cmath>

#include "character_harness.h"
#include "motion/follow_camera.h"

namespace dv::test {
namespace {

using Actions = CharacterBench;

// A room 3 cells wide (x 0-96) and `rows` long, 128 high, floor 0; the character stands in
// column 1 facing +Z.
std::vector<LevelRoom> Hall(int rows = 8) { return {Room({0, 0, 0}, 3, rows, 4)}; }
void SetRow(LevelRoom& room, int row, const GridCell& cell) {
    for (int col = 0; col < room.Header.CellsX; ++col) room.Cells[col][row] = cell;
}

TEST_F(Actions, FirstCallSeesNoTimeAndTurningUsesTheStandingRate) {
    Use(Hall());
    Place({48, 0, 48});
    Start(CharacterAction::TurnInPlace);
    Hold(kKeyCharacterRight);
    Tick();
    EXPECT_EQ(state.Body.AngleY, 0);  // TickDelta 0 on the first call
    Tick();
    EXPECT_NEAR(state.Body.AngleY, kStanding * kTickMs, 1e-5);
    Hold(kKeyCharacterLeft);  // both held: right wins
    Tick();
    EXPECT_NEAR(state.Body.AngleY, 2 * kStanding * kTickMs, 1e-5);
    Hold(kKeyCharacterRight, false);
    Tick();
    EXPECT_NEAR(state.Body.AngleY, kStanding * kTickMs, 1e-5);
    EXPECT_NEAR(MoveForward(Now(), {0, 0, 0}, 0, 1).x, std::sin(kStanding * kTickMs * DegToRad), 1e-5);
    Hold(kKeyCharacterLeft, false);
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::Idle);
    EXPECT_EQ(state.Clip.Id, CharacterClip::Idle);
}

TEST_F(Actions, IdleStartsTheRunAndTheRunMovesAtItsSpeed) {
    Use(Hall());
    Place({48, 0, 48});
    Hold(kKeyCharacterForward);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::RunStart);
    EXPECT_EQ(state.Transition.Requested, 1);
    EXPECT_EQ(state.Transition.Clip, CharacterClip::Run);
    EXPECT_EQ(state.Transition.Target, 8);
    EXPECT_EQ(state.Transition.Length, 4);
    EXPECT_EQ(state.Body.Position.z, 48);  // first call: nothing moves
    Tick();
    EXPECT_NEAR(state.Body.Position.z, 48 + 0.01f * kTickMs, 1e-4);  // run start creeps forward
    ASSERT_TRUE(TickUntil(CharacterAction::Run, 20));
    EXPECT_EQ(state.Clip.Id, CharacterClip::Run);
    EXPECT_EQ(state.Clip.Frame, 7);
    EXPECT_EQ(character.JumpMode, JumpDirection::Up);
    const float z = state.Body.Position.z;
    Tick();
    EXPECT_NEAR(state.Body.Position.z - z, 0.066f * kTickMs, 1e-4);
    EXPECT_EQ(state.Body.Position.x, 48);
    EXPECT_EQ(state.Body.Position.y, 0);
    EXPECT_TRUE(Visited({CharacterAction::RunStart, CharacterAction::Run}));
}

TEST_F(Actions, TheTimeScaleDividesEveryMove) {
    Use(Hall(12));
    Place({48, 0, 40});
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::Run, 20));
    anim.TimeScale = 2;
    Tick();
    const float z = state.Body.Position.z;
    Tick();
    EXPECT_NEAR(state.Body.Position.z - z, 0.066f * kTickMs / 2, 1e-4);
    Hold(kKeyCharacterRight);
    const float angle = state.Body.AngleY;
    Tick();
    EXPECT_NEAR(state.Body.AngleY - angle, kRunning * kTickMs / 2, 1e-5);
    anim.TimeScale = 0;  // not a usable scale: taken as 1
    Tick();
    EXPECT_EQ(state.Clip.TimeScale, 1);
    EXPECT_TRUE(std::isfinite(state.Body.Position.z));
}

TEST_F(Actions, IdleStaysForALowCeilingOrAHighStepAhead) {
    std::vector<LevelRoom> rooms = Hall();
    SetRow(rooms[0], 2, Cell(0, 68));  // 19.2 of headroom
    Use(rooms);
    Place({48, 0, 62});
    Hold(kKeyCharacterForward);
    Ticks(3);
    EXPECT_EQ(state.Body.Action, CharacterAction::Idle);
    rooms = Hall();
    SetRow(rooms[0], 2, Cell(6));  // 9.6 up
    Use(rooms);
    Ticks(3);
    EXPECT_EQ(state.Body.Action, CharacterAction::Idle);
    SetRow(rooms[0], 2, Cell(5));  // 8 up: still a step
    Use(rooms);
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::RunStart);
}

TEST_F(Actions, ReleasingForwardStopsTheRunOnlyInItsFrameWindows) {
    Use(Hall(12));
    Place({48, 0, 40});
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::Run, 20));
    while (state.Playback.LastFrame != 4) Tick();
    Hold(kKeyCharacterForward, false);
    for (int e = 5; e < 8; ++e) {
        Tick();
        EXPECT_EQ(state.Body.Action, CharacterAction::Run) << "LastFrame " << state.Playback.LastFrame;
    }
    Tick();  // LastFrame 8: the mid-stride stop
    EXPECT_EQ(state.Playback.LastFrame, 8);
    EXPECT_EQ(state.Body.Action, CharacterAction::RunStopB);
    EXPECT_EQ(state.Transition.Clip, CharacterClip::RunStopB);
    ASSERT_TRUE(TickUntil(CharacterAction::RunStopEnd, 30));
    EXPECT_EQ(state.Clip.Id, CharacterClip::RunStopB);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 30));
    EXPECT_EQ(state.Clip.Id, CharacterClip::Idle);
    EXPECT_LT(state.Body.Position.z, 96);
}

TEST_F(Actions, ReleasingForwardEarlyInTheStrideUsesTheFirstStop) {
    Use(Hall(12));
    Place({48, 0, 40});
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::Run, 20));
    while (state.Playback.LastFrame != 20) Tick();
    Hold(kKeyCharacterForward, false);
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::RunStopA);
    EXPECT_EQ(state.Transition.Clip, CharacterClip::RunStopA);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 40));
    EXPECT_TRUE(Visited({CharacterAction::RunStopA, CharacterAction::RunStopEnd, CharacterAction::Idle}));
}

TEST_F(Actions, RunClimbsASmallStepOverSixTicks) {
    std::vector<LevelRoom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(3));  // 4.8 up from z = 96
    Use(rooms);
    Place({48, 0, 40});
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::HeightStep, 80));
    EXPECT_EQ(character.StepSavedAction, CharacterAction::Run);
    EXPECT_EQ(state.Body.Position.y, 0);
    const float targetZ = character.StepTarget.z;
    EXPECT_GT(targetZ, 96);
    for (int k = 1; k <= 5; ++k) {
        Tick();
        EXPECT_EQ(state.Body.Action, CharacterAction::HeightStep);
        EXPECT_NEAR(state.Body.Position.y, 0.8f * k, 1e-4);
    }
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::Run);
    EXPECT_NEAR(state.Body.Position.y, 4.8f, 1e-4);
    EXPECT_EQ(state.Body.Position.z, targetZ);
}

TEST_F(Actions, RunStopsAtAHighStepAndSettlesItsHeading) {
    std::vector<LevelRoom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(8));  // 12.8 up from z = 96
    Use(rooms);
    Place({48, 0, 40}, 3);  // slightly off the grid direction
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::StopSettle, 80));
    EXPECT_NEAR(state.Body.Position.z + 3 * std::cos(3 * DegToRad), 96, 0.02);  // the edge less the look-ahead
    EXPECT_EQ(state.Transition.Clip, CharacterClip::Idle);
    Hold(kKeyCharacterForward, false);
    ASSERT_TRUE(TickUntil(CharacterAction::TimedMove, 20));
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 20));
    EXPECT_NEAR(state.Body.AngleY, 0, 1e-4);  // snapped to the grid by the timed move
}

TEST_F(Actions, RunningOffADropFallsAndLands) {
    std::vector<LevelRoom> rooms = Hall();
    for (int row = 0; row < 3; ++row) SetRow(rooms[0], row, Cell(12));  // platform 19.2 up
    Use(rooms);
    Place({48, 19.2f, 40});
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::Fall, 80));
    EXPECT_NEAR(state.Body.Position.y, 19.2f, 1e-4);
    EXPECT_GT(state.Body.Position.z, 96);
    EXPECT_EQ(state.Transition.Clip, CharacterClip::Fall);
    ASSERT_TRUE(TickUntil(CharacterAction::AwaitTransition, 60));
    EXPECT_EQ(state.Body.Position.y, 0);
    EXPECT_EQ(character.QueuedAction, CharacterAction::LandRun);  // forward held, a short fall: roll on
    ASSERT_TRUE(TickUntil(CharacterAction::Run, 40));
    EXPECT_TRUE(Visited(
        {CharacterAction::Fall, CharacterAction::AwaitTransition, CharacterAction::LandRun, CharacterAction::Run}));
}

TEST_F(Actions, AFallWithoutForwardEndsInTheHardLanding) {
    std::vector<LevelRoom> rooms = Hall();
    Use(rooms);
    Place({48, 19.2f, 40});
    StartFall(Now());
    Apply();
    Tick();
    ASSERT_TRUE(TickUntil(CharacterAction::AwaitTransition, 60));
    EXPECT_EQ(character.QueuedAction, CharacterAction::Landing);
    EXPECT_EQ(state.Transition.Clip, CharacterClip::Land);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 40));
    EXPECT_TRUE(Visited(
        {CharacterAction::Fall, CharacterAction::AwaitTransition, CharacterAction::Landing, CharacterAction::Idle}));
}

TEST_F(Actions, RunningOffADeepDropTurnsAndGrabsTheEdge) {
    std::vector<LevelRoom> rooms = Hall();
    for (int row = 0; row < 3; ++row) SetRow(rooms[0], row, Cell(25));  // platform 40 up
    Use(rooms);
    Place({48, 40, 40});
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::TurnAndGrab, 80));
    EXPECT_EQ(state.Clip.Id, CharacterClip::TurnAndGrab);
    EXPECT_NEAR(state.Body.Position.z, 97, 0.01);  // one unit past the edge
    EXPECT_EQ(state.Body.Position.y, 40);
    Hold(kKeyCharacterForward, false);
    ASSERT_TRUE(TickUntil(CharacterAction::GrabLedge, 40));
    EXPECT_NEAR(NormalizeAngle(state.Body.AngleY), 180, 1e-4);
    EXPECT_EQ(state.Body.Position.y, 24);  // hanging 16 below the edge
    EXPECT_EQ(resumeCalls, 1);
    ASSERT_TRUE(TickUntil(CharacterAction::Hang, 40));
    EXPECT_EQ(state.Clip.Id, CharacterClip::Hang);
    Ticks(5);
    EXPECT_EQ(state.Body.Action, CharacterAction::Hang);  // hangs while no key is held
}

// A wall 40 high from z = 96 whose top is the floor of the room above (room 1, from y = 40);
// column 0 rises to 64, so the ledge ends at x = 32. The lower room's ceiling opens into
// the upper room everywhere.
std::vector<LevelRoom> LedgeRooms() {
    std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 4, 6, 2, Cell(0, 15)), Room({0, 40, 0}, 4, 6, 3)};
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

std::string Sequence(const std::vector<CharacterAction>& actions) {
    std::string out;
    for (size_t i = 0; i < actions.size(); ++i)
        if (i == 0 || actions[i] != actions[i - 1]) out += std::string(ActionName(actions[i])) + " ";
    return out;
}

TEST_F(Actions, StraightJumpCatchesTheLedgeShimmiesToItsEndAndClimbsIntoTheRoomAbove) {
    Use(LedgeRooms());
    Place({48, 0, 91});
    keys.Shift = kAltBit;
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::JumpStart);
    EXPECT_EQ(state.Clip.Id, CharacterClip::JumpPrepareHigh);  // the ledge is out of reach of a climb
    keys.Shift = 0;
    ASSERT_TRUE(TickUntil(CharacterAction::GrabLedge, 60)) << Sequence(actions);
    EXPECT_NEAR(character.JumpLandFloor, 40, 1e-4);
    EXPECT_NEAR(character.JumpCeiling, 136, 1e-4);
    EXPECT_NEAR(state.Body.Position.y, 24, 1e-4);
    EXPECT_NEAR(state.Body.Position.z, 95, 0.01);
    EXPECT_TRUE(Visited({CharacterAction::JumpStart, CharacterAction::AwaitTransition, CharacterAction::JumpUp,
                         CharacterAction::JumpApex, CharacterAction::TimedMove, CharacterAction::GrabLedge}))
        << Sequence(actions);
    // The body was put at the hanging height at once, caught on the way up; the camera
    // offset starts where the body was and returns to 0 at frame 12.
    const float o = character.OffsetBase;
    EXPECT_LT(o, 0);
    EXPECT_NEAR(o + 24 + 28, 40, 1.5f);  // caught with the hands within 1.5 of the ledge
    EXPECT_NEAR(character.OffsetRate, o / -13, 1e-6);
    Tick();
    EXPECT_NEAR(state.Camera.EyeOffset.y, (state.Playback.FramePos + 1) * (o / -13) + o, 1e-5);
    EXPECT_EQ(state.Camera.TargetOffset.y, state.Camera.EyeOffset.y);
    ASSERT_TRUE(TickUntil(CharacterAction::Hang, 30));
    EXPECT_EQ(state.Camera.EyeOffset.y, 0);
    EXPECT_EQ(state.Camera.TargetOffset.y, 0);

    Hold(kKeyCharacterLeft);
    ASSERT_TRUE(TickUntil(CharacterAction::ShimmyLeft, 5));
    float lowest = state.Body.Position.x;
    for (int i = 0; i < 400 && state.Body.Action != CharacterAction::Hang; ++i) {
        Tick();
        lowest = std::min(lowest, state.Body.Position.x);
    }
    EXPECT_EQ(state.Body.Action, CharacterAction::Hang) << Sequence(actions);
    EXPECT_GT(lowest, 32 + 6);  // stopped before the hands met the higher wall
    EXPECT_LT(lowest, 32 + 6.2f);
    EXPECT_NEAR(state.Body.Position.y, 24, 1e-4);
    Ticks(3);
    EXPECT_EQ(state.Body.Action, CharacterAction::Hang);  // left still held at the end of the ledge
    Hold(kKeyCharacterLeft, false);

    Hold(kKeyCharacterJump);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::ClimbFromHang);
    EXPECT_EQ(character.ClimbRoom, 1);
    EXPECT_EQ(focusCalls, 1);
    Hold(kKeyCharacterJump, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 40));
    EXPECT_EQ(state.Body.Room, 1);
    EXPECT_NEAR(state.Body.Position.y, 40, 1e-4);
    EXPECT_NEAR(state.Body.Position.z, 98, 0.01);
    EXPECT_EQ(resumeCalls, 1);
}

TEST_F(Actions, EachClimbRisesInItsWindowAndEndsOnTheLedge) {
    struct Case {
        int16_t raw;
        CharacterAction action;
        CharacterClip clip;
    } cases[] = {{8, CharacterAction::ClimbLow, CharacterClip::ClimbLow},
                 {13, CharacterAction::ClimbMid, CharacterClip::ClimbMid},
                 {17, CharacterAction::ClimbHigh, CharacterClip::ClimbHigh},
                 {21, CharacterAction::ClimbTop, CharacterClip::ClimbTop}};
    for (const Case& c : cases) {
        SetUp();
        focusCalls = resumeCalls = 0;
        std::vector<LevelRoom> rooms = Hall();
        SetRow(rooms[0], 3, Cell(c.raw));
        Use(rooms);
        Place({48, 0, 93});
        Tick();  // the first call runs with no elapsed time
        keys.Shift = kAltBit;
        Tick();
        keys.Shift = 0;
        ASSERT_EQ(state.Body.Action, c.action) << "ledge raw " << c.raw;
        EXPECT_EQ(state.Clip.Id, c.clip);
        EXPECT_EQ(focusCalls, 1);
        float highest = 0;
        int ticks = 0;
        while (state.Body.Action == c.action && ticks++ < 60) {
            Tick();
            if (state.Body.Action == c.action) highest = std::max(highest, state.Body.Position.y);
        }
        EXPECT_EQ(state.Body.Action, CharacterAction::Idle) << "ledge raw " << c.raw;
        EXPECT_GT(highest, 0) << "the body rises during the climb";
        EXPECT_LT(highest, c.raw * kRawUnit);
        EXPECT_NEAR(state.Body.Position.y, c.raw * kRawUnit, 1e-4);
        EXPECT_NEAR(state.Body.Position.z, 99, 1e-4);
        EXPECT_EQ(state.Body.Room, 0);
        EXPECT_EQ(resumeCalls, 1);
    }
}

TEST_F(Actions, AClimbFocusesTheFollowCameraAndHandsItBack) {
    FollowCamera camera;
    world.Camera = CameraHooks(camera);
    std::vector<LevelRoom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(13));
    Use(rooms);
    Place({48, 0, 93});
    keys.Shift = kAltBit;
    Tick();
    keys.Shift = 0;
    ASSERT_EQ(state.Body.Action, CharacterAction::ClimbMid);
    EXPECT_EQ(camera.Mode(), CameraMode::Focus);
    EXPECT_NEAR(camera.Kept().Goal.y, 20.8f, 1e-4);
    EXPECT_EQ(camera.Kept().MoveDuration, 1925);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 60));
    EXPECT_EQ(camera.Mode(), CameraMode::Follow);
}

TEST_F(Actions, WalkingStopsAtADropInsteadOfFallingAndStopsWhenReleased) {
    std::vector<LevelRoom> rooms = Hall();
    for (int row = 0; row < 3; ++row) SetRow(rooms[0], row, Cell(12));
    Use(rooms);
    Place({48, 19.2f, 80});
    Hold(kKeyCharacterForward);
    keys.Shift = kShiftBit;
    ASSERT_TRUE(TickUntil(CharacterAction::WalkStart, 3));
    EXPECT_EQ(state.Transition.Clip, CharacterClip::Walk);
    ASSERT_TRUE(TickUntil(CharacterAction::Walk, 20));
    const float z = state.Body.Position.z;
    Tick();
    EXPECT_GT(state.Body.Position.z, z);
    ASSERT_TRUE(TickUntil(CharacterAction::WalkStopEnd, 200)) << Sequence(actions);
    EXPECT_NEAR(state.Body.Position.y, 19.2f, 1e-4);
    EXPECT_LT(state.Body.Position.z, 96 - 3 + 0.01f);  // stopped short of the edge by the look-ahead
    EXPECT_TRUE(Visited({CharacterAction::WalkStart, CharacterAction::Walk, CharacterAction::AwaitTransition,
                         CharacterAction::WalkStopEnd}))
        << Sequence(actions);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 20));

    Place({48, 19.2f, 40});
    ASSERT_TRUE(TickUntil(CharacterAction::Walk, 20));
    keys.Shift = 0;  // letting Shift go ends the walk
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::AwaitTransition);
    EXPECT_EQ(character.QueuedAction, CharacterAction::WalkStopEnd);
    EXPECT_TRUE(state.Transition.Clip == CharacterClip::WalkStopLeft ||
                state.Transition.Clip == CharacterClip::WalkStopRight);
}

TEST_F(Actions, StepBackSideStepsAndWalkingBackward) {
    Use(Hall());
    Place({48, 0, 100});
    Hold(kKeyCharacterBack);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::StepBack);
    EXPECT_EQ(state.Clip.Id, CharacterClip::StepBack);
    Hold(kKeyCharacterBack, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 40));
    EXPECT_LT(state.Body.Position.z, 100);
    EXPECT_NEAR(100 - state.Body.Position.z, 0.0425f * kTickMs * 10, 0.05f);  // moved in frames 3-12

    Place({48, 0, 100});
    keys.Shift = kShiftBit;
    Hold(kKeyCharacterLeft);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::SideStepLeft);
    Ticks(5);
    EXPECT_EQ(state.Body.Action, CharacterAction::SideStepLeft);
    EXPECT_LT(state.Body.Position.x, 48);
    Hold(kKeyCharacterLeft, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 30));
    EXPECT_EQ(state.Body.Position.z, 100);

    Place({48, 0, 100});
    Hold(kKeyCharacterRight);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::SideStepRight);
    Hold(kKeyCharacterRight, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 30));
    EXPECT_GT(state.Body.Position.x, 48);

    Place({48, 0, 100});
    Hold(kKeyCharacterBack);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::WalkBackStart);
    ASSERT_TRUE(TickUntil(CharacterAction::WalkBack, 20));
    const float z = state.Body.Position.z;
    Ticks(3);
    EXPECT_NEAR(z - state.Body.Position.z, 3 * 0.009f * kTickMs, 1e-3);
    Hold(kKeyCharacterBack, false);
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::WalkBackEnd);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 20));
}

TEST_F(Actions, ForwardJumpFliesAndLands) {
    Use(Hall(10));
    Place({48, 0, 40});
    Tick();
    keys.Shift = kAltBit;
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::JumpStart);
    EXPECT_EQ(state.Clip.Id, CharacterClip::JumpPrepare);
    keys.Shift = 0;
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::JumpForwardRise, 20));
    EXPECT_FLOAT_EQ(character.FwdSpeed, 0.06f);
    EXPECT_EQ(character.TakeoffPos.z, 40);
    Hold(kKeyCharacterForward, false);
    float peak = 0;
    while (state.Body.Action == CharacterAction::JumpForwardRise ||
           state.Body.Action == CharacterAction::JumpForwardAir) {
        Tick();
        peak = std::max(peak, state.Body.Position.y);
        ASSERT_LT(actions.size(), 200u);
    }
    EXPECT_EQ(state.Body.Action, CharacterAction::AwaitTransition);
    EXPECT_EQ(character.QueuedAction, CharacterAction::Landing);
    EXPECT_EQ(state.Body.Position.y, 0);
    EXPECT_GT(peak, 20);
    EXPECT_GT(state.Body.Position.z, 40 + 30);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 40));
    EXPECT_TRUE(Visited({CharacterAction::JumpStart, CharacterAction::JumpForwardRise, CharacterAction::JumpForwardAir,
                         CharacterAction::AwaitTransition, CharacterAction::Landing, CharacterAction::Idle}))
        << Sequence(actions);
}

TEST_F(Actions, ForwardJumpIntoAWallBumpsAndFalls) {
    std::vector<LevelRoom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(80));  // a wall from z = 96
    Use(rooms);
    Place({48, 0, 80});
    Tick();
    keys.Shift = kAltBit;
    Tick();
    keys.Shift = 0;
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::AwaitTransition, 40)) << Sequence(actions);
    EXPECT_EQ(character.QueuedAction, CharacterAction::BumpRecover);
    EXPECT_EQ(state.Transition.Clip, CharacterClip::Bump);
    EXPECT_LT(state.Body.Position.z, 96 - 1);  // set back from the wall's cell along the flight path
    EXPECT_GT(state.Body.Position.z, 96 - 5 - 0.01f);
    Hold(kKeyCharacterForward, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 80)) << Sequence(actions);
    EXPECT_TRUE(Visited({CharacterAction::JumpForwardRise, CharacterAction::AwaitTransition,
                         CharacterAction::BumpRecover, CharacterAction::Fall, CharacterAction::AwaitTransition,
                         CharacterAction::Landing, CharacterAction::Idle}))
        << Sequence(actions);
    EXPECT_EQ(state.Body.Position.y, 0);
}

TEST_F(Actions, RunningJumpTakesOffAtTheStrideAndLands) {
    Use(Hall(16));
    Place({48, 0, 40});
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::Run, 20));
    keys.Shift = kAltBit;
    ASSERT_TRUE(TickUntil(CharacterAction::RunJumpTakeoff, 30));
    EXPECT_TRUE(state.Transition.Clip == CharacterClip::RunJumpRight ||
                state.Transition.Clip == CharacterClip::RunJumpLeft);
    EXPECT_EQ(state.Transition.Target, 1);
    keys.Shift = 0;
    ASSERT_TRUE(TickUntil(CharacterAction::RunJumpAir, 30)) << Sequence(actions);
    EXPECT_EQ(character.TakeoffPos.z, state.Body.Position.z);
    ASSERT_TRUE(TickUntil(CharacterAction::AwaitTransition, 120)) << Sequence(actions);
    EXPECT_EQ(character.QueuedAction, CharacterAction::LandRun);  // forward still held: roll into the run
    EXPECT_EQ(state.Body.Position.y, 0);
    ASSERT_TRUE(TickUntil(CharacterAction::Run, 40));
    EXPECT_TRUE(Visited({CharacterAction::RunJumpTakeoff, CharacterAction::RunJumpAir, CharacterAction::RunJumpFall,
                         CharacterAction::AwaitTransition, CharacterAction::LandRun, CharacterAction::Run}))
        << Sequence(actions);
}

TEST_F(Actions, StraightJumpUnderALowCeilingDropsAtOnce) {
    std::vector<LevelRoom> rooms = Hall();
    for (int row = 0; row < 8; ++row) SetRow(rooms[0], row, Cell(0, 64));  // 25.6 high
    Use(rooms);
    Place({48, 0, 40});
    Tick();
    keys.Shift = kAltBit;
    Tick();
    keys.Shift = 0;
    EXPECT_EQ(state.Clip.Id, CharacterClip::JumpPrepare);  // 25.6 of clearance: a jump, not out of reach
    ASSERT_TRUE(TickUntil(CharacterAction::JumpUp, 40));
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::Fall) << Sequence(actions);
    EXPECT_EQ(state.Body.Position.y, 0);
    EXPECT_EQ(character.FwdSpeed, 0);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 60));
    EXPECT_EQ(state.Body.Position.y, 0);
}

TEST_F(Actions, TurnAroundTurnsHalfwayAtTheEndOfItsClip) {
    Use(Hall());
    Place({48, 0, 40});
    Hold(kKeyCharacterTurnAround);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::TurnAround);
    Hold(kKeyCharacterTurnAround, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 30));
    EXPECT_EQ(state.Body.AngleY, 180);
    EXPECT_NEAR(MoveForward(Now(), {0, 0, 0}, 0, 1).z, -1, 1e-5);
}

TEST_F(Actions, HangingDropFallsBackToTheFloor) {
    Use(LedgeRooms());
    Place({48, 24, 95});
    Start(CharacterAction::Hang);
    Hold(kKeyCharacterLetGo);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::HangDrop);
    Hold(kKeyCharacterLetGo, false);
    while (state.Body.Action == CharacterAction::HangDrop) {
        Tick();
        if (state.Body.Action == CharacterAction::HangDrop) {
            EXPECT_NEAR(state.Camera.EyeOffset.y, -(state.Playback.FramePos + 1) * 0.8076923f, 1e-5);
        }
        ASSERT_LT(actions.size(), 40u);
    }
    EXPECT_EQ(state.Body.Action, CharacterAction::HangFall);
    EXPECT_NEAR(state.Body.Position.y, 13.5f, 1e-4);
    EXPECT_EQ(state.Camera.EyeOffset.y, 0);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 80)) << Sequence(actions);
    EXPECT_EQ(state.Body.Position.y, 0);
    EXPECT_LT(state.Body.Position.z, 95 - 8 + 0.1f);
}

TEST_F(Actions, HighHangShimmiesAndClimbs) {
    std::vector<LevelRoom> rooms = LedgeRooms();
    Use(rooms);
    Place({48, 16, 95});  // hands 24 below the ledge at 40
    Start(CharacterAction::HighHang);
    Hold(kKeyCharacterLeft);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::HighShimmyLeft);
    EXPECT_EQ(state.Clip.Id, CharacterClip::HighShimmyLeft);
    Ticks(20);
    EXPECT_LT(state.Body.Position.x, 48);
    EXPECT_NEAR(state.Body.Position.y, 16, 1e-4);
    Hold(kKeyCharacterLeft, false);
    ASSERT_TRUE(TickUntil(CharacterAction::HighHang, 40)) << Sequence(actions);
    Hold(kKeyCharacterJump);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::ClimbFromHighHang);
    Hold(kKeyCharacterJump, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 40));
    EXPECT_NEAR(state.Body.Position.y, 40, 1e-4);
    EXPECT_NEAR(state.Body.Position.z, 99.5f, 1e-3);
}

TEST_F(Actions, StraightJumpWithoutALedgeComesBackDown) {
    Use(Hall());
    Place({48, 0, 40});
    Tick();
    keys.Shift = kAltBit;
    Tick();
    keys.Shift = 0;
    ASSERT_TRUE(TickUntil(CharacterAction::JumpApex, 40));
    float peak = 0;
    while (state.Body.Action == CharacterAction::JumpApex) {
        Tick();
        peak = std::max(peak, state.Body.Position.y);
        ASSERT_LT(actions.size(), 200u);
    }
    EXPECT_EQ(state.Body.Action, CharacterAction::JumpUpLand);
    EXPECT_EQ(state.Body.Position.y, 0);  // back at the take-off height
    EXPECT_LT(character.VertSpeed, character.MinVertSpeed);
    EXPECT_GT(peak, 20);  // v^2 / 2g = 21.8, plus the overshoot of 18 ms steps
    EXPECT_LT(peak, 24);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 40));
    EXPECT_EQ(state.Body.Position.z, 40);
}

TEST_F(Actions, BackwardJumpLands) {
    Use(Hall());
    Place({48, 0, 200});
    Tick();
    keys.Shift = kAltBit;
    Tick();
    keys.Shift = 0;
    Hold(kKeyCharacterBack);
    ASSERT_TRUE(TickUntil(CharacterAction::JumpBackAir, 40)) << Sequence(actions);
    Hold(kKeyCharacterBack, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 200)) << Sequence(actions);
    EXPECT_TRUE(Visited({CharacterAction::JumpStart, CharacterAction::AwaitTransition, CharacterAction::JumpBackAir,
                         CharacterAction::AwaitTransition, CharacterAction::Landing, CharacterAction::Idle}))
        << Sequence(actions);
    EXPECT_LT(state.Body.Position.z, 200 - 20);
    EXPECT_EQ(state.Body.Position.y, 0);
}

TEST_F(Actions, BumpWithTheAltBitFlipsBackward) {
    std::vector<LevelRoom> rooms = Hall();
    SetRow(rooms[0], 3, Cell(80));
    Use(rooms);
    Place({48, 0, 80});
    Tick();
    keys.Shift = kAltBit;
    Tick();
    Hold(kKeyCharacterForward);
    ASSERT_TRUE(TickUntil(CharacterAction::BumpRecover, 60)) << Sequence(actions);
    Hold(kKeyCharacterForward, false);
    ASSERT_TRUE(TickUntil(CharacterAction::BackFlip, 10)) << Sequence(actions);
    keys.Shift = 0;
    ASSERT_TRUE(TickUntil(CharacterAction::JumpForwardAir, 30)) << Sequence(actions);
    EXPECT_NEAR(NormalizeAngle(state.Body.AngleY), 180, 1e-4);  // turned to face the way it flies
    EXPECT_EQ(state.Clip.Id, CharacterClip::JumpForward);
    EXPECT_EQ(state.Clip.Frame, 6);
    ASSERT_TRUE(TickUntil(CharacterAction::Idle, 200)) << Sequence(actions);
    EXPECT_LT(state.Body.Position.z, 80);
    EXPECT_EQ(state.Body.Position.y, 0);
}

TEST_F(Actions, HangingLookDownAndShimmyRight) {
    Use(LedgeRooms());
    Place({48, 24, 95});
    Start(CharacterAction::Hang);
    Hold(kKeyCharacterBack);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::HangLookDown);
    ASSERT_TRUE(TickUntil(CharacterAction::HangLookDownHold, 30));
    Ticks(3);
    EXPECT_EQ(state.Body.Action, CharacterAction::HangLookDownHold);
    Hold(kKeyCharacterBack, false);
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::HangLookDownEnd);
    ASSERT_TRUE(TickUntil(CharacterAction::Hang, 30));
    EXPECT_EQ(state.Clip.Id, CharacterClip::Hang);

    Hold(kKeyCharacterRight);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::ShimmyRight);
    Ticks(10);
    EXPECT_NEAR(state.Body.Position.x, 48 + 10 * 0.005f * kTickMs, 1e-3);
    Hold(kKeyCharacterRight, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Hang, 30)) << Sequence(actions);
}

TEST_F(Actions, ShimmyOverARoomBelowLowersToTheHighHang) {
    std::vector<LevelRoom> rooms = LedgeRooms();
    rooms.push_back(Room({0, -64, 0}, 4, 6, 4));
    for (int row = 0; row < 3; ++row) rooms[0].Cells[2][row].RoomBelow = 3;
    Use(rooms);
    Place({60, 24, 95});
    Start(CharacterAction::Hang);
    Hold(kKeyCharacterRight);
    ASSERT_TRUE(TickUntil(CharacterAction::LowerToHighHang, 300)) << Sequence(actions);
    EXPECT_GE(state.Body.Position.x, 64);
    EXPECT_EQ(state.Clip.Id, CharacterClip::LowerToHighHang);
    Hold(kKeyCharacterRight, false);
    ASSERT_TRUE(TickUntil(CharacterAction::HighHang, 30));
    EXPECT_NEAR(state.Body.Position.y, 16, 1e-4);
    EXPECT_EQ(state.Camera.EyeOffset.y, 0);

    Hold(kKeyCharacterRight);
    Tick();
    ASSERT_EQ(state.Body.Action, CharacterAction::HighShimmyRight);
    Ticks(5);
    EXPECT_GT(state.Body.Position.x, 64);
    Hold(kKeyCharacterRight, false);
    Hold(kKeyCharacterLetGo);
    ASSERT_TRUE(TickUntil(CharacterAction::HighHang, 40)) << Sequence(actions);
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::HangFall);
    EXPECT_NEAR(state.Body.Position.y, 13, 1e-4);
    Hold(kKeyCharacterLetGo, false);
    ASSERT_TRUE(TickUntil(CharacterAction::Fall, 40)) << Sequence(actions);
}

TEST_F(Actions, TimedMoveWithAZeroDurationFinishesAtOnce) {
    Use(Hall());
    Place({48, 0, 40}, 10);
    Start(CharacterAction::Idle);
    StartTimedMove(Now(), {50, 0, 42}, 0, 0);
    Apply();
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::Idle);
    EXPECT_EQ(state.Body.Position.x, 50);
    EXPECT_NEAR(state.Body.AngleY, 0, 1e-5);
}

TEST_F(Actions, ACorruptActionNumberReturnsToIdle) {
    Use(Hall());
    Place({48, 0, 40});
    Start(static_cast<CharacterAction>(kActionCount));
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::Idle);
    Start(static_cast<CharacterAction>(-3));
    Tick();
    EXPECT_EQ(state.Body.Action, CharacterAction::Idle);
}

}  // namespace
}  // namespace dv::test
