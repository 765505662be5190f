// Queries against the rooms' cell grids: cell lookup, floor and ceiling heights and slopes
// under a point (following side, below and above links), and stepped line-of-sight tests.
//
// Every query clamps the point into the given room first, so a point outside the level still
// resolves to the nearest cell of that room. All queries are allocation-free.
#pragma once

#include <cstdint>

#include "math/vecmath.h"
#include "world/level_records.h"
#include "world/visible_lights.h"

namespace dv {

class IdList;

// Result of CellInfoAt.
struct CellInfo {
    int16_t FloorFlags;
    int16_t CeilingFlags;
    float FloorReference;    // Origin.y + first floor corner height
    float CeilingReference;  // room top - first ceiling corner depth
    int16_t SideLink;        // room index + 1, 0 = none
    int16_t LinkBelow;
    int16_t LinkAbove;
    uint8_t Unused[2];
    int32_t FloorCode;
    int32_t CeilingCode;
    int32_t FloorHalf;    // 1 or 2
    int32_t CeilingHalf;  // 1 or 2
};

// Result of SurfaceQuery.
struct SurfaceHit {
    int32_t Column;
    int32_t Row;
    float Floor;
    Vec3 FloorNormal;
    float Ceiling;
    Vec3 CeilingNormal;
    uint8_t Inside;  // 1 when no clamping was needed in any room visited
    uint8_t Border;  // 1 when the floor cell lies on the outer ring of its room's grid
    int32_t Room;    // room in which the point was finally resolved
};

struct CellCoord {
    int32_t Column;
    int32_t Row;
};

struct SurfacesClosed {
    bool Floor;
    bool Ceiling;
};

// Room links are followed at most this many times per walk; a level whose links form a
// cycle gets its answer from the room reached last.
inline constexpr int kMaxRoomHops = 256;

// Samples per segment test at most; beyond that the test answers as if the rest were clear.
inline constexpr int kMaxSegmentSamples = 1 << 20;

// Cell of (x, z) in room `room` after clamping the point into the room's rectangle
// (lower bound inclusive, upper bound exclusive: a clamped coordinate lands one unit
// inside the upper edge). A room without cells yields (0, 0).
CellCoord WorldToCell(const LevelMap& level, int room, float x, float z);
// Column * CellsZ + row of the cell at (x, z).
int32_t CellIndexAt(const LevelMap& level, int room, float x, float z);
// The record of cell `cell` of `room`; null when the level has no such room, the room no
// cells, or the cell lies outside its grid.
const GridCell* CellAt(const LevelMap& level, int room, const CellCoord& cell);
// Reference heights of a cell of room `r`: the room's origin plus the first floor corner,
// and the room's top less the first ceiling corner.
float CellFloorReference(const LevelRoom& r, const GridCell& c);
float CellCeilingReference(const LevelRoom& r, const GridCell& c);
// The room a link byte names (link - 1), or -1 for none: 0, or a room the level lacks.
int LinkedRoom(const LevelMap& level, int link);
// Flags, reference heights, links, blocking codes and halves of the cell at (x, z).
// A room without cells yields an all-open record with no links.
CellInfo CellInfoAt(const LevelMap& level, int room, float x, float z);
// Whether the floor and the ceiling are closed at (x, z); code -1 closes the whole cell.
SurfacesClosed CellSurfacesClosed(const LevelMap& level, int room, float x, float z);

// Floor and ceiling under (x, z), starting in `room` and following side links and open
// links below (floor) and above (ceiling). Column, row and room are those of the last cell
// visited, which is the ceiling walk's when it climbed.
SurfaceHit SurfaceQuery(const LevelMap& level, int room, float x, float z);

// True when a sample every `step` units from `from` towards `to` lies at or beyond the floor
// or ceiling (the room follows the links the samples pass).
bool SegmentBlockedByLevel(const Vec3& from, const Vec3& to, int room, const LevelMap& level, float step);
// Light ray from `from` (the light) to `to`: false when the target itself is outside the
// open space or the ray is no longer than `step`; leading samples outside the room's space
// are skipped, then any sample strictly below the floor or above the ceiling blocks.
bool LightSegmentBlocked(const Vec3& from, const Vec3& to, int room, const LevelMap& level, float step);
// True when the segment enters the scaled, unrotated bounding box of a static object placed
// in `room`. Instances whose id or template is unknown are ignored.
bool SegmentBlockedByObjects(const Vec3& from, const Vec3& to, int room, const LevelRecord& file, const IdList& ids);

// A room of the level and its objects, standing between lights and the points they light.
struct LevelSight {
    const LevelRecord* Level = nullptr;
    const IdList* Ids = nullptr;
    int32_t Room = 0;
};
// The light occluder of world/visible_lights.h for `sight` (which must outlive it): a light
// is blocked by the level (LightSegmentBlocked, 16-unit samples) or by an object.
LightOccluder LevelLightOccluder(const LevelSight& sight);

// Cell-local evaluation, exposed for the tools and tests. Heights are raw (twentieths of a
// cell edge); corners are in the cell record's order. The normal is written.
//   floor corners: (0,31), (31,31), (31,0), (0,0); ceiling corners: (0,0), (31,0), (31,31), (0,31)
float CellFloorRaw(uint8_t shape, uint8_t flags, const int16_t corners[4], float lx, float lz, Vec3& normal);
float CellCeilingRaw(uint8_t flags, const int16_t depths[4], float lx, float lz, Vec3& normal);
// Nearest multiple of 0.01, ties to even.
float RoundToHundredth(float v);

}  // namespace dv
