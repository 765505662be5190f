#include <algorithm>
#include <cmath>

#include "character/actions.h"
#include "math/clock.h"

namespace dv {

Vec3 MoveAlong(MoveDir dir, const Vec3& from, int lookAhead, float distance) {
    switch (dir) {
        case MoveDir::Forward: return MoveForward(from, lookAhead, distance);
        case MoveDir::Back: return MoveBack(from, lookAhead, distance);
        case MoveDir::Left: return MoveLeft(from, lookAhead, distance);
        case MoveDir::Right: return MoveRight(from, lookAhead, distance);
    }
    return from;
}

MoveDir Opposite(MoveDir dir) {
    switch (dir) {
        case MoveDir::Forward: return MoveDir::Back;
        case MoveDir::Back: return MoveDir::Forward;
        case MoveDir::Left: return MoveDir::Right;
        case MoveDir::Right: return MoveDir::Left;
    }
    return dir;
}

MoveOutcome GroundMoveStep(const GroundMove& move, GroundProbe& probe, Vec3& stopPoint) {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    const float height = s.Position.y;
    m.Candidate = MoveAlong(move.Dir, s.Position, 1, Delta() * move.Speed);
    ProbeGround(m.Candidate, probe);
    if (!ProbeOk(probe) || (move.RequireNoDrop && probe.FloorDelta < -8)) {
        const Vec3 edge = FindLedgeEdge(s.Room, s.Position, m.Candidate, 0);
        stopPoint = MoveAlong(Opposite(move.Dir), edge, 1, 0);
        return MoveOutcome::Blocked;
    }
    m.Candidate = MoveAlong(Opposite(move.Dir), m.Candidate, 1, 0);
    if (move.Avoid > 0) AvoidSideWalls(m.Candidate, move.Avoid);
    ProbeGround(m.Candidate, probe);
    const float d = probe.FloorDelta;
    if (move.StepTicks != 0 && std::fabs(d) >= 2 && std::fabs(d) <= 8) {
        StartHeightStep(m.Candidate, move.StepTicks, probe.Hit.Floor);
        return MoveOutcome::HeightStep;
    }
    if (d < -8 && move.Drop != DropRule::None) {
        if (move.Drop == DropRule::RunEdge && d < -32) return MoveOutcome::Edge;
        if (move.Drop == DropRule::FallBack) StartFallBack();
        else StartFall();
        s.Position = {m.Candidate.x, height, m.Candidate.z};
        return MoveOutcome::Fell;
    }
    if (move.SnapToFloor) m.Candidate.y = probe.Hit.Floor;
    return MoveOutcome::Open;
}

bool GroundMoveOrStop(const GroundMove& move) {
    GroundProbe probe;
    Vec3 stop;
    switch (GroundMoveStep(move, probe, stop)) {
        case MoveOutcome::Blocked: StopAt(stop); return false;
        case MoveOutcome::Open: Rec().Position = Mod().Candidate; return true;
        default: return false;
    }
}

AirOutcome AirborneStep(bool wallTest, bool landingTest, float bumpBack, Vec3& bumpPoint, GroundProbe& probe) {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    m.Candidate = MoveForward(s.Position, 0, Delta() * m.FwdSpeed);
    m.Candidate.y = s.Position.y + Delta() * m.VertSpeed / s.TimeScale;
    ProbeGround(m.Candidate, probe);
    if (wallTest && !ProbeOk(probe)) {
        bumpPoint = FindCellBoundary(s.Room, s.Position, m.Candidate, bumpBack);
        return AirOutcome::Bumped;
    }
    s.Position = m.Candidate;
    m.VertSpeed -= Delta() * m.Gravity / s.TimeScale;
    if (!landingTest) return AirOutcome::Flying;
    if (s.Position.y > probe.Hit.Floor) {
        m.VertSpeed = std::max(m.VertSpeed, m.MinVertSpeed);
        return AirOutcome::Flying;
    }
    s.Position.y = probe.Hit.Floor;
    return AirOutcome::Landed;
}

bool TurnByKeys(float rate) {
    float a = 0;
    if (HeldLeft()) a = -rate * Delta();
    if (HeldRight()) a = rate * Delta();
    if (!HeldLeft() && !HeldRight()) return false;
    if (a != 0) {
        Rec().AngleY += a / Rec().TimeScale;
        UpdateHeadingVectors();
    }
    return true;
}

void ActionAwaitTransition() {
    TActionState& s = Rec();
    if (!s.Settled) return;
    s.Action = Mod().QueuedAction;
    SetClip(s.TransitionClip, s.TransitionTarget);
}

void ActionHeightStep() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    m.StepRemaining -= 1.0f / s.TimeScale;
    s.Position.y += (m.StepTarget.y - m.StepStart.y) * m.StepFraction / s.TimeScale;
    if (m.StepRemaining > 0.0001f) return;
    s.Position = m.StepTarget;
    s.Action = m.StepSavedAction;
}

void ActionStopSettle() {
    TActionState& s = Rec();
    if (!s.Settled) return;
    GoTo(0, 0, 0);
    StartTimedMove(s.Position, 50, SnapAngle(15, NormalizeAngle(s.AngleY)));
}

void ActionTimedMove() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    // A zero duration (a time scale that truncates to 0 ms) finishes at once.
    float t = 1;
    if (m.TimedDuration > 0)
        t = std::min(1.0f, static_cast<float>(ClockMs() - m.TimedStartTime) / m.TimedDuration);
    s.Position = VecLerp(m.TimedStartPos, m.TimedTargetPos, t);
    SetHeading(s.AngleY, LerpScalar(m.TimedStartAngle, m.TimedTargetAngle, t));
    UpdateHeadingVectors();
    if (t < 1) return;
    s.Position = m.TimedTargetPos;
    s.Frame = m.TimedSavedFrame;
    s.Action = m.TimedSavedAction;
}

}  // namespace dv
