#include "tools/level/lightmap_baker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "math/lighting.h"
#include "world/level_file.h"
#include "world/room_model.h"

namespace dv {

namespace {

constexpr int kPatch = 8;                               // texels per patch side
constexpr int kPatchesPerRow = kLightmapTile / kPatch;  // per tile side
constexpr int kPatchesPerTile = kPatchesPerRow * kPatchesPerRow;

struct Occluder {
    Vec3 a, e1, e2;
    Vec3 lo, hi;
};

Occluder MakeOccluder(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    Occluder o;
    o.a = p0;
    o.e1 = VecSub(p1, p0);
    o.e2 = VecSub(p2, p0);
    o.lo = {std::min({p0.x, p1.x, p2.x}), std::min({p0.y, p1.y, p2.y}), std::min({p0.z, p1.z, p2.z})};
    o.hi = {std::max({p0.x, p1.x, p2.x}), std::max({p0.y, p1.y, p2.y}), std::max({p0.z, p1.z, p2.z})};
    return o;
}

// True when the open segment from -> to crosses the triangle.
bool SegmentHits(const Occluder& o, const Vec3& from, const Vec3& dir) {
    const Vec3 p = VecCross(dir, o.e2);
    const float det = VecDot(o.e1, p);
    if (std::fabs(det) < 1e-9f) return false;
    const float inv = 1.0f / det;
    const Vec3 s = VecSub(from, o.a);
    const float u = VecDot(s, p) * inv;
    if (u < 0 || u > 1) return false;
    const Vec3 q = VecCross(s, o.e1);
    const float v = VecDot(dir, q) * inv;
    if (v < 0 || u + v > 1) return false;
    const float t = VecDot(o.e2, q) * inv;
    return t > 1e-4f && t < 1 - 1e-4f;
}

bool Blocked(const std::vector<Occluder>& occ, const Vec3& from, const Vec3& to) {
    const Vec3 dir = VecSub(to, from);
    const Vec3 lo{std::min(from.x, to.x), std::min(from.y, to.y), std::min(from.z, to.z)};
    const Vec3 hi{std::max(from.x, to.x), std::max(from.y, to.y), std::max(from.z, to.z)};
    for (const Occluder& o : occ) {
        if (o.hi.x < lo.x || o.lo.x > hi.x || o.hi.y < lo.y || o.lo.y > hi.y || o.hi.z < lo.z || o.lo.z > hi.z)
            continue;
        if (SegmentHits(o, from, dir)) return true;
    }
    return false;
}

// World point and normal of patch coordinate (s, t): the triangle of the patch that holds it
// (or the nearest one), interpolated barycentrically.
bool PatchPoint(const std::vector<const SurfaceTri*>& tris, float s, float t, const Vec3& origin, Vec3& pos,
                Vec3& normal) {
    float best = -1e9f;
    for (const SurfaceTri* tri : tris) {
        const auto& a = tri->St[0];
        const auto& b = tri->St[1];
        const auto& c = tri->St[2];
        const float den = (b[1] - c[1]) * (a[0] - c[0]) + (c[0] - b[0]) * (a[1] - c[1]);
        if (std::fabs(den) < 1e-9f) continue;
        float l0 = ((b[1] - c[1]) * (s - c[0]) + (c[0] - b[0]) * (t - c[1])) / den;
        float l1 = ((c[1] - a[1]) * (s - c[0]) + (a[0] - c[0]) * (t - c[1])) / den;
        float l2 = 1 - l0 - l1;
        const float worst = std::min({l0, l1, l2});
        if (worst <= best) continue;
        best = worst;
        l0 = std::max(l0, 0.0f);
        l1 = std::max(l1, 0.0f);
        l2 = std::max(l2, 0.0f);
        const float sum = l0 + l1 + l2;
        const Vec3 p =
            VecAdd(VecAdd(VecScale(tri->P[0], l0 / sum), VecScale(tri->P[1], l1 / sum)), VecScale(tri->P[2], l2 / sum));
        pos = VecAdd(p, origin);
        normal = tri->Normal;
    }
    return best > -1e8f;
}

// Lit colour to lightmap byte. The lightmap is doubled when it modulates the texture, so a
// fully lit texel shows the texture a little above its own brightness.
uint8_t ToByte(float v) { return static_cast<uint8_t>(std::clamp(std::lround(v * 176.0f), 0L, 255L)); }

}  // namespace

std::vector<LightmapImage> BakeLightmaps(const LevelRecord& level, std::vector<std::vector<SurfaceTri>>& rooms,
                                         const std::string& outputPath) {
    // Global patch numbers: each room's patches follow the previous room's.
    std::vector<int> firstPatch(rooms.size() + 1, 0);
    for (size_t r = 0; r < rooms.size(); ++r) {
        int count = 0;
        for (const SurfaceTri& t : rooms[r]) count = std::max(count, t.Patch + 1);
        firstPatch[r + 1] = firstPatch[r] + count;
    }
    const int totalPatches = std::max(firstPatch.back(), 1);
    const int tiles = (totalPatches + kPatchesPerTile - 1) / kPatchesPerTile;
    if (tiles > kMaxLightmapTiles)
        throw std::runtime_error(outputPath + ": the level needs " + std::to_string(tiles) +
                                 " lightmap tiles, at most " + std::to_string(kMaxLightmapTiles) + " fit");
    const int strips = (tiles + kLightmapTilesPerStrip - 1) / kLightmapTilesPerStrip;
    const std::string base = LightmapBaseName(outputPath);
    std::vector<LightmapImage> images(static_cast<size_t>(strips));
    for (int i = 0; i < strips; ++i) {
        LightmapImage& img = images[static_cast<size_t>(i)];
        img.FileName = LightmapFileName(base, i);
        const int inStrip = std::min(kLightmapTilesPerStrip, tiles - i * kLightmapTilesPerStrip);
        img.Width = kLightmapTile;
        img.Height = kLightmapTile * inStrip;
        img.Rgb.assign(static_cast<size_t>(img.Width) * img.Height * 3, 0);
    }

    LightList lights;
    for (size_t r = 0; r < rooms.size(); ++r) {
        const Vec3 origin = level.Map.Rooms[r].Header.Origin;
        BuildRoomLights(level, static_cast<int>(r), lights, origin.x, origin.y, origin.z);
        std::vector<Occluder> occ;
        std::map<int, std::vector<const SurfaceTri*>> patches;
        for (const SurfaceTri& t : rooms[r]) {
            occ.push_back(MakeOccluder(VecAdd(t.P[0], origin), VecAdd(t.P[1], origin), VecAdd(t.P[2], origin)));
            patches[t.Patch].push_back(&t);
        }
        for (const auto& [local, tris] : patches) {
            const int g = firstPatch[r] + local;
            const int tile = g / kPatchesPerTile, inTile = g % kPatchesPerTile;
            const int px = (inTile % kPatchesPerRow) * kPatch, py = (inTile / kPatchesPerRow) * kPatch;
            LightmapImage& img = images[static_cast<size_t>(tile / kLightmapTilesPerStrip)];
            const int yBase = (tile % kLightmapTilesPerStrip) * kLightmapTile + py;
            for (int j = 0; j < kPatch; ++j) {
                for (int i = 0; i < kPatch; ++i) {
                    Vec3 pos{}, normal{0, 1, 0};
                    if (!PatchPoint(tris, static_cast<float>(i) / (kPatch - 1), static_cast<float>(j) / (kPatch - 1),
                                    origin, pos, normal))
                        continue;
                    const Vec3 lifted = VecAdd(pos, VecScale(normal, 0.3f));
                    Vec3 colour{0, 0, 0};
                    for (int k = 0; k < lights.Count; ++k) {
                        const LightRecord& rec = lights.Items[static_cast<size_t>(k)];
                        Vec3 c{0, 0, 0};
                        LightVertex(pos, normal, c, rec, lifted);
                        if (c.x + c.y + c.z <= 0) continue;
                        if (k > 0 && rec.Kind != LightKind::Directional &&
                            Blocked(occ, lifted, {rec.Position.x, rec.Position.y, rec.Position.z}))
                            continue;
                        colour = VecAdd(colour, c);
                    }
                    uint8_t* out = &img.Rgb[(static_cast<size_t>(yBase + j) * img.Width + px + i) * 3];
                    out[0] = ToByte(colour.x);
                    out[1] = ToByte(colour.y);
                    out[2] = ToByte(colour.z);
                }
            }
        }
        // The records of every triangle, with its lightmap coordinates.
        for (SurfaceTri& t : rooms[r]) {
            const int g = firstPatch[r] + t.Patch;
            const int tile = g / kPatchesPerTile, inTile = g % kPatchesPerTile;
            const float px = static_cast<float>((inTile % kPatchesPerRow) * kPatch);
            const float py = static_cast<float>((inTile / kPatchesPerRow) * kPatch);
            TriangleHeader& h = t.Header;
            std::memset(&h, 0, sizeof h);
            h.Texture = t.Texture;
            h.BumpTexture = t.BumpTexture;
            h.Lightmap = static_cast<uint16_t>(kLightmapFirstSlot + tile);
            h.BlendType = t.Blend;
            h.Layers = 2;
            h.Normal = t.Normal;
            for (int k = 0; k < 3; ++k) {
                Vertex3D& v = t.Verts.V[k];
                std::memset(&v, 0, sizeof v);
                v.Position = t.P[k];
                v.Diffuse = 0xFF000000u;  // the lightmap is added to it before the texture modulates
                v.U = v.BumpU = t.Uv[k][0];
                v.V = v.BumpV = t.Uv[k][1];
                v.LightU = (px + 0.5f + t.St[k][0] * (kPatch - 1)) / kLightmapTile;
                v.LightV = (py + 0.5f + t.St[k][1] * (kPatch - 1)) / kLightmapTile;
            }
        }
    }
    return images;
}

}  // namespace dv
