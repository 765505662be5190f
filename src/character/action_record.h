// The record the game's update step exchanges with the character actions once per body tick:
// filled from the movement body, the animator and the camera offsets, handed to RunAction,
// and read back afterwards.
#pragma once

#include <cstddef>
#include <cstdint>

#include "character/actions_and_clips.h"
#include "math/vecmath.h"

namespace dv {

struct ActionRecord {
    uint8_t TickDue;               // the body's step-due answer; not read by the actions
    int32_t Room;                  // room the character is in
    Vec3 Position;                 // x, z on the ground plane, y the height of the feet
    float AngleX, AngleY, AngleZ;  // degrees; AngleY is the heading
    CharacterAction Action;        // action to run
    CharacterClip ClipId;          // clip wanted for the animator
    int32_t Frame;                 // the animator's frame on entry, the wanted frame on exit
    int32_t LastFrame;             // frame of the animator's last computed pose
    float FramePos;                // the animator's frame position (in only)
    float TimeScale;               // the animator's time scale; divides every per-tick move
    Vec3 EyeOffset;                // added to the camera's eye
    Vec3 TargetOffset;             // added to the camera's target
    uint8_t TransitionRequested;   // cleared before each call
    CharacterClip TransitionClip;  // kept between requests, as the two below
    int32_t TransitionTarget, TransitionLength;
    uint8_t Settled;  // 1 when the animator is not blending (in only)
};

}  // namespace dv
