#include "motion/follow_camera.h"
#include "motion/follow_camera_internal.h"

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
    if (Input.FreeLook) state_.Mode = CameraMode::FreeLook;
    switch (state_.Mode) {
        case CameraMode::Follow: FollowStep(); break;
        case CameraMode::Return: ReturnStep(); break;
        case CameraMode::Search: SearchStep(); break;
        case CameraMode::FreeLook: LookStep(); break;
        case CameraMode::Focus: FocusStep(); break;
        default: break;
    }
}

void FollowCamera::FocusOn(const Vec3& point, float duration) {
    state_.Goal = point;
    state_.Mode = CameraMode::Focus;
    state_.Phase = CameraPhase::Start;
    state_.MoveDuration = duration;
    state_.EaseSpeed = duration;
}

void FollowCamera::ResumeFollow() {
    state_.Mode = CameraMode::Follow;
    state_.Phase = CameraPhase::Start;
}

Vec3 FollowCamera::EyePointAt(const Vec3& position) const { return VecAdd(position, VecMake(0, Tuning.EyeHeight, 0)); }

Vec3 FollowCamera::EyePoint() const { return EyePointAt(Subject.Position); }

void FollowCamera::ComputePose(const Vec3& position) {
    const float rate = Input.Left || Input.Right ? Tuning.TurnRate : Tuning.SettleRate;
    const float difference = Subject.Heading - state_.SmoothAngles.y;
    float turn = difference * rate;
    if (std::fabs(turn) < 0.01f) turn = difference;
    state_.SmoothAngles.y += turn;

    state_.OrbitOffset.x = StepOffset(state_.OrbitOffset.x, Input.TiltUp, 89.0f, Input.TiltDown, -12.0f);
    state_.OrbitOffset.y = StepOffset(state_.OrbitOffset.y, Input.SwingLeft, 179.0f, Input.SwingRight, -179.0f);

    const Vec3 eyePoint = EyePointAt(position);
    const Vec3 back = Backward(state_.SmoothAngles);
    state_.Target = VecSub(eyePoint, VecScale(back, Tuning.LookAhead));
    const Vec3 dir = Backward(VecAdd(state_.SmoothAngles, state_.OrbitOffset));

    if (Input.Up || Input.Down) {
        state_.Zoom += Tuning.ZoomStep;
    } else if (state_.Zoom != 0.0f) {
        state_.Zoom -= Tuning.ZoomStep;
    }
    state_.Zoom = std::clamp(state_.Zoom, 0.0f, Tuning.MaxZoom);

    state_.Eye = VecAdd(eyePoint, VecScale(dir, Tuning.FollowDistance + state_.Zoom));
    state_.BehindPoint = VecAdd(eyePoint, VecScale(back, kBehindDistance));
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

void MoveToward(Vec3& p, const Vec3& g, float s) {
    const Vec3 d = VecSub(g, p);
    if (s < VecLength(d)) {
        p = VecAdd(p, VecScale(VecDirection(p, g), s));
    } else {
        p = g;
    }
}

bool FollowCamera::PullIn() {
    const Vec3 e = EyePoint();
    if (!(VecDistance(state_.Eye, e) > Tuning.FollowDistance)) return false;
    state_.Eye = VecSub(e, VecScale(VecDirection(state_.Eye, e), Tuning.FollowDistance));
    return true;
}

Vec3 RaisedPointToward(const Vec3& c, const Vec3& e) {
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
    return state_.BehindPoint;
}

void FollowCamera::FreeLookTurn() {
    const float yaw = TurnAxis(state_.LookVelocity[1], Input.Left, Input.Right);
    const float pitch = TurnAxis(state_.LookVelocity[0], Input.Up, Input.Down);
    state_.LookAngles.x = std::clamp(state_.LookAngles.x + pitch, -89.0f, 89.0f);
    state_.LookAngles.y = std::clamp(state_.LookAngles.y + yaw, -90.0f, 90.0f);
    state_.Target =
        VecSub(state_.LookFrom, VecScale(Backward(VecAdd(state_.SmoothAngles, state_.LookAngles)), Tuning.LookAhead));
}

Vec3 FollowCamera::WantedEye() {
    const Vec3 savedEye = state_.Eye;
    const Vec3 savedOffset = state_.OrbitOffset;
    ComputePose(Subject.Position);
    const Vec3 wanted = state_.Eye;
    state_.Eye = savedEye;
    state_.OrbitOffset = savedOffset;
    return wanted;
}

void FollowCamera::FollowStep() {
    const Vec3 savedEye = state_.Eye;
    const Vec3 savedOffset = state_.OrbitOffset;
    ComputePose(Subject.Position);
    if (!SpotClear(state_.Eye)) {
        state_.Eye = savedEye;
        state_.OrbitOffset = savedOffset;
        state_.Zoom = 0.0f;
        state_.Mode = CameraMode::Return;
        state_.Phase = CameraPhase::Start;
        return;
    }
    if (Blocked(state_.Eye, EyePoint())) {
        state_.Eye = savedEye;
        state_.OrbitOffset = savedOffset;
        state_.Mode = CameraMode::Search;
        state_.Phase = CameraPhase::Start;
        return;
    }
    if (Input.Home) {
        state_.OrbitOffset = VecMake(5, 0, 0);
        state_.Mode = CameraMode::Return;
        state_.EaseSpeed = kHomeSpeed;
    }
}

void FollowCamera::ReturnStep() {
    const Vec3 wanted = WantedEye();
    const Vec3 e = EyePoint();
    if (SpotClear(wanted) && !Blocked(wanted, e)) {
        if (Blocked(state_.Eye, wanted)) {
            state_.Eye = wanted;
        } else {
            MoveToward(state_.Eye, wanted, state_.EaseSpeed);
        }
        if (VecEqual(state_.Eye, wanted)) {
            state_.Mode = CameraMode::Follow;
            state_.EaseSpeed = kFollowSpeed;
            return;
        }
    }
    if (PullIn()) state_.EaseSpeed = kPulledSpeed;
    if (Blocked(state_.Eye, e)) {
        state_.Mode = CameraMode::Search;
        state_.Phase = CameraPhase::Start;
    }
}

void FollowCamera::SearchStep() {
    const Vec3 wanted = WantedEye();
    const Vec3 e = EyePoint();
    const int32_t startRoom = Room;  // the eye's own room, where the jump test starts
    if (SpotClear(wanted) && !Blocked(wanted, e)) state_.Phase = CameraPhase::Returning;

    if (state_.Phase == CameraPhase::Start) {
        if (CharacterRoom != Room && RoomValid(CharacterRoom)) Room = CharacterRoom;
        state_.Goal = FindSpot(wanted, e);
        state_.Phase = CameraPhase::Moving;
        if (!RoomValid(startRoom) || SegmentBlockedByLevel(state_.Eye, state_.Goal, startRoom, *Level, kProbeStep)) {
            state_.Eye = state_.Goal;
            state_.Phase = CameraPhase::Holding;
            return;
        }
    }
    if (state_.Phase == CameraPhase::Moving) {
        MoveToward(state_.Eye, state_.Goal, kEyeStep);
        if (VecEqual(state_.Eye, state_.Goal)) {
            state_.Phase = CameraPhase::Holding;
            return;
        }
    }
    if (state_.Phase == CameraPhase::Holding) {
        PullIn();
        if (Blocked(state_.Eye, e)) {
            state_.Phase = CameraPhase::Start;
            return;
        }
    }
    if (state_.Phase == CameraPhase::Returning) {
        MoveToward(state_.Eye, wanted, state_.EaseSpeed);
        if (VecEqual(state_.Eye, wanted)) {
            state_.Mode = CameraMode::Follow;
            state_.Phase = CameraPhase::Start;
        }
    }
}

void FollowCamera::LookStep() {
    const bool held = Input.FreeLook;
    if (!held) state_.LookLatch = 0;
    if (held && state_.LookLatch == 0 && state_.LookPhase != FreeLookPhase::Start) {
        state_.LookPhase = FreeLookPhase::Leaving;
        state_.Target = state_.LookFrom;
    }
    if (state_.LookPhase == FreeLookPhase::Start) {
        state_.LookHome = state_.Eye;
        state_.LookFrom = state_.Target;
        state_.LookFar = VecSub(EyePoint(), VecScale(Backward(state_.SmoothAngles), kLookFarDistance));
        state_.LookPhase = FreeLookPhase::Entering;
        state_.LookLatch = 1;
    }
    if (state_.LookPhase == FreeLookPhase::Entering) {
        const float span = VecDistance(state_.LookHome, state_.LookFrom);
        MoveToward(state_.Eye, state_.LookFrom, kEyeStep);
        MoveToward(state_.Target, state_.LookFar, span / 8.0f);
        if (VecEqual(state_.Eye, state_.LookFrom)) {
            state_.LookAngles = VecMake(0, 0, 0);
            state_.LookVelocity[0] = state_.LookVelocity[1] = 0.0f;
            state_.LookPhase = FreeLookPhase::Looking;
        }
    }
    if (state_.LookPhase == FreeLookPhase::Looking) FreeLookTurn();
    if (state_.LookPhase == FreeLookPhase::Leaving) {
        MoveToward(state_.Eye, state_.LookHome, kEyeStep);
        if (VecEqual(state_.Eye, state_.LookHome)) {
            state_.Mode = CameraMode::Return;
            state_.LookPhase = FreeLookPhase::Start;
        }
    }
}

void FollowCamera::FocusStep() {
    if (state_.Phase == CameraPhase::Start) {
        const Vec3 savedEye = state_.Eye;
        const Vec3 savedTarget = state_.Target;
        ComputePose(state_.Goal);
        state_.Goal = state_.Eye;
        state_.GoalTarget = state_.Target;
        state_.Eye = savedEye;
        state_.Target = savedTarget;
        state_.MoveStart = static_cast<float>(ClockMs());
        state_.MoveFromEye = state_.Eye;
        state_.MoveFromTarget = state_.Target;
        state_.Phase = CameraPhase::Moving;
    }
    if (state_.Phase == CameraPhase::Moving) {
        // A move without duration arrives at once.
        const auto elapsed = static_cast<float>(ClockSince(ClockMs(), static_cast<double>(state_.MoveStart)));
        const float t = state_.MoveDuration > 0.0f ? std::min(1.0f, elapsed / state_.MoveDuration) : 1.0f;
        state_.Eye = VecLerp(state_.MoveFromEye, state_.Goal, t);
        state_.Target = VecLerp(state_.MoveFromTarget, state_.GoalTarget, t);
        if (t >= 1.0f) state_.Phase = CameraPhase::Arrived;
    }
}

}  // namespace dv
