#include <cmath>

#include "character/actions.h"

namespace dv {

namespace {

// The probe the idle decisions make: `distance` units along `dir`, no look-ahead.
GroundProbe ProbeAhead(CharacterStep& c, MoveDir dir, float distance) {
    GroundProbe probe;
    ProbeGround(c, MoveAlong(c, dir, c.Record.Body.Position, 0, distance), probe);
    return probe;
}

bool OkWithoutDrop(const GroundProbe& probe) { return ProbeOk(probe) && probe.FloorDelta > -8; }

// Ends an action when its clip has reached `lastFrame`: idle clip 0 at 0.
void IdleAtLastFrame(CharacterStep& c, int32_t lastFrame) {
    if (c.Record.Playback.LastFrame == lastFrame) GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
}

void RunStop(CharacterStep& c, CharacterClip endClip) {
    if (!GroundMoveOrStop(
            c, {.Dir = MoveDir::Forward, .Speed = 0.04f, .Avoid = 0.5f, .Drop = DropRule::Fall, .SnapToFloor = false}))
        return;
    if (c.Record.Playback.Settled) GoTo(c, CharacterAction::RunStopEnd, endClip, 8);
}

void SideStep(CharacterStep& c, MoveDir dir, bool held) {
    const int32_t e = c.Record.Playback.LastFrame;
    if (e > 1 && e <= 10 && !GroundMoveOrStop(c, {.Dir = dir, .Speed = 0.01f, .RequireNoDrop = true})) return;
    if (held && c.Input.Shift) return;
    IdleAtLastFrame(c, 12);
}

}  // namespace

void ActionIdle(CharacterStep& c) {
    const bool shift = c.Input.Shift;
    if ((c.Input.Left || c.Input.Right) && !shift) {
        GoTo(c, CharacterAction::TurnInPlace, CharacterClip::Turn, 0);
    } else if (c.Input.Forward && !shift) {
        if (ProbeOk(ProbeAhead(c, MoveDir::Forward, 3.02f))) {
            c.Record.Body.Action = CharacterAction::RunStart;
            RequestTransition(c, CharacterClip::Run, 8, 4);
        }
    } else if (c.Input.Forward) {
        if (OkWithoutDrop(ProbeAhead(c, MoveDir::Forward, 3.02f))) {
            c.Record.Body.Action = CharacterAction::WalkStart;
            RequestTransition(c, CharacterClip::Walk, 0, 5);
        }
    } else if (c.Input.Back && !shift) {
        if (ProbeOk(ProbeAhead(c, MoveDir::Back, 3.02f)))
            GoTo(c, CharacterAction::StepBack, CharacterClip::StepBack, 0);
    } else if (c.Input.Left) {
        if (OkWithoutDrop(ProbeAhead(c, MoveDir::Left, 6.02f)))
            GoTo(c, CharacterAction::SideStepLeft, CharacterClip::SideStepLeft, 0);
    } else if (c.Input.Right) {
        if (OkWithoutDrop(ProbeAhead(c, MoveDir::Right, 6.02f)))
            GoTo(c, CharacterAction::SideStepRight, CharacterClip::SideStepRight, 0);
    } else if (c.Input.Back) {
        if (OkWithoutDrop(ProbeAhead(c, MoveDir::Back, 3.02f))) {
            c.Record.Body.Action = CharacterAction::WalkBackStart;
            RequestTransition(c, CharacterClip::WalkBack, 0, 3);
        }
    } else {
        if (c.Input.Alt) ClimbCheck(c);
        if (c.Input.TurnAround) GoTo(c, CharacterAction::TurnAround, CharacterClip::TurnAround, 0);
    }
}

void ActionTurnInPlace(CharacterStep& c) {
    if (!TurnByKeys(c, c.State.TurnRateStanding)) GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
}

void ActionRun(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    TurnByKeys(c, m.TurnRateRunning);
    if (c.Input.Alt) m.JumpMode = JumpDirection::Forward;
    GroundProbe probe;
    Vec3 stop;
    const MoveOutcome outcome = GroundMoveStep(
        c, {.Dir = MoveDir::Forward, .Speed = 0.066f, .Avoid = 0.5f, .Drop = DropRule::RunEdge}, probe, stop);
    if (outcome == MoveOutcome::Blocked) return StopAt(c, stop);
    if (outcome == MoveOutcome::Edge) {
        FaceEdge(c, s.Body.Room, s.Body.Position, m.Candidate);
        UpdateHeadingVectors(c);
        s.Body.Position = FindLedgeEdge(c, s.Body.Room, s.Body.Position, m.Candidate, -1);
        return GoTo(c, CharacterAction::TurnAndGrab, CharacterClip::TurnAndGrab, 0);
    }
    if (outcome != MoveOutcome::Open) return;
    s.Body.Position = m.Candidate;
    const int32_t e = s.Playback.LastFrame;
    if ((!c.Input.Forward || c.Input.Shift) && (e < 3 || e >= 20 || (e >= 8 && e <= 12))) {
        const bool early = e < 3 || e >= 20;
        RequestTransition(c, early ? CharacterClip::RunStopA : CharacterClip::RunStopB, 0, 5);
        s.Body.Action = early ? CharacterAction::RunStopA : CharacterAction::RunStopB;
        return;
    }
    if (m.JumpMode == JumpDirection::Forward && (e == 4 || e == 14)) {
        m.VertSpeed = 0.15f;
        m.Gravity = 0.0004f;
        m.MinVertSpeed = -0.23f;
        m.FwdSpeed = 0.085f;
        RequestTransition(c, e == 4 ? CharacterClip::RunJumpRight : CharacterClip::RunJumpLeft, 1, 3);
        s.Body.Action = CharacterAction::RunJumpTakeoff;
    }
}

void ActionRunStopA(CharacterStep& c) { RunStop(c, CharacterClip::RunStopA); }
void ActionRunStopB(CharacterStep& c) { RunStop(c, CharacterClip::RunStopB); }

void ActionRunStopEnd(CharacterStep& c) {
    if (c.Record.Playback.LastFrame < 3 &&
        !GroundMoveOrStop(c, {.Dir = MoveDir::Forward, .Speed = 0.05f, .Drop = DropRule::Fall, .SnapToFloor = false}))
        return;
    IdleAtLastFrame(c, 8);
}

void ActionRunStart(CharacterStep& c) {
    ActionRecord& s = c.Record;
    if (!GroundMoveOrStop(c, {.Dir = MoveDir::Forward,
                              .Speed = 0.01f,
                              .Avoid = 0.5f,
                              .StepTicks = 0,
                              .Drop = DropRule::Fall,
                              .SnapToFloor = false}))
        return;
    if (!s.Playback.Settled) return;
    c.State.JumpMode = JumpDirection::Up;
    GoTo(c, CharacterAction::Run, CharacterClip::Run, 7);
}

void ActionWalk(CharacterStep& c) {
    ActionRecord& s = c.Record;
    TurnByKeys(c, 0.06f);
    const bool late = s.Playback.LastFrame > 14 || s.Playback.LastFrame < 6;
    GroundProbe probe;
    Vec3 stop;
    // A walk never falls: a drop of more than 8 ahead stops it like a wall.
    const MoveOutcome outcome = GroundMoveStep(
        c, {.Dir = MoveDir::Forward, .Speed = 0.02f, .Avoid = 0.25f, .StepTicks = 8, .RequireNoDrop = true}, probe,
        stop);
    if (outcome == MoveOutcome::Blocked) return StopWalking(c, stop, late);
    if (outcome != MoveOutcome::Open) return;
    if (c.Input.Forward && c.Input.Shift) s.Body.Position = c.State.Candidate;
    else StopWalking(c, s.Body.Position, late);
}

void ActionWalkStart(CharacterStep& c) {
    if (!GroundMoveOrStop(c, {.Dir = MoveDir::Forward,
                              .Speed = 0.01f,
                              .Avoid = 0.25f,
                              .StepTicks = 0,
                              .RequireNoDrop = true,
                              .SnapToFloor = false}))
        return;
    if (c.Record.Playback.Settled) GoTo(c, CharacterAction::Walk, CharacterClip::Walk, 0);
}

void ActionWalkStopEnd(CharacterStep& c) { IdleAtLastFrame(c, 8); }

void ActionStepBack(CharacterStep& c) {
    const int32_t e = c.Record.Playback.LastFrame;
    if (e > 2 && e <= 12 && !GroundMoveOrStop(c, {.Dir = MoveDir::Back, .Speed = 0.0425f, .Drop = DropRule::FallBack}))
        return;
    if (c.Input.Back) return;
    IdleAtLastFrame(c, 16);
}

void ActionSideStepLeft(CharacterStep& c) { SideStep(c, MoveDir::Left, c.Input.Left); }
void ActionSideStepRight(CharacterStep& c) { SideStep(c, MoveDir::Right, c.Input.Right); }

void ActionWalkBackStart(CharacterStep& c) {
    if (c.Record.Playback.Settled) GoTo(c, CharacterAction::WalkBack, CharacterClip::WalkBack, 0);
}

void ActionWalkBack(CharacterStep& c) {
    ActionRecord& s = c.Record;
    GroundProbe probe;
    Vec3 stop;
    const MoveOutcome outcome =
        GroundMoveStep(c, {.Dir = MoveDir::Back, .Speed = 0.009f, .StepTicks = 8, .RequireNoDrop = true}, probe, stop);
    if (outcome == MoveOutcome::Blocked) return StopAt(c, stop);
    if (outcome != MoveOutcome::Open) return;
    if (c.Input.Shift && c.Input.Back && probe.FloorDelta >= -8) {
        s.Body.Position = c.State.Candidate;
        return;
    }
    RequestTransition(c, CharacterClip::Idle, 0, 5);
    s.Body.Action = CharacterAction::WalkBackEnd;
}

void ActionWalkBackEnd(CharacterStep& c) {
    if (c.Record.Playback.Settled) GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
}

void ActionLandRun(CharacterStep& c) {
    ActionRecord& s = c.Record;
    // No fall here; a drop of more than 8 ahead stops the roll like a wall.
    if (s.Clip.Frame >= 0 && s.Clip.Frame <= 5 &&
        !GroundMoveOrStop(c, {.Dir = MoveDir::Forward, .Speed = 0.066f, .RequireNoDrop = true}))
        return;
    if (s.Playback.LastFrame == 5) GoTo(c, CharacterAction::Run, CharacterClip::Run, 0);
}

void ActionTurnAround(CharacterStep& c) {
    ActionRecord& s = c.Record;
    if (s.Playback.LastFrame != 12) return;
    s.Body.AngleY += 180;
    UpdateHeadingVectors(c);
    GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
}

}  // namespace dv
