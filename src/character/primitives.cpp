#include "character/primitives.h"

#include <cmath>

#include "math/clock.h"

namespace dv {

namespace {

TCharacterModule& M() { return CharacterModule; }
TActionState& S() { return *CharacterModule.CurrentState; }
const Tmap_level& Level() { return *CharacterModule.Level; }
int RoomOr(int room) { return room < 0 ? S().Room : room; }

Vec3 Move(const Vec3& from, const Vec3& dir, int lookAhead, float reach, float distance) {
    Vec3 p = VecAdd(from, VecScale(dir, distance / S().TimeScale));
    if (lookAhead == 1) p = VecAdd(p, VecScale(dir, reach));
    return p;
}

float FloorAt(int room, const Vec3& p) { return SurfaceQuery(Level(), room, p.x, p.z).Floor; }

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

bool LedgeEnd(const Vec3& dir, float hang) {
    const TActionState& s = S();
    const float step = static_cast<float>(M().TickDelta) * 0.005f;
    const Vec3 hands = MoveForward(s.Position, 0, 3 * s.TimeScale);
    GroundProbe probe;
    ProbeGround(Move(hands, dir, 1, 6, step), probe);
    if (probe.Blocked || std::fabs(probe.Hit.Floor - (s.Position.y + hang)) > 4.5f) return true;
    ProbeGround(Move(s.Position, dir, 1, 6, step), probe);
    return probe.Blocked || probe.Hit.Floor - (s.Position.y + hang) >= -hang;
}

}  // namespace

void RequestTransition(int32_t clip, int32_t frame, int32_t length) {
    TActionState& s = S();
    s.TransitionRequested = 1;
    s.TransitionClip = clip;
    s.TransitionTarget = frame;
    s.TransitionLength = length;
}

void SetClip(int32_t clip, int32_t frame) {
    S().ClipId = clip;
    S().Frame = frame;
}

void FocusOn(const Vec3& point, float duration) {
    const CharacterCamera& c = M().Camera;
    if (c.FocusOn) c.FocusOn(c.Context, point, duration);
}

void ResumeFollow() {
    const CharacterCamera& c = M().Camera;
    if (c.ResumeFollow) c.ResumeFollow(c.Context);
}

void UpdateHeadingVectors() {
    const TActionState& s = S();
    Quat q;
    QuatFromAnglesZXY(q, s.AngleX, s.AngleY, s.AngleZ);
    M().DirForward = QuatTransformVec({0, 0, 1}, q);
    M().DirBack = QuatTransformVec({0, 0, -1}, q);
    M().DirLeft = QuatTransformVec({-1, 0, 0}, q);
    M().DirRight = QuatTransformVec({1, 0, 0}, q);
}

Vec3 MoveForward(const Vec3& from, int lookAhead, float distance) {
    return Move(from, M().DirForward, lookAhead, 3, distance);
}
Vec3 MoveBack(const Vec3& from, int lookAhead, float distance) {
    return Move(from, M().DirBack, lookAhead, 3, distance);
}
Vec3 MoveLeft(const Vec3& from, int lookAhead, float distance) {
    return Move(from, M().DirLeft, lookAhead, 6, distance);
}
Vec3 MoveRight(const Vec3& from, int lookAhead, float distance) {
    return Move(from, M().DirRight, lookAhead, 6, distance);
}

bool ProbeGround(const Vec3& point, GroundProbe& probe, int room) {
    probe.Hit = SurfaceQuery(Level(), RoomOr(room), point.x, point.z);
    probe.Blocked = probe.Hit.Floor >= probe.Hit.Ceiling ? 1 : 0;
    probe.FloorDelta = probe.Hit.Floor - point.y;
    probe.CeilingDelta = probe.Hit.Ceiling - point.y;
    probe.Clearance = probe.Hit.Ceiling - probe.Hit.Floor;
    return probe.Blocked == 0;
}

bool ProbeOk(const GroundProbe& probe) {
    return probe.Blocked == 0 && probe.FloorDelta <= 8 && probe.CeilingDelta >= 25;
}

int32_t CellLink(const Vec3& point) {
    return CellInfoAt(Level(), S().Room, point.x, point.z).LinkBelow - 1;
}

bool LedgeEndLeft() { return LedgeEnd(M().DirLeft, 16); }
bool LedgeEndRight() { return LedgeEnd(M().DirRight, 16); }
bool HighLedgeEndLeft() { return LedgeEnd(M().DirLeft, 24); }
bool HighLedgeEndRight() { return LedgeEnd(M().DirRight, 24); }

Vec3 FindLedgeEdge(int room, const Vec3& from, const Vec3& to, float back) {
    room = RoomOr(room);
    const float start = FloorAt(room, from);
    return Bisect(from, to, back, [&](const Vec3& m) { return std::fabs(FloorAt(room, m) - start) <= 4; });
}

Vec3 FindCellBoundary(int room, const Vec3& from, const Vec3& to, float back) {
    room = RoomOr(room);
    const int32_t cell = CellIndexAt(Level(), room, from.x, from.z);
    if (cell == CellIndexAt(Level(), room, to.x, to.z)) return FindLedgeEdge(room, from, to, back);
    return Bisect(from, to, back, [&](const Vec3& m) { return CellIndexAt(Level(), room, m.x, m.z) == cell; });
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

float EdgeHeadingDelta(int room, const Vec3& from, const Vec3& to) {
    room = RoomOr(room);
    const CellCoord p = WorldToCell(Level(), room, from.x, from.z);
    const CellCoord q = WorldToCell(Level(), room, to.x, to.z);
    Vec3 d;
    if (p.Column == q.Column && p.Row == q.Row) {
        const CellInfo info = CellInfoAt(Level(), room, from.x, from.z);
        const int firstHalf = info.FloorHalf == 1 ? 1 : 0;
        const bool odd = ((info.FloorFlags & 1) + firstHalf) % 2 == 1;
        d = {firstHalf ? 1.0f : -1.0f, 0, odd ? 1.0f : -1.0f};
    } else {
        d = {static_cast<float>(q.Column - p.Column), 0, static_cast<float>(q.Row - p.Row)};
    }
    VecNormalize(d);
    return HeadingDelta(d, VecDirection(from, to));
}

void FaceEdge(int room, const Vec3& from, const Vec3& to) { S().AngleY += EdgeHeadingDelta(room, from, to); }

void AvoidSideWalls(Vec3& point, float x) {
    const float ts = S().TimeScale;
    GroundProbe probe;
    ProbeGround(MoveLeft(point, 0, 6 * ts), probe);
    if (!ProbeOk(probe)) {
        point = MoveRight(point, 0, x);
        return;
    }
    ProbeGround(MoveRight(point, 0, 6 * ts), probe);
    if (ProbeOk(probe)) return;
    point = MoveLeft(point, 0, x * ts);
}

void StartHeightStep(const Vec3& target, uint16_t ticks, float height) {
    TActionState& s = S();
    M().StepSavedAction = s.Action;
    M().StepStart = s.Position;
    M().StepTarget = {target.x, height, target.z};
    M().StepRemaining = ticks;
    M().StepFraction = 1.0f / ticks;
    s.Action = 2;
}

void StopAt(const Vec3& point) {
    S().Position = point;
    S().Action = 3;
    RequestTransition(0, 0, 5);
}

void BumpLand(const Vec3& point) {
    S().Position = point;
    S().Action = 1;
    RequestTransition(27, 0, 3);
    M().QueuedAction = 31;
}

void StopWalking(const Vec3& point, bool lateStop) {
    S().Position = point;
    S().Action = 1;
    RequestTransition(lateStop ? 11 : 10, 0, 4);
    M().QueuedAction = 12;
}

namespace {
void StartFalling(float fwdSpeed) {
    M().VertSpeed = 0;
    M().Gravity = 0.0004f;
    M().MinVertSpeed = -0.23f;
    M().FwdSpeed = fwdSpeed;
    S().Action = 30;
    RequestTransition(26, 0, 4);
}
}  // namespace

void StartFall() { StartFalling(0.04f); }
void StartFallBack() { StartFalling(-0.04f); }
void StartDrop() { StartFalling(0); }

void StartTimedMove(const Vec3& target, uint16_t durationMs, float angle) {
    TActionState& s = S();
    M().TimedSavedAction = s.Action;
    M().TimedSavedFrame = s.Frame;
    M().TimedStartTime = ClockMs();
    M().TimedStartPos = s.Position;
    M().TimedTargetPos = target;
    M().TimedStartAngle = NormalizeAngle(s.AngleY);
    M().TimedTargetAngle = angle;
    M().TimedDuration = durationMs;
    s.Action = 51;
}

void ClimbCheck() {
    TActionState& s = S();
    TCharacterModule& m = M();
    m.Candidate = MoveForward(s.Position, 0, 6 * s.TimeScale);
    GroundProbe probe;
    ProbeGround(m.Candidate, probe);
    const float h = probe.FloorDelta;
    const int32_t hi = TruncToInt(h);
    m.ClimbHeight = h;
    m.ClimbTarget = {m.Candidate.x, probe.Hit.Floor, m.Candidate.z};
    m.ClimbRoom = s.Room;
    if (h >= 8 && h <= 36 && probe.Clearance >= 25) {
        const CellInfo here = CellInfoAt(Level(), s.Room, s.Position.x, s.Position.z);
        if (m.ClimbTarget.y >= here.CeilingReference && here.LinkAbove != 0) m.ClimbRoom = here.LinkAbove - 1;
        struct Band { int32_t low, high, action, clip; float focus; };
        static constexpr Band kBands[] = {
            {9, 17, 35, 30, 1200}, {18, 23, 36, 31, 1925}, {24, 31, 37, 32, 1925}, {32, 36, 38, 33, 1925}};
        for (const Band& band : kBands) {
            if (hi < band.low || hi > band.high) continue;
            s.Action = band.action;
            s.ClipId = band.clip;
            FocusOn(m.ClimbTarget, s.TimeScale * band.focus);
        }
        s.Frame = 0;
        return;
    }
    m.JumpMode = 0;
    s.Action = 19;
    s.ClipId = (h > 36 || probe.Clearance < 25) ? 45 : 12;
    s.Frame = 0;
}

}  // namespace dv
