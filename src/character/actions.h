// The 56 actions and what they share: key tests, the ground-move and airborne templates.
// Internal to the character module; the game runs actions only through RunAction.
#pragma once

#include <cstdint>

#include "app/keyboard.h"
#include "character/primitives.h"

namespace dv {

inline TCharacterModule& Mod() { return CharacterModule; }
inline TActionState& Rec() { return *CharacterModule.CurrentState; }
inline float Delta() { return static_cast<float>(CharacterModule.TickDelta); }

inline bool HeldForward() { return KeyIsDown(KeyCharUp); }
inline bool HeldBack() { return KeyIsDown(KeyCharDown); }
inline bool HeldLeft() { return KeyIsDown(KeyCharLeft); }
inline bool HeldRight() { return KeyIsDown(KeyCharRight); }
inline bool HeldActionKey() { return KeyIsDown(KeyCharAlt); }
inline bool HeldDropKey() { return KeyIsDown(KeyCharCtrl); }
inline bool HeldTurnAroundKey() { return KeyIsDown(KeyCharEnd); }
inline bool ShiftBitSet() { return (ShiftState & kShiftBit) != 0; }
inline bool AltBitSet() { return (ShiftState & kAltBit) != 0; }

// Goes to `action` with clip `clip` at `frame`.
inline void GoTo(int32_t action, int32_t clip, int32_t frame) {
    Rec().Action = action;
    SetClip(clip, frame);
}
// Requests a blended transition, goes to the wait action and queues `next`.
inline void TransitionThen(int32_t clip, int32_t frame, int32_t length, int32_t next) {
    RequestTransition(clip, frame, length);
    Rec().Action = 1;
    Mod().QueuedAction = next;
}

enum class MoveDir : uint8_t { Forward, Back, Left, Right };
Vec3 MoveAlong(MoveDir dir, const Vec3& from, int lookAhead, float distance);
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
    float Speed;               // units per ms
    float Avoid = 0;           // AvoidSideWalls amount, 0 = none
    uint16_t StepTicks = 6;    // height-step length, 0 = no height step
    bool RequireNoDrop = false;  // the look-ahead point must not drop more than 8
    DropRule Drop = DropRule::None;
    bool SnapToFloor = true;   // Candidate height = floor; otherwise the height is kept
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
MoveOutcome GroundMoveStep(const GroundMove& move, GroundProbe& probe, Vec3& stopPoint);
// The template with the common endings: blocked -> StopAt, open -> Position = Candidate.
// Returns true when the character is still on the ground in the same action.
bool GroundMoveOrStop(const GroundMove& move);

enum class AirOutcome : uint8_t { Bumped, Flying, Landed };
// One tick of the airborne template. With wallTest, a probe that is not ok ends in Bumped
// with bumpPoint = FindCellBoundary(..., bumpBack). With landingTest, reaching the floor
// sets the height to it and gives Landed; above it the vertical speed is kept at or above
// MinVertSpeed. `probe` is the probe at the new position.
AirOutcome AirborneStep(bool wallTest, bool landingTest, float bumpBack, Vec3& bumpPoint, GroundProbe& probe);
// Turns by `rate` degrees per ms with the left/right keys (right wins); false when neither
// key is held.
bool TurnByKeys(float rate);

// Intermediate states.
void ActionAwaitTransition();
void ActionHeightStep();
void ActionStopSettle();
void ActionTimedMove();
// Ground.
void ActionIdle();
void ActionTurnInPlace();
void ActionRun();
void ActionRunStopA();
void ActionRunStopB();
void ActionRunStopEnd();
void ActionRunStart();
void ActionWalk();
void ActionWalkStart();
void ActionWalkStopEnd();
void ActionStepBack();
void ActionSideStepLeft();
void ActionSideStepRight();
void ActionWalkBackStart();
void ActionWalkBack();
void ActionWalkBackEnd();
void ActionLandRun();
void ActionTurnAround();
// Air.
void ActionJumpStart();
void ActionJumpUp();
void ActionJumpApex();
void ActionJumpUpLand();
void ActionJumpForwardRise();
void ActionJumpForwardAir();
void ActionLanding();
void ActionRunJumpTakeoff();
void ActionRunJumpAir();
void ActionRunJumpFall();
void ActionFall();
void ActionBumpRecover();
void ActionJumpBackAir();
void ActionBackFlip();
// Ledges and climbs.
void ActionClimbLow();
void ActionClimbMid();
void ActionClimbHigh();
void ActionClimbTop();
void ActionGrabLedge();
void ActionHang();
void ActionHangDrop();
void ActionHangFall();
void ActionHangLookDown();
void ActionHangLookDownHold();
void ActionHangLookDownEnd();
void ActionShimmyLeft();
void ActionShimmyRight();
void ActionClimbFromHang();
void ActionHighHang();
void ActionClimbFromHighHang();
void ActionHighShimmyLeft();
void ActionHighShimmyRight();
void ActionTurnAndGrab();
void ActionLowerToHighHang();

}  // namespace dv
