// The level's sound sidecar ("<level>.snd" beside "<level>.lev"): which footstep sound each
// floor cell makes, where the ambience emitters stand, and on which frames of the character's
// clips a foot meets the ground. The level file itself knows nothing of sound; this small file
// is compiled from the same sources and read with full validation (docs/level-format.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

// The footstep families; stored as one byte per floor cell.
enum class FloorSound : uint8_t { Stone, Wood, Metal, Gravel, Water, Count };
inline constexpr int kFloorSoundCount = static_cast<int>(FloorSound::Count);
// "stone", "wood", "metal", "gravel", "water"; "?" outside the table.
const char* FloorSoundName(FloorSound sound);
// False when `name` is none of the names above.
bool FloorSoundFromName(std::string_view name, FloorSound& out);

inline constexpr char kLevelSoundsMagic[4] = {'D', 'V', 'S', 'D'};
inline constexpr uint16_t kLevelSoundsVersion = 1;
inline constexpr size_t kSoundNameBytes = 24;  // zero-padded, at least one zero
inline constexpr int kMaxFootfallsPerClip = 6;
inline constexpr uint32_t kMaxLevelSoundsCells = 1u << 22;
inline constexpr size_t kMaxLevelSoundsFileBytes = 64u << 20;

#pragma pack(push, 1)
struct LevelSoundsHeader {
    char Magic[4];
    uint16_t Version;
    uint16_t RoomCount;
    uint16_t EmitterCount;
    uint16_t FootfallClipCount;
    uint32_t CellCount;  // all rooms' cells together
    uint32_t Checksum;   // FNV-1a of every byte after the header
};
// Followed by CellsX * CellsZ FloorSound bytes, cell (x, z) at x * CellsZ + z.
struct RoomFloorHeader {
    uint16_t CellsX;
    uint16_t CellsZ;
};
struct AmbienceEmitterRecord {
    uint16_t Room;
    PackedVec3 Position;  // world units
    float Radius;         // heard up to this distance, loudest within a quarter of it
    float Volume;         // 0 .. 1
    char Sound[kSoundNameBytes];
};
struct FootfallRecord {
    int16_t Clip;
    uint8_t Count;
    uint8_t Frames[kMaxFootfallsPerClip];
    uint8_t Unused;
};
#pragma pack(pop)
static_assert(sizeof(LevelSoundsHeader) == 20);
static_assert(sizeof(RoomFloorHeader) == 4);
static_assert(sizeof(AmbienceEmitterRecord) == 46);
static_assert(sizeof(FootfallRecord) == 10);

struct RoomFloorSounds {
    int32_t CellsX = 0;
    int32_t CellsZ = 0;
    std::vector<FloorSound> Cells;  // [x * CellsZ + z]
};

struct AmbienceEmitter {
    int32_t Room = 0;
    Vec3 Position{};
    float Radius = 0;
    float Volume = 1;
    std::string Sound;  // [a-z0-9_], 1 .. 23 characters
};

struct ClipFootfalls {
    int32_t Clip = 0;
    std::vector<int32_t> Frames;  // ascending
};

struct LevelSounds {
    std::vector<RoomFloorSounds> Rooms;
    std::vector<AmbienceEmitter> Emitters;
    std::vector<ClipFootfalls> Footfalls;  // ascending clip ids

    // The footstep family of cell (x, z) of `room`; stone outside the known cells.
    FloorSound FloorAt(int32_t room, int32_t x, int32_t z) const;
    // The footfall frames of `clip`, or null when it has none.
    const ClipFootfalls* FootfallsOf(int32_t clip) const;
};

// The sidecar beside `levelPath`: its extension (if any) replaced by ".snd".
std::string LevelSoundsPath(const std::string& levelPath);

// True when `name` is 1 .. 23 characters of a-z, 0-9 and '_'.
bool IsValidSoundName(std::string_view name);

// Parses a sidecar. False with `error` set to "<name>: offset <n>: <what>" on any fault.
bool ParseLevelSounds(const uint8_t* data, size_t size, const std::string& name, LevelSounds& out, std::string& error);
bool LoadLevelSoundsFile(const std::string& path, LevelSounds& out, std::string& error);
// Checks that the floor grids match the level's rooms and the emitters name its rooms.
bool CheckLevelSoundsFit(const LevelSounds& sounds, const LevelMap& map, const std::string& name, std::string& error);
// The file's bytes. False (with `error`) when the contents cannot be stored (a name too long,
// too many footfalls or records, a grid that does not match its size).
bool SerializeLevelSounds(const LevelSounds& sounds, std::vector<uint8_t>& out, std::string& error);
// Writes the file safely (files/safe_write.h).
bool WriteLevelSoundsFile(const std::string& path, const LevelSounds& sounds, std::string& error);

}  // namespace dv
