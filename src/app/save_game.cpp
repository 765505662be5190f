#include "app/save_game.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "app/game.h"
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

bool Finite(std::initializer_list<float> values) {
    for (const float v : values) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

bool Finite(const SavedVec3& v) { return Finite({v.x, v.y, v.z}); }

SavedBody CaptureBody(const MovementBody& b, int32_t now) {
    SavedBody s{};
    s.LastTick = b.LastTick - now;
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
    b.LastTick = s.LastTick + now;
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
    s.LastTickTime = c.LastTickTime - now;
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
    s.TimedStartTime = c.TimedStartTime - now;
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
    c.LastTickTime = s.LastTickTime + now;
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
    c.TimedStartTime = s.TimedStartTime + now;
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
    s.ClipIndex = a.ClipIndex;
    s.NextClipIndex = a.NextClipIndex;
    s.ClipRecord = r.Clip;
    s.AnimationRecord = r.Animation;
    s.NextClipRecord = r.NextClip;
    s.NextAnimationRecord = r.NextAnimation;
    s.Frame = a.Frame;
    s.FramePos = a.FramePos;
    s.TimeScale = a.TimeScale;
    s.FrameStart = a.FrameStart - now;
    s.Animating = a.Animating;
    s.TransitionPending = a.TransitionPending;
    s.TransitionFrame = a.TransitionFrame;
    s.TransitionTarget = a.TransitionTarget;
    s.TransitionLength = a.TransitionLength;
    s.TransitionBlend = a.TransitionBlend;
    s.Blending = a.Blending;
    s.TransitionDone = a.TransitionDone;
    s.BlendFraction = a.BlendFraction;
    s.LastFrame = a.LastFrame;
    return s;
}

void RestoreAnimator(const SavedAnimator& s, Animator& a, int32_t now) {
    a.ClipIndex = s.ClipIndex;
    a.NextClipIndex = s.NextClipIndex;
    a.Frame = s.Frame;
    a.FramePos = s.FramePos;
    a.TimeScale = s.TimeScale;
    a.FrameStart = s.FrameStart + now;
    a.Animating = s.Animating != 0;
    a.TransitionPending = s.TransitionPending != 0;
    a.TransitionFrame = static_cast<int16_t>(s.TransitionFrame);
    a.TransitionTarget = static_cast<int16_t>(s.TransitionTarget);
    a.TransitionLength = static_cast<int16_t>(s.TransitionLength);
    a.TransitionBlend = s.TransitionBlend != 0;
    a.Blending = s.Blending != 0;
    a.TransitionDone = s.TransitionDone != 0;
    a.BlendFraction = s.BlendFraction;
    a.LastFrame = s.LastFrame;
}

SavedCamera CaptureCamera(const FollowCamera& c, const Camera& view, int32_t now) {
    SavedCamera s{};
    s.SmoothAngles = Pack(c.SmoothAngles);
    s.Zoom = c.Zoom;
    s.LookPhase = static_cast<int32_t>(c.LookPhase);
    s.LookHome = Pack(c.LookHome);
    s.LookLatch = c.LookLatch;
    s.LookAngles = Pack(c.LookAngles);
    s.LookFrom = Pack(c.LookFrom);
    s.LookFar = Pack(c.LookFar);
    s.LookVelocity[0] = c.LookVelocity[0];
    s.LookVelocity[1] = c.LookVelocity[1];
    s.MoveStart = c.MoveStart - static_cast<float>(now);
    s.MoveDuration = c.MoveDuration;
    s.MoveFromEye = Pack(c.MoveFromEye);
    s.MoveFromTarget = Pack(c.MoveFromTarget);
    s.Mode = static_cast<int32_t>(c.Mode);
    s.Phase = static_cast<int32_t>(c.Phase);
    s.FollowDistance = c.FollowDistance;
    s.EyeHeight = c.EyeHeight;
    s.LookAhead = c.LookAhead;
    s.TurnRate = c.TurnRate;
    s.SettleRate = c.SettleRate;
    s.MaxZoom = c.MaxZoom;
    s.ZoomStep = c.ZoomStep;
    s.OrbitOffset = Pack(c.OrbitOffset);
    s.Speed = c.Speed;
    s.Eye = Pack(c.Eye);
    s.Goal = Pack(c.Goal);
    s.Target = Pack(c.Target);
    s.GoalTarget = Pack(c.GoalTarget);
    s.BehindPoint = Pack(c.BehindPoint);
    s.Room = c.Room;
    s.CharacterRoom = c.CharacterRoom;
    s.CellRow = c.CellRow;
    s.CellColumn = c.CellColumn;
    s.ViewPosition = Pack(view.Position);
    s.ViewTarget = Pack(view.Target);
    return s;
}

void RestoreCamera(const SavedCamera& s, FollowCamera& c, Camera& view, int32_t now) {
    c.SmoothAngles = Unpack(s.SmoothAngles);
    c.Zoom = s.Zoom;
    c.LookPhase = static_cast<FreeLookPhase>(s.LookPhase);
    c.LookHome = Unpack(s.LookHome);
    c.LookLatch = static_cast<uint8_t>(s.LookLatch);
    c.LookAngles = Unpack(s.LookAngles);
    c.LookFrom = Unpack(s.LookFrom);
    c.LookFar = Unpack(s.LookFar);
    c.LookVelocity[0] = s.LookVelocity[0];
    c.LookVelocity[1] = s.LookVelocity[1];
    c.MoveStart = s.MoveStart + static_cast<float>(now);
    c.MoveDuration = s.MoveDuration;
    c.MoveFromEye = Unpack(s.MoveFromEye);
    c.MoveFromTarget = Unpack(s.MoveFromTarget);
    c.Mode = static_cast<CameraMode>(s.Mode);
    c.Phase = static_cast<CameraPhase>(s.Phase);
    c.FollowDistance = s.FollowDistance;
    c.EyeHeight = s.EyeHeight;
    c.LookAhead = s.LookAhead;
    c.TurnRate = s.TurnRate;
    c.SettleRate = s.SettleRate;
    c.MaxZoom = s.MaxZoom;
    c.ZoomStep = s.ZoomStep;
    c.OrbitOffset = Unpack(s.OrbitOffset);
    c.Speed = s.Speed;
    c.Eye = Unpack(s.Eye);
    c.Goal = Unpack(s.Goal);
    c.Target = Unpack(s.Target);
    c.GoalTarget = Unpack(s.GoalTarget);
    c.BehindPoint = Unpack(s.BehindPoint);
    c.Room = s.Room;
    c.CharacterRoom = s.CharacterRoom;
    c.CellRow = s.CellRow;
    c.CellColumn = s.CellColumn;
    view.Position = Unpack(s.ViewPosition);
    view.Target = Unpack(s.ViewTarget);
}

bool AllFloatsFinite(const SavedGame& g) {
    const SavedBody& b = g.Body;
    const SavedCharacter& c = g.Character;
    const SavedRecord& r = g.Record;
    const SavedAnimator& a = g.Animator;
    const SavedCamera& m = g.Camera;
    return Finite(b.Position) && Finite({b.AngleX, b.AngleY, b.AngleZ}) &&
           Finite({c.TurnRateStanding, c.TurnRateRunning, c.VertSpeed, c.Gravity, c.FwdSpeed, c.MinVertSpeed,
                   c.JumpLandFloor, c.JumpLandCeiling, c.JumpCeiling, c.StepRemaining, c.StepFraction,
                   c.TimedStartAngle, c.TimedTargetAngle, c.TimedDuration, c.ClimbHeight, c.OffsetRate,
                   c.OffsetBase}) &&
           Finite(c.DirForward) && Finite(c.DirBack) && Finite(c.DirLeft) && Finite(c.DirRight) &&
           Finite(c.TakeoffPos) && Finite(c.Candidate) && Finite(c.StepStart) && Finite(c.StepTarget) &&
           Finite(c.TimedStartPos) && Finite(c.TimedTargetPos) && Finite(c.ClimbTarget) && Finite(r.EyeOffset) &&
           Finite(r.TargetOffset) && Finite({a.FramePos, a.TimeScale, a.BlendFraction}) && Finite(m.SmoothAngles) &&
           Finite(m.LookHome) && Finite(m.LookAngles) && Finite(m.LookFrom) && Finite(m.LookFar) &&
           Finite(m.MoveFromEye) && Finite(m.MoveFromTarget) && Finite(m.OrbitOffset) && Finite(m.Eye) &&
           Finite(m.Goal) && Finite(m.Target) && Finite(m.GoalTarget) && Finite(m.BehindPoint) &&
           Finite(m.ViewPosition) && Finite(m.ViewTarget) &&
           Finite({m.Zoom, m.LookVelocity[0], m.LookVelocity[1], m.MoveStart, m.MoveDuration, m.FollowDistance,
                   m.EyeHeight, m.LookAhead, m.TurnRate, m.SettleRate, m.MaxZoom, m.ZoomStep, m.Speed});
}

bool InRange(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }

// What is out of place in `g` for `level`, or an empty string.
std::string CheckSavedGame(const SavedGame& g, const LevelMap& level) {
    const int32_t lastRoom = static_cast<int32_t>(level.Rooms.size()) - 1;
    if (!AllFloatsFinite(g)) return "a number is not finite";
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
    if (!InRange(g.Animator.TransitionFrame, INT16_MIN, INT16_MAX) ||
        !InRange(g.Animator.TransitionTarget, INT16_MIN, INT16_MAX) ||
        !InRange(g.Animator.TransitionLength, INT16_MIN, INT16_MAX))
        return "an animation transition is out of range";
    if (g.Body.TickInterval < 1) return "the tick interval is not positive";
    return {};
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
    return true;
}

bool WriteSaveFile(const std::string& path, const SavedGame& game, const LevelIdentity& level, int64_t savedAt,
                   std::string& error) {
    SaveHeader header{};
    std::memcpy(header.Magic, kSaveMagic, sizeof header.Magic);
    header.Version = kSaveVersion;
    header.PayloadBytes = sizeof(SavedGame);
    header.Checksum = Fnv1a64(&game, sizeof game);
    header.LevelBytes = level.Bytes;
    header.LevelHash = level.Hash;
    header.SavedAt = savedAt;
    header.Room = game.Body.Room;

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
    if (header.Version != kSaveVersion)
        return Fail(error, name + ": saved by another version of the game (format " + std::to_string(header.Version) +
                               ", this one reads " + std::to_string(kSaveVersion) + ")");
    if (header.PayloadBytes != sizeof out)
        return Fail(error, name + ": damaged: the header announces " + std::to_string(header.PayloadBytes) +
                               " bytes of game, the format has " + std::to_string(sizeof out));
    if (bytes.size() != sizeof header + sizeof out)
        return Fail(error, name + ": " + (bytes.size() < sizeof header + sizeof out ? "truncated" : "damaged") + ": " +
                               std::to_string(bytes.size()) + " bytes, a saved game has " +
                               std::to_string(sizeof header + sizeof out));
    std::memcpy(&out, bytes.data() + sizeof header, sizeof out);
    if (Fnv1a64(&out, sizeof out) != header.Checksum)
        return Fail(error, name + ": damaged: the checksum does not match");
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
