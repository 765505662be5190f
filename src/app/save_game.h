// Saved games: everything the game needs to go on exactly where it was saved, in one binary
// file of plain records (host byte order): a header naming the format, its version, the
// level the game was saved on (the level file's size and hash) and a checksum, then the
// payload. The checksum covers the header (its own field as zero) and the payload; format 1
// covered the payload only and is still read, its slot line showing only what the payload
// says. Format 3 added the level's run (its time and statistics) at the payload's end; a save
// of an earlier format loads with the run's time and counts at zero. Clock readings are stored relative to the moment
// of saving and put back relative to the moment of loading, so the game continues as if no time had passed.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "math/vecmath.h"

namespace dv {

class Camera;
struct GameState;
struct LevelMap;
struct LevelRecord;

inline constexpr char kSaveMagic[8] = {'D', 'V', 'S', 'A', 'V', 'E', '\r', '\n'};
inline constexpr uint32_t kSaveVersion = 3;
inline constexpr uint32_t kOldestSaveVersion = 1;

// The level file a game was saved on.
struct LevelIdentity {
    uint64_t Bytes = 0;
    uint64_t Hash = 0;  // FNV-1a, 64 bits, of the whole file
};

struct SaveHeader {
    char Magic[8];
    uint32_t Version;
    uint32_t PayloadBytes;
    uint64_t Checksum;  // FNV-1a, 64 bits, of this header with the field zero, then the payload
    uint64_t LevelBytes;
    uint64_t LevelHash;
    int64_t SavedAt;  // seconds since 1970, for the slot list
    int32_t Room;     // the character's room, for the slot list
    int32_t Reserved;
};
static_assert(sizeof(SaveHeader) == 56);

struct SavedVec3 {
    float x, y, z;
};
static_assert(sizeof(SavedVec3) == 12);

struct SavedBody {
    int32_t LastTick;  // relative to the save
    int32_t Room, CellRow, CellColumn;
    SavedVec3 Position;
    float AngleX, AngleY, AngleZ;
    int32_t TickInterval;
    int32_t Action;
};
static_assert(sizeof(SavedBody) == 48);

struct SavedCharacter {
    int32_t TickDelta;
    int32_t LastTickTime;  // relative to the save
    float TurnRateStanding, TurnRateRunning;
    SavedVec3 DirForward, DirBack, DirLeft, DirRight;
    int32_t QueuedAction, JumpMode;
    float VertSpeed, Gravity, FwdSpeed, MinVertSpeed;
    float JumpLandFloor, JumpLandCeiling, JumpCeiling;
    SavedVec3 TakeoffPos, Candidate;
    int32_t StepSavedAction;
    SavedVec3 StepStart, StepTarget;
    float StepRemaining, StepFraction;
    int32_t TimedSavedAction, TimedSavedFrame;
    int32_t TimedStartTime;  // relative to the save
    SavedVec3 TimedStartPos, TimedTargetPos;
    float TimedStartAngle, TimedTargetAngle, TimedDuration;
    float ClimbHeight;
    SavedVec3 ClimbTarget;
    int32_t ClimbRoom;
    float OffsetRate, OffsetBase;
};
static_assert(sizeof(SavedCharacter) == 236);

// The record exchanged with the actions, which keeps the transition request between ticks.
struct SavedRecord {
    int32_t TransitionClip, TransitionTarget, TransitionLength;
    SavedVec3 EyeOffset, TargetOffset;  // the camera offsets of the game
};
static_assert(sizeof(SavedRecord) == 36);

struct SavedAnimator {
    int32_t ClipIndex, NextClipIndex;
    int32_t ClipRecord, AnimationRecord, NextClipRecord, NextAnimationRecord;
    int32_t Frame;
    float FramePos, TimeScale;
    int32_t FrameStart;  // relative to the save
    int32_t Animating, TransitionPending;
    int32_t TransitionFrame, TransitionTarget, TransitionLength;
    int32_t TransitionBlend, Blending, TransitionDone;
    float BlendFraction;
    int32_t LastFrame;
};
static_assert(sizeof(SavedAnimator) == 80);

struct SavedCamera {
    SavedVec3 SmoothAngles;
    float Zoom;
    int32_t LookPhase;
    SavedVec3 LookHome;
    int32_t LookLatch;
    SavedVec3 LookAngles, LookFrom, LookFar;
    float LookVelocity[2];
    float MoveStart;  // relative to the save
    float MoveDuration;
    SavedVec3 MoveFromEye, MoveFromTarget;
    int32_t Mode, Phase;
    float FollowDistance, EyeHeight, LookAhead, TurnRate, SettleRate, MaxZoom, ZoomStep;
    SavedVec3 OrbitOffset;
    float Speed;
    SavedVec3 Eye, Goal, Target, GoalTarget, BehindPoint;
    int32_t Room, CharacterRoom, CellRow, CellColumn;
    SavedVec3 ViewPosition, ViewTarget;  // the scene camera set from it each tick
};
static_assert(sizeof(SavedCamera) == 264);

// The level's run (app/level_run.h) at the moment of saving.
struct SavedRun {
    int32_t TimeMs;
    float Distance;
    int32_t Jumps, Grabs, Falls, SavesLoaded;
    int32_t Reserved[2];
};
static_assert(sizeof(SavedRun) == 32);

struct SavedGame {
    SavedBody Body;
    SavedCharacter Character;
    SavedRecord Record;
    SavedAnimator Animator;
    SavedCamera Camera;
    SavedRun Run;  // format 3 and later; zero when read from an earlier one
};
static_assert(sizeof(SavedGame) == 48 + 236 + 36 + 80 + 264 + 32);
// The payload of formats 1 and 2, which end before the run.
inline constexpr size_t kSavedGameBytesBeforeRun = 48 + 236 + 36 + 80 + 264;
// The payload's size in a file of format `version`.
inline constexpr size_t SavedGameBytes(uint32_t version) {
    return version >= 3 ? sizeof(SavedGame) : kSavedGameBytesBeforeRun;
}
static_assert(std::is_trivially_copyable_v<SavedGame> && std::is_trivially_copyable_v<SaveHeader>);

uint64_t Fnv1a64(const void* data, size_t bytes, uint64_t hash = 14695981039346656037ull);
// The size and hash of the file at `path`; false with a message when it cannot be read.
bool ReadLevelIdentity(const std::string& path, LevelIdentity& out, std::string& error);

// The game's state at clock `now`.
SavedGame CaptureGame(const GameState& game, const Camera& view, int32_t now);
// Checks `saved` against `level` (its rooms, and the clips and animations of its character,
// movable 0) without changing anything: a load onto another level asks this before leaving
// the game being played.
// Relative clocks are kept within this age when saved: anything older means "long ago" to
// every reader of them.
inline constexpr int32_t kOldestSavedClockMs = 1 << 30;
inline constexpr float kMaxSavedMagnitude = 1e6f;
// The checksum a file of `header`'s version carries (over that version's payload).
uint64_t SaveChecksum(const SaveHeader& header, const SavedGame& game);

bool SaveFitsLevel(const SavedGame& saved, const LevelRecord& level, std::string& error);
// Puts `saved` back at clock `now`. Checks every room, record index and number first and
// changes nothing when one is out of place (false, with what was wrong in `error`): clocks
// more than a second ahead of the save or older than kOldestSavedClockMs, tick intervals
// outside 1..1000 ms, time scales outside 1/64..64, a body outside its room, and finite
// numbers no honest game reaches (beyond kMaxSavedMagnitude).
bool RestoreGame(const SavedGame& saved, const LevelMap& level, GameState& game, Camera& view, int32_t now,
                 std::string& error);

// Writes header and payload to `path` safely (files/safe_write.h).
bool WriteSaveFile(const std::string& path, const SavedGame& game, const LevelIdentity& level, int64_t savedAt,
                   std::string& error);
// A saved game is a few hundred bytes; a larger file is refused before it is read.
inline constexpr size_t kMaxSaveFileBytes = 64u << 10;
// Parses a whole file: the header, its version, size and checksum, and the level it was
// saved on. `error` names `name` and what is wrong.
bool ParseSaveFile(const std::string& bytes, const std::string& name, const LevelIdentity& level, SaveHeader& header,
                   SavedGame& out, std::string& error);
bool ReadSaveFile(const std::string& path, const LevelIdentity& level, SaveHeader& header, SavedGame& out,
                  std::string& error);
// The same for a game of several levels: accepts a game saved on any of `levels` and sets
// `level` to its index.
bool ReadSaveFile(const std::string& path, const std::vector<LevelIdentity>& levels, size_t& level, SaveHeader& header,
                  SavedGame& out, std::string& error);

}  // namespace dv
