#include "character/character_tick.h"

#include "models/animator.h"
#include "motion/movement_body.h"

namespace dv {

namespace {

void FillRecord(ActionRecord& record, const CharacterInput& command, const MovementBody& body,
                const Animator& animator) {
    const BodyPose& pose = body.Movement;
    record.Body.Room = body.Room;
    record.Body.Position = pose.Position;
    record.Body.AngleX = pose.AngleX;
    record.Body.AngleY = pose.AngleY;
    record.Body.AngleZ = pose.AngleZ;
    record.Body.Action = static_cast<CharacterAction>(body.Action);
    record.Clip.Id = static_cast<CharacterClip>(animator.CurrentClipId());
    record.Clip.Frame = animator.Playback().Frame;
    record.Clip.TimeScale = animator.TimeScale;
    record.Command = command;
    record.Playback.LastFrame = animator.Playback().LastFrame;
    record.Playback.FramePos = animator.Playback().FramePos;
    record.Playback.Settled = animator.Playback().Blending ? 0 : 1;
    record.Transition.Requested = 0;
}

}  // namespace

void ApplyActionRecord(const ActionRecord& record, CharacterParts parts) {
    MovementBody& body = parts.Body;
    Animator& animator = parts.Animation;
    BodyPose& pose = body.Movement;
    body.Room = record.Body.Room;
    pose.Position = record.Body.Position;
    pose.AngleX = record.Body.AngleX;
    pose.AngleY = record.Body.AngleY;
    pose.AngleZ = record.Body.AngleZ;
    body.Action = static_cast<int32_t>(record.Body.Action);
    animator.TimeScale = record.Clip.TimeScale;

    const auto clip = static_cast<int32_t>(record.Clip.Id);
    if (clip != animator.CurrentClipId() || record.Clip.Frame != animator.Playback().Frame) {
        animator.SelectClip(clip);
        animator.SetFrame(record.Clip.Frame);
    }
    const TransitionRequest& t = record.Transition;
    if (t.Requested != 0) animator.StartTransition(static_cast<int32_t>(t.Clip), t.Target, t.Length);
}

void StepCharacter(CharacterState& state, ActionRecord& record, const CharacterInput& command, CharacterParts parts,
                   const CharacterWorld& world) {
    FillRecord(record, command, parts.Body, parts.Animation);
    RunAction(state, record, world);
    ApplyActionRecord(record, parts);
}

}  // namespace dv
