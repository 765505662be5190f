#include "world/character_shadow.h"

#include <algorithm>
#include <cmath>

#include "math/geometry.h"
#include "world/level_draw.h"
#include "world/sorted_array.h"

namespace dv {

namespace {

// The soft edge's width: this much standing, growing with the height of a fall, up to a cap.
constexpr float kSoftEdge = 0.8f;
constexpr float kSoftEdgePerDrop = 0.04f;
constexpr float kMaxSoftEdge = 10.0f;
// Texels left empty around the caster, so that the clamped border reads no shadow.
constexpr float kEmptyBorderTexels = 3.0f;

struct Square {
    float MinX, MinZ, MaxX, MaxZ;
};

Square SquareOf(const ProjectedShadow& s) {
    return {s.CentreX - s.HalfSize, s.CentreZ - s.HalfSize, s.CentreX + s.HalfSize, s.CentreZ + s.HalfSize};
}

bool Overlaps(const Square& a, float minX, float minZ, float maxX, float maxZ) {
    return minX <= a.MaxX && maxX >= a.MinX && minZ <= a.MaxZ && maxZ >= a.MinZ;
}

bool TriangleOverlaps(const Square& a, const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    return Overlaps(a, std::min({p0.x, p1.x, p2.x}), std::min({p0.z, p1.z, p2.z}), std::max({p0.x, p1.x, p2.x}),
                    std::max({p0.z, p1.z, p2.z}));
}

uint32_t StrengthColour(float y, float feetY) {
    const uint32_t v = static_cast<uint32_t>(std::lround(ShadowStrength(y, feetY) * 255.0f));
    return 0xFF000000u | v << 16 | v << 8 | v;
}

// Adds the triangle when it faces up, reaches into the square and has a corner no higher than
// the feet.
void AddReceiver(const Vec3& normal, const Vec3& p0, const Vec3& p1, const Vec3& p2, const Square& square, float feetY,
                 ProjectedShadow& shadow) {
    if (!(normal.y >= kShadowMinUpward) || !TriangleOverlaps(square, p0, p1, p2)) return;
    if (std::min({p0.y, p1.y, p2.y}) > feetY + kShadowAboveFeet) return;
    ShadowVertex* v = shadow.AddReceivers(3);
    const Vec3* corners[3] = {&p0, &p1, &p2};
    for (int k = 0; k < 3; ++k) v[k] = {*corners[k], StrengthColour(corners[k]->y, feetY)};
}

void AddSectorReceivers(const SectorTriangles& sector, const Vec3& o, const Square& square, float feetY,
                        ProjectedShadow& shadow) {
    const size_t n = std::min(
        {static_cast<size_t>(std::max<int32_t>(sector.Count, 0)), sector.Triangles.size(), sector.Vertices.size()});
    for (size_t i = 0; i < n; ++i) {
        const TriangleVertices& block = sector.Vertices[i];
        // The sum the frame's own placement makes, so that the depth is the same to the bit.
        const Vec3 p0 = VecAdd(block.V[0].Position, o);
        const Vec3 p1 = VecAdd(block.V[1].Position, o);
        const Vec3 p2 = VecAdd(block.V[2].Position, o);
        AddReceiver(sector.Triangles[i].Normal, p0, p1, p2, square, feetY, shadow);
    }
}

void AddObjectReceivers(const LevelRecord& level, const LevelRoom& room, const IdList& ids, const Vec3& o,
                        const Square& square, float feetY, ProjectedShadow& shadow, ShadowScratch& scratch) {
    const size_t count = RoomInstanceCount(room);
    for (size_t i = 0; i < count; ++i) {
        PlacedObject obj;
        if (!PlaceRoomObject(level, ids, room.Instances[i], o, obj)) continue;
        const ModelRecord& mesh = *obj.Model;
        const size_t nv = mesh.Vertices.size();
        if (scratch.ObjectPositions.size() < nv) scratch.ObjectPositions.resize(nv);
        float minX = 0, minZ = 0, maxX = 0, maxZ = 0;
        for (size_t k = 0; k < nv; ++k) {
            Vec3 p = mesh.Vertices[k].Position;  // placed as the frame's object drawing does
            VecTransform(p, obj.M);
            p = VecAdd(p, obj.At);
            scratch.ObjectPositions[k] = p;
            minX = k == 0 ? p.x : std::min(minX, p.x), maxX = k == 0 ? p.x : std::max(maxX, p.x);
            minZ = k == 0 ? p.z : std::min(minZ, p.z), maxZ = k == 0 ? p.z : std::max(maxZ, p.z);
        }
        if (nv == 0 || !Overlaps(square, minX, minZ, maxX, maxZ)) continue;
        int32_t faces = 0;
        for (uint16_t run : mesh.FaceRuns) faces += run;
        faces = std::min<int32_t>(faces, static_cast<int32_t>(mesh.Faces.size()));
        for (int32_t f = 0; f < faces; ++f) {
            const ModelFace& face = mesh.Faces[static_cast<size_t>(f)];
            if (face.Vertex[0] >= nv || face.Vertex[1] >= nv || face.Vertex[2] >= nv) continue;
            const Vec3& p0 = scratch.ObjectPositions[face.Vertex[0]];
            const Vec3& p1 = scratch.ObjectPositions[face.Vertex[1]];
            const Vec3& p2 = scratch.ObjectPositions[face.Vertex[2]];
            AddReceiver(TriangleNormal(p0, p1, p2), p0, p1, p2, square, feetY, shadow);
        }
    }
}

}  // namespace

float ShadowStrength(float y, float feetY) {
    const float drop = feetY - y;
    if (std::isnan(drop)) return 0.0f;
    return 1.0f / (1.0f + std::max(drop, 0.0f) / kShadowFadeHeight);
}

bool CastCharacterShadow(const ModelRecord& mesh, const SkinnedMesh& skinned, const Vec3& at, const Mat4& m, float drop,
                         ProjectedShadow& shadow, ShadowScratch& scratch) {
    shadow.Clear();
    const size_t n = skinned.size();
    for (auto* v : {&scratch.X, &scratch.Y, &scratch.Z}) {
        if (v->size() < n) v->resize(n);
    }
    const float* k = m.m;
    float minX = INFINITY, minZ = INFINITY, maxX = -INFINITY, maxZ = -INFINITY;
    for (size_t i = 0; i < n; ++i) {
        const float x = skinned.X[i], y = skinned.Y[i], z = skinned.Z[i];
        scratch.X[i] = x * k[0] + y * k[4] + z * k[8] + k[12] + at.x;
        scratch.Y[i] = x * k[1] + y * k[5] + z * k[9] + k[13] + at.y;
        scratch.Z[i] = x * k[2] + y * k[6] + z * k[10] + k[14] + at.z;
        if (!std::isfinite(scratch.X[i]) || !std::isfinite(scratch.Y[i]) || !std::isfinite(scratch.Z[i])) continue;
        minX = std::min(minX, scratch.X[i]), maxX = std::max(maxX, scratch.X[i]);
        minZ = std::min(minZ, scratch.Z[i]), maxZ = std::max(maxZ, scratch.Z[i]);
    }
    if (!(minX <= maxX) || !(minZ <= maxZ)) return false;

    const float softEdge = std::min(kSoftEdge + std::max(drop, 0.0f) * kSoftEdgePerDrop, kMaxSoftEdge);
    const float reach = std::max(maxX - minX, maxZ - minZ) * 0.5f + softEdge;
    shadow.CentreX = (minX + maxX) * 0.5f;
    shadow.CentreZ = (minZ + maxZ) * 0.5f;
    shadow.HalfSize = std::max(reach, 1.0f) / (1.0f - 2.0f * kEmptyBorderTexels / kShadowTextureSize);
    shadow.BlurTexels = softEdge * kShadowTextureSize / (2.0f * shadow.HalfSize);

    for (const ModelFace& face : mesh.Faces) {
        size_t c[3];
        bool inside = true;
        for (int j = 0; j < 3; ++j) {
            c[j] = face.Vertex[j] < n ? skinned.SlotOf(face.Vertex[j]) : n;
            inside = inside && c[j] < n && std::isfinite(scratch.X[c[j]]) && std::isfinite(scratch.Y[c[j]]) &&
                     std::isfinite(scratch.Z[c[j]]);
        }
        if (!inside) continue;
        ShadowVertex* v = shadow.AddCaster(3);
        for (int j = 0; j < 3; ++j) v[j] = {Vec3{scratch.X[c[j]], scratch.Y[c[j]], scratch.Z[c[j]]}, 0xFFFFFFFFu};
    }
    shadow.Active = shadow.CasterCount > 0;
    return shadow.Active;
}

void CollectShadowReceivers(const LevelRecord& level, const IdList& ids, float feetY, ProjectedShadow& shadow,
                            ShadowScratch& scratch) {
    const Square square = SquareOf(shadow);
    for (const LevelRoom& room : level.Map.Rooms) {
        const RoomHeader& h = room.Header;
        const Vec3 o = h.Origin;
        if (!Overlaps(square, o.x, o.z, o.x + h.CellsX * kCellSize, o.z + h.CellsZ * kCellSize)) continue;
        if (o.y + h.MinY > feetY + kShadowAboveFeet) continue;
        for (const QuadtreeNode& node : room.Tree.Nodes) {
            if (node.Used == 0) continue;
            for (const QuadtreeLeaf& leaf : node.Children) {
                const QuadBox& b = leaf.Box;
                if (leaf.Sector.Count == 0 ||
                    !Overlaps(square, o.x + b.MinX, o.z + b.MinZ, o.x + b.MaxX, o.z + b.MaxZ)) {
                    continue;
                }
                AddSectorReceivers(leaf.Sector, o, square, feetY, shadow);
            }
        }
        AddObjectReceivers(level, room, ids, o, square, feetY, shadow, scratch);
    }
}

}  // namespace dv
