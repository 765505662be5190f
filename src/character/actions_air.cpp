#include <cmath>

#include "character/actions.h"

namespace dv {

namespace {

void SetAirborne(CharacterStep& c, float vert, float minVert, float fwd) {
    CharacterState& m = c.State;
    m.VertSpeed = vert;
    m.Gravity = 0.0004f;
    m.MinVertSpeed = minVert;
    m.FwdSpeed = fwd;
}

// The straight jump's rise (actions 20, 21): false when the head came too near the ceiling
// and a drop has started.
bool Rise(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    if (s.Clip.Frame > 1) {
        s.Body.Position.y += c.Delta() * m.VertSpeed / s.Clip.TimeScale;
        m.VertSpeed -= c.Delta() * m.Gravity / s.Clip.TimeScale;
    }
    if (s.Body.Position.y + 26 > m.JumpCeiling) {
        StartDrop(c);
        return false;
    }
    return true;
}

// Airborne with landing, bumping into BumpLand at FindCellBoundary(..., 5). Returns the
// outcome; on Bumped the bump has been handled.
AirOutcome AirWithBumpLand(CharacterStep& c, bool landingTest) {
    Vec3 bump;
    GroundProbe probe;
    const AirOutcome outcome = AirborneStep(c, true, landingTest, 5, bump, probe);
    if (outcome == AirOutcome::Bumped) BumpLand(c, bump);
    return outcome;
}

// A landing after a fall: rolls into a run when forward is held and `roll` allows it,
// otherwise plays the hard landing.
void LandFromFall(CharacterStep& c, bool roll) {
    if (roll) TransitionThen(c, CharacterClip::LandRun, 0, 1, CharacterAction::LandRun);
    else TransitionThen(c, CharacterClip::Land, 0, 2, CharacterAction::Landing);
}

void HoldLastFrame(CharacterStep& c, int32_t last) {
    if (c.Record.Playback.LastFrame == last) c.Record.Clip.Frame = last - 1;
}

}  // namespace

void ActionJumpStart(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    if (c.Input.Forward) m.JumpMode = JumpDirection::Forward;
    if (c.Input.Back) m.JumpMode = JumpDirection::Backward;
    if (s.Clip.Frame != 8) return;
    m.TakeoffPos = s.Body.Position;
    if (m.JumpMode == JumpDirection::Forward) {
        SetAirborne(c, 0.148f, -0.23f, 0.06f);
        s.Body.Action = CharacterAction::JumpForwardRise;
        RequestTransition(c, CharacterClip::JumpForward, 0, 3);
        return;
    }
    if (m.JumpMode == JumpDirection::Backward) {
        SetAirborne(c, 0.148f, -0.23f, -0.06f);
        TransitionThen(c, CharacterClip::JumpBack, 0, 4, CharacterAction::JumpBackAir);
        return;
    }
    SetAirborne(c, 0.132f, -0.132f, 0);
    GroundProbe probe;
    ProbeGround(c, MoveForward(c, s.Body.Position, 0, 8 * s.Clip.TimeScale), probe);
    m.JumpLandFloor = probe.Hit.Floor;
    m.JumpLandCeiling = probe.Hit.Ceiling;
    ProbeGround(c, s.Body.Position, probe);
    m.JumpCeiling = probe.Hit.Ceiling;
    TransitionThen(c, CharacterClip::JumpUp, 0, 4, CharacterAction::JumpUp);
}

void ActionJumpUp(CharacterStep& c) {
    if (!Rise(c)) return;
    if (c.Record.Playback.LastFrame == 6) GoTo(c, CharacterAction::JumpApex, CharacterClip::Apex, 0);
}

void ActionJumpApex(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    if (!Rise(c)) return;
    m.Candidate = MoveForward(c, s.Body.Position, 0, 8 * s.Clip.TimeScale);
    const float yaw = EdgeHeadingDelta(c, s.Body.Room, s.Body.Position, m.Candidate);
    Vec3 edge;
    if (std::fabs(m.JumpLandFloor - (s.Body.Position.y + 28)) <= 1.5f && std::fabs(yaw) <= 30) {
        edge = FindLedgeEdge(c, s.Body.Room, s.Body.Position, m.Candidate, 1);
        const float o = s.Body.Position.y - (m.JumpLandFloor - 16);
        s.Camera.EyeOffset = s.Camera.TargetOffset = {0, o, 0};
        edge.y = m.JumpLandFloor - 16;
        s.Body.Position = edge;
        GoTo(c, CharacterAction::GrabLedge, CharacterClip::Grab, 0);
        m.OffsetRate = o / -13;
        m.OffsetBase = o;
    } else {
        const CellInfo here = CellInfoAt(c.Level(), s.Body.Room, s.Body.Position.x, s.Body.Position.z);
        const int room = here.LinkAbove != 0 ? here.LinkAbove - 1 : s.Body.Room;
        const Vec3 raised = {s.Body.Position.x, s.Body.Position.y + 28, s.Body.Position.z};
        m.Candidate = MoveForward(c, raised, 0, 8 * s.Clip.TimeScale);
        GroundProbe probe;
        ProbeGround(c, m.Candidate, probe, room);
        if (std::fabs(probe.FloorDelta) > 1.5f || std::fabs(yaw) > 30) {
            if (m.VertSpeed >= m.MinVertSpeed) return;
            s.Body.Position.y = m.TakeoffPos.y;
            s.Body.Action = CharacterAction::JumpUpLand;
            RequestTransition(c, CharacterClip::LandStraight, 0, 3);
            return;
        }
        edge = FindLedgeEdge(c, room, raised, m.Candidate, 1);
        s.Clip.Frame = 0;
        const float f = probe.Hit.Floor;
        if (f - m.JumpLandCeiling > 15 || f - m.JumpLandFloor < 17) {
            s.Body.Position.y = f - 16;
            edge.y = f - 16;
            GoTo(c, CharacterAction::GrabLedge, CharacterClip::Grab, 0);
        } else {
            edge.y = f - 24;
            GoTo(c, CharacterAction::HighHang, CharacterClip::HighHang, 0);
        }
    }
    StartTimedMove(c, edge, static_cast<uint16_t>(TruncToInt(s.Clip.TimeScale * 64)),
                   NormalizeAngle(s.Body.AngleY) + yaw);
}

void ActionJumpUpLand(CharacterStep& c) {
    if (c.Record.Playback.Settled && c.Record.Playback.LastFrame == 9)
        GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
}

void ActionJumpForwardRise(CharacterStep& c) {
    if (AirWithBumpLand(c, false) == AirOutcome::Bumped) return;
    if (c.Record.Playback.Settled) GoTo(c, CharacterAction::JumpForwardAir, CharacterClip::JumpForward, 0);
}

void ActionJumpForwardAir(CharacterStep& c) {
    const AirOutcome outcome = AirWithBumpLand(c, true);
    if (outcome == AirOutcome::Bumped) return;
    HoldLastFrame(c, 20);
    if (outcome == AirOutcome::Landed) TransitionThen(c, CharacterClip::Land, 0, 3, CharacterAction::Landing);
}

void ActionLanding(CharacterStep& c) {
    if (c.Record.Playback.LastFrame != 11) return;
    c.State.JumpMode = JumpDirection::Up;
    GoTo(c, CharacterAction::Idle, CharacterClip::Idle, 0);
}

void ActionRunJumpTakeoff(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    m.Candidate = MoveForward(c, s.Body.Position, 0, c.Delta() * 0.05f);
    GroundProbe probe;
    ProbeGround(c, m.Candidate, probe);
    if (!ProbeOk(probe)) return StopAt(c, FindCellBoundary(c, s.Body.Room, s.Body.Position, m.Candidate, 3));
    const float d = probe.FloorDelta;
    if (std::fabs(d) >= 2 && std::fabs(d) <= 8) return StartHeightStep(c, m.Candidate, 6, probe.Hit.Floor);
    if (d < -8) return StartFall(c);
    m.Candidate.y = probe.Hit.Floor;
    s.Body.Position = m.Candidate;
    if (s.Playback.Settled && s.Playback.LastFrame == 3) {
        m.TakeoffPos = s.Body.Position;
        s.Body.Action = CharacterAction::RunJumpAir;
    }
}

void ActionRunJumpAir(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    Vec3 bump;
    GroundProbe probe;
    if (AirborneStep(c, true, false, 3, bump, probe) == AirOutcome::Bumped) {
        m.Candidate = bump;  // the body stays where it was
        SetAirborne(c, 0, -0.23f, 0);
        return GoTo(c, CharacterAction::BumpRecover, CharacterClip::Bump, 0);
    }
    if (s.Playback.LastFrame == 8) GoTo(c, CharacterAction::RunJumpFall, CharacterClip::RunJumpAir, 0);
}

void ActionRunJumpFall(CharacterStep& c) {
    ActionRecord& s = c.Record;
    Vec3 bump;
    GroundProbe probe;
    const AirOutcome outcome = AirborneStep(c, true, true, 5, bump, probe);
    if (outcome == AirOutcome::Bumped) return BumpLand(c, bump);
    if (s.Body.Position.y - probe.Hit.Floor < 26) {
        s.Clip.Id = CharacterClip::RunJumpLand;
        if (s.Playback.LastFrame == 4) s.Clip.Frame = 4;
    }
    if (outcome != AirOutcome::Landed) return;
    c.State.JumpMode = JumpDirection::Up;
    LandFromFall(c, c.Input.Forward);
}

void ActionFall(CharacterStep& c) {
    Vec3 bump;
    GroundProbe probe;
    if (AirborneStep(c, false, true, 0, bump, probe) != AirOutcome::Landed) return;
    LandFromFall(c, c.Input.Forward && c.State.VertSpeed > 0.75f * c.State.MinVertSpeed);
}

void ActionBumpRecover(CharacterStep& c) {
    if (c.Record.Playback.LastFrame != 2) return;
    if (c.Input.Alt) {
        SetAirborne(c, 0.16f, -0.23f, -0.06f);
        return GoTo(c, CharacterAction::BackFlip, CharacterClip::BackFlip, 0);
    }
    SetAirborne(c, 0, -0.23f, 0);
    GoTo(c, CharacterAction::Fall, CharacterClip::Fall, 0);
}

void ActionJumpBackAir(CharacterStep& c) {
    ActionRecord& s = c.Record;
    Vec3 bump;
    GroundProbe probe;
    const AirOutcome outcome = AirborneStep(c, true, true, 4, bump, probe);
    if (outcome == AirOutcome::Bumped) {
        s.Body.Position = bump;
        return StartFall(c);
    }
    HoldLastFrame(c, 20);
    if (outcome == AirOutcome::Landed) TransitionThen(c, CharacterClip::Land, 0, 3, CharacterAction::Landing);
}

void ActionBackFlip(CharacterStep& c) {
    ActionRecord& s = c.Record;
    CharacterState& m = c.State;
    if (s.Clip.Frame > 4) {
        Vec3 bump;
        GroundProbe probe;
        AirborneStep(c, false, false, 0, bump, probe);
    }
    if (s.Playback.LastFrame != 8) return;
    m.FwdSpeed = 0.06f;
    s.Body.AngleY -= 180;
    UpdateHeadingVectors(c);
    GoTo(c, CharacterAction::JumpForwardAir, CharacterClip::JumpForward, 6);
}

}  // namespace dv
