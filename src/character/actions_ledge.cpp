#include <cmath>

#include "character/actions.h"

namespace dv {

namespace {

struct RateBand {
    float low, high;  // ClimbHeight range
    bool lowOpen, highOpen;  // true: the bound itself is excluded
    float rate;
};

float RateFor(const RateBand* bands, int count, float fallback, float h) {
    for (int i = 0; i < count; ++i) {
        const RateBand& b = bands[i];
        const bool aboveLow = b.lowOpen ? h > b.low : h >= b.low;
        const bool belowHigh = b.highOpen ? h < b.high : h <= b.high;
        if (aboveLow && belowHigh) return b.rate;
    }
    return fallback;
}

// Ends a climb on top of the ledge: the target room and point, idle, camera back to follow.
void FinishClimb() {
    TActionState& s = Rec();
    s.Room = Mod().ClimbRoom;
    s.Position = Mod().ClimbTarget;
    GoTo(0, 0, 0);
    ResumeFollow();
}

// Rises at `rate` (units per ms) while Frame lies in [first, last].
void ClimbRise(int32_t first, int32_t last, float rate) {
    TActionState& s = Rec();
    if (s.Frame >= first && s.Frame <= last) s.Position.y += rate * Delta() / s.TimeScale;
}

void SetOffsetsY(float y) {
    Rec().EyeOffset = Rec().TargetOffset = {0, y, 0};
}

void ResetOffsets() {
    SetOffsetsY(0);
    Mod().OffsetRate = Mod().OffsetBase = 0;
}

// The descending camera ramp of actions 41 and 55.
void DropRamp() { SetOffsetsY(-(Rec().FramePos + 1) * Mod().OffsetRate); }

// Sets the climb target from a probe ahead of the hanging character.
void TargetFromProbe(const Vec3& point, const GroundProbe& probe) {
    Mod().ClimbHeight = probe.FloorDelta;
    Mod().ClimbTarget = {point.x, probe.Hit.Floor, point.z};
    Mod().ClimbRoom = Rec().Room;
}

// Shimmy along the ledge (hang 16 below it: actions 46, 47) or along a high ledge (24 below:
// 52, 53). `dir` is the shimmy direction, `held` whether its key is down.
void Shimmy(MoveDir dir, bool held, bool high) {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    const float hang = high ? 24.0f : 16.0f;
    const int32_t endFrame = high ? 15 : 12;
    const Vec3 hands = MoveForward(s.Position, 0, 3 * s.TimeScale);
    const int32_t below = CellLink(s.Position);
    const bool turnFrame = s.Frame == 0 || s.Frame == endFrame;
    if (turnFrame && below >= 0) {
        GroundProbe probe;
        ProbeGround(hands, probe, below);
        const float d = s.Position.y + hang;
        if (!high && d - probe.Hit.Ceiling < 9 && d - probe.Hit.Floor > 16) {
            GoTo(55, 51, 0);
            m.OffsetRate = 0.5f;
            m.OffsetBase = 8;
            return;
        }
        if (high && (probe.Blocked || d - probe.Hit.Ceiling > 15 || d - probe.Hit.Floor < 17)) {
            SetOffsetsY(-8);
            s.Position.y += 8;
            GoTo(39, 34, 0);
            m.OffsetRate = -8.0f / -13.0f;
            m.OffsetBase = -8;
            return;
        }
    }
    const bool left = dir == MoveDir::Left;
    const bool blocked = high ? (left ? HighLedgeEndLeft() : HighLedgeEndRight())
                              : (left ? LedgeEndLeft() : LedgeEndRight());
    if (!blocked && !(high && turnFrame)) {
        const float step = Delta() * 0.005f;
        GroundProbe probe;
        ProbeGround(MoveAlong(dir, hands, 0, step), probe);
        m.Candidate = MoveAlong(dir, s.Position, 0, step);
        const float f = probe.Hit.Floor - (s.Position.y + hang);
        if (f != 0) return StartHeightStep(m.Candidate, 6, m.Candidate.y + f);
        s.Position = m.Candidate;
    }
    if (high) {
        if ((!held && s.LastFrame == endFrame) || blocked) GoTo(49, 44, 0);
        return;
    }
    if (!blocked && (held || s.LastFrame != endFrame)) return;
    if (s.LastFrame == endFrame) GoTo(40, 35, 0);
    else TransitionThen(35, 0, 8, 40);
}

}  // namespace

void ActionClimbLow() {
    ClimbRise(6, 8, Mod().ClimbHeight > 11 ? 0.06f : 0.04f);
    if (Rec().LastFrame == 14) FinishClimb();
}

void ActionClimbMid() {
    static constexpr RateBand kBands[] = {
        {17, 19, true, true, 0.01f}, {19, 20, false, true, 0.02f}, {20, 22, false, true, 0.035f},
        {22, 24, false, true, 0.04f}};
    ClimbRise(6, 7, RateFor(kBands, 4, 0, Mod().ClimbHeight));
    if (Rec().LastFrame == 33) FinishClimb();
}

void ActionClimbHigh() {
    static constexpr RateBand kBands[] = {
        {25, 26, true, false, 0.01f}, {26, 28, true, false, 0.015f}, {28, 30, true, true, 0.023f},
        {30, 32, false, true, 0.03f}};
    ClimbRise(8, 10, RateFor(kBands, 4, 0.005f, Mod().ClimbHeight));
    if (Rec().LastFrame == 28) FinishClimb();
}

void ActionClimbTop() {
    static constexpr RateBand kBands[] = {
        {32, 35, true, false, 0.015f}, {35, 36, true, false, 0.02f}, {36, 38, true, false, 0.025f},
        {38, 40, true, true, 0.03f},   {40, 42, false, true, 0.035f}};
    ClimbRise(8, 11, RateFor(kBands, 5, 0.01f, Mod().ClimbHeight));
    if (Rec().Frame == 30) FinishClimb();
}

void ActionClimbFromHang() {
    if (Rec().LastFrame == 21) FinishClimb();
}

void ActionClimbFromHighHang() {
    if (Rec().LastFrame == 22) FinishClimb();
}

void ActionGrabLedge() {
    SetOffsetsY((Rec().FramePos + 1) * Mod().OffsetRate + Mod().OffsetBase);
    if (Rec().LastFrame != 12) return;
    GoTo(40, 35, 0);
    ResetOffsets();
}

void ActionHang() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    if (HeldDropKey()) {
        GoTo(41, 36, 0);
        m.OffsetRate = 0.8076923f;
        m.OffsetBase = 0;
    } else if (HeldBack()) {
        GoTo(43, 40, 0);
    } else if (HeldLeft()) {
        if (!LedgeEndLeft()) GoTo(46, 38, 0);
    } else if (HeldRight()) {
        if (!LedgeEndRight()) GoTo(47, 39, 0);
    } else if (HeldActionKey()) {
        const Vec3 ahead = MoveForward(s.Position, 0, 3 * s.TimeScale);
        GroundProbe probe;
        ProbeGround(ahead, probe);
        if (probe.Clearance < 25) return;
        TargetFromProbe(ahead, probe);
        const CellInfo here = CellInfoAt(*m.Level, s.Room, s.Position.x, s.Position.z);
        if (here.LinkAbove != 0 && probe.Hit.Floor >= here.CeilingReference) m.ClimbRoom = here.LinkAbove - 1;
        GoTo(48, 37, 0);
        FocusOn(m.ClimbTarget, s.TimeScale * 2350);
    }
}

void ActionHangDrop() {
    DropRamp();
    if (Rec().LastFrame != 12) return;
    TCharacterModule& m = Mod();
    m.VertSpeed = 0;
    m.Gravity = 0.0004f;
    m.MinVertSpeed = -0.23f;
    m.FwdSpeed = -0.005f;
    Rec().Position.y -= 10.5f;
    GoTo(42, 43, 0);
    ResetOffsets();
}

void ActionHangFall() {
    TActionState& s = Rec();
    Vec3 bump;
    GroundProbe probe;
    if (AirborneStep(false, true, 0, bump, probe) == AirOutcome::Landed) {
        s.Position = MoveBack(s.Position, 0, 8 * s.TimeScale);
        s.Position.y = probe.Hit.Floor;
        return TransitionThen(24, 0, 4, 25);
    }
    if (s.LastFrame != 8) return;
    Mod().FwdSpeed = 0;
    s.Position = MoveBack(s.Position, 0, 8 * s.TimeScale);
    GoTo(30, 26, 0);
}

void ActionHangLookDown() {
    if (Rec().LastFrame == 15) GoTo(44, 41, 0);
}

void ActionHangLookDownHold() {
    if (!HeldBack()) GoTo(45, 42, 0);
}

void ActionHangLookDownEnd() {
    if (Rec().LastFrame == 15) GoTo(40, 35, 0);
}

void ActionShimmyLeft() { Shimmy(MoveDir::Left, HeldLeft(), false); }
void ActionShimmyRight() { Shimmy(MoveDir::Right, HeldRight(), false); }
void ActionHighShimmyLeft() { Shimmy(MoveDir::Left, HeldLeft(), true); }
void ActionHighShimmyRight() { Shimmy(MoveDir::Right, HeldRight(), true); }

void ActionHighHang() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    m.Candidate = MoveForward(s.Position, 0, 3 * s.TimeScale);
    if (HeldDropKey()) {
        m.VertSpeed = 0;
        m.Gravity = 0.0004f;
        m.MinVertSpeed = -0.23f;
        m.FwdSpeed = 0;
        s.Position = MoveBack(s.Position, 0, 3 * s.TimeScale);
        s.Position.y -= 3;
        GoTo(42, 47, 0);
    }
    if (HeldLeft()) {
        if (!HighLedgeEndLeft()) GoTo(52, 48, 0);
    } else if (HeldRight()) {
        if (!HighLedgeEndRight()) GoTo(53, 49, 0);
    } else if (HeldActionKey()) {
        const Vec3 ahead = MoveForward(s.Position, 0, 4.5f * s.TimeScale);
        GroundProbe probe;
        ProbeGround(ahead, probe);
        if (probe.Clearance < 25) return;
        TargetFromProbe(ahead, probe);
        GoTo(50, 46, 0);
        FocusOn(m.ClimbTarget, s.TimeScale * 2350);
    }
}

void ActionTurnAndGrab() {
    TActionState& s = Rec();
    if (s.LastFrame != 20) return;
    s.AngleY += 180;
    UpdateHeadingVectors();
    const int32_t below = CellLink(s.Position);
    GroundProbe probe;
    ProbeGround(MoveForward(s.Position, 0, 5 * s.TimeScale), probe, below >= 0 ? below : s.Room);
    const float h = s.Position.y;
    if (probe.Blocked || h - probe.Hit.Ceiling > 15 || h - probe.Hit.Floor < 17) {
        s.Position.y -= 16;
        GoTo(39, 34, 0);
    } else {
        s.Position.y -= 24;
        GoTo(49, 44, 0);
    }
    ResumeFollow();
}

void ActionLowerToHighHang() {
    DropRamp();
    if (Rec().LastFrame != 15) return;
    Rec().Position.y -= 8;
    GoTo(49, 44, 0);
    ResetOffsets();
}

}  // namespace dv
