#include "motion/follow_camera.h"

#include <algorithm>
#include <cmath>

#include "input/keyboard.h"
#include "math/clock.h"
#include "motion/collision.h"

namespace dv {

namespace {

constexpr float kProbeStep = 8.0f;
constexpr float kSpotProbe = 6.0f;
constexpr float kSpotMargin = 1.5f;
constexpr float kBehindDistance = 24.0f;
constexpr float kLookFarDistance = 320.0f;
constexpr float kEyeStep = 8.0f;
constexpr float kFollowSpeed = 6.0f;
constexpr float kHomeSpeed = 9.0f;
constexpr float kPulledSpeed = 4.0f;

// The direction (0, 0, -1) turned by the given Euler angles.
Vec3 Backward(const Vec3& angles) {
    Quat q;
    QuatFromAnglesZYX(q, angles.x, angles.y, angles.z);
    return QuatTransformVec(VecMake(0, 0, -1), q);
}

// One axis of the orbit offsets: +3 while `up` is held (capped), then -3 while `down` is.
float StepOffset(float value, bool up, float cap, bool down, float floor) {
    if (up) value = std::min(value + 3.0f, cap);
    if (down) value = std::max(value - 3.0f, floor);
    return value;
}

// Free-look velocity and step of one axis: -4 / +4 while a key is held, else momentum.
float TurnAxis(float& velocity, bool negative, bool positive) {
    float step = 0.0f;
    if (negative) {
        velocity = std::max(velocity - 1.5f, -9.0f);
        step = -4.0f;
    } else if (positive) {
        velocity = std::min(velocity + 1.5f, 9.0f);
        step = 4.0f;
    } else if (velocity != 0.0f) {
        step = velocity * 0.75f;
        velocity = step;
    }
    if (std::fabs(velocity) < 0.01f) velocity = 0.0f;
    return step;
}

}  // namespace

CameraInput CameraInputFrom(const KeyboardState& keys, const KeyBindings& bindings) {
    const auto held = [&](GameKey key) { return bindings.Held(keys, key); };
    CameraInput in;
    in.Up = held(GameKey::Forward);
    in.Down = held(GameKey::Back);
    in.Left = held(GameKey::Left);
    in.Right = held(GameKey::Right);
    in.FreeLook = held(GameKey::FreeLook);
    in.Home = held(GameKey::CameraHome);
    in.TiltUp = held(bindings.InvertTilt ? GameKey::TiltDown : GameKey::TiltUp);
    in.TiltDown = held(bindings.InvertTilt ? GameKey::TiltUp : GameKey::TiltDown);
    in.SwingLeft = held(GameKey::SwingLeft);
    in.SwingRight = held(GameKey::SwingRight);
    return in;
}

void FollowCamera::Update() {
    if (Level == nullptr) return;
    if (Input.FreeLook) Mode = CameraMode::FreeLook;
    switch (Mode) {
        case CameraMode::Follow: FollowStep(); break;
        case CameraMode::Return: ReturnStep(); break;
        case CameraMode::Search: SearchStep(); break;
        case CameraMode::FreeLook: LookStep(); break;
        case CameraMode::Focus: FocusStep(); break;
        default: break;
    }
}

void FollowCamera::FocusOn(const Vec3& point, float duration) {
    Goal = point;
    Mode = CameraMode::Focus;
    Phase = CameraPhase::Start;
    Speed = duration;
}

void FollowCamera::ResumeFollow() {
    Mode = CameraMode::Follow;
    Phase = CameraPhase::Start;
}

Vec3 FollowCamera::EyePoint() const { return VecAdd(Subject.Position, VecMake(0, EyeHeight, 0)); }

void FollowCamera::ComputePose() {
    const float rate = Input.Left || Input.Right ? TurnRate : SettleRate;
    const float difference = Subject.Heading - SmoothAngles.y;
    float turn = difference * rate;
    if (std::fabs(turn) < 0.01f) turn = difference;
    SmoothAngles.y += turn;

    OrbitOffset.x = StepOffset(OrbitOffset.x, Input.TiltUp, 89.0f, Input.TiltDown, -12.0f);
    OrbitOffset.y = StepOffset(OrbitOffset.y, Input.SwingLeft, 179.0f, Input.SwingRight, -179.0f);

    const Vec3 eyePoint = EyePoint();
    const Vec3 back = Backward(SmoothAngles);
    Target = VecSub(eyePoint, VecScale(back, LookAhead));
    const Vec3 dir = Backward(VecAdd(SmoothAngles, OrbitOffset));

    if (Input.Up || Input.Down) {
        Zoom += ZoomStep;
    } else if (Zoom != 0.0f) {
        Zoom -= ZoomStep;
    }
    Zoom = std::clamp(Zoom, 0.0f, MaxZoom);

    Eye = VecAdd(eyePoint, VecScale(dir, FollowDistance + Zoom));
    BehindPoint = VecAdd(eyePoint, VecScale(back, kBehindDistance));
}

bool FollowCamera::RoomValid(int32_t room) const {
    return Level != nullptr && room >= 0 && room < static_cast<int32_t>(Level->Rooms.size());
}

bool FollowCamera::SpotClear(const Vec3& p) const {
    if (!RoomValid(Room)) return false;
    const RoomHeader& h = Level->Rooms[static_cast<size_t>(Room)].Header;
    const float maxX = h.Origin.x + kCellSize * static_cast<float>(h.CellsX);
    const float maxZ = h.Origin.z + kCellSize * static_cast<float>(h.CellsZ);
    if (!(h.Origin.x <= p.x && p.x < maxX && h.Origin.z <= p.z && p.z < maxZ)) return false;

    const float probes[4][2] = {{kSpotProbe, 0}, {-kSpotProbe, 0}, {0, kSpotProbe}, {0, -kSpotProbe}};
    for (const auto& d : probes) {
        const SurfaceHit s = SurfaceQuery(*Level, Room, p.x + d[0], p.z + d[1]);
        if (!(s.Floor < p.y && p.y < s.Ceiling)) return false;
    }
    const SurfaceHit s = SurfaceQuery(*Level, Room, p.x, p.z);
    const float low = p.y - kSpotMargin, high = p.y + kSpotMargin;
    return s.Floor < low && low < s.Ceiling && s.Floor < high && high < s.Ceiling;
}

bool FollowCamera::Blocked(const Vec3& a, const Vec3& b) const {
    if (!RoomValid(Room)) return true;
    return SegmentBlockedByLevel(a, b, Room, *Level, kProbeStep);
}

void FollowCamera::MoveToward(Vec3& p, const Vec3& g, float s) {
    const Vec3 d = VecSub(g, p);
    if (s < VecLength(d)) {
        p = VecAdd(p, VecScale(VecDirection(p, g), s));
    } else {
        p = g;
    }
}

bool FollowCamera::PullIn() {
    const Vec3 e = EyePoint();
    if (!(VecDistance(Eye, e) > FollowDistance)) return false;
    Eye = VecSub(e, VecScale(VecDirection(Eye, e), FollowDistance));
    return true;
}

Vec3 FollowCamera::RaisedPointToward(const Vec3& c, const Vec3& e) {
    const Vec3 toEye = VecSub(e, c);
    const float d = VecLength(toEye);
    Vec3 p = VecAdd(e, VecMake(0, 0, -d / 2));
    p = RotateAboutPointByAngles(p, e, 75, 0, 0);
    const double cosine = std::clamp(static_cast<double>(VecDot(VecDirection(c, e), VecMake(0, 0, 1))), -1.0, 1.0);
    const double elevation = RadToDeg(ArcCos(cosine));
    const double yaw = toEye.x <= 0 ? elevation : 360.0 - elevation;
    return RotateAboutPointByAngles(p, e, 0, static_cast<float>(-yaw), 0);
}

Vec3 FollowCamera::FindSpot(const Vec3& c, const Vec3& e) const {
    auto usable = [&](const Vec3& s) {
        return SpotClear(s) && RoomValid(Room) && !SegmentBlockedByLevel(e, s, Room, *Level, kProbeStep);
    };
    for (const float yaw : {315.0f, 45.0f, 270.0f, 90.0f, 225.0f, 135.0f, 0.0f}) {
        const Vec3 s = RotateAboutPointByAngles(c, e, 0, yaw, 0);
        if (usable(s)) return s;
    }
    const Vec3 raised = RaisedPointToward(c, e);
    if (usable(raised)) return raised;
    for (const float yaw : {90.0f, 270.0f, 180.0f}) {
        const Vec3 s = RotateAboutPointByAngles(raised, e, 0, yaw, 0);
        if (usable(s)) return s;
    }
    return BehindPoint;
}

void FollowCamera::FreeLookTurn() {
    const float yaw = TurnAxis(LookVelocity[1], Input.Left, Input.Right);
    const float pitch = TurnAxis(LookVelocity[0], Input.Up, Input.Down);
    LookAngles.x = std::clamp(LookAngles.x + pitch, -89.0f, 89.0f);
    LookAngles.y = std::clamp(LookAngles.y + yaw, -90.0f, 90.0f);
    Target = VecSub(LookFrom, VecScale(Backward(VecAdd(SmoothAngles, LookAngles)), LookAhead));
}

Vec3 FollowCamera::WantedEye() {
    const Vec3 savedEye = Eye;
    const Vec3 savedOffset = OrbitOffset;
    ComputePose();
    const Vec3 wanted = Eye;
    Eye = savedEye;
    OrbitOffset = savedOffset;
    return wanted;
}

void FollowCamera::FollowStep() {
    const Vec3 savedEye = Eye;
    const Vec3 savedOffset = OrbitOffset;
    ComputePose();
    if (!SpotClear(Eye)) {
        Eye = savedEye;
        OrbitOffset = savedOffset;
        Zoom = 0.0f;
        Mode = CameraMode::Return;
        Phase = CameraPhase::Start;
        return;
    }
    if (Blocked(Eye, EyePoint())) {
        Eye = savedEye;
        OrbitOffset = savedOffset;
        Mode = CameraMode::Search;
        Phase = CameraPhase::Start;
        return;
    }
    if (Input.Home) {
        OrbitOffset = VecMake(5, 0, 0);
        Mode = CameraMode::Return;
        Speed = kHomeSpeed;
    }
}

void FollowCamera::ReturnStep() {
    const Vec3 wanted = WantedEye();
    const Vec3 e = EyePoint();
    if (SpotClear(wanted) && !Blocked(wanted, e)) {
        if (Blocked(Eye, wanted)) {
            Eye = wanted;
        } else {
            MoveToward(Eye, wanted, Speed);
        }
        if (VecEqual(Eye, wanted)) {
            Mode = CameraMode::Follow;
            Speed = kFollowSpeed;
            return;
        }
    }
    if (PullIn()) Speed = kPulledSpeed;
    if (Blocked(Eye, e)) {
        Mode = CameraMode::Search;
        Phase = CameraPhase::Start;
    }
}

void FollowCamera::SearchStep() {
    const Vec3 wanted = WantedEye();
    const Vec3 e = EyePoint();
    const int32_t startRoom = Room;  // the eye's own room, where the jump test starts
    if (SpotClear(wanted) && !Blocked(wanted, e)) Phase = CameraPhase::Returning;

    if (Phase == CameraPhase::Start) {
        if (CharacterRoom != Room && RoomValid(CharacterRoom)) Room = CharacterRoom;
        Goal = FindSpot(wanted, e);
        Phase = CameraPhase::Moving;
        if (!RoomValid(startRoom) || SegmentBlockedByLevel(Eye, Goal, startRoom, *Level, kProbeStep)) {
            Eye = Goal;
            Phase = CameraPhase::Holding;
            return;
        }
    }
    if (Phase == CameraPhase::Moving) {
        MoveToward(Eye, Goal, kEyeStep);
        if (VecEqual(Eye, Goal)) {
            Phase = CameraPhase::Holding;
            return;
        }
    }
    if (Phase == CameraPhase::Holding) {
        PullIn();
        if (Blocked(Eye, e)) {
            Phase = CameraPhase::Start;
            return;
        }
    }
    if (Phase == CameraPhase::Returning) {
        MoveToward(Eye, wanted, Speed);
        if (VecEqual(Eye, wanted)) {
            Mode = CameraMode::Follow;
            Phase = CameraPhase::Start;
        }
    }
}

void FollowCamera::LookStep() {
    const bool held = Input.FreeLook;
    if (!held) LookLatch = 0;
    if (held && LookLatch == 0 && LookPhase != FreeLookPhase::Start) {
        LookPhase = FreeLookPhase::Leaving;
        Target = LookFrom;
    }
    if (LookPhase == FreeLookPhase::Start) {
        LookHome = Eye;
        LookFrom = Target;
        LookFar = VecSub(EyePoint(), VecScale(Backward(SmoothAngles), kLookFarDistance));
        LookPhase = FreeLookPhase::Entering;
        LookLatch = 1;
    }
    if (LookPhase == FreeLookPhase::Entering) {
        const float span = VecDistance(LookHome, LookFrom);
        MoveToward(Eye, LookFrom, kEyeStep);
        MoveToward(Target, LookFar, span / 8.0f);
        if (VecEqual(Eye, LookFrom)) {
            LookAngles = VecMake(0, 0, 0);
            LookVelocity[0] = LookVelocity[1] = 0.0f;
            LookPhase = FreeLookPhase::Looking;
        }
    }
    if (LookPhase == FreeLookPhase::Looking) FreeLookTurn();
    if (LookPhase == FreeLookPhase::Leaving) {
        MoveToward(Eye, LookHome, kEyeStep);
        if (VecEqual(Eye, LookHome)) {
            Mode = CameraMode::Return;
            LookPhase = FreeLookPhase::Start;
        }
    }
}

void FollowCamera::FocusStep() {
    if (Phase == CameraPhase::Start) {
        const Vec3 savedPosition = Subject.Position;
        const Vec3 savedEye = Eye;
        const Vec3 savedTarget = Target;
        Subject.Position = Goal;
        ComputePose();
        Goal = Eye;
        GoalTarget = Target;
        Subject.Position = savedPosition;
        Eye = savedEye;
        Target = savedTarget;
        MoveStart = static_cast<float>(ClockMs());
        MoveDuration = Speed;
        MoveFromEye = Eye;
        MoveFromTarget = Target;
        Phase = CameraPhase::Moving;
    }
    if (Phase == CameraPhase::Moving) {
        // A move without duration arrives at once.
        const auto elapsed = static_cast<float>(ClockSince(ClockMs(), static_cast<double>(MoveStart)));
        const float t = MoveDuration > 0.0f ? std::min(1.0f, elapsed / MoveDuration) : 1.0f;
        Eye = VecLerp(MoveFromEye, Goal, t);
        Target = VecLerp(MoveFromTarget, GoalTarget, t);
        if (t >= 1.0f) Phase = CameraPhase::Arrived;
    }
}

}  // namespace dv
