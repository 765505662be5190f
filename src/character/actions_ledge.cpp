#include <cmath>

#include "character/actions.h"

namespace dv {

namespace {

struct RateBand {
    float low, high;         // ClimbHeight range
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
void FinishClimb(CharacterStep& c) {
    ActionRecord& s = c.Record;
    s.Body.Room = c.State.ClimbRoom;
    s.Body.Position = c.State.ClimbTarget;
    GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
    ResumeFollow(c);
}

// Rises at `rate` (units per ms) while Frame lies in [first, last].
void ClimbRise(CharacterStep& c, int32_t first, int32_t last, float rate) {
    ActionRecord& s = c.Record;
    if (s.Clip.Frame >= first && s.Clip.Frame <= last) s.Body.Position.y += rate * c.Delta() / s.Clip.TimeScale;
}

void SetOffsetsY(CharacterStep& c, float y) { c.Record.Camera.EyeOffset = c.Record.Camera.TargetOffset = {0, y, 0}; }

void ResetOffsets(CharacterStep& c) {
    SetOffsetsY(c, 0);
    c.State.OffsetRate = c.State.OffsetBase = 0;
}

// The descending camera ramp of actions 41 and 55.
void DropRamp(CharacterStep& c) { SetOffsetsY(c, -(c.Record.Playback.FramePos + 1) * c.State.OffsetRate); }

// Sets the climb target from a probe ahead of the hanging character.
void TargetFromProbe(CharacterStep& c, const Vec3& point, const GroundProbe& probe) {
    c.State.ClimbHeight = probe.FloorDelta;
    c.State.ClimbTarget = {point.x, probe.Hit.Floor, point.z};
    c.State.ClimbRoom = c.Record.Body.Room;
}

// Shimmy along the ledge (hang 16 below it: actions 46, 47) or along a high ledge (24 below:
// 52, 53). `dir` is the shimmy direction, `held` whether its key is down.
void Shimmy(CharacterStep& c, MoveDir dir, bool held, bool high) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    const float hang = high ? 24.0f : 16.0f;
    const int32_t endFrame = high ? 15 : 12;
    const Vec3 hands = MoveForward(c, s.Body.Position, 0, 3 * s.Clip.TimeScale);
    const int32_t below = CellLink(c, s.Body.Position);
    const bool turnFrame = s.Clip.Frame == 0 || s.Clip.Frame == endFrame;
    if (turnFrame && below >= 0) {
        GroundProbe probe;
        ProbeGround(c, hands, probe, below);
        const float d = s.Body.Position.y + hang;
        if (!high && d - probe.Hit.Ceiling < 9 && d - probe.Hit.Floor > 16) {
            GoTo(c, CharacterAction::LowerToHighHang, CharacterClip::LowerToHighHang, 0);
            m.OffsetRate = 0.5f;
            m.OffsetBase = 8;
            return;
        }
        if (high && (probe.Blocked || d - probe.Hit.Ceiling > 15 || d - probe.Hit.Floor < 17)) {
            SetOffsetsY(c, -8);
            s.Body.Position.y += 8;
            GoTo(c, CharacterAction::GrabLedge, CharacterClip::Grab, 0);
            m.OffsetRate = -8.0f / -13.0f;
            m.OffsetBase = -8;
            return;
        }
    }
    const bool left = dir == MoveDir::Left;
    const bool blocked =
        high ? (left ? HighLedgeEndLeft(c) : HighLedgeEndRight(c)) : (left ? LedgeEndLeft(c) : LedgeEndRight(c));
    if (!blocked && !(high && turnFrame)) {
        const float step = c.Delta() * 0.005f;
        GroundProbe probe;
        ProbeGround(c, MoveAlong(c, dir, hands, 0, step), probe);
        m.Candidate = MoveAlong(c, dir, s.Body.Position, 0, step);
        const float f = probe.Hit.Floor - (s.Body.Position.y + hang);
        if (f != 0) return StartHeightStep(c, m.Candidate, 6, m.Candidate.y + f);
        s.Body.Position = m.Candidate;
    }
    if (high) {
        if ((!held && s.Playback.LastFrame == endFrame) || blocked)
            GoTo(c, CharacterAction::HighHang, CharacterClip::HighHang, 0);
        return;
    }
    if (!blocked && (held || s.Playback.LastFrame != endFrame)) return;
    if (s.Playback.LastFrame == endFrame) GoTo(c, CharacterAction::Hang, CharacterClip::Hang, 0);
    else TransitionThen(c, CharacterClip::Hang, 0, 8, CharacterAction::Hang);
}

}  // namespace

void ActionClimbLow(CharacterStep& c) {
    ClimbRise(c, 6, 8, c.State.ClimbHeight > 11 ? 0.06f : 0.04f);
    if (c.Record.Playback.LastFrame == 14) FinishClimb(c);
}

void ActionClimbMid(CharacterStep& c) {
    static constexpr RateBand kBands[] = {{17, 19, true, true, 0.01f},
                                          {19, 20, false, true, 0.02f},
                                          {20, 22, false, true, 0.035f},
                                          {22, 24, false, true, 0.04f}};
    ClimbRise(c, 6, 7, RateFor(kBands, 4, 0, c.State.ClimbHeight));
    if (c.Record.Playback.LastFrame == 33) FinishClimb(c);
}

void ActionClimbHigh(CharacterStep& c) {
    static constexpr RateBand kBands[] = {{25, 26, true, false, 0.01f},
                                          {26, 28, true, false, 0.015f},
                                          {28, 30, true, true, 0.023f},
                                          {30, 32, false, true, 0.03f}};
    ClimbRise(c, 8, 10, RateFor(kBands, 4, 0.005f, c.State.ClimbHeight));
    if (c.Record.Playback.LastFrame == 28) FinishClimb(c);
}

void ActionClimbTop(CharacterStep& c) {
    static constexpr RateBand kBands[] = {{32, 35, true, false, 0.015f},
                                          {35, 36, true, false, 0.02f},
                                          {36, 38, true, false, 0.025f},
                                          {38, 40, true, true, 0.03f},
                                          {40, 42, false, true, 0.035f}};
    ClimbRise(c, 8, 11, RateFor(kBands, 5, 0.01f, c.State.ClimbHeight));
    if (c.Record.Clip.Frame == 30) FinishClimb(c);
}

void ActionClimbFromHang(CharacterStep& c) {
    if (c.Record.Playback.LastFrame == 21) FinishClimb(c);
}

void ActionClimbFromHighHang(CharacterStep& c) {
    if (c.Record.Playback.LastFrame == 22) FinishClimb(c);
}

void ActionGrabLedge(CharacterStep& c) {
    SetOffsetsY(c, (c.Record.Playback.FramePos + 1) * c.State.OffsetRate + c.State.OffsetBase);
    if (c.Record.Playback.LastFrame != 12) return;
    GoTo(c, CharacterAction::Hang, CharacterClip::Hang, 0);
    ResetOffsets(c);
}

void ActionHang(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    if (c.Input.LetGo) {
        GoTo(c, CharacterAction::HangDrop, CharacterClip::HangDrop, 0);
        m.OffsetRate = 0.8076923f;
        m.OffsetBase = 0;
    } else if (c.Input.Back) {
        GoTo(c, CharacterAction::HangLookDown, CharacterClip::LookDown, 0);
    } else if (c.Input.Left) {
        if (!LedgeEndLeft(c)) GoTo(c, CharacterAction::ShimmyLeft, CharacterClip::ShimmyLeft, 0);
    } else if (c.Input.Right) {
        if (!LedgeEndRight(c)) GoTo(c, CharacterAction::ShimmyRight, CharacterClip::ShimmyRight, 0);
    } else if (c.Input.Jump) {
        const Vec3 ahead = MoveForward(c, s.Body.Position, 0, 3 * s.Clip.TimeScale);
        GroundProbe probe;
        ProbeGround(c, ahead, probe);
        if (probe.Clearance < 25) return;
        TargetFromProbe(c, ahead, probe);
        const CellInfo here = CellInfoAt(c.Level(), s.Body.Room, s.Body.Position.x, s.Body.Position.z);
        if (here.LinkAbove != 0 && probe.Hit.Floor >= here.CeilingReference) m.ClimbRoom = here.LinkAbove - 1;
        GoTo(c, CharacterAction::ClimbFromHang, CharacterClip::ClimbFromHang, 0);
        FocusOn(c, m.ClimbTarget, s.Clip.TimeScale * 2350);
    }
}

void ActionHangDrop(CharacterStep& c) {
    DropRamp(c);
    if (c.Record.Playback.LastFrame != 12) return;
    CharacterState& m = c.State;
    m.VertSpeed = 0;
    m.Gravity = 0.0004f;
    m.MinVertSpeed = -0.23f;
    m.FwdSpeed = -0.005f;
    c.Record.Body.Position.y -= 10.5f;
    GoTo(c, CharacterAction::HangFall, CharacterClip::HangFall, 0);
    ResetOffsets(c);
}

void ActionHangFall(CharacterStep& c) {
    ActionRecord& s = c.Record;
    Vec3 bump;
    GroundProbe probe;
    if (AirborneStep(c, false, true, 0, bump, probe) == AirOutcome::Landed) {
        s.Body.Position = MoveBack(c, s.Body.Position, 0, 8 * s.Clip.TimeScale);
        s.Body.Position.y = probe.Hit.Floor;
        return TransitionThen(c, CharacterClip::Land, 0, 4, CharacterAction::Landing);
    }
    if (s.Playback.LastFrame != 8) return;
    c.State.FwdSpeed = 0;
    s.Body.Position = MoveBack(c, s.Body.Position, 0, 8 * s.Clip.TimeScale);
    GoTo(c, CharacterAction::Fall, CharacterClip::Fall, 0);
}

void ActionHangLookDown(CharacterStep& c) {
    if (c.Record.Playback.LastFrame == 15) GoTo(c, CharacterAction::HangLookDownHold, CharacterClip::LookDownHold, 0);
}

void ActionHangLookDownHold(CharacterStep& c) {
    if (!c.Input.Back) GoTo(c, CharacterAction::HangLookDownEnd, CharacterClip::LookDownEnd, 0);
}

void ActionHangLookDownEnd(CharacterStep& c) {
    if (c.Record.Playback.LastFrame == 15) GoTo(c, CharacterAction::Hang, CharacterClip::Hang, 0);
}

void ActionShimmyLeft(CharacterStep& c) { Shimmy(c, MoveDir::Left, c.Input.Left, false); }
void ActionShimmyRight(CharacterStep& c) { Shimmy(c, MoveDir::Right, c.Input.Right, false); }
void ActionHighShimmyLeft(CharacterStep& c) { Shimmy(c, MoveDir::Left, c.Input.Left, true); }
void ActionHighShimmyRight(CharacterStep& c) { Shimmy(c, MoveDir::Right, c.Input.Right, true); }

void ActionHighHang(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    m.Candidate = MoveForward(c, s.Body.Position, 0, 3 * s.Clip.TimeScale);
    if (c.Input.LetGo) {
        m.VertSpeed = 0;
        m.Gravity = 0.0004f;
        m.MinVertSpeed = -0.23f;
        m.FwdSpeed = 0;
        s.Body.Position = MoveBack(c, s.Body.Position, 0, 3 * s.Clip.TimeScale);
        s.Body.Position.y -= 3;
        GoTo(c, CharacterAction::HangFall, CharacterClip::HighHangFall, 0);
    }
    if (c.Input.Left) {
        if (!HighLedgeEndLeft(c)) GoTo(c, CharacterAction::HighShimmyLeft, CharacterClip::HighShimmyLeft, 0);
    } else if (c.Input.Right) {
        if (!HighLedgeEndRight(c)) GoTo(c, CharacterAction::HighShimmyRight, CharacterClip::HighShimmyRight, 0);
    } else if (c.Input.Jump) {
        const Vec3 ahead = MoveForward(c, s.Body.Position, 0, 4.5f * s.Clip.TimeScale);
        GroundProbe probe;
        ProbeGround(c, ahead, probe);
        if (probe.Clearance < 25) return;
        TargetFromProbe(c, ahead, probe);
        GoTo(c, CharacterAction::ClimbFromHighHang, CharacterClip::ClimbFromHighHang, 0);
        FocusOn(c, m.ClimbTarget, s.Clip.TimeScale * 2350);
    }
}

void ActionTurnAndGrab(CharacterStep& c) {
    ActionRecord& s = c.Record;
    if (s.Playback.LastFrame != 20) return;
    s.Body.AngleY += 180;
    UpdateHeadingVectors(c);
    const int32_t below = CellLink(c, s.Body.Position);
    GroundProbe probe;
    ProbeGround(c, MoveForward(c, s.Body.Position, 0, 5 * s.Clip.TimeScale), probe, below >= 0 ? below : s.Body.Room);
    const float h = s.Body.Position.y;
    if (probe.Blocked || h - probe.Hit.Ceiling > 15 || h - probe.Hit.Floor < 17) {
        s.Body.Position.y -= 16;
        GoTo(c, CharacterAction::GrabLedge, CharacterClip::Grab, 0);
    } else {
        s.Body.Position.y -= 24;
        GoTo(c, CharacterAction::HighHang, CharacterClip::HighHang, 0);
    }
    ResumeFollow(c);
}

void ActionLowerToHighHang(CharacterStep& c) {
    DropRamp(c);
    if (c.Record.Playback.LastFrame != 15) return;
    c.Record.Body.Position.y -= 8;
    GoTo(c, CharacterAction::HighHang, CharacterClip::HighHang, 0);
    ResetOffsets(c);
}

}  // namespace dv
