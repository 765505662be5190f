// Operations on the loaded rooms shared by the renderer, the collision code and the shell.
#pragma once

#include <cstring>

#include "world/level_records.h"

namespace dv {

// Rebuilds `list` for room `roomIndex`: entry 0 the room's ambient term, entries 1..n its
// light sources, positioned at their room-relative place + (ox, oy, oz). Reuses the list's
// storage; indices are not checked.
void BuildRoomLights(const LevelRecord& level, int roomIndex, LightList& list, float ox, float oy, float oz);

// Appends the sector's triangles and vertex blocks to a list of the same shape
// (SectorTriangles or TriangleBuffer). The sector is not modified.
template <class List>
void AppendSector(List& list, const SectorTriangles& sector) {
    const int32_t old = list.Count;
    list.Count = old + sector.Count;
    list.Triangles.resize(static_cast<size_t>(list.Count));
    list.Vertices.resize(static_cast<size_t>(list.Count));
    if (sector.Count == 0) return;
    std::memcpy(&list.Triangles[static_cast<size_t>(old)], sector.Triangles.data(),
                static_cast<size_t>(sector.Count) * sizeof(TriangleHeader));
    std::memcpy(&list.Vertices[static_cast<size_t>(old)], sector.Vertices.data(),
                static_cast<size_t>(sector.Count) * sizeof(TriangleVertices));
}

// Which floor half (1 or 2) of cell [x][z] of the room the in-cell point (u, w) lies in;
// u and w run 0..32 along x and z.
int CellFloorHalf(int x, int z, int roomIndex, const LevelMap& map, float u, float w);
// The same for the ceiling, with the opposite assignment of the halves.
int CellCeilingHalf(int x, int z, int roomIndex, const LevelMap& map, float u, float w);

}  // namespace dv
