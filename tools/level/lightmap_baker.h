// Baking the lightmaps of a compiled level: direct light from each room's lights, with
// shadows cast by the room's own surfaces, plus the room's ambient colour.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/level/level_compiler.h"

namespace dv {

// One surface triangle of a room before it goes into a sector: room-relative positions,
// texture coordinates, and coordinates (0..1) within its lightmap patch.
struct SurfaceTri {
    std::array<Vec3, 3> P;
    std::array<std::array<float, 2>, 3> Uv;
    std::array<std::array<float, 2>, 3> St;
    Vec3 Normal;
    int Patch = 0;  // triangles with one patch number share a lightmap patch
    uint16_t Texture = 0;
    uint16_t BumpTexture = 0;
    uint8_t Blend = 0;
    // Filled by the baker: the records as they go into the file.
    TriangleHeader Header{};
    TriangleVertices Verts{};
};

// Bakes every room's patches (the room lights of `level`, which must already hold the rooms'
// headers and lights) into strips of lightmap tiles, fills each triangle's records with its
// lightmap slot and coordinates, and returns the strips named after `outputPath`.
std::vector<LightmapImage> BakeLightmaps(const LevelRecord& level, std::vector<std::vector<SurfaceTri>>& rooms,
                                         const std::string& outputPath);

}  // namespace dv
