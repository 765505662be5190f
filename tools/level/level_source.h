// The parsed form of a level source (docs/level-format.md): rooms as cell maps with legends,
// their lights and objects, the start and the character pack.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/common/source_line.h"
#include "world/level_sounds.h"

namespace dv {

enum class Material : uint8_t {
    Stone,
    Brick,
    Planks,
    Metal,
    Moss,
    Sand,
    Tiles,
    Rock,
    Marble,
    Grate,
    Glow,
    Water,
    Lava,
    Falls,
    Count
};
inline constexpr int kMaterialCount = static_cast<int>(Material::Count);
const char* MaterialName(Material m);

// Corner order used throughout the compiler: south-west, south-east, north-east, north-west,
// i.e. cell-local (x, z) = (0, 0), (32, 0), (32, 32), (0, 32). Heights in clicks (1/20 cell).
struct CellDef {
    bool Solid = false, Door = false, Hole = false, Open = false, Exit = false;
    bool Split = false, CeilingSplit = false;
    int Curve = 0;  // 0 planar, 1..4 curved edge
    std::array<int, 4> Floor{0, 0, 0, 0};
    std::array<int, 4> Ceiling{0, 0, 0, 0};
    bool HasCeiling = false;                           // false: the room's top
    int FloorMat = -1, CeilingMat = -1, SideMat = -1;  // -1: the room's default
};

enum class LightType : uint8_t { Point = 0, Spot = 1, Omni = 2, Directional = 3 };

struct LightDef {
    LightType Type = LightType::Point;
    float X = 0, Z = 0, H = 0;  // cells, cells, clicks
    uint8_t Rgb[3]{255, 255, 255};
    float Dir[3]{0, -1, 0};
    float Inner = 0, Outer = 0;  // units
    bool HasCone = false;
    float InnerDeg = 0, OuterDeg = 0;
    int Width = -1;  // plain cosine spot when >= 0
    bool NoModels = false;
    int Line = 0;
};

enum class ObjectKind : uint8_t { Pillar, Crate, Torch, Statue, Grate, Glow, Count };
inline constexpr int kObjectKindCount = static_cast<int>(ObjectKind::Count);
const char* ObjectKindName(ObjectKind k);

struct ObjectDef {
    ObjectKind Kind = ObjectKind::Crate;
    float X = 0, Z = 0, H = 0;  // cells, cells, clicks
    int Turn = 0;
    int Line = 0;
};

// A looping ambience sound placed in a room ("ambience SOUND X Z H radius R [volume V]").
struct AmbienceDef {
    std::string Sound;          // sounds/amb_<Sound>.ogg
    float X = 0, Z = 0, H = 0;  // cells, cells, clicks
    float Radius = 0;           // cells
    float Volume = 1;
    int Line = 0;
};

struct RoomDef {
    std::string Name;
    int Line = 0;
    int OriginX = 0, OriginZ = 0, OriginY = 0;  // cells, cells, clicks
    int HeightCells = 4;
    uint8_t Ambient[3]{40, 40, 40};
    int FloorMat = static_cast<int>(Material::Stone);
    int CeilingMat = static_cast<int>(Material::Stone);
    int WallMat = static_cast<int>(Material::Brick);
    int CellsX = 0, CellsZ = 0;
    std::vector<CellDef> Cells;  // [x * CellsZ + z]
    std::vector<int> CellLines;  // source line of each cell's map row
    std::vector<LightDef> Lights;
    std::vector<ObjectDef> Objects;
    std::vector<AmbienceDef> Ambience;

    const CellDef& At(int x, int z) const { return Cells[static_cast<size_t>(x * CellsZ + z)]; }
    CellDef& At(int x, int z) { return Cells[static_cast<size_t>(x * CellsZ + z)]; }
    int Top() const { return OriginY + HeightCells * 20; }  // clicks
};

struct LevelSource {
    std::string FileName;
    std::vector<RoomDef> Rooms;
    std::string StartRoom;
    float StartX = 0, StartZ = 0;
    int StartLine = 0;
    std::string CharacterPath;  // as written, relative to the source's folder
    int CharacterLine = 0;
    // The footstep family of each floor material ("footstep MATERIAL SOUND" changes one).
    std::array<FloorSound, kMaterialCount> Footsteps = DefaultFootsteps();

    static std::array<FloorSound, kMaterialCount> DefaultFootsteps();
};

// Parses a level source held in memory; `fileName` names it in messages. Throws SourceError.
LevelSource ParseLevelSource(const std::string& text, const std::string& fileName);

}  // namespace dv
