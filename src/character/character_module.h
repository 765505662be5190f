// The character's module state and its action runner.
//
// The character is a state machine of 56 numbered actions. Each action works on the record of
// the running call (CurrentState) and on the module state below; RunAction calls the action
// the record names once per body tick.
#pragma once

#include <cstdint>
#include <string>

#include "character/action_state.h"
#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

inline constexpr int kActionCount = 56;

// The longest time one action step may cover. Moves are speed x delta, and the probes test
// only where a step ends, so a step must stay well inside one 32-unit cell: at the fastest
// horizontal speed (the running jump, 0.085 units/ms) 100 ms is 8.5 units, and at the
// terminal fall speed (0.23 units/ms) 23 units. Frame rates of 10 per second and above are
// untouched; a longer stall (a loaded machine, a suspended laptop, a debugger) plays as
// 100 ms of game time.
inline constexpr int32_t kMaxTickDeltaMs = 100;

using ActionProc = void (*)();

// How the actions reach the follow camera: FocusOn puts it into its focus mode towards a
// point for a duration (ms), ResumeFollow back into follow mode. Either may be null.
struct CharacterCamera {
    void (*FocusOn)(void* context, const Vec3& point, float duration) = nullptr;
    void (*ResumeFollow)(void* context) = nullptr;
    void* Context = nullptr;
};

struct TCharacterModule {
    ActionProc ActionTable[kActionCount]{};
    TActionState* CurrentState = nullptr;
    const Tmap_level* Level = nullptr;  // the loaded level every probe asks
    CharacterCamera Camera;

    int32_t TickDelta = 0;     // ms between the two previous runner calls
    int32_t LastTickTime = 0;  // clock at the last runner call
    float TurnRateStanding = 0, TurnRateRunning = 0;  // degrees per ms
    Vec3 DirForward{0, 0, 1}, DirBack{0, 0, -1}, DirLeft{-1, 0, 0}, DirRight{1, 0, 0};
    int32_t QueuedAction = 0;  // where action 1 goes once the animator has settled
    int32_t JumpMode = 0;      // 0 up, 1 forward (in the run: a jump was asked for), 2 backward

    // Airborne motion, units per ms (up positive) and per ms squared.
    float VertSpeed = 0, Gravity = 0, FwdSpeed = 0, MinVertSpeed = 0;
    float JumpLandFloor = 0, JumpLandCeiling = 0, JumpCeiling = 0;  // measured at a straight jump
    Vec3 TakeoffPos{};
    Vec3 Candidate{};  // scratch position being tested

    // Height step (action 2).
    int32_t StepSavedAction = 0;
    Vec3 StepStart{}, StepTarget{};
    float StepRemaining = 0, StepFraction = 0;

    // Timed move (action 51).
    int32_t TimedSavedAction = 0, TimedSavedFrame = 0, TimedStartTime = 0;
    Vec3 TimedStartPos{}, TimedTargetPos{};
    float TimedStartAngle = 0, TimedTargetAngle = 0, TimedDuration = 0;

    // Climb target: ledge height above the feet, the standing point on top and its room.
    float ClimbHeight = 0;
    Vec3 ClimbTarget{};
    int32_t ClimbRoom = 0;

    float OffsetRate = 0, OffsetBase = 0;  // camera-offset ramp of the grab and drop actions
};

inline TCharacterModule CharacterModule;

// Reads the turn rates from the settings file at `settingsPath` (throws SettingsError, and
// then leaves the module untouched), resets the module state, fills the action table, sets
// the heading vectors to +Z, -Z, -X, +X and takes LastTickTime from the clock. The level and
// camera bindings are kept.
void InitCharacterModule(const std::string& settingsPath = "set.txt");
// The same without a file, for callers that already hold the two rates.
void InitCharacterModule(float turnRateStanding, float turnRateRunning);

class TmaroCameracontrol;

void BindCharacterLevel(const Tmap_level* level);
void BindCharacterCamera(const CharacterCamera& camera);
// Binds the follow camera's FocusOn and ResumeFollow; the camera must outlive the binding.
void BindCharacterCamera(TmaroCameracontrol& camera);

// Runs the action `state.Action` on `state`, then TickDelta = clock - LastTickTime (at most
// kMaxTickDeltaMs) and LastTickTime = clock, so an action always sees the delta of the
// previous tick (0 on the first call). Without a bound level nothing runs. An action number outside 0..55 (a corrupt
// record) returns the character to idle.
void RunAction(TActionState& state);
// Brings LastTickTime up to the clock without running an action. Called when the game starts
// after the title, on the ticks whose actions are held (free look) and while the window is
// inactive: time the character did not live through must not reach the next action as one
// long tick, which would carry a running or falling character through walls and out of its
// room.
void HoldRunnerClock();

}  // namespace dv
