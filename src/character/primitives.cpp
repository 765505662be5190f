#include "character/primitives.h"

#include <cmath>

namespace dv {

namespace {

int RoomOr(CharacterStep& c, int room) { return room < 0 ? c.Record.Body.Room : room; }

Vec3 Move(CharacterStep& c, const Vec3& from, const Vec3& dir, int lookAhead, float reach, float distance) {
    Vec3 p = VecAdd(from, VecScale(dir, distance / c.Record.Clip.TimeScale));
    if (lookAhead == 1) p = VecAdd(p, VecScale(dir, reach));
    return p;
}

float FloorAt(CharacterStep& c, int room, const Vec3& p) { return SurfaceQuery(c.Level(), room, p.x, p.z).Floor; }

// Bisection between a (passing `keep`) and b, halving until the half distance is 0.005 or
// less; the result is moved `back` along the path direction.
template <class Keep>
Vec3 Bisect(const Vec3& from, const Vec3& to, float back, Keep keep) {
    const Vec3 d = VecDirection(from, to);
    Vec3 a = from, b = to;
    for (;;) {
        const float h = VecDistance(a, b) / 2;
        const Vec3 m = VecAdd(a, VecScale(d, h));
        if (keep(m)) a = m;
        else b = m;
        if (!(h > 0.005f)) break;  // also ends on a non-finite path
    }
    return VecSub(a, VecScale(d, back));
}

bool LedgeEnd(CharacterStep& c, const Vec3& dir, float hang) {
    const ActionRecord& s = c.Record;
    const float step = static_cast<float>(c.State.TickDelta) * 0.005f;
    const Vec3 hands = MoveForward(c, s.Body.Position, 0, 3 * s.Clip.TimeScale);
    GroundProbe probe;
    ProbeGround(c, Move(c, hands, dir, 1, 6, step), probe);
    if (probe.Blocked || std::fabs(probe.Hit.Floor - (s.Body.Position.y + hang)) > 4.5f) return true;
    ProbeGround(c, Move(c, s.Body.Position, dir, 1, 6, step), probe);
    return probe.Blocked || probe.Hit.Floor - (s.Body.Position.y + hang) >= -hang;
}

}  // namespace

void RequestTransition(CharacterStep& c, CharacterClip clip, int32_t frame, int32_t length) {
    ActionRecord& s = c.Record;
    s.Transition.Requested = 1;
    s.Transition.Clip = clip;
    s.Transition.Target = frame;
    s.Transition.Length = length;
}

void SetClip(CharacterStep& c, CharacterClip clip, int32_t frame) {
    c.Record.Clip.Id = clip;
    c.Record.Clip.Frame = frame;
}

void FocusOn(CharacterStep& c, const Vec3& point, float duration) {
    const CharacterCamera& camera = c.World.Camera;
    if (camera.FocusOn) camera.FocusOn(camera.Context, point, duration);
}

void ResumeFollow(CharacterStep& c) {
    const CharacterCamera& camera = c.World.Camera;
    if (camera.ResumeFollow) camera.ResumeFollow(camera.Context);
}

void UpdateHeadingVectors(CharacterStep& c) {
    const ActionRecord& s = c.Record;
    Quat q;
    QuatFromAnglesZXY(q, s.Body.AngleX, s.Body.AngleY, s.Body.AngleZ);
    c.State.DirForward = QuatTransformVec({0, 0, 1}, q);
    c.State.DirBack = QuatTransformVec({0, 0, -1}, q);
    c.State.DirLeft = QuatTransformVec({-1, 0, 0}, q);
    c.State.DirRight = QuatTransformVec({1, 0, 0}, q);
}

Vec3 MoveForward(CharacterStep& c, const Vec3& from, int lookAhead, float distance) {
    return Move(c, from, c.State.DirForward, lookAhead, 3, distance);
}
Vec3 MoveBack(CharacterStep& c, const Vec3& from, int lookAhead, float distance) {
    return Move(c, from, c.State.DirBack, lookAhead, 3, distance);
}
Vec3 MoveLeft(CharacterStep& c, const Vec3& from, int lookAhead, float distance) {
    return Move(c, from, c.State.DirLeft, lookAhead, 6, distance);
}
Vec3 MoveRight(CharacterStep& c, const Vec3& from, int lookAhead, float distance) {
    return Move(c, from, c.State.DirRight, lookAhead, 6, distance);
}

bool ProbeGround(CharacterStep& c, const Vec3& point, GroundProbe& probe, int room) {
    probe.Hit = SurfaceQuery(c.Level(), RoomOr(c, room), point.x, point.z);
    probe.Blocked = probe.Hit.Floor >= probe.Hit.Ceiling ? 1 : 0;
    probe.FloorDelta = probe.Hit.Floor - point.y;
    probe.CeilingDelta = probe.Hit.Ceiling - point.y;
    probe.Clearance = probe.Hit.Ceiling - probe.Hit.Floor;
    return probe.Blocked == 0;
}

bool ProbeOk(const GroundProbe& probe) {
    return probe.Blocked == 0 && probe.FloorDelta <= 8 && probe.CeilingDelta >= 25;
}

int32_t CellLink(CharacterStep& c, const Vec3& point) {
    return CellInfoAt(c.Level(), c.Record.Body.Room, point.x, point.z).LinkBelow - 1;
}

bool LedgeEndLeft(CharacterStep& c) { return LedgeEnd(c, c.State.DirLeft, 16); }
bool LedgeEndRight(CharacterStep& c) { return LedgeEnd(c, c.State.DirRight, 16); }
bool HighLedgeEndLeft(CharacterStep& c) { return LedgeEnd(c, c.State.DirLeft, 24); }
bool HighLedgeEndRight(CharacterStep& c) { return LedgeEnd(c, c.State.DirRight, 24); }

Vec3 FindLedgeEdge(CharacterStep& c, int room, const Vec3& from, const Vec3& to, float back) {
    room = RoomOr(c, room);
    const float start = FloorAt(c, room, from);
    return Bisect(from, to, back, [&](const Vec3& m) { return std::fabs(FloorAt(c, room, m) - start) <= 4; });
}

Vec3 FindCellBoundary(CharacterStep& c, int room, const Vec3& from, const Vec3& to, float back) {
    room = RoomOr(c, room);
    const int32_t cell = CellIndexAt(c.Level(), room, from.x, from.z);
    if (cell == CellIndexAt(c.Level(), room, to.x, to.z)) return FindLedgeEdge(c, room, from, to, back);
    return Bisect(from, to, back, [&](const Vec3& m) { return CellIndexAt(c.Level(), room, m.x, m.z) == cell; });
}

float NormalizeAngle(float a) {
    if (a >= 0 && a <= 359) return a;
    const double r = static_cast<double>(a) / 360.0;
    double x = std::fabs(r) >= 1 ? (r - std::trunc(r)) * 360.0 : a;
    if (x < 0) x += 360.0;
    return static_cast<float>(x);
}

void SetHeading(float& angle, float x) { angle += x - NormalizeAngle(angle); }

float SnapAngle(float tolerance, float a) {
    for (const float centre : {90.0f, 180.0f, 270.0f})
        if (a >= centre - tolerance && a <= centre + tolerance) return centre;
    if (a <= tolerance) return 0;
    if (a >= 359 - tolerance) return 360;
    return a;
}

float EdgeHeadingDelta(CharacterStep& c, int room, const Vec3& from, const Vec3& to) {
    room = RoomOr(c, room);
    const CellCoord p = WorldToCell(c.Level(), room, from.x, from.z);
    const CellCoord q = WorldToCell(c.Level(), room, to.x, to.z);
    Vec3 d;
    if (p.Column == q.Column && p.Row == q.Row) {
        const CellInfo info = CellInfoAt(c.Level(), room, from.x, from.z);
        const int firstHalf = info.FloorHalf == 1 ? 1 : 0;
        const bool odd = ((info.FloorFlags & 1) + firstHalf) % 2 == 1;
        d = {firstHalf ? 1.0f : -1.0f, 0, odd ? 1.0f : -1.0f};
    } else {
        d = {static_cast<float>(q.Column - p.Column), 0, static_cast<float>(q.Row - p.Row)};
    }
    VecNormalize(d);
    return HeadingDelta(d, VecDirection(from, to));
}

void FaceEdge(CharacterStep& c, int room, const Vec3& from, const Vec3& to) {
    c.Record.Body.AngleY += EdgeHeadingDelta(c, room, from, to);
}

void AvoidSideWalls(CharacterStep& c, Vec3& point, float x) {
    const float ts = c.Record.Clip.TimeScale;
    GroundProbe probe;
    ProbeGround(c, MoveLeft(c, point, 0, 6 * ts), probe);
    if (!ProbeOk(probe)) {
        point = MoveRight(c, point, 0, x);
        return;
    }
    ProbeGround(c, MoveRight(c, point, 0, 6 * ts), probe);
    if (ProbeOk(probe)) return;
    point = MoveLeft(c, point, 0, x * ts);
}

void StartHeightStep(CharacterStep& c, const Vec3& target, uint16_t ticks, float height) {
    ActionRecord& s = c.Record;
    c.State.StepSavedAction = s.Body.Action;
    c.State.StepStart = s.Body.Position;
    c.State.StepTarget = {target.x, height, target.z};
    c.State.StepRemaining = ticks;
    c.State.StepFraction = 1.0f / ticks;
    s.Body.Action = CharacterAction::HeightStep;
}

void StopAt(CharacterStep& c, const Vec3& point) {
    c.Record.Body.Position = point;
    c.Record.Body.Action = CharacterAction::StopSettle;
    RequestTransition(c, CharacterClip::Idle, 0, 5);
}

void BumpLand(CharacterStep& c, const Vec3& point) {
    c.Record.Body.Position = point;
    c.Record.Body.Action = CharacterAction::AwaitTransition;
    RequestTransition(c, CharacterClip::Bump, 0, 3);
    c.State.QueuedAction = CharacterAction::BumpRecover;
}

void StopWalking(CharacterStep& c, const Vec3& point, bool lateStop) {
    c.Record.Body.Position = point;
    c.Record.Body.Action = CharacterAction::AwaitTransition;
    RequestTransition(c, lateStop ? CharacterClip::WalkStopRight : CharacterClip::WalkStopLeft, 0, 4);
    c.State.QueuedAction = CharacterAction::WalkStopEnd;
}

namespace {
void StartFalling(CharacterStep& c, float fwdSpeed) {
    c.State.VertSpeed = 0;
    c.State.Gravity = 0.0004f;
    c.State.MinVertSpeed = -0.23f;
    c.State.FwdSpeed = fwdSpeed;
    c.Record.Body.Action = CharacterAction::Fall;
    RequestTransition(c, CharacterClip::Fall, 0, 4);
}
}  // namespace

void StartFall(CharacterStep& c) { StartFalling(c, 0.04f); }
void StartFallBack(CharacterStep& c) { StartFalling(c, -0.04f); }
void StartDrop(CharacterStep& c) { StartFalling(c, 0); }

void StartTimedMove(CharacterStep& c, const Vec3& target, uint16_t durationMs, float angle) {
    ActionRecord& s = c.Record;
    c.State.TimedSavedAction = s.Body.Action;
    c.State.TimedSavedFrame = s.Clip.Frame;
    c.State.TimedStartTime = c.Input.NowMs;
    c.State.TimedStartPos = s.Body.Position;
    c.State.TimedTargetPos = target;
    c.State.TimedStartAngle = NormalizeAngle(s.Body.AngleY);
    c.State.TimedTargetAngle = angle;
    c.State.TimedDuration = durationMs;
    s.Body.Action = CharacterAction::TimedMove;
}

void ClimbCheck(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    m.Candidate = MoveForward(c, s.Body.Position, 0, 6 * s.Clip.TimeScale);
    GroundProbe probe;
    ProbeGround(c, m.Candidate, probe);
    const float h = probe.FloorDelta;
    const int32_t hi = TruncToInt(h);
    m.ClimbHeight = h;
    m.ClimbTarget = {m.Candidate.x, probe.Hit.Floor, m.Candidate.z};
    m.ClimbRoom = s.Body.Room;
    if (h >= 8 && h <= 36 && probe.Clearance >= 25) {
        const CellInfo here = CellInfoAt(c.Level(), s.Body.Room, s.Body.Position.x, s.Body.Position.z);
        if (m.ClimbTarget.y >= here.CeilingReference && here.LinkAbove != 0) m.ClimbRoom = here.LinkAbove - 1;
        struct Band {
            int32_t low, high;
            CharacterAction action;
            CharacterClip clip;
            float focus;
        };
        static constexpr Band kBands[] = {{9, 17, CharacterAction::ClimbLow, CharacterClip::ClimbLow, 1200},
                                          {18, 23, CharacterAction::ClimbMid, CharacterClip::ClimbMid, 1925},
                                          {24, 31, CharacterAction::ClimbHigh, CharacterClip::ClimbHigh, 1925},
                                          {32, 36, CharacterAction::ClimbTop, CharacterClip::ClimbTop, 1925}};
        for (const Band& band : kBands) {
            if (hi < band.low || hi > band.high) continue;
            s.Body.Action = band.action;
            s.Clip.Id = band.clip;
            FocusOn(c, m.ClimbTarget, s.Clip.TimeScale * band.focus);
        }
        s.Clip.Frame = 0;
        return;
    }
    m.JumpMode = JumpDirection::Up;
    s.Body.Action = CharacterAction::JumpStart;
    s.Clip.Id = (h > 36 || probe.Clearance < 25) ? CharacterClip::JumpPrepareHigh : CharacterClip::JumpPrepare;
    s.Clip.Frame = 0;
}

}  // namespace dv
