#include <algorithm>
#include <cmath>

#include "math/clock.h"
#include "character/actions.h"

namespace dv {

Vec3 MoveAlong(CharacterStep& c, MoveDir dir, const Vec3& from, int lookAhead, float distance) {
    switch (dir) {
        case MoveDir::Forward: return MoveForward(c, from, lookAhead, distance);
        case MoveDir::Back: return MoveBack(c, from, lookAhead, distance);
        case MoveDir::Left: return MoveLeft(c, from, lookAhead, distance);
        case MoveDir::Right: return MoveRight(c, from, lookAhead, distance);
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

MoveOutcome GroundMoveStep(CharacterStep& c, const GroundMove& move, GroundProbe& probe, Vec3& stopPoint) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    const float height = s.Body.Position.y;
    m.Candidate = MoveAlong(c, move.Dir, s.Body.Position, 1, c.Delta() * move.Speed);
    ProbeGround(c, m.Candidate, probe);
    if (!ProbeOk(probe) || (move.RequireNoDrop && probe.FloorDelta < -8)) {
        const Vec3 edge = FindLedgeEdge(c, s.Body.Room, s.Body.Position, m.Candidate, 0);
        stopPoint = MoveAlong(c, Opposite(move.Dir), edge, 1, 0);
        return MoveOutcome::Blocked;
    }
    m.Candidate = MoveAlong(c, Opposite(move.Dir), m.Candidate, 1, 0);
    if (move.Avoid > 0) AvoidSideWalls(c, m.Candidate, move.Avoid);
    ProbeGround(c, m.Candidate, probe);
    const float d = probe.FloorDelta;
    if (move.StepTicks != 0 && std::fabs(d) >= 2 && std::fabs(d) <= 8) {
        StartHeightStep(c, m.Candidate, move.StepTicks, probe.Hit.Floor);
        return MoveOutcome::HeightStep;
    }
    if (d < -8 && move.Drop != DropRule::None) {
        if (move.Drop == DropRule::RunEdge && d < -32) return MoveOutcome::Edge;
        if (move.Drop == DropRule::FallBack) StartFallBack(c);
        else StartFall(c);
        s.Body.Position = {m.Candidate.x, height, m.Candidate.z};
        return MoveOutcome::Fell;
    }
    if (move.SnapToFloor) m.Candidate.y = probe.Hit.Floor;
    return MoveOutcome::Open;
}

bool GroundMoveOrStop(CharacterStep& c, const GroundMove& move) {
    GroundProbe probe;
    Vec3 stop;
    switch (GroundMoveStep(c, move, probe, stop)) {
        case MoveOutcome::Blocked: StopAt(c, stop); return false;
        case MoveOutcome::Open: c.Record.Body.Position = c.State.Candidate; return true;
        default: return false;
    }
}

AirOutcome AirborneStep(CharacterStep& c, bool wallTest, bool landingTest, float bumpBack, Vec3& bumpPoint,
                        GroundProbe& probe) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    m.Candidate = MoveForward(c, s.Body.Position, 0, c.Delta() * m.FwdSpeed);
    m.Candidate.y = s.Body.Position.y + c.Delta() * m.VertSpeed / s.Clip.TimeScale;
    ProbeGround(c, m.Candidate, probe);
    if (wallTest && !ProbeOk(probe)) {
        bumpPoint = FindCellBoundary(c, s.Body.Room, s.Body.Position, m.Candidate, bumpBack);
        return AirOutcome::Bumped;
    }
    s.Body.Position = m.Candidate;
    m.VertSpeed -= c.Delta() * m.Gravity / s.Clip.TimeScale;
    if (!landingTest) return AirOutcome::Flying;
    if (s.Body.Position.y > probe.Hit.Floor) {
        m.VertSpeed = std::max(m.VertSpeed, m.MinVertSpeed);
        return AirOutcome::Flying;
    }
    s.Body.Position.y = probe.Hit.Floor;
    return AirOutcome::Landed;
}

bool TurnByKeys(CharacterStep& c, float rate) {
    float a = 0;
    if (c.Input.Left) a = -rate * c.Delta();
    if (c.Input.Right) a = rate * c.Delta();
    if (!c.Input.Left && !c.Input.Right) return false;
    if (a != 0) {
        c.Record.Body.AngleY += a / c.Record.Clip.TimeScale;
        UpdateHeadingVectors(c);
    }
    return true;
}

void ActionAwaitTransition(CharacterStep& c) {
    ActionRecord& s = c.Record;
    if (!s.Playback.Settled) return;
    s.Body.Action = c.State.QueuedAction;
    SetClip(c, s.Transition.Clip, s.Transition.Target);
}

void ActionHeightStep(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    m.StepRemaining -= 1.0f / s.Clip.TimeScale;
    s.Body.Position.y += (m.StepTarget.y - m.StepStart.y) * m.StepFraction / s.Clip.TimeScale;
    if (m.StepRemaining > 0.0001f) return;
    s.Body.Position = m.StepTarget;
    s.Body.Action = m.StepSavedAction;
}

void ActionStopSettle(CharacterStep& c) {
    ActionRecord& s = c.Record;
    if (!s.Playback.Settled) return;
    GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
    StartTimedMove(c, s.Body.Position, 50, SnapAngle(15, NormalizeAngle(s.Body.AngleY)));
}

void ActionTimedMove(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    // A zero duration (a time scale that truncates to 0 ms) finishes at once.
    float t = 1;
    if (m.TimedDuration > 0)
        t = std::min(1.0f, static_cast<float>(ClockSince(c.Input.NowMs, m.TimedStartTime)) / m.TimedDuration);
    s.Body.Position = VecLerp(m.TimedStartPos, m.TimedTargetPos, t);
    SetHeading(s.Body.AngleY, LerpScalar(m.TimedStartAngle, m.TimedTargetAngle, t));
    UpdateHeadingVectors(c);
    if (t < 1) return;
    s.Body.Position = m.TimedTargetPos;
    s.Clip.Frame = m.TimedSavedFrame;
    s.Body.Action = m.TimedSavedAction;
}

}  // namespace dv
