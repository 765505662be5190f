// How a grid cell's stored corner heights, flags and shape make its floor and ceiling. The
// collision queries read cells with these rules and the level compiler writes and draws them
// with the same ones, so what a player stands on is what they see.
#pragma once

#include <cstdint>

#include "world/level_records.h"

namespace dv {

// Bits of GridCell::FloorFlags and CeilingFlags.
inline constexpr uint8_t kCellOtherDiagonal = 1;  // the surface's two triangles meet on the other diagonal
inline constexpr uint8_t kCellLevelledEdge = 4;   // floor: the diagonal edge is level

// The floor without kCellOtherDiagonal is split on the diagonal from (0, 0) to (31, 31) of the
// cell's local grid (north-west to south-east), with it on the other one; the ceiling the
// other way round.
inline bool FloorOnMainDiagonal(uint8_t floorFlags) { return (floorFlags & kCellOtherDiagonal) == 0; }
inline bool CeilingOnMainDiagonal(uint8_t ceilingFlags) { return (ceilingFlags & kCellOtherDiagonal) != 0; }
inline bool FloorEdgeLevelled(uint8_t floorFlags) { return (floorFlags & kCellLevelledEdge) != 0; }

// Floor shapes: 0 two triangles through the four corners; 1..8 two flat areas divided by a
// quadratic curve (5..8 repeat 1..4); above 8 flat at the first corner's height.
inline constexpr uint8_t kFloorShapePlane = 0;
inline constexpr uint8_t kLastCurvedFloorShape = 8;
// Which of the four curves (1..4) a curved shape uses.
inline int FloorCurveOf(uint8_t shape) { return (shape - 1) % 4 + 1; }

// A stored height (1/kHeightStepsPerCell of a cell edge) in world units.
inline float HeightToUnits(double raw) { return static_cast<float>(raw / kHeightStepsPerCell * kCellSize); }

}  // namespace dv
