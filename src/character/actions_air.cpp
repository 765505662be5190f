#include <cmath>

#include "character/actions.h"

namespace dv {

namespace {

void SetAirborne(float vert, float minVert, float fwd) {
    TCharacterModule& m = Mod();
    m.VertSpeed = vert;
    m.Gravity = 0.0004f;
    m.MinVertSpeed = minVert;
    m.FwdSpeed = fwd;
}

// The straight jump's rise (actions 20, 21): false when the head came too near the ceiling
// and a drop has started.
bool Rise() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    if (s.Frame > 1) {
        s.Position.y += Delta() * m.VertSpeed / s.TimeScale;
        m.VertSpeed -= Delta() * m.Gravity / s.TimeScale;
    }
    if (s.Position.y + 26 > m.JumpCeiling) {
        StartDrop();
        return false;
    }
    return true;
}

// Airborne with landing, bumping into BumpLand at FindCellBoundary(..., 5). Returns the
// outcome; on Bumped the bump has been handled.
AirOutcome AirWithBumpLand(bool landingTest) {
    Vec3 bump;
    GroundProbe probe;
    const AirOutcome outcome = AirborneStep(true, landingTest, 5, bump, probe);
    if (outcome == AirOutcome::Bumped) BumpLand(bump);
    return outcome;
}

// A landing after a fall: rolls into a run when forward is held and `roll` allows it,
// otherwise plays the hard landing.
void LandFromFall(bool roll) {
    if (roll) TransitionThen(25, 0, 1, 29);
    else TransitionThen(24, 0, 2, 25);
}

void HoldLastFrame(int32_t last) {
    if (Rec().LastFrame == last) Rec().Frame = last - 1;
}

}  // namespace

void ActionJumpStart() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    if (HeldForward()) m.JumpMode = 1;
    if (HeldBack()) m.JumpMode = 2;
    if (s.Frame != 8) return;
    m.TakeoffPos = s.Position;
    if (m.JumpMode == 1) {
        SetAirborne(0.148f, -0.23f, 0.06f);
        s.Action = 23;
        RequestTransition(15, 0, 3);
        return;
    }
    if (m.JumpMode == 2) {
        SetAirborne(0.148f, -0.23f, -0.06f);
        TransitionThen(16, 0, 4, 33);
        return;
    }
    SetAirborne(0.132f, -0.132f, 0);
    GroundProbe probe;
    ProbeGround(MoveForward(s.Position, 0, 8 * s.TimeScale), probe);
    m.JumpLandFloor = probe.Hit.Floor;
    m.JumpLandCeiling = probe.Hit.Ceiling;
    ProbeGround(s.Position, probe);
    m.JumpCeiling = probe.Hit.Ceiling;
    TransitionThen(13, 0, 4, 20);
}

void ActionJumpUp() {
    if (!Rise()) return;
    if (Rec().LastFrame == 6) GoTo(21, 14, 0);
}

void ActionJumpApex() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    if (!Rise()) return;
    m.Candidate = MoveForward(s.Position, 0, 8 * s.TimeScale);
    const float yaw = EdgeHeadingDelta(s.Room, s.Position, m.Candidate);
    Vec3 edge;
    if (std::fabs(m.JumpLandFloor - (s.Position.y + 28)) <= 1.5f && std::fabs(yaw) <= 30) {
        edge = FindLedgeEdge(s.Room, s.Position, m.Candidate, 1);
        const float o = s.Position.y - (m.JumpLandFloor - 16);
        s.EyeOffset = s.TargetOffset = {0, o, 0};
        edge.y = m.JumpLandFloor - 16;
        s.Position = edge;
        GoTo(39, 34, 0);
        m.OffsetRate = o / -13;
        m.OffsetBase = o;
    } else {
        const CellInfo here = CellInfoAt(*m.Level, s.Room, s.Position.x, s.Position.z);
        const int room = here.LinkAbove != 0 ? here.LinkAbove - 1 : s.Room;
        const Vec3 raised = {s.Position.x, s.Position.y + 28, s.Position.z};
        m.Candidate = MoveForward(raised, 0, 8 * s.TimeScale);
        GroundProbe probe;
        ProbeGround(m.Candidate, probe, room);
        if (std::fabs(probe.FloorDelta) > 1.5f || std::fabs(yaw) > 30) {
            if (m.VertSpeed >= m.MinVertSpeed) return;
            s.Position.y = m.TakeoffPos.y;
            s.Action = 22;
            RequestTransition(23, 0, 3);
            return;
        }
        edge = FindLedgeEdge(room, raised, m.Candidate, 1);
        s.Frame = 0;
        const float f = probe.Hit.Floor;
        if (f - m.JumpLandCeiling > 15 || f - m.JumpLandFloor < 17) {
            s.Position.y = f - 16;
            edge.y = f - 16;
            GoTo(39, 34, 0);
        } else {
            edge.y = f - 24;
            GoTo(49, 44, 0);
        }
    }
    StartTimedMove(edge, static_cast<uint16_t>(TruncToInt(s.TimeScale * 64)), NormalizeAngle(s.AngleY) + yaw);
}

void ActionJumpUpLand() {
    if (Rec().Settled && Rec().LastFrame == 9) GoTo(0, 0, 0);
}

void ActionJumpForwardRise() {
    if (AirWithBumpLand(false) == AirOutcome::Bumped) return;
    if (Rec().Settled) GoTo(24, 15, 0);
}

void ActionJumpForwardAir() {
    const AirOutcome outcome = AirWithBumpLand(true);
    if (outcome == AirOutcome::Bumped) return;
    HoldLastFrame(20);
    if (outcome == AirOutcome::Landed) TransitionThen(24, 0, 3, 25);
}

void ActionLanding() {
    if (Rec().LastFrame != 11) return;
    Mod().JumpMode = 0;
    GoTo(0, 0, 0);
}

void ActionRunJumpTakeoff() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    m.Candidate = MoveForward(s.Position, 0, Delta() * 0.05f);
    GroundProbe probe;
    ProbeGround(m.Candidate, probe);
    if (!ProbeOk(probe)) return StopAt(FindCellBoundary(s.Room, s.Position, m.Candidate, 3));
    const float d = probe.FloorDelta;
    if (std::fabs(d) >= 2 && std::fabs(d) <= 8) return StartHeightStep(m.Candidate, 6, probe.Hit.Floor);
    if (d < -8) return StartFall();
    m.Candidate.y = probe.Hit.Floor;
    s.Position = m.Candidate;
    if (s.Settled && s.LastFrame == 3) {
        m.TakeoffPos = s.Position;
        s.Action = 27;
    }
}

void ActionRunJumpAir() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    Vec3 bump;
    GroundProbe probe;
    if (AirborneStep(true, false, 3, bump, probe) == AirOutcome::Bumped) {
        m.Candidate = bump;  // the body stays where it was
        SetAirborne(0, -0.23f, 0);
        return GoTo(31, 27, 0);
    }
    if (s.LastFrame == 8) GoTo(28, 21, 0);
}

void ActionRunJumpFall() {
    TActionState& s = Rec();
    Vec3 bump;
    GroundProbe probe;
    const AirOutcome outcome = AirborneStep(true, true, 5, bump, probe);
    if (outcome == AirOutcome::Bumped) return BumpLand(bump);
    if (s.Position.y - probe.Hit.Floor < 26) {
        s.ClipId = 22;
        if (s.LastFrame == 4) s.Frame = 4;
    }
    if (outcome != AirOutcome::Landed) return;
    Mod().JumpMode = 0;
    LandFromFall(HeldForward());
}

void ActionFall() {
    Vec3 bump;
    GroundProbe probe;
    if (AirborneStep(false, true, 0, bump, probe) != AirOutcome::Landed) return;
    LandFromFall(HeldForward() && Mod().VertSpeed > 0.75f * Mod().MinVertSpeed);
}

void ActionBumpRecover() {
    if (Rec().LastFrame != 2) return;
    if (AltBitSet()) {
        SetAirborne(0.16f, -0.23f, -0.06f);
        return GoTo(34, 29, 0);
    }
    SetAirborne(0, -0.23f, 0);
    GoTo(30, 26, 0);
}

void ActionJumpBackAir() {
    TActionState& s = Rec();
    Vec3 bump;
    GroundProbe probe;
    const AirOutcome outcome = AirborneStep(true, true, 4, bump, probe);
    if (outcome == AirOutcome::Bumped) {
        s.Position = bump;
        return StartFall();
    }
    HoldLastFrame(20);
    if (outcome == AirOutcome::Landed) TransitionThen(24, 0, 3, 25);
}

void ActionBackFlip() {
    TActionState& s = Rec();
    TCharacterModule& m = Mod();
    if (s.Frame > 4) {
        Vec3 bump;
        GroundProbe probe;
        AirborneStep(false, false, 0, bump, probe);
    }
    if (s.LastFrame != 8) return;
    m.FwdSpeed = 0.06f;
    s.AngleY -= 180;
    UpdateHeadingVectors();
    GoTo(24, 15, 6);
}

}  // namespace dv
