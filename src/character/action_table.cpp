#include <algorithm>

#include "character/actions.h"
#include "character/character_module.h"
#include "character/settings.h"
#include "math/clock.h"
#include "motion/camera_control.h"

namespace dv {

namespace {

constexpr ActionProc kSlots[] = {
    ActionIdle,            ActionAwaitTransition,  ActionHeightStep,       ActionStopSettle,
    ActionTurnInPlace,     ActionRun,              ActionRunStopA,         ActionRunStopB,
    ActionRunStopEnd,      ActionRunStart,         ActionWalk,             ActionWalkStart,
    ActionWalkStopEnd,     ActionStepBack,         ActionSideStepLeft,     ActionSideStepRight,
    ActionWalkBackStart,   ActionWalkBack,         ActionWalkBackEnd,      ActionJumpStart,
    ActionJumpUp,          ActionJumpApex,         ActionJumpUpLand,       ActionJumpForwardRise,
    ActionJumpForwardAir,  ActionLanding,          ActionRunJumpTakeoff,   ActionRunJumpAir,
    ActionRunJumpFall,     ActionLandRun,          ActionFall,             ActionBumpRecover,
    ActionTurnAround,      ActionJumpBackAir,      ActionBackFlip,         ActionClimbLow,
    ActionClimbMid,        ActionClimbHigh,        ActionClimbTop,         ActionGrabLedge,
    ActionHang,            ActionHangDrop,         ActionHangFall,         ActionHangLookDown,
    ActionHangLookDownHold, ActionHangLookDownEnd, ActionShimmyLeft,       ActionShimmyRight,
    ActionClimbFromHang,   ActionHighHang,         ActionClimbFromHighHang, ActionTimedMove,
    ActionHighShimmyLeft,  ActionHighShimmyRight,  ActionTurnAndGrab,      ActionLowerToHighHang,
};
static_assert(sizeof(kSlots) / sizeof(kSlots[0]) == kActionCount);

}  // namespace

void InitCharacterModule(const std::string& settingsPath) {
    const TurnRates rates = ReadTurnRates(settingsPath);
    InitCharacterModule(rates.Standing, rates.Running);
}

void InitCharacterModule(float turnRateStanding, float turnRateRunning) {
    TCharacterModule& m = CharacterModule;
    const Tmap_level* level = m.Level;
    const CharacterCamera camera = m.Camera;
    m = TCharacterModule{};
    m.Level = level;
    m.Camera = camera;
    m.TurnRateStanding = turnRateStanding;
    m.TurnRateRunning = turnRateRunning;
    for (int i = 0; i < kActionCount; ++i) m.ActionTable[i] = kSlots[i];
    m.LastTickTime = ClockMs();
}

void BindCharacterLevel(const Tmap_level* level) { CharacterModule.Level = level; }
void BindCharacterCamera(const CharacterCamera& camera) { CharacterModule.Camera = camera; }

void BindCharacterCamera(TmaroCameracontrol& camera) {
    CharacterCamera hooks;
    hooks.Context = &camera;
    hooks.FocusOn = [](void* c, const Vec3& point, float duration) {
        static_cast<TmaroCameracontrol*>(c)->FocusOn(point, duration);
    };
    hooks.ResumeFollow = [](void* c) { static_cast<TmaroCameracontrol*>(c)->ResumeFollow(); };
    CharacterModule.Camera = hooks;
}

void RunAction(TActionState& state) {
    TCharacterModule& m = CharacterModule;
    if (m.Level == nullptr) return;
    m.CurrentState = &state;
    if (!(state.TimeScale > 0)) state.TimeScale = 1.0f;  // as the animator treats it; every move divides by it
    if (state.Action < 0 || state.Action >= kActionCount || m.ActionTable[state.Action] == nullptr) {
        state.Action = 0;
    } else {
        m.ActionTable[state.Action]();
    }
    const int32_t now = ClockMs();
    m.TickDelta = std::clamp(now - m.LastTickTime, 0, kMaxTickDeltaMs);
    m.LastTickTime = now;
}

void HoldRunnerClock() { CharacterModule.LastTickTime = ClockMs(); }

}  // namespace dv
