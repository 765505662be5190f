#include <algorithm>

#include "math/clock.h"
#include "character/actions.h"
#include "character/character.h"
#include "character/settings.h"
#include "motion/follow_camera.h"

namespace dv {

namespace {

using ActionProc = void (*)(CharacterStep&);

struct ActionSlot {
    CharacterAction action;
    ActionProc run;
};

// The action table: each action's entry at its number.
constexpr ActionSlot kSlots[] = {
    {CharacterAction::Idle, ActionIdle},
    {CharacterAction::AwaitTransition, ActionAwaitTransition},
    {CharacterAction::HeightStep, ActionHeightStep},
    {CharacterAction::StopSettle, ActionStopSettle},
    {CharacterAction::TurnInPlace, ActionTurnInPlace},
    {CharacterAction::Run, ActionRun},
    {CharacterAction::RunStopA, ActionRunStopA},
    {CharacterAction::RunStopB, ActionRunStopB},
    {CharacterAction::RunStopEnd, ActionRunStopEnd},
    {CharacterAction::RunStart, ActionRunStart},
    {CharacterAction::Walk, ActionWalk},
    {CharacterAction::WalkStart, ActionWalkStart},
    {CharacterAction::WalkStopEnd, ActionWalkStopEnd},
    {CharacterAction::StepBack, ActionStepBack},
    {CharacterAction::SideStepLeft, ActionSideStepLeft},
    {CharacterAction::SideStepRight, ActionSideStepRight},
    {CharacterAction::WalkBackStart, ActionWalkBackStart},
    {CharacterAction::WalkBack, ActionWalkBack},
    {CharacterAction::WalkBackEnd, ActionWalkBackEnd},
    {CharacterAction::JumpStart, ActionJumpStart},
    {CharacterAction::JumpUp, ActionJumpUp},
    {CharacterAction::JumpApex, ActionJumpApex},
    {CharacterAction::JumpUpLand, ActionJumpUpLand},
    {CharacterAction::JumpForwardRise, ActionJumpForwardRise},
    {CharacterAction::JumpForwardAir, ActionJumpForwardAir},
    {CharacterAction::Landing, ActionLanding},
    {CharacterAction::RunJumpTakeoff, ActionRunJumpTakeoff},
    {CharacterAction::RunJumpAir, ActionRunJumpAir},
    {CharacterAction::RunJumpFall, ActionRunJumpFall},
    {CharacterAction::LandRun, ActionLandRun},
    {CharacterAction::Fall, ActionFall},
    {CharacterAction::BumpRecover, ActionBumpRecover},
    {CharacterAction::TurnAround, ActionTurnAround},
    {CharacterAction::JumpBackAir, ActionJumpBackAir},
    {CharacterAction::BackFlip, ActionBackFlip},
    {CharacterAction::ClimbLow, ActionClimbLow},
    {CharacterAction::ClimbMid, ActionClimbMid},
    {CharacterAction::ClimbHigh, ActionClimbHigh},
    {CharacterAction::ClimbTop, ActionClimbTop},
    {CharacterAction::GrabLedge, ActionGrabLedge},
    {CharacterAction::Hang, ActionHang},
    {CharacterAction::HangDrop, ActionHangDrop},
    {CharacterAction::HangFall, ActionHangFall},
    {CharacterAction::HangLookDown, ActionHangLookDown},
    {CharacterAction::HangLookDownHold, ActionHangLookDownHold},
    {CharacterAction::HangLookDownEnd, ActionHangLookDownEnd},
    {CharacterAction::ShimmyLeft, ActionShimmyLeft},
    {CharacterAction::ShimmyRight, ActionShimmyRight},
    {CharacterAction::ClimbFromHang, ActionClimbFromHang},
    {CharacterAction::HighHang, ActionHighHang},
    {CharacterAction::ClimbFromHighHang, ActionClimbFromHighHang},
    {CharacterAction::TimedMove, ActionTimedMove},
    {CharacterAction::HighShimmyLeft, ActionHighShimmyLeft},
    {CharacterAction::HighShimmyRight, ActionHighShimmyRight},
    {CharacterAction::TurnAndGrab, ActionTurnAndGrab},
    {CharacterAction::LowerToHighHang, ActionLowerToHighHang},
};
static_assert(sizeof(kSlots) / sizeof(kSlots[0]) == kActionCount);

constexpr bool SlotsInActionOrder() {
    for (int i = 0; i < kActionCount; ++i) {
        if (static_cast<int>(kSlots[i].action) != i) return false;
    }
    return true;
}
static_assert(SlotsInActionOrder());

}  // namespace

CharacterInput CharacterInputFrom(const KeyboardState& keys, int32_t nowMs, const KeyBindings& bindings) {
    const auto held = [&](GameKey key) { return bindings.Held(keys, key); };
    // Walking and the jump's Alt are modifiers of the last key event while they are bound to
    // the modifier keys, as they have always been read; bound elsewhere they are held keys.
    const auto modifier = [&](GameKey key, int modifierKey, uint8_t bit) {
        return bindings.Of(key) == modifierKey ? (keys.Shift & bit) != 0 : held(key);
    };
    CharacterInput in;
    in.Forward = held(GameKey::Forward);
    in.Back = held(GameKey::Back);
    in.Left = held(GameKey::Left);
    in.Right = held(GameKey::Right);
    in.Jump = held(GameKey::Jump);
    in.LetGo = held(GameKey::LetGo);
    in.TurnAround = held(GameKey::TurnAround);
    in.Shift = modifier(GameKey::Walk, kVkShift, kShiftBit);
    in.Alt = modifier(GameKey::Jump, kVkAlt, kAltBit);
    in.NowMs = nowMs;
    return in;
}

CharacterState NewCharacterState(float turnRateStanding, float turnRateRunning, int32_t nowMs) {
    CharacterState state;
    state.TurnRateStanding = turnRateStanding;
    state.TurnRateRunning = turnRateRunning;
    state.LastTickTime = nowMs;
    return state;
}

CharacterState NewCharacterState(const std::string& settingsPath, int32_t nowMs) {
    const TurnRates rates = ReadTurnRates(settingsPath);
    return NewCharacterState(rates.Standing, rates.Running, nowMs);
}

CharacterCamera CameraHooks(FollowCamera& camera) {
    CharacterCamera hooks;
    hooks.Context = &camera;
    hooks.FocusOn = [](void* c, const Vec3& point, float duration) {
        static_cast<FollowCamera*>(c)->FocusOn(point, duration);
    };
    hooks.ResumeFollow = [](void* c) { static_cast<FollowCamera*>(c)->ResumeFollow(); };
    return hooks;
}

void RunAction(CharacterState& state, ActionRecord& record, const CharacterWorld& world) {
    if (world.Level == nullptr) return;
    if (!(record.Clip.TimeScale > 0))
        record.Clip.TimeScale = 1.0f;  // as the animator treats it; every move divides by it
    const auto action = static_cast<int32_t>(record.Body.Action);
    if (action < 0 || action >= kActionCount) {
        record.Body.Action = CharacterAction::Idle;
    } else {
        CharacterStep step{state, record, record.Command, world};
        kSlots[action].run(step);
    }
    const int32_t now = record.Command.NowMs;
    state.TickDelta = std::clamp(ClockSince(now, state.LastTickTime), 0, kMaxTickDeltaMs);
    state.LastTickTime = now;
}

void HoldRunnerClock(CharacterState& state, int32_t nowMs) { state.LastTickTime = nowMs; }

}  // namespace dv
