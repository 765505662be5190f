// The 56 actions and what they share: key tests, the ground-move and airborne templates.
// Internal to the character module; the game runs actions only through RunAction.
#pragma once

#include <cstdint>

#include "input/keyboard.h"
#include "character/primitives.h"

namespace dv {

// Goes to `action` with clip `clip` at `frame`.
inline void GoTo(CharacterStep& c, CharacterAction action, CharacterClip clip, int32_t frame) {
    c.Record.Body.Action = action;
    SetClip(c, clip, frame);
}
// Requests a blended transition, goes to the wait action and queues `next`.
inline void TransitionThen(CharacterStep& c, CharacterClip clip, int32_t frame, int32_t length, CharacterAction next) {
    RequestTransition(c, clip, frame, length);
    c.Record.Body.Action = CharacterAction::AwaitTransition;
    c.State.QueuedAction = next;
}

enum class MoveDir : uint8_t { Forward, Back, Left, Right };
Vec3 MoveAlong(CharacterStep& c, MoveDir dir, const Vec3& from, int lookAhead, float distance);
MoveDir Opposite(MoveDir dir);

// What a ground move does with a drop of more than 8 below the moved point.
enum class DropRule : uint8_t {
    Fall,      // StartFall, keeping the height
    FallBack,  // StartFallBack
    RunEdge,   // the run: fall for drops down to 32, beyond that report Edge
    None,      // no fall: treated like level ground
};

struct GroundMove {
    MoveDir Dir;
    float Speed;                 // units per ms
    float Avoid = 0;             // AvoidSideWalls amount, 0 = none
    uint16_t StepTicks = 6;      // height-step length, 0 = no height step
    bool RequireNoDrop = false;  // the look-ahead point must not drop more than 8
    DropRule Drop = DropRule::None;
    bool SnapToFloor = true;  // Candidate height = floor; otherwise the height is kept
};

enum class MoveOutcome : uint8_t {
    Blocked,     // StopPoint holds the last safe point, look-ahead removed; nothing done yet
    HeightStep,  // a height step has started
    Fell,        // a fall has started
    Edge,        // the run met a drop of more than 32; nothing done yet
    Open,        // Candidate holds the new position; the caller commits it
};

// One tick of the ground-move template. `probe` is the probe at Candidate (look-ahead
// removed) unless the way was blocked.
MoveOutcome GroundMoveStep(CharacterStep& c, const GroundMove& move, GroundProbe& probe, Vec3& stopPoint);
// The template with the common endings: blocked -> StopAt, open -> Position = Candidate.
// Returns true when the character is still on the ground in the same action.
bool GroundMoveOrStop(CharacterStep& c, const GroundMove& move);

enum class AirOutcome : uint8_t { Bumped, Flying, Landed };
// One tick of the airborne template. With wallTest, a probe that is not ok ends in Bumped
// with bumpPoint = FindCellBoundary(..., bumpBack). With landingTest, reaching the floor
// sets the height to it and gives Landed; above it the vertical speed is kept at or above
// MinVertSpeed. `probe` is the probe at the new position.
AirOutcome AirborneStep(CharacterStep& c, bool wallTest, bool landingTest, float bumpBack, Vec3& bumpPoint,
                        GroundProbe& probe);
// Turns by `rate` degrees per ms with the left/right keys (right wins); false when neither
// key is held.
bool TurnByKeys(CharacterStep& c, float rate);

// Intermediate states.
void ActionAwaitTransition(CharacterStep& c);
void ActionHeightStep(CharacterStep& c);
void ActionStopSettle(CharacterStep& c);
void ActionTimedMove(CharacterStep& c);
// Ground.
void ActionIdle(CharacterStep& c);
void ActionTurnInPlace(CharacterStep& c);
void ActionRun(CharacterStep& c);
void ActionRunStopA(CharacterStep& c);
void ActionRunStopB(CharacterStep& c);
void ActionRunStopEnd(CharacterStep& c);
void ActionRunStart(CharacterStep& c);
void ActionWalk(CharacterStep& c);
void ActionWalkStart(CharacterStep& c);
void ActionWalkStopEnd(CharacterStep& c);
void ActionStepBack(CharacterStep& c);
void ActionSideStepLeft(CharacterStep& c);
void ActionSideStepRight(CharacterStep& c);
void ActionWalkBackStart(CharacterStep& c);
void ActionWalkBack(CharacterStep& c);
void ActionWalkBackEnd(CharacterStep& c);
void ActionLandRun(CharacterStep& c);
void ActionTurnAround(CharacterStep& c);
// Air.
void ActionJumpStart(CharacterStep& c);
void ActionJumpUp(CharacterStep& c);
void ActionJumpApex(CharacterStep& c);
void ActionJumpUpLand(CharacterStep& c);
void ActionJumpForwardRise(CharacterStep& c);
void ActionJumpForwardAir(CharacterStep& c);
void ActionLanding(CharacterStep& c);
void ActionRunJumpTakeoff(CharacterStep& c);
void ActionRunJumpAir(CharacterStep& c);
void ActionRunJumpFall(CharacterStep& c);
void ActionFall(CharacterStep& c);
void ActionBumpRecover(CharacterStep& c);
void ActionJumpBackAir(CharacterStep& c);
void ActionBackFlip(CharacterStep& c);
// Ledges and climbs.
void ActionClimbLow(CharacterStep& c);
void ActionClimbMid(CharacterStep& c);
void ActionClimbHigh(CharacterStep& c);
void ActionClimbTop(CharacterStep& c);
void ActionGrabLedge(CharacterStep& c);
void ActionHang(CharacterStep& c);
void ActionHangDrop(CharacterStep& c);
void ActionHangFall(CharacterStep& c);
void ActionHangLookDown(CharacterStep& c);
void ActionHangLookDownHold(CharacterStep& c);
void ActionHangLookDownEnd(CharacterStep& c);
void ActionShimmyLeft(CharacterStep& c);
void ActionShimmyRight(CharacterStep& c);
void ActionClimbFromHang(CharacterStep& c);
void ActionHighHang(CharacterStep& c);
void ActionClimbFromHighHang(CharacterStep& c);
void ActionHighShimmyLeft(CharacterStep& c);
void ActionHighShimmyRight(CharacterStep& c);
void ActionTurnAndGrab(CharacterStep& c);
void ActionLowerToHighHang(CharacterStep& c);

}  // namespace dv
