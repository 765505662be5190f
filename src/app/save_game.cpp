// Saved games. In order: capture and restore of each part of a game (the character's body, its
// state, the animator, the camera), each taking clock readings relative to the time of saving;
// the checks a loaded game passes before it is played (every float finite, clocks and scales
// in range, rooms and records that exist in the level); the level's identity and the save's
// checksum; capturing a whole game and fitting it to a level; writing a file; reading one
// (header, version, size and checksum, then the level it was saved on).
#include "app/save_game.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "app/game.h"
#include "math/clock.h"
#include "files/read_file.h"
#include "files/safe_write.h"
#include "render/viewport.h"
#include "world/level_file.h"

namespace dv {

namespace {

SavedVec3 Pack(const Vec3& v) { return {v.x, v.y, v.z}; }
Vec3 Unpack(const SavedVec3& v) { return {v.x, v.y, v.z}; }

bool Fail(std::string& error, const std::string& what) {
    error = what;
    return false;
}

// True when `ok` holds for every value.
template <class Test>
bool Every(Test ok, std::initializer_list<float> values) {
    return std::all_of(values.begin(), values.end(), ok);
}

template <class Test>
bool Every(Test ok, const SavedVec3& v) {
    return ok(v.x) && ok(v.y) && ok(v.z);
}

// A clock reading relative to `now`, no older than kOldestSavedClockMs.
int32_t Relative(int32_t reading, int32_t now) { return std::max(ClockSince(reading, now), -kOldestSavedClockMs); }

SavedBody CaptureBody(const MovementBody& b, int32_t now) {
    SavedBody s{};
    s.LastTick = Relative(b.LastTick, now);
    s.Room = b.Room;
    s.CellRow = b.CellRow;
    s.CellColumn = b.CellColumn;
    s.Position = Pack(b.Movement.Position);
    s.AngleX = b.Movement.AngleX;
    s.AngleY = b.Movement.AngleY;
    s.AngleZ = b.Movement.AngleZ;
    s.TickInterval = b.TickInterval;
    s.Action = b.Action;
    return s;
}

void RestoreBody(const SavedBody& s, MovementBody& b, int32_t now) {
    b.LastTick = ClockAfter(now, s.LastTick);
    b.Room = s.Room;
    b.CellRow = s.CellRow;
    b.CellColumn = s.CellColumn;
    b.Movement.Position = Unpack(s.Position);
    b.Movement.AngleX = s.AngleX;
    b.Movement.AngleY = s.AngleY;
    b.Movement.AngleZ = s.AngleZ;
    b.TickInterval = s.TickInterval;
    b.Action = s.Action;
}

SavedCharacter CaptureCharacter(const CharacterState& c, int32_t now) {
    SavedCharacter s{};
    s.TickDelta = c.TickDelta;
    s.LastTickTime = Relative(c.LastTickTime, now);
    s.TurnRateStanding = c.TurnRateStanding;
    s.TurnRateRunning = c.TurnRateRunning;
    s.DirForward = Pack(c.DirForward);
    s.DirBack = Pack(c.DirBack);
    s.DirLeft = Pack(c.DirLeft);
    s.DirRight = Pack(c.DirRight);
    s.QueuedAction = static_cast<int32_t>(c.QueuedAction);
    s.JumpMode = static_cast<int32_t>(c.JumpMode);
    s.VertSpeed = c.VertSpeed;
    s.Gravity = c.Gravity;
    s.FwdSpeed = c.FwdSpeed;
    s.MinVertSpeed = c.MinVertSpeed;
    s.JumpLandFloor = c.JumpLandFloor;
    s.JumpLandCeiling = c.JumpLandCeiling;
    s.JumpCeiling = c.JumpCeiling;
    s.TakeoffPos = Pack(c.TakeoffPos);
    s.Candidate = Pack(c.Candidate);
    s.StepSavedAction = static_cast<int32_t>(c.StepSavedAction);
    s.StepStart = Pack(c.StepStart);
    s.StepTarget = Pack(c.StepTarget);
    s.StepRemaining = c.StepRemaining;
    s.StepFraction = c.StepFraction;
    s.TimedSavedAction = static_cast<int32_t>(c.TimedSavedAction);
    s.TimedSavedFrame = c.TimedSavedFrame;
    s.TimedStartTime = Relative(c.TimedStartTime, now);
    s.TimedStartPos = Pack(c.TimedStartPos);
    s.TimedTargetPos = Pack(c.TimedTargetPos);
    s.TimedStartAngle = c.TimedStartAngle;
    s.TimedTargetAngle = c.TimedTargetAngle;
    s.TimedDuration = c.TimedDuration;
    s.ClimbHeight = c.ClimbHeight;
    s.ClimbTarget = Pack(c.ClimbTarget);
    s.ClimbRoom = c.ClimbRoom;
    s.OffsetRate = c.OffsetRate;
    s.OffsetBase = c.OffsetBase;
    return s;
}

void RestoreCharacter(const SavedCharacter& s, CharacterState& c, int32_t now) {
    c.TickDelta = s.TickDelta;
    c.LastTickTime = ClockAfter(now, s.LastTickTime);
    c.TurnRateStanding = s.TurnRateStanding;
    c.TurnRateRunning = s.TurnRateRunning;
    c.DirForward = Unpack(s.DirForward);
    c.DirBack = Unpack(s.DirBack);
    c.DirLeft = Unpack(s.DirLeft);
    c.DirRight = Unpack(s.DirRight);
    c.QueuedAction = static_cast<CharacterAction>(s.QueuedAction);
    c.JumpMode = static_cast<JumpDirection>(s.JumpMode);
    c.VertSpeed = s.VertSpeed;
    c.Gravity = s.Gravity;
    c.FwdSpeed = s.FwdSpeed;
    c.MinVertSpeed = s.MinVertSpeed;
    c.JumpLandFloor = s.JumpLandFloor;
    c.JumpLandCeiling = s.JumpLandCeiling;
    c.JumpCeiling = s.JumpCeiling;
    c.TakeoffPos = Unpack(s.TakeoffPos);
    c.Candidate = Unpack(s.Candidate);
    c.StepSavedAction = static_cast<CharacterAction>(s.StepSavedAction);
    c.StepStart = Unpack(s.StepStart);
    c.StepTarget = Unpack(s.StepTarget);
    c.StepRemaining = s.StepRemaining;
    c.StepFraction = s.StepFraction;
    c.TimedSavedAction = static_cast<CharacterAction>(s.TimedSavedAction);
    c.TimedSavedFrame = s.TimedSavedFrame;
    c.TimedStartTime = ClockAfter(now, s.TimedStartTime);
    c.TimedStartPos = Unpack(s.TimedStartPos);
    c.TimedTargetPos = Unpack(s.TimedTargetPos);
    c.TimedStartAngle = s.TimedStartAngle;
    c.TimedTargetAngle = s.TimedTargetAngle;
    c.TimedDuration = s.TimedDuration;
    c.ClimbHeight = s.ClimbHeight;
    c.ClimbTarget = Unpack(s.ClimbTarget);
    c.ClimbRoom = s.ClimbRoom;
    c.OffsetRate = s.OffsetRate;
    c.OffsetBase = s.OffsetBase;
}

SavedAnimator CaptureAnimator(const Animator& a, int32_t now) {
    SavedAnimator s{};
    const PlaybackRecords r = a.Records();
    const AnimatorPlayback& p = a.Playback();
    s.ClipIndex = p.ClipIndex;
    s.NextClipIndex = p.NextClipIndex;
    s.ClipRecord = r.Clip;
    s.AnimationRecord = r.Animation;
    s.NextClipRecord = r.NextClip;
    s.NextAnimationRecord = r.NextAnimation;
    s.Frame = p.Frame;
    s.FramePos = p.FramePos;
    s.TimeScale = a.TimeScale;
    s.FrameStart = Relative(p.FrameStart, now);
    s.Animating = a.Animating;
    s.TransitionPending = p.TransitionPending;
    s.TransitionFrame = p.TransitionFrame;
    s.TransitionTarget = p.TransitionTarget;
    s.TransitionLength = p.TransitionLength;
    s.TransitionBlend = p.TransitionBlend;
    s.Blending = p.Blending;
    s.TransitionDone = p.TransitionDone;
    s.BlendFraction = p.BlendFraction;
    s.LastFrame = p.LastFrame;
    return s;
}

void RestoreAnimator(const SavedAnimator& s, Animator& a, int32_t now) {
    AnimatorPlayback p;
    p.ClipIndex = s.ClipIndex;
    p.NextClipIndex = s.NextClipIndex;
    p.Frame = s.Frame;
    p.FramePos = s.FramePos;
    a.TimeScale = s.TimeScale;
    p.FrameStart = ClockAfter(now, s.FrameStart);
    a.Animating = s.Animating != 0;
    p.TransitionPending = s.TransitionPending != 0;
    p.TransitionFrame = static_cast<int16_t>(s.TransitionFrame);
    p.TransitionTarget = static_cast<int16_t>(s.TransitionTarget);
    p.TransitionLength = static_cast<int16_t>(s.TransitionLength);
    p.TransitionBlend = s.TransitionBlend != 0;
    p.Blending = s.Blending != 0;
    p.TransitionDone = s.TransitionDone != 0;
    p.BlendFraction = s.BlendFraction;
    p.LastFrame = s.LastFrame;
    a.RestorePlayback(p);
}

SavedRun CaptureRun(const LevelRun& run, int32_t now) {
    const RunStats stats = run.Stats(now);
    SavedRun s{};
    s.TimeMs = stats.TimeMs;
    s.Distance = stats.Distance;
    s.Jumps = stats.Jumps;
    s.Grabs = stats.Grabs;
    s.Falls = stats.Falls;
    s.SavesLoaded = stats.SavesLoaded;
    return s;
}

SavedCamera CaptureCamera(const FollowCamera& c, const Camera& view, int32_t now) {
    SavedCamera s{};
    const FollowCameraState& k = c.Kept();
    s.SmoothAngles = Pack(k.SmoothAngles);
    s.Zoom = k.Zoom;
    s.LookPhase = static_cast<int32_t>(k.LookPhase);
    s.LookHome = Pack(k.LookHome);
    s.LookLatch = k.LookLatch;
    s.LookAngles = Pack(k.LookAngles);
    s.LookFrom = Pack(k.LookFrom);
    s.LookFar = Pack(k.LookFar);
    s.LookVelocity[0] = k.LookVelocity[0];
    s.LookVelocity[1] = k.LookVelocity[1];
    s.MoveStart =
        static_cast<float>(std::max(-ClockSince(now, static_cast<double>(k.MoveStart)), -double(kOldestSavedClockMs)));
    s.MoveDuration = k.MoveDuration;
    s.MoveFromEye = Pack(k.MoveFromEye);
    s.MoveFromTarget = Pack(k.MoveFromTarget);
    s.Mode = static_cast<int32_t>(k.Mode);
    s.Phase = static_cast<int32_t>(k.Phase);
    s.FollowDistance = c.Tuning.FollowDistance;
    s.EyeHeight = c.Tuning.EyeHeight;
    s.LookAhead = c.Tuning.LookAhead;
    s.TurnRate = c.Tuning.TurnRate;
    s.SettleRate = c.Tuning.SettleRate;
    s.MaxZoom = c.Tuning.MaxZoom;
    s.ZoomStep = c.Tuning.ZoomStep;
    s.OrbitOffset = Pack(k.OrbitOffset);
    s.Speed = k.EaseSpeed;
    s.Eye = Pack(k.Eye);
    s.Goal = Pack(k.Goal);
    s.Target = Pack(k.Target);
    s.GoalTarget = Pack(k.GoalTarget);
    s.BehindPoint = Pack(k.BehindPoint);
    s.Room = c.Room;
    s.CharacterRoom = c.CharacterRoom;
    s.CellRow = c.CellRow;
    s.CellColumn = c.CellColumn;
    s.ViewPosition = Pack(view.Position);
    s.ViewTarget = Pack(view.Target);
    return s;
}

void RestoreCamera(const SavedCamera& s, FollowCamera& c, Camera& view, int32_t now) {
    FollowCameraState k;
    k.SmoothAngles = Unpack(s.SmoothAngles);
    k.Zoom = s.Zoom;
    k.LookPhase = static_cast<FreeLookPhase>(s.LookPhase);
    k.LookHome = Unpack(s.LookHome);
    k.LookLatch = static_cast<uint8_t>(s.LookLatch);
    k.LookAngles = Unpack(s.LookAngles);
    k.LookFrom = Unpack(s.LookFrom);
    k.LookFar = Unpack(s.LookFar);
    k.LookVelocity[0] = s.LookVelocity[0];
    k.LookVelocity[1] = s.LookVelocity[1];
    k.MoveStart = s.MoveStart + static_cast<float>(now);
    k.MoveDuration = s.MoveDuration;
    k.MoveFromEye = Unpack(s.MoveFromEye);
    k.MoveFromTarget = Unpack(s.MoveFromTarget);
    k.Mode = static_cast<CameraMode>(s.Mode);
    k.Phase = static_cast<CameraPhase>(s.Phase);
    c.Tuning.FollowDistance = s.FollowDistance;
    c.Tuning.EyeHeight = s.EyeHeight;
    c.Tuning.LookAhead = s.LookAhead;
    c.Tuning.TurnRate = s.TurnRate;
    c.Tuning.SettleRate = s.SettleRate;
    c.Tuning.MaxZoom = s.MaxZoom;
    c.Tuning.ZoomStep = s.ZoomStep;
    k.OrbitOffset = Unpack(s.OrbitOffset);
    k.EaseSpeed = s.Speed;
    k.Eye = Unpack(s.Eye);
    k.Goal = Unpack(s.Goal);
    k.Target = Unpack(s.Target);
    k.GoalTarget = Unpack(s.GoalTarget);
    k.BehindPoint = Unpack(s.BehindPoint);
    c.Room = s.Room;
    c.CharacterRoom = s.CharacterRoom;
    c.CellRow = s.CellRow;
    c.CellColumn = s.CellColumn;
    c.Restore(k);
    view.Position = Unpack(s.ViewPosition);
    view.Target = Unpack(s.ViewTarget);
}

// True when `ok` holds for every float of the game but the camera's move start (a clock).
template <class Test>
bool EveryFloat(const SavedGame& g, Test ok) {
    const SavedBody& b = g.Body;
    const SavedCharacter& c = g.Character;
    const SavedRecord& r = g.Record;
    const SavedAnimator& a = g.Animator;
    const SavedCamera& m = g.Camera;
    const auto every = [&ok](const auto& values) { return Every(ok, values); };
    return every(b.Position) && Every(ok, {b.AngleX, b.AngleY, b.AngleZ}) &&
           Every(ok,
                 {c.TurnRateStanding, c.TurnRateRunning, c.VertSpeed, c.Gravity, c.FwdSpeed, c.MinVertSpeed,
                  c.JumpLandFloor, c.JumpLandCeiling, c.JumpCeiling, c.StepRemaining, c.StepFraction, c.TimedStartAngle,
                  c.TimedTargetAngle, c.TimedDuration, c.ClimbHeight, c.OffsetRate, c.OffsetBase}) &&
           every(c.DirForward) && every(c.DirBack) && every(c.DirLeft) && every(c.DirRight) && every(c.TakeoffPos) &&
           every(c.Candidate) && every(c.StepStart) && every(c.StepTarget) && every(c.TimedStartPos) &&
           every(c.TimedTargetPos) && every(c.ClimbTarget) && every(r.EyeOffset) && every(r.TargetOffset) &&
           Every(ok, {a.FramePos, a.TimeScale, a.BlendFraction}) && every(m.SmoothAngles) && every(m.LookHome) &&
           every(m.LookAngles) && every(m.LookFrom) && every(m.LookFar) && every(m.MoveFromEye) &&
           every(m.MoveFromTarget) && every(m.OrbitOffset) && every(m.Eye) && every(m.Goal) && every(m.Target) &&
           every(m.GoalTarget) && every(m.BehindPoint) && every(m.ViewPosition) && every(m.ViewTarget) &&
           Every(ok, {m.Zoom, m.LookVelocity[0], m.LookVelocity[1], m.MoveDuration, m.FollowDistance, m.EyeHeight,
                      m.LookAhead, m.TurnRate, m.SettleRate, m.MaxZoom, m.ZoomStep, m.Speed});
}

bool IsFinite(float v) { return std::isfinite(v); }
bool IsModest(float v) { return std::fabs(v) <= kMaxSavedMagnitude; }

bool InRange(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }

// Clocks, intervals, durations and scales that would stall the game or turn into infinities
// on the next tick; the body outside its room.
std::string CheckClocksAndScales(const SavedGame& g, const LevelMap& level) {
    constexpr int32_t kAheadMs = 1000;  // an honest save holds no reading after its own moment
    for (const int32_t clock :
         {g.Body.LastTick, g.Character.LastTickTime, g.Character.TimedStartTime, g.Animator.FrameStart}) {
        if (!InRange(clock, -kOldestSavedClockMs, kAheadMs))
            return "a clock reading " + std::to_string(clock) + " ms from the save is out of range";
    }
    const float move = g.Camera.MoveStart;
    if (!(move >= -static_cast<float>(kOldestSavedClockMs) && move <= static_cast<float>(kAheadMs)))
        return "the camera's clock reading is out of range";
    if (!InRange(g.Body.TickInterval, 1, 1000))
        return "a tick interval of " + std::to_string(g.Body.TickInterval) + " ms is out of range";
    if (!InRange(g.Character.TickDelta, 0, kMaxTickDeltaMs))
        return "a step of " + std::to_string(g.Character.TickDelta) + " ms is out of range";
    const SavedCharacter& c = g.Character;
    if (!(c.TimedDuration == 0 || (c.TimedDuration >= 1 && c.TimedDuration <= 65535)))
        return "the timed move's duration is out of range";
    if (!(c.StepFraction >= 0 && c.StepFraction <= 1) || !(c.StepRemaining >= -1 && c.StepRemaining <= 65536))
        return "the height step is out of range";
    if (!(g.Animator.TimeScale >= 1.0f / 64 && g.Animator.TimeScale <= 64))
        return "the animation's time scale is out of range";
    if (!(g.Camera.MoveDuration == 0 || g.Camera.MoveDuration >= 1e-3f))
        return "the camera's move duration is out of range";
    // The update step keeps the body inside its room's rectangle; a cell of slack.
    const RoomHeader& room = level.Rooms[static_cast<size_t>(g.Body.Room)].Header;
    const float x = g.Body.Position.x - room.Origin.x, z = g.Body.Position.z - room.Origin.z;
    constexpr float kSlack = 32;
    if (x < -kSlack || z < -kSlack || x > room.CellsX * 32.0f + kSlack || z > room.CellsZ * 32.0f + kSlack)
        return "the character is outside its room " + std::to_string(g.Body.Room);
    return {};
}

// The run's time within the clocks' range, its distance finite and not negative, its counts
// not negative.
std::string CheckRun(const SavedRun& r) {
    constexpr float kMaxDistance = 1e9f;
    if (!InRange(r.TimeMs, 0, kOldestSavedClockMs)) return "the level's time is out of range";
    if (!(r.Distance >= 0 && r.Distance <= kMaxDistance)) return "the distance run is out of range";
    for (const int32_t count : {r.Jumps, r.Grabs, r.Falls, r.SavesLoaded}) {
        if (!InRange(count, 0, kOldestSavedClockMs)) return "a count of the level's run is out of range";
    }
    return {};
}

// What is out of place in `g` for `level`, or an empty string.
std::string CheckSavedGame(const SavedGame& g, const LevelMap& level) {
    const int32_t lastRoom = static_cast<int32_t>(level.Rooms.size()) - 1;
    if (!EveryFloat(g, IsFinite) || !std::isfinite(g.Camera.MoveStart)) return "a number is not finite";
    if (!EveryFloat(g, IsModest)) return "a number is beyond any the game reaches";
    for (const int32_t room : {g.Body.Room, g.Camera.Room, g.Camera.CharacterRoom, g.Character.ClimbRoom}) {
        if (!InRange(room, 0, lastRoom)) return "room " + std::to_string(room) + " is not in the level";
    }
    const int32_t lastAction = kActionCount - 1;
    for (const int32_t action :
         {g.Body.Action, g.Character.QueuedAction, g.Character.StepSavedAction, g.Character.TimedSavedAction}) {
        if (!InRange(action, 0, lastAction)) return "action " + std::to_string(action) + " does not exist";
    }
    if (!InRange(g.Character.JumpMode, 0, 2))
        return "jump mode " + std::to_string(g.Character.JumpMode) + " does not exist";
    if (!InRange(g.Camera.Mode, 0, 4) || !InRange(g.Camera.Phase, 0, 4) || !InRange(g.Camera.LookPhase, 0, 3))
        return "the camera's mode or phase does not exist";
    // A clip playing (Frame 0 and on) is drawn from its clip and animation records.
    if (g.Animator.Frame >= 0 && (g.Animator.ClipRecord < 0 || g.Animator.AnimationRecord < 0))
        return "the animation plays a clip it does not name";
    if (g.Animator.TransitionPending != 0 && g.Animator.TransitionDone == 0 &&
        (g.Animator.NextClipRecord < 0 || g.Animator.NextAnimationRecord < 0))
        return "the animation blends into a clip it does not name";
    if (!InRange(g.Animator.TransitionFrame, INT16_MIN, INT16_MAX) ||
        !InRange(g.Animator.TransitionTarget, INT16_MIN, INT16_MAX) ||
        !InRange(g.Animator.TransitionLength, INT16_MIN, INT16_MAX))
        return "an animation transition is out of range";
    if (const std::string run = CheckRun(g.Run); !run.empty()) return run;
    return CheckClocksAndScales(g, level);
}

}  // namespace

uint64_t Fnv1a64(const void* data, size_t bytes, uint64_t hash) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        hash ^= p[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

bool ReadLevelIdentity(const std::string& path, LevelIdentity& out, std::string& error) {
    std::vector<uint8_t> bytes;
    const FileRead got = ReadWholeFile(path, kMaxLevelFileBytes, bytes, error);
    if (got == FileRead::Missing) error = path + ": cannot read the level file";
    if (got != FileRead::Read) return false;
    out = LevelIdentity{bytes.size(), Fnv1a64(bytes.data(), bytes.size())};
    return true;
}

uint64_t SaveChecksum(const SaveHeader& header, const SavedGame& game) {
    const size_t payload = SavedGameBytes(header.Version);
    if (header.Version == 1) return Fnv1a64(&game, payload);
    SaveHeader sealed = header;
    sealed.Checksum = 0;
    return Fnv1a64(&game, payload, Fnv1a64(&sealed, sizeof sealed));
}

SavedGame CaptureGame(const GameState& game, const Camera& view, int32_t now) {
    SavedGame s{};
    s.Body = CaptureBody(game.Body, now);
    s.Character = CaptureCharacter(game.Actions, now);
    s.Record.TransitionClip = static_cast<int32_t>(game.Record.Transition.Clip);
    s.Record.TransitionTarget = game.Record.Transition.Target;
    s.Record.TransitionLength = game.Record.Transition.Length;
    s.Record.EyeOffset = Pack(game.Record.Camera.EyeOffset);
    s.Record.TargetOffset = Pack(game.Record.Camera.TargetOffset);
    s.Animator = CaptureAnimator(game.CharacterModel, now);
    s.Camera = CaptureCamera(*game.Follow, view, now);
    s.Run = CaptureRun(game.Run, now);
    return s;
}

bool SaveFitsLevel(const SavedGame& saved, const LevelRecord& level, std::string& error) {
    if (const std::string wrong = CheckSavedGame(saved, level.Map); !wrong.empty()) return Fail(error, wrong);
    const SavedAnimator& a = saved.Animator;
    const int32_t clips = level.Movables.empty() ? 0 : static_cast<int32_t>(level.Movables[0].Clips.size());
    const int32_t animations = static_cast<int32_t>(level.Animations.size());
    for (const int32_t clip : {a.ClipRecord, a.NextClipRecord}) {
        if (!InRange(clip, -1, clips - 1)) return Fail(error, "clip " + std::to_string(clip) + " is not in the level");
    }
    for (const int32_t animation : {a.AnimationRecord, a.NextAnimationRecord}) {
        if (!InRange(animation, -1, animations - 1))
            return Fail(error, "animation " + std::to_string(animation) + " is not in the level");
    }
    return true;
}

bool RestoreGame(const SavedGame& saved, const LevelMap& level, GameState& game, Camera& view, int32_t now,
                 std::string& error) {
    if (const std::string wrong = CheckSavedGame(saved, level); !wrong.empty()) return Fail(error, wrong);
    const SavedAnimator& a = saved.Animator;
    const PlaybackRecords records{a.ClipRecord, a.AnimationRecord, a.NextClipRecord, a.NextAnimationRecord};
    if (!game.CharacterModel.RestoreRecords(records)) return Fail(error, "an animation record does not exist");
    RestoreBody(saved.Body, game.Body, now);
    RestoreCharacter(saved.Character, game.Actions, now);
    game.Record.Transition.Clip = static_cast<CharacterClip>(saved.Record.TransitionClip);
    game.Record.Transition.Target = saved.Record.TransitionTarget;
    game.Record.Transition.Length = saved.Record.TransitionLength;
    game.Record.Camera.EyeOffset = Unpack(saved.Record.EyeOffset);
    game.Record.Camera.TargetOffset = Unpack(saved.Record.TargetOffset);
    RestoreAnimator(a, game.CharacterModel, now);
    RestoreCamera(saved.Camera, *game.Follow, view, now);
    game.Follow->Subject = {game.Body.Movement.Position, game.Body.Movement.AngleY};
    const SavedRun& r = saved.Run;
    game.Run.Restore({r.TimeMs, r.Distance, r.Jumps, r.Grabs, r.Falls, r.SavesLoaded}, now, game.Body.Movement.Position,
                     game.Body.Action);
    return true;
}

bool WriteSaveFile(const std::string& path, const SavedGame& game, const LevelIdentity& level, int64_t savedAt,
                   std::string& error) {
    SaveHeader header{};
    std::memcpy(header.Magic, kSaveMagic, sizeof header.Magic);
    header.Version = kSaveVersion;
    header.PayloadBytes = sizeof(SavedGame);
    header.LevelBytes = level.Bytes;
    header.LevelHash = level.Hash;
    header.SavedAt = savedAt;
    header.Room = game.Body.Room;
    header.Checksum = SaveChecksum(header, game);

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    SafeFile file;
    if (!file.Create(path, error)) return false;
    file.Write(&header, sizeof header);
    file.Write(&game, sizeof game);
    return file.Commit(error);
}

namespace {

// The header, its version, size and checksum, and the payload; not yet the level.
bool ParseSaveBytes(const std::string& bytes, const std::string& name, SaveHeader& header, SavedGame& out,
                    std::string& error) {
    if (bytes.size() < sizeof header)
        return Fail(error, name + ": truncated: " + std::to_string(bytes.size()) + " bytes, shorter than the header");
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.Magic, kSaveMagic, sizeof kSaveMagic) != 0)
        return Fail(error, name + ": not a saved game of Dedivirede");
    if (header.Version < kOldestSaveVersion || header.Version > kSaveVersion)
        return Fail(error, name + ": saved by another version of the game (format " + std::to_string(header.Version) +
                               ", this one reads " + std::to_string(kOldestSaveVersion) + " to " +
                               std::to_string(kSaveVersion) + ")");
    const size_t payload = SavedGameBytes(header.Version);
    if (header.PayloadBytes != payload)
        return Fail(error, name + ": damaged: the header announces " + std::to_string(header.PayloadBytes) +
                               " bytes of game, the format has " + std::to_string(payload));
    if (bytes.size() != sizeof header + payload)
        return Fail(error, name + ": " + (bytes.size() < sizeof header + payload ? "truncated" : "damaged") + ": " +
                               std::to_string(bytes.size()) + " bytes, a saved game has " +
                               std::to_string(sizeof header + payload));
    out = SavedGame{};
    std::memcpy(&out, bytes.data() + sizeof header, payload);
    if (SaveChecksum(header, out) != header.Checksum)
        return Fail(error, name + ": damaged: the checksum does not match");
    // What the slot list shows comes from the checked payload (format 1 left the header's
    // copy outside its checksum).
    header.Room = out.Body.Room;
    return true;
}

bool SavedOn(const SaveHeader& header, const LevelIdentity& level) {
    return header.LevelBytes == level.Bytes && header.LevelHash == level.Hash;
}

bool ReadWhole(const std::string& path, std::string& bytes, std::string& error) {
    const FileRead got = ReadWholeFile(path, kMaxSaveFileBytes, bytes, error);
    if (got == FileRead::Missing) error = path + ": no saved game there";
    return got == FileRead::Read;
}

}  // namespace

bool ParseSaveFile(const std::string& bytes, const std::string& name, const LevelIdentity& level, SaveHeader& header,
                   SavedGame& out, std::string& error) {
    if (!ParseSaveBytes(bytes, name, header, out, error)) return false;
    if (!SavedOn(header, level))
        return Fail(error, name + ": saved on another level (or another version of this level)");
    return true;
}

bool ReadSaveFile(const std::string& path, const LevelIdentity& level, SaveHeader& header, SavedGame& out,
                  std::string& error) {
    std::string bytes;
    return ReadWhole(path, bytes, error) && ParseSaveFile(bytes, path, level, header, out, error);
}

bool ReadSaveFile(const std::string& path, const std::vector<LevelIdentity>& levels, size_t& level, SaveHeader& header,
                  SavedGame& out, std::string& error) {
    std::string bytes;
    if (!ReadWhole(path, bytes, error) || !ParseSaveBytes(bytes, path, header, out, error)) return false;
    for (level = 0; level < levels.size(); ++level) {
        if (SavedOn(header, levels[level])) return true;
    }
    return Fail(error, path + ": saved on a level this game does not have (or another version of it)");
}

}  // namespace dv
