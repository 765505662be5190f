// The character: a state machine of 56 numbered actions, stepped once per body tick.
//
// One step is one call, RunAction: the character's own state (CharacterState, owned by the
// game), the record of the step (ActionRecord: the body and animation it changes, the keys
// and the clock it obeys, what the animator reports, the transition it asks for) and the
// world the actions probe and steer (CharacterWorld) are its arguments; nothing else is read
// or written, the clock included. The game and the tests call it through StepCharacter
// (character/character_tick.h), which fills the record and hands the results back.
#pragma once

#include <cstdint>
#include <string>

#include "character/action_record.h"
#include "character/actions_and_clips.h"
#include "input/key_bindings.h"
#include "input/keyboard.h"
#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

// The longest time one action step may cover. Moves are speed x delta, and the probes test
// only where a step ends, so a step must stay well inside one 32-unit cell: at the fastest
// horizontal speed (the running jump, 0.085 units/ms) 100 ms is 8.5 units, and at the
// terminal fall speed (0.23 units/ms) 23 units. Frame rates of 10 per second and above are
// untouched; a longer stall (a loaded machine, a suspended laptop, a debugger) plays as
// 100 ms of game time.
inline constexpr int32_t kMaxTickDeltaMs = 100;

// The keys of `keys` under `bindings`, at clock `nowMs`.
CharacterInput CharacterInputFrom(const KeyboardState& keys, int32_t nowMs,
                                  const KeyBindings& bindings = KeyBindings{});

// How the actions reach the follow camera: FocusOn puts it into its focus mode towards a
// point for a duration (ms), ResumeFollow back into follow mode. Either may be null.
struct CharacterCamera {
    void (*FocusOn)(void* context, const Vec3& point, float duration) = nullptr;
    void (*ResumeFollow)(void* context) = nullptr;
    void* Context = nullptr;
};

// What the actions probe and steer besides the character itself.
struct CharacterWorld {
    const LevelMap* Level = nullptr;  // every probe asks its cell grids
    CharacterCamera Camera;
};

// Where a jump goes; the run also keeps Forward once a jump has been asked for.
enum class JumpDirection : int32_t { Up, Forward, Backward };

// The character's own state between steps.
struct CharacterState {
    int32_t TickDelta = 0;                            // ms between the two previous steps, at most kMaxTickDeltaMs
    int32_t LastTickTime = 0;                         // clock at the last step
    float TurnRateStanding = 0, TurnRateRunning = 0;  // degrees per ms
    Vec3 DirForward{0, 0, 1}, DirBack{0, 0, -1}, DirLeft{-1, 0, 0}, DirRight{1, 0, 0};
    CharacterAction QueuedAction = CharacterAction::Idle;  // where AwaitTransition goes once the animator has settled
    JumpDirection JumpMode = JumpDirection::Up;            // in the run, Forward means a jump was asked for

    // Airborne motion, units per ms (up positive) and per ms squared.
    float VertSpeed = 0, Gravity = 0, FwdSpeed = 0, MinVertSpeed = 0;
    float JumpLandFloor = 0, JumpLandCeiling = 0, JumpCeiling = 0;  // measured at a straight jump
    Vec3 TakeoffPos{};
    Vec3 Candidate{};  // scratch position being tested

    // Height step (CharacterAction::HeightStep).
    CharacterAction StepSavedAction = CharacterAction::Idle;
    Vec3 StepStart{}, StepTarget{};
    float StepRemaining = 0, StepFraction = 0;

    // Timed move (CharacterAction::TimedMove).
    CharacterAction TimedSavedAction = CharacterAction::Idle;
    int32_t TimedSavedFrame = 0, TimedStartTime = 0;
    Vec3 TimedStartPos{}, TimedTargetPos{};
    float TimedStartAngle = 0, TimedTargetAngle = 0, TimedDuration = 0;

    // Climb target: ledge height above the feet, the standing point on top and its room.
    float ClimbHeight = 0;
    Vec3 ClimbTarget{};
    int32_t ClimbRoom = 0;

    float OffsetRate = 0, OffsetBase = 0;  // camera-offset ramp of the grab and drop actions
};

// A fresh character with the two turn rates (degrees per ms): headings along +Z, -Z, -X, +X,
// LastTickTime = nowMs.
CharacterState NewCharacterState(float turnRateStanding, float turnRateRunning, int32_t nowMs);
// The same with the turn rates read from the settings file at `settingsPath` (throws
// SettingsError naming the file and line).
CharacterState NewCharacterState(const std::string& settingsPath, int32_t nowMs);

// Everything one step works on; the actions and their primitives take it as their first
// argument.
struct CharacterStep {
    CharacterState& State;
    ActionRecord& Record;
    const CharacterInput& Input;  // Record.Command
    const CharacterWorld& World;

    float Delta() const { return static_cast<float>(State.TickDelta); }
    const LevelMap& Level() const { return *World.Level; }
};

class FollowCamera;
// FocusOn and ResumeFollow of `camera`, which must outlive the hooks.
CharacterCamera CameraHooks(FollowCamera& camera);

// One step: runs the action `record.Body.Action` on `record`, then TickDelta =
// record.Command.NowMs - LastTickTime (0 .. kMaxTickDeltaMs) and LastTickTime = NowMs, so an
// action always sees the delta of the previous step (0 on the first). Without a level nothing
// runs. An action number outside 0..55 (a corrupt record) returns the character to idle.
void RunAction(CharacterState& state, ActionRecord& record, const CharacterWorld& world);
// Brings LastTickTime up to `nowMs` without running an action. Called when the game starts
// after the title, on the ticks whose actions are held (free look) and while the window is
// inactive: time the character did not live through must not reach the next action as one
// long tick, which would carry a running or falling character through walls and out of its
// room.
void HoldRunnerClock(CharacterState& state, int32_t nowMs);

}  // namespace dv
