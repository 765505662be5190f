#include <cmath>

#include "character/actions.h"

namespace dv {

namespace {

// The probe the idle decisions make: `distance` units along `dir`, no look-ahead.
GroundProbe ProbeAhead(MoveDir dir, float distance) {
    GroundProbe probe;
    ProbeGround(MoveAlong(dir, Rec().Position, 0, distance), probe);
    return probe;
}

bool OkWithoutDrop(const GroundProbe& probe) { return ProbeOk(probe) && probe.FloorDelta > -8; }

// Ends an action when its clip has reached `lastFrame`: idle clip 0 at 0.
void IdleAtLastFrame(int32_t lastFrame) {
    if (Rec().LastFrame == lastFrame) GoTo(0, 0, 0);
}

void RunStop(int32_t endClip) {
    if (!GroundMoveOrStop({.Dir = MoveDir::Forward, .Speed = 0.04f, .Avoid = 0.5f, .Drop = DropRule::Fall,
                           .SnapToFloor = false}))
        return;
    if (Rec().Settled) GoTo(8, endClip, 8);
}

void SideStep(MoveDir dir, bool held) {
    const int32_t e = Rec().LastFrame;
    if (e > 1 && e <= 10 &&
        !GroundMoveOrStop({.Dir = dir, .Speed = 0.01f, .RequireNoDrop = true}))
        return;
    if (held && ShiftBitSet()) return;
    IdleAtLastFrame(12);
}

}  // namespace

void ActionIdle() {
    const bool shift = ShiftBitSet();
    if ((HeldLeft() || HeldRight()) && !shift) {
        GoTo(4, 1, 0);
    } else if (HeldForward() && !shift) {
        if (ProbeOk(ProbeAhead(MoveDir::Forward, 3.02f))) {
            Rec().Action = 9;
            RequestTransition(2, 8, 4);
        }
    } else if (HeldForward()) {
        if (OkWithoutDrop(ProbeAhead(MoveDir::Forward, 3.02f))) {
            Rec().Action = 11;
            RequestTransition(3, 0, 5);
        }
    } else if (HeldBack() && !shift) {
        if (ProbeOk(ProbeAhead(MoveDir::Back, 3.02f))) GoTo(13, 4, 0);
    } else if (HeldLeft()) {
        if (OkWithoutDrop(ProbeAhead(MoveDir::Left, 6.02f))) GoTo(14, 6, 0);
    } else if (HeldRight()) {
        if (OkWithoutDrop(ProbeAhead(MoveDir::Right, 6.02f))) GoTo(15, 7, 0);
    } else if (HeldBack()) {
        if (OkWithoutDrop(ProbeAhead(MoveDir::Back, 3.02f))) {
            Rec().Action = 16;
            RequestTransition(5, 0, 3);
        }
    } else {
        if (AltBitSet()) ClimbCheck();
        if (HeldTurnAroundKey()) GoTo(32, 28, 0);
    }
}

void ActionTurnInPlace() {
    if (!TurnByKeys(Mod().TurnRateStanding)) GoTo(0, 0, 0);
}

void ActionRun() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    TurnByKeys(m.TurnRateRunning);
    if (AltBitSet()) m.JumpMode = 1;
    GroundProbe probe;
    Vec3 stop;
    const MoveOutcome outcome = GroundMoveStep(
        {.Dir = MoveDir::Forward, .Speed = 0.066f, .Avoid = 0.5f, .Drop = DropRule::RunEdge}, probe, stop);
    if (outcome == MoveOutcome::Blocked) return StopAt(stop);
    if (outcome == MoveOutcome::Edge) {
        FaceEdge(s.Room, s.Position, m.Candidate);
        UpdateHeadingVectors();
        s.Position = FindLedgeEdge(s.Room, s.Position, m.Candidate, -1);
        return GoTo(54, 50, 0);
    }
    if (outcome != MoveOutcome::Open) return;
    s.Position = m.Candidate;
    const int32_t e = s.LastFrame;
    if ((!HeldForward() || ShiftBitSet()) && (e < 3 || e >= 20 || (e >= 8 && e <= 12))) {
        const bool early = e < 3 || e >= 20;
        RequestTransition(early ? 8 : 9, 0, 5);
        s.Action = early ? 6 : 7;
        return;
    }
    if (m.JumpMode == 1 && (e == 4 || e == 14)) {
        m.VertSpeed = 0.15f;
        m.Gravity = 0.0004f;
        m.MinVertSpeed = -0.23f;
        m.FwdSpeed = 0.085f;
        RequestTransition(e == 4 ? 20 : 19, 1, 3);
        s.Action = 26;
    }
}

void ActionRunStopA() { RunStop(8); }
void ActionRunStopB() { RunStop(9); }

void ActionRunStopEnd() {
    if (Rec().LastFrame < 3 &&
        !GroundMoveOrStop({.Dir = MoveDir::Forward, .Speed = 0.05f, .Drop = DropRule::Fall, .SnapToFloor = false}))
        return;
    IdleAtLastFrame(8);
}

void ActionRunStart() {
    TActionState& s = Rec();
    if (!GroundMoveOrStop({.Dir = MoveDir::Forward, .Speed = 0.01f, .Avoid = 0.5f, .StepTicks = 0,
                           .Drop = DropRule::Fall, .SnapToFloor = false}))
        return;
    if (!s.Settled) return;
    Mod().JumpMode = 0;
    GoTo(5, 2, 7);
}

void ActionWalk() {
    TActionState& s = Rec();
    TurnByKeys(0.06f);
    const bool late = s.LastFrame > 14 || s.LastFrame < 6;
    GroundProbe probe;
    Vec3 stop;
    // A walk never falls: a drop of more than 8 ahead stops it like a wall.
    const MoveOutcome outcome = GroundMoveStep(
        {.Dir = MoveDir::Forward, .Speed = 0.02f, .Avoid = 0.25f, .StepTicks = 8, .RequireNoDrop = true}, probe,
        stop);
    if (outcome == MoveOutcome::Blocked) return StopWalking(stop, late);
    if (outcome != MoveOutcome::Open) return;
    if (HeldForward() && ShiftBitSet()) s.Position = Mod().Candidate;
    else StopWalking(s.Position, late);
}

void ActionWalkStart() {
    if (!GroundMoveOrStop({.Dir = MoveDir::Forward, .Speed = 0.01f, .Avoid = 0.25f, .StepTicks = 0,
                           .RequireNoDrop = true, .SnapToFloor = false}))
        return;
    if (Rec().Settled) GoTo(10, 3, 0);
}

void ActionWalkStopEnd() { IdleAtLastFrame(8); }

void ActionStepBack() {
    const int32_t e = Rec().LastFrame;
    if (e > 2 && e <= 12 &&
        !GroundMoveOrStop({.Dir = MoveDir::Back, .Speed = 0.0425f, .Drop = DropRule::FallBack}))
        return;
    if (HeldBack()) return;
    IdleAtLastFrame(16);
}

void ActionSideStepLeft() { SideStep(MoveDir::Left, HeldLeft()); }
void ActionSideStepRight() { SideStep(MoveDir::Right, HeldRight()); }

void ActionWalkBackStart() {
    if (Rec().Settled) GoTo(17, 5, 0);
}

void ActionWalkBack() {
    TActionState& s = Rec();
    GroundProbe probe;
    Vec3 stop;
    const MoveOutcome outcome = GroundMoveStep(
        {.Dir = MoveDir::Back, .Speed = 0.009f, .StepTicks = 8, .RequireNoDrop = true}, probe, stop);
    if (outcome == MoveOutcome::Blocked) return StopAt(stop);
    if (outcome != MoveOutcome::Open) return;
    if (ShiftBitSet() && HeldBack() && probe.FloorDelta >= -8) {
        s.Position = Mod().Candidate;
        return;
    }
    RequestTransition(0, 0, 5);
    s.Action = 18;
}

void ActionWalkBackEnd() {
    if (Rec().Settled) GoTo(0, 0, 0);
}

void ActionLandRun() {
    TActionState& s = Rec();
    // No fall here; a drop of more than 8 ahead stops the roll like a wall.
    if (s.Frame >= 0 && s.Frame <= 5 &&
        !GroundMoveOrStop({.Dir = MoveDir::Forward, .Speed = 0.066f, .RequireNoDrop = true}))
        return;
    if (s.LastFrame == 5) GoTo(5, 2, 0);
}

void ActionTurnAround() {
    TActionState& s = Rec();
    if (s.LastFrame != 12) return;
    s.AngleY += 180;
    UpdateHeadingVectors();
    GoTo(0, 0, 0);
}

}  // namespace dv
