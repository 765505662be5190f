// The record one character step works on, grouped by direction: the state it reads and
// changes (the body, the animation it wants, the camera offsets), the command it obeys (keys
// and the clock), what the animator reports, and the transition it asks for. StepCharacter
// (character/character_tick.h) fills it from the movement body and the animator, runs the
// action and hands the results back; nothing else copies between them.
#pragma once

#include <cstdint>

#include "character/actions_and_clips.h"
#include "math/vecmath.h"

namespace dv {

// The keys the character reads in one step, and the clock at that step.
struct CharacterInput {
    bool Forward = false, Back = false, Left = false, Right = false;
    bool Jump = false;   // jump, or climb the ledge in front; climb up from a hang
    bool LetGo = false;  // let go of a ledge
    bool TurnAround = false;
    bool Shift = false;  // walk instead of run, side-step instead of turn
    bool Alt = false;    // the Alt modifier of the last key event
    int32_t NowMs = 0;   // the millisecond clock at this step; the only time the actions see
};

// State, in and out: the movement body's room, position, angles and action.
struct ActionBody {
    int32_t Room = 0;                                // room the character is in
    Vec3 Position{0, 0, 0};                          // x, z on the ground plane, y the height of the feet
    float AngleX = 0, AngleY = 0, AngleZ = 0;        // degrees; AngleY is the heading
    CharacterAction Action = CharacterAction::Idle;  // action to run
};

// State, in and out: the animator's clip, frame and time scale on entry; the clip and frame
// wanted and the time scale on exit.
struct ActionClip {
    CharacterClip Id = CharacterClip::Idle;
    int32_t Frame = 0;
    float TimeScale = 0;  // divides every per-tick move
};

// State, in and out: what the camera adds to its eye and target. Kept in the record between
// steps; the game reads them after each step.
struct ActionCamera {
    Vec3 EyeOffset{0, 0, 0};
    Vec3 TargetOffset{0, 0, 0};
};

// In only: how the animator's playback stands.
struct ActionPlayback {
    int32_t LastFrame = 0;  // frame of the animator's last computed pose
    float FramePos = 0;     // the animator's frame position
    uint8_t Settled = 0;    // 1 when the animator is not blending
};

// Out: a blended transition for the animator. Requested is cleared before each step; the
// clip, target frame and length keep the last request's values, which the wait action reads.
struct TransitionRequest {
    uint8_t Requested = 0;
    CharacterClip Clip = CharacterClip::Idle;
    int32_t Target = 0, Length = 0;
};

struct ActionRecord {
    ActionBody Body;               // state, in and out
    ActionClip Clip;               // state, in and out
    ActionCamera Camera;           // state, in and out
    CharacterInput Command;        // command, in
    ActionPlayback Playback;       // the animator, in
    TransitionRequest Transition;  // results, out
};

}  // namespace dv
