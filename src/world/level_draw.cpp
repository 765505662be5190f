#include "world/level_draw.h"

#include <algorithm>
#include <cmath>

#include "math/geometry.h"
#include "math/lighting.h"
#include "render/viewport.h"
#include "world/room_model.h"
#include "world/sorted_array.h"

namespace dv {

namespace {

constexpr float kObjectScale = 3.2f;

Vec3 PlaneNormal(const Plane& p) { return VecMake(p.a, p.b, p.c); }

// Brings each colour byte of a vertex towards the fog colour by (r - fog start) / (D - fog start).
void ApplySoftwareFog(TriangleVertices& block, float r, const LevelDrawTarget& t) {
    const float span = t.ViewDistance - t.FogStart;
    // Diffuse bytes are blue, green, red, alpha from the lowest byte up.
    const int fog[3] = {t.FogBlue & ~3, t.FogGreen & ~3, t.FogRed & ~3};
    for (Vertex3D& v : block.V) {
        uint32_t colour = v.Diffuse;
        for (int ch = 0; ch < 3; ++ch) {
            const int shift = 8 * ch;
            const int k = static_cast<int>((colour >> shift) & 0xFF);
            const int f = fog[ch];
            int out = f;  // a fog band of zero width fogs completely
            if (span > 0.0f) {
                const double fogged = k + static_cast<double>(k - f) / span * (t.FogStart - r);
                out = static_cast<int>(TruncToInt(static_cast<float>(fogged)));
            }
            out = std::clamp(out, 0, 255);
            colour = (colour & ~(0xFFu << shift)) | (static_cast<uint32_t>(out) << shift);
        }
        v.Diffuse = colour;
    }
}

// The specular colour that carries the bump direction for the dot-product stage.
uint32_t BumpColour(const Vec3& normal, const Vec3& view) {
    Vec3 s = VecCross(normal, view);
    s.x = std::clamp(s.x, -0.75f, 0.75f);
    s.y = std::clamp(s.y, -0.75f, 0.75f);
    s.z = std::clamp(s.z, -0.75f, 0.75f);
    const Vec3 w = VecMajorAxis(normal) == 1 ? VecMake(s.z, s.x, 0.4f) : VecMake(s.y, s.x, 0.4f);
    return NormalToColor(w);
}

void SetBumpColour(TriangleVertices& block, const Vec3& normal, const Vec3& view) {
    const uint32_t c = BumpColour(normal, view);
    for (Vertex3D& v : block.V) v.Specular = c;
}

// Frustum, back side and distance tests shared by sectors and meshes; r is the distance of
// the farthest vertex from the eye. False when the triangle is to be dropped.
bool KeepTriangle(const Vec3& normal, const Vec3& p0, const Vec3& p1, const Vec3& p2, const LevelDrawTarget& t,
                  const Frustum& frustum, float& r) {
    if (!TriangleInFrustum(p0, p1, p2, frustum)) return false;
    const float d = PlaneOffset(normal, p0);
    if (PointSide(normal, t.Eye, d) == -1) return false;
    r = TriangleRadius(p0, p1, p2, t.Eye);
    return r <= t.ViewDistance;
}

void RemoveSwapLast(SectorTriangles& list, int32_t i) {
    const int32_t last = list.Count - 1;
    if (i != last) {
        list.Triangles[i] = list.Triangles[last];
        list.Vertices[i] = list.Vertices[last];
    }
    list.Count = last;
}

void AddToViewport(void* user, const TriangleHeader* t, const TriangleVertices* v, int32_t n) {
    static_cast<Viewport*>(user)->AddTriangles(t, v, n);
}

void AppendTo(const LevelDrawTarget& t, const TriangleHeader* tris, const TriangleVertices* verts, int32_t n) {
    if (n > 0 && t.Append != nullptr) t.Append(t.User, tris, verts, n);
}

// The mesh's vertices placed in the world: positions, normals and their bounding box.
// Colours are lit on first use, since most frames draw only part of the mesh.
void PlaceMeshVertices(const ModelVertices& source, const Vec3& at, const Mat4& m, LevelDrawScratch& s) {
    const size_t nv = source.size();
    if (s.Positions.size() < nv) {
        s.Positions.resize(nv);
        s.Normals.resize(nv);
        s.Colours.resize(nv);
        s.Lit.resize(nv);
    }
    std::fill_n(s.Lit.begin(), nv, uint8_t{0});
    Vec3 lo{0, 0, 0}, hi{0, 0, 0};
    bool finite = true;
    for (size_t i = 0; i < nv; ++i) {
        const ModelVertex& v = source[i];
        Vec3 p = v.Position;
        VecTransform(p, m);
        p = VecAdd(p, at);
        const Vec3& n0 = v.Normal;
        s.Positions[i] = p;
        s.Normals[i] = {n0.x * m.m[0] + n0.y * m.m[4] + n0.z * m.m[8], n0.x * m.m[1] + n0.y * m.m[5] + n0.z * m.m[9],
                        n0.x * m.m[2] + n0.y * m.m[6] + n0.z * m.m[10]};
        finite = finite && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
        lo = i == 0 ? p : Vec3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = i == 0 ? p : Vec3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    s.LightReaches.resize(s.LightCount);
    for (int32_t l = 0; l < s.LightCount; ++l) {
        s.LightReaches[static_cast<size_t>(l)] = !(finite && PointLightMissesBox(s.MeshLights[l], lo, hi));
    }
}

// The lit colour of vertex `i`, computed once per mesh placement: every light in order, with
// the vertex gloss added to its specular intensity. A light that cannot reach the mesh adds
// only its constant terms, as LightVertex would.
const Vec3& VertexColour(const ModelVertex& v, size_t i, const Vec3& eye, LevelDrawScratch& s) {
    Vec3& colour = s.Colours[i];
    if (s.Lit[i] != 0) return colour;
    colour = {0, 0, 0};
    const float gloss = static_cast<float>(v.Gloss) / 255.0f;
    for (int32_t l = 0; l < s.LightCount; ++l) {
        const LightRecord& light = s.MeshLights[l];
        if (s.LightReaches[static_cast<size_t>(l)]) {
            LightVertex(s.Positions[i], s.Normals[i], colour, light, eye, light.SpecularIntensity + gloss);
        } else {
            LightVertexConstantOnly(colour, light);
        }
    }
    s.Lit[i] = 1;
    return colour;
}

uint32_t ColourToDiffuse(const Vec3& c) {
    const auto byte = [](float x) { return static_cast<uint32_t>(TruncToInt64(x * 255.0) & 0xFF); };
    return byte(c.z) | byte(c.y) << 8 | byte(c.x) << 16;
}

// Fills the header and vertex triple of a kept face.
void BuildFace(const ModelFace& face, int32_t baseSlot, const Vec3& normal, const ModelVertices& source,
               const LevelDrawTarget& t, LevelDrawScratch& s, TriangleHeader& tri, TriangleVertices& block) {
    tri = TriangleHeader{};
    block = TriangleVertices{};
    tri.Texture =
        face.Texture < 0 ? static_cast<uint16_t>(face.Texture) : static_cast<uint16_t>(baseSlot + face.Texture);
    tri.BlendType = face.Blend;
    tri.Layers = 1;
    tri.Normal = normal;
    for (int k = 0; k < 3; ++k) {
        const uint16_t vi = face.Vertex[k];
        Vertex3D& out3 = block.V[k];
        out3.Position = s.Positions[vi];
        out3.U = face.Uv[k][0];
        out3.V = face.Uv[k][1];
        out3.BumpU = face.BumpUv[k][0];
        out3.BumpV = face.BumpUv[k][1];
        out3.Diffuse = ColourToDiffuse(VertexColour(source[vi], vi, t.Eye, s));
    }
}

// Transforms a mesh, then builds its kept faces [0, faceCount) into `out`, lighting only the
// vertices those faces use.
void DrawMesh(int32_t baseSlot, int32_t bumpSlotBase, const ModelRecord& mesh, const ModelVertices& source,
              int32_t faceCount, const Vec3& at, const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& t,
              const Frustum& frustum, const LightList& lights, LevelDrawScratch& scratch) {
    const size_t nv = source.size();
    scratch.MeshLights = lights.Items.data();
    scratch.LightCount =
        std::min<int32_t>(std::max<int32_t>(lights.Count, 0), static_cast<int32_t>(lights.Items.size()));
    PlaceMeshVertices(source, at, m, scratch);

    const int32_t faces = std::max<int32_t>(std::min<int32_t>(faceCount, static_cast<int32_t>(mesh.Faces.size())), 0);
    if (out.Triangles.size() < static_cast<size_t>(faces)) {
        out.Triangles.resize(static_cast<size_t>(faces));
        out.Vertices.resize(static_cast<size_t>(faces));
    }
    int32_t g = 0;
    for (int32_t f = 0; f < faces; ++f) {
        const ModelFace& face = mesh.Faces[static_cast<size_t>(f)];
        if (face.Vertex[0] >= nv || face.Vertex[1] >= nv || face.Vertex[2] >= nv) continue;
        const Vec3& p0 = scratch.Positions[face.Vertex[0]];
        const Vec3& p1 = scratch.Positions[face.Vertex[1]];
        const Vec3& p2 = scratch.Positions[face.Vertex[2]];
        const Vec3 normal = TriangleNormal(p0, p1, p2);
        float r = 0.0f;
        if (!KeepTriangle(normal, p0, p1, p2, t, frustum, r)) continue;
        TriangleHeader& tri = out.Triangles[static_cast<size_t>(g)];
        TriangleVertices& block = out.Vertices[static_cast<size_t>(g)];
        BuildFace(face, baseSlot, normal, source, t, scratch, tri, block);
        if (face.BumpFlag != 0 && bumpSlotBase >= 0 && r < 0.1f * t.ViewDistance) {
            tri.BumpTexture = static_cast<uint16_t>(face.BumpTexture + bumpSlotBase);
            tri.BumpFlag = 1;
            SetBumpColour(block, tri.Normal, t.ViewDirection);
        }
        FogAndSortKey(tri, block, r, t);
        ++g;
    }
    out.Count = g;
}

int32_t FaceRunTotal(const ModelRecord& mesh) {
    int32_t sum = 0;
    for (uint16_t run : mesh.FaceRuns) sum += run;
    return sum;
}

// A portal on the current descent: (room, portal index).
struct PortalStep {
    int Room;
    int Portal;
};

struct Descent {
    PortalStep Steps[kMaxPortalDepth];
    int Depth = 0;
    bool Contains(int room, int portal) const {
        for (int i = 0; i < Depth; ++i)
            if (Steps[i].Room == room && Steps[i].Portal == portal) return true;
        return false;
    }
};

// PrepareSectorTriangles without shrinking the arrays to the kept count.
void PrepareSectorKeepingSize(SectorTriangles& list, const Vec3& o, const LevelDrawTarget& target,
                              const Frustum& frustum) {
    int32_t i = 0;
    while (i < list.Count) {
        TriangleHeader& tri = list.Triangles[static_cast<size_t>(i)];
        TriangleVertices& block = list.Vertices[static_cast<size_t>(i)];
        for (Vertex3D& v : block.V) v.Position = VecAdd(v.Position, o);
        float r = 0.0f;
        if (!KeepTriangle(tri.Normal, block.V[0].Position, block.V[1].Position, block.V[2].Position, target, frustum,
                          r)) {
            RemoveSwapLast(list, i);
            continue;
        }
        FogAndSortKey(tri, block, r, target);
        if (tri.Texture <= target.LevelLimit && r < 0.75f * target.ViewDistance) {
            tri.BumpFlag = 1;
            SetBumpColour(block, tri.Normal, target.ViewDirection);
        }
        ++i;
    }
}

// Copies a sector into the work list, whose arrays only grow (no zero-filling per frame).
void CopySector(const SectorTriangles& sector, SectorTriangles& list) {
    const size_t n = std::min(
        {static_cast<size_t>(std::max<int32_t>(sector.Count, 0)), sector.Triangles.size(), sector.Vertices.size()});
    if (list.Triangles.size() < n) {
        list.Triangles.resize(n);
        list.Vertices.resize(n);
    }
    std::copy_n(sector.Triangles.begin(), n, list.Triangles.begin());
    std::copy_n(sector.Vertices.begin(), n, list.Vertices.begin());
    list.Count = static_cast<int32_t>(n);
}

bool NodeVisible(const QuadBox& box, const Vec3& o, const LevelRoom& r, const LevelDrawTarget& t, const Frustum& f) {
    const Vec3 lo{o.x + box.MinX, o.y + r.Header.MinY, o.z + box.MinZ};
    const Vec3 hi{o.x + box.MaxX, o.y + r.Header.MaxY, o.z + box.MaxZ};
    return BoxInFrustum(lo, hi, f) && BoxCornerInSphere(lo, hi, t.Eye, t.ViewDistance);
}

void DrawSectors(const LevelRoom& r, const Vec3& o, const LevelDrawTarget& t, const Frustum& f, LevelDrawScratch& s) {
    for (const QuadtreeNode& node : r.Tree.Nodes) {
        if (node.Used == 0 || !NodeVisible(node.Box, o, r, t, f)) continue;
        for (const QuadtreeLeaf& child : node.Children) {
            if (child.Sector.Count == 0 || !NodeVisible(child.Box, o, r, t, f)) continue;
            CopySector(child.Sector, s.Sector);
            PrepareSectorKeepingSize(s.Sector, o, t, f);
            AppendTo(t, s.Sector.Triangles.data(), s.Sector.Vertices.data(), s.Sector.Count);
        }
    }
}

void DrawObjects(const LevelRecord& level, const LevelRoom& r, const IdList& ids, const Vec3& o,
                 const LevelDrawTarget& t, const Frustum& f, LevelDrawScratch& s) {
    s.Objects.Count = 0;
    const size_t count = RoomInstanceCount(r);
    for (size_t i = 0; i < count; ++i) {
        PlacedObject obj;
        if (!PlaceRoomObject(level, ids, r.Instances[i], o, obj)) continue;
        const ModelRecord& mesh = *obj.Model;
        if (!TransformedBoxInFrustum(mesh.BoundsMin, mesh.BoundsMax, obj.M, f, obj.At)) continue;
        DrawLevelObject(obj.Template->TextureSlot, obj.Template->BumpSlotBase, mesh, obj.At.x, obj.At.y, obj.At.z,
                        obj.M, s.Objects, t, t.ViewFrustum, s.Lights, &s);
        AppendTo(t, s.Objects.Triangles.data(), s.Objects.Vertices.data(), s.Objects.Count);
    }
}

// Planes 0..4 seen through the portal, plane 5 from `f`; each side pair is replaced by f's
// when f's pair is the narrower wedge (its normals more opposed).
Frustum NarrowedFrustum(const Portal& p, const LevelDrawTarget& t, const Frustum& f) {
    Frustum n{};
    PortalFrustum(p.Corners[0], p.Corners[1], p.Corners[2], p.Corners[3], t.Eye, t.FarPlane, n);
    n.Planes[5] = f.Planes[5];
    for (int pair = 0; pair < 4; pair += 2) {
        const float narrowDot = VecDot(PlaneNormal(n.Planes[pair]), PlaneNormal(n.Planes[pair + 1]));
        const float outerDot = VecDot(PlaneNormal(f.Planes[pair]), PlaneNormal(f.Planes[pair + 1]));
        if (narrowDot > outerDot) {
            n.Planes[pair] = f.Planes[pair];
            n.Planes[pair + 1] = f.Planes[pair + 1];
        }
    }
    return n;
}

void DrawRoom(const LevelRecord& level, int room, const IdList& ids, const Vec3& o, const LevelDrawTarget& t,
              const Frustum& frustum, bool recurse, LevelDrawScratch& s, Descent& descent) {
    const LevelRoom& r = level.Map.Rooms[static_cast<size_t>(room)];
    const Frustum f = frustum;
    DrawSectors(r, o, t, f, s);
    BuildRoomLights(level, room, s.Lights, o.x, o.y, o.z);
    DrawObjects(level, r, ids, o, t, f, s);
    if (!recurse || descent.Depth >= kMaxPortalDepth) return;

    const int rooms = static_cast<int>(level.Map.Rooms.size());
    for (size_t i = 0; i < r.Portals.size(); ++i) {
        const Portal& p = r.Portals[i];
        const Vec3 c[4] = {p.Corners[0], p.Corners[1], p.Corners[2], p.Corners[3]};
        if (!QuadInFrustum(c[0], c[1], c[2], c[3], f)) continue;
        if (PointSideOfPlaneThrough(p.Facing, c[0], t.Eye) < 0) continue;
        if (QuadRadius(c[0], c[1], c[2], c[3], t.Eye) > t.ViewDistance) continue;
        if (p.TargetRoom >= rooms || descent.Contains(room, static_cast<int>(i))) continue;
        const Frustum n = NarrowedFrustum(p, t, f);
        descent.Steps[descent.Depth++] = {room, static_cast<int>(i)};
        DrawRoom(level, p.TargetRoom, ids, p.TargetOrigin, t, n, true, s, descent);
        --descent.Depth;
    }
}

}  // namespace

void PlaceObjectInstance(const ObjectInstance& instance, const Vec3& roomOrigin, Mat4& m, Vec3& at) {
    m = MatIdentity();
    MatScale(m, kObjectScale, kObjectScale, kObjectScale);
    MatRotateAngles(m, false, 0.0f, 45.0f * instance.Turn, 0.0f);
    at = VecAdd(roomOrigin, VecScale(instance.Position, kCellSize));
}

bool PlaceRoomObject(const LevelRecord& level, const IdList& ids, const ObjectInstance& instance,
                     const Vec3& roomOrigin, PlacedObject& out) {
    const int32_t ti = ids.IndexOf(instance.ObjectId);
    if (ti < 0 || ti >= static_cast<int32_t>(level.Objects.size())) return false;
    const ObjectTemplate& tmpl = level.Objects[static_cast<size_t>(ti)];
    if (tmpl.ModelIndex < 0 || tmpl.ModelIndex >= static_cast<int32_t>(level.Models.size())) return false;
    out.Template = &tmpl;
    out.Model = &level.Models[static_cast<size_t>(tmpl.ModelIndex)];
    PlaceObjectInstance(instance, roomOrigin, out.M, out.At);
    return true;
}

size_t RoomInstanceCount(const LevelRoom& room) {
    return std::min(static_cast<size_t>(std::max<int32_t>(room.InstanceCount, 0)), room.Instances.size());
}

void FogAndSortKey(TriangleHeader& tri, TriangleVertices& block, float r, const LevelDrawTarget& t) {
    if (!t.HardwareFog && r >= t.FogStart) ApplySoftwareFog(block, r, t);
    tri.SortKey = -r;
}

void PrepareSectorTriangles(SectorTriangles& list, float ox, float oy, float oz, const LevelDrawTarget& target,
                            const Frustum& frustum) {
    PrepareSectorKeepingSize(list, {ox, oy, oz}, target, frustum);
    list.Triangles.resize(static_cast<size_t>(list.Count));
    list.Vertices.resize(static_cast<size_t>(list.Count));
}

void DrawLevelObject(int32_t baseSlot, int32_t bumpSlotBase, const ModelRecord& mesh, float px, float py, float pz,
                     const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& target, const Frustum& frustum,
                     const LightList& lights, LevelDrawScratch* scratch) {
    LevelDrawScratch local;
    LevelDrawScratch& s = scratch != nullptr ? *scratch : local;
    DrawMesh(baseSlot, bumpSlotBase, mesh, mesh.Vertices, FaceRunTotal(mesh), {px, py, pz}, m, out, target, frustum,
             lights, s);
}

void DrawMovableModel(int32_t baseSlot, int32_t bumpSlotBase, const ModelRecord& mesh, float px, float py, float pz,
                      const Mat4& m, TriangleBuffer& out, const LevelDrawTarget& target, const Frustum& frustum,
                      const LightList& lights, const ModelVertices* vertices, LevelDrawScratch* scratch) {
    LevelDrawScratch local;
    LevelDrawScratch& s = scratch != nullptr ? *scratch : local;
    const ModelVertices& source = vertices != nullptr ? *vertices : mesh.Vertices;
    DrawMesh(baseSlot, bumpSlotBase, mesh, source, static_cast<int32_t>(mesh.Faces.size()), {px, py, pz}, m, out,
             target, frustum, lights, s);
}

void DrawLevelRoom(const LevelRecord& level, int room, const IdList& ids, float ox, float oy, float oz,
                   const LevelDrawTarget& target, const Frustum& frustum, bool recurse, LevelDrawScratch* scratch) {
    LevelDrawScratch local;
    LevelDrawScratch& s = scratch != nullptr ? *scratch : local;
    Descent descent;
    DrawRoom(level, room, ids, {ox, oy, oz}, target, frustum, recurse, s, descent);
}

LevelDrawTarget ViewportDrawTarget(Viewport& viewport) {
    LevelDrawTarget t;
    if (const Camera* camera = viewport.GetCamera()) {
        t.Eye = camera->Eye;
        t.ViewDirection = camera->Direction;
    }
    t.ViewDistance = viewport.Fog.End;
    t.FogStart = viewport.Fog.Start;
    t.FogRed = viewport.Fog.Red;
    t.FogGreen = viewport.Fog.Green;
    t.FogBlue = viewport.Fog.Blue;
    t.HardwareFog = viewport.Fog.Enabled;
    t.LevelLimit = viewport.LevelLimit;
    t.FarPlane = viewport.FarPlane;
    t.ViewFrustum = viewport.ViewFrustum();
    t.User = &viewport;
    t.Append = AddToViewport;
    return t;
}

void DrawLevelRoom(const LevelRecord& level, int room, const IdList& ids, float ox, float oy, float oz,
                   Viewport& viewport, const Frustum& frustum, bool recurse, LevelDrawScratch* scratch) {
    DrawLevelRoom(level, room, ids, ox, oy, oz, ViewportDrawTarget(viewport), frustum, recurse, scratch);
}

}  // namespace dv
