#include "world/level_draw.h"

#include <gtest/gtest.h>

#include "math/lighting.h"
#include "render/viewport_internal.h"
#include "world/room_model.h"
#include "world/sorted_array.h"

namespace dv {
namespace {

// A frustum every point is inside of.
Frustum OpenFrustum() {
    Frustum f{};
    for (Plane& p : f.Planes) p = Plane{0, 0, 0, 1};
    return f;
}

struct Collected {
    std::vector<TriangleHeader> Triangles;
    std::vector<TriangleVertices> Vertices;
    int Calls = 0;
};

void Collect(void* user, const TriangleHeader* t, const TriangleVertices* v, int32_t n) {
    auto* c = static_cast<Collected*>(user);
    c->Triangles.insert(c->Triangles.end(), t, t + n);
    c->Vertices.insert(c->Vertices.end(), v, v + n);
    ++c->Calls;
}

LevelDrawTarget Target(Collected& sink, Vec3 eye, float distance = 1024.0f) {
    LevelDrawTarget t;
    t.Eye = eye;
    t.ViewDirection = {0, 0, 1};
    t.ViewDistance = distance;
    t.FogStart = 192.0f;
    t.HardwareFog = true;
    t.LevelLimit = 0;
    t.FarPlane = 4224.0f;
    t.ViewFrustum = OpenFrustum();
    t.User = &sink;
    t.Append = Collect;
    return t;
}

// An upward-facing triangle with the given corners and slot; diffuse colour `colour`.
void AddTriangle(SectorTriangles& s, Vec3 a, Vec3 b, Vec3 c, uint16_t slot, uint32_t colour = 0xFF808080u) {
    TriangleHeader t{};
    t.Texture = slot;
    t.Normal = {0, 1, 0};
    TriangleVertices v{};
    v.V[0].Position = a;
    v.V[1].Position = b;
    v.V[2].Position = c;
    for (Vertex3D& x : v.V) x.Diffuse = colour;
    s.Triangles.push_back(t);
    s.Vertices.push_back(v);
    s.Count = static_cast<int32_t>(s.Triangles.size());
}

// A room whose first sector (node 0, child 0) covers x, z in [-128, 128].
LevelRoom Room() {
    LevelRoom r;
    r.Header.MinY = 0;
    r.Header.MaxY = 64;
    r.Header.AmbientLuminance = -1;
    for (QuadtreeNode& n : r.Tree.Nodes) {
        n.Box = {-128, -128, 128, 128};
        for (QuadtreeLeaf& c : n.Children) c.Box = n.Box;
    }
    r.Tree.Nodes[0].Used = 1;
    return r;
}

SectorTriangles& FirstSector(LevelRoom& r) { return r.Tree.Nodes[0].Children[0].Sector; }

// Portal in the plane z = zPlane, x in [-w, w], y in [0, 32], facing -z (towards a camera at
// negative z); corners top-left, top-right, bottom-right, bottom-left seen from there.
Portal MakePortal(uint16_t target, float w, float zPlane = 0.0f) {
    Portal p{};
    p.TargetRoom = target;
    p.Corners[0] = {-w, 32, zPlane};
    p.Corners[1] = {w, 32, zPlane};
    p.Corners[2] = {w, 0, zPlane};
    p.Corners[3] = {-w, 0, zPlane};
    p.Facing = {0, 0, -1};
    p.TargetOrigin = {0, 0, 0};
    return p;
}

LevelRecord LevelOf(std::vector<LevelRoom> rooms) {
    LevelRecord f;
    f.Map.Rooms = std::move(rooms);
    f.Map.RoomCount = static_cast<int32_t>(f.Map.Rooms.size());
    return f;
}

class LevelDrawRoom : public ::testing::Test {
protected:
    Collected sink;
    IdList ids;
};

TEST_F(LevelDrawRoom, UnusedNodesAreNeverDrawn) {
    LevelRoom r = Room();
    AddTriangle(FirstSector(r), {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 5);
    AddTriangle(r.Tree.Nodes[1].Children[2].Sector, {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 6);
    const LevelRecord level = LevelOf({r});
    DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, {0, 10, -20}), OpenFrustum(), true);
    ASSERT_EQ(sink.Triangles.size(), 1u);
    EXPECT_EQ(sink.Triangles[0].Texture, 5);
}

TEST_F(LevelDrawRoom, SectorBoxNeedsOneCornerWithinTheViewDistance) {
    LevelRoom r = Room();
    r.Tree.Nodes[0].Box = r.Tree.Nodes[0].Children[0].Box = {0, 0, 32, 32};
    AddTriangle(FirstSector(r), {0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 5);
    const LevelRecord level = LevelOf({r});
    // Box corner (0, 0, 0) lies at exactly 50 from the eye; the triangle too.
    DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, {-30, 0, -40}, 51.0f), OpenFrustum(), true);
    EXPECT_EQ(sink.Triangles.size(), 1u);
    sink = {};
    DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, {-30, 0, -40}, 49.9f), OpenFrustum(), true);
    EXPECT_EQ(sink.Triangles.size(), 0u);
}

TEST_F(LevelDrawRoom, CulledTrianglesAreSwappedOutOfACopy) {
    LevelRoom r = Room();
    AddTriangle(FirstSector(r), {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 1);
    AddTriangle(FirstSector(r), {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 2);
    AddTriangle(FirstSector(r), {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 3);
    FirstSector(r).Triangles[0].Normal = {0, -1, 0};  // faces away from a camera above
    const LevelRecord level = LevelOf({r});
    DrawLevelRoom(level, 0, ids, 100, 0, 0, Target(sink, {100, 10, -20}), OpenFrustum(), true);
    ASSERT_EQ(sink.Triangles.size(), 2u);
    EXPECT_EQ(sink.Triangles[0].Texture, 3);  // the last took the removed one's place
    EXPECT_EQ(sink.Triangles[1].Texture, 2);
    EXPECT_FLOAT_EQ(sink.Vertices[0].V[2].Position.x, 108.0f);
    // The level keeps its room-relative triangles.
    const SectorTriangles& kept = level.Map.Rooms[0].Tree.Nodes[0].Children[0].Sector;
    EXPECT_EQ(kept.Count, 3);
    EXPECT_FLOAT_EQ(kept.Vertices[2].V[2].Position.x, 8.0f);
    EXPECT_EQ(kept.Triangles[0].BumpFlag, 0);
}

TEST_F(LevelDrawRoom, DrawsIntoTheViewportWithItsCameraAndFogSettings) {
    LevelRoom r = Room();
    AddTriangle(FirstSector(r), {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 5);
    AddTriangle(FirstSector(r), {0, 0, 600}, {0, 0, 608}, {8, 0, 600}, 6);  // beyond FogEnd 500
    const LevelRecord level = LevelOf({r});
    Camera camera;
    camera.Position = {0, 10, -20};
    camera.Target = {0, 0, 0};
    camera.UpdateView();
    Viewport viewport;
    viewport.SetCamera(&camera);
    viewport.Fog.End = 500.0f;
    viewport.Fog.Offset = 1000.0f;  // not part of the view distance
    DrawLevelRoom(level, 0, ids, 0, 0, 0, viewport, OpenFrustum(), true);
    ASSERT_EQ(viewport.TriangleCount(), 1);
    EXPECT_EQ(ViewportInternals::Headers(viewport)[0].Texture, 5);
    EXPECT_LT(ViewportInternals::Headers(viewport)[0].SortKey, 0.0f);
}

TEST(LevelDrawTriangles, DistanceEdgeOnAndBackFacing) {
    Collected sink;
    SectorTriangles list;
    // All three corners lie at exactly 50 from the eye.
    AddTriangle(list, {40, 0, 0}, {0, 0, 40}, {-40, 0, 0}, 5);
    SectorTriangles copy = list;
    PrepareSectorTriangles(copy, 0, 0, 0, Target(sink, {0, 30, 0}, 50.0f), OpenFrustum());
    ASSERT_EQ(copy.Count, 1);
    EXPECT_FLOAT_EQ(copy.Triangles[0].SortKey, -50.0f);
    copy = list;
    PrepareSectorTriangles(copy, 0, 0, 0, Target(sink, {0, 30, 0}, 49.99f), OpenFrustum());
    EXPECT_EQ(copy.Count, 0);
    EXPECT_TRUE(copy.Triangles.empty());

    copy = list;  // eye in the triangle's plane: kept
    PrepareSectorTriangles(copy, 0, 0, 0, Target(sink, {0, 0, -10}), OpenFrustum());
    EXPECT_EQ(copy.Count, 1);
    copy = list;  // eye below an upward-facing triangle: removed
    PrepareSectorTriangles(copy, 0, 0, 0, Target(sink, {0, -1, -10}), OpenFrustum());
    EXPECT_EQ(copy.Count, 0);
    copy = list;  // the origin moves the triangle below the eye's level
    PrepareSectorTriangles(copy, 0, 5, 0, Target(sink, {0, 1, -10}), OpenFrustum());
    EXPECT_EQ(copy.Count, 0);

    Frustum f = OpenFrustum();
    f[FrustumPlane::Right] = Plane{-1, 0, 0, -50};  // inside: x < -50
    copy = list;
    PrepareSectorTriangles(copy, 0, 0, 0, Target(sink, {0, 30, 0}), f);
    EXPECT_EQ(copy.Count, 0);
}

TEST(LevelDrawTriangles, SoftwareFogOnlyWithoutHardwareFogAndPastFogStart) {
    Collected sink;
    SectorTriangles list;
    // Degenerate on purpose: every corner at 608 from the eye, halfway through 192 .. 1024.
    AddTriangle(list, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 5, 0xFF0965C9u);  // r 9, g 101, b 201
    LevelDrawTarget t = Target(sink, {0, 608, 0});
    t.HardwareFog = false;
    t.FogRed = 7;  // low two bits cleared: 4
    SectorTriangles copy = list;
    PrepareSectorTriangles(copy, 0, 0, 0, t, OpenFrustum());
    ASSERT_EQ(copy.Count, 1);
    // Halfway to the fog colour (4, 0, 0): r 6.5, g 50.5, b 100.5, truncated; alpha kept.
    EXPECT_EQ(copy.Vertices[0].V[1].Diffuse, 0xFF063264u);

    t.HardwareFog = true;
    copy = list;
    PrepareSectorTriangles(copy, 0, 0, 0, t, OpenFrustum());
    EXPECT_EQ(copy.Vertices[0].V[1].Diffuse, 0xFF0965C9u);

    t.HardwareFog = false;
    t.Eye = {0, 100, 0};  // nearer than the fog start
    copy = list;
    PrepareSectorTriangles(copy, 0, 0, 0, t, OpenFrustum());
    EXPECT_EQ(copy.Vertices[0].V[1].Diffuse, 0xFF0965C9u);
}

TEST(LevelDrawTriangles, BumpEffectForLowSlotsNearTheEye) {
    Collected sink;
    SectorTriangles list;
    AddTriangle(list, {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 3);
    AddTriangle(list, {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 0x8003);  // animated code
    AddTriangle(list, {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 11);
    LevelDrawTarget t = Target(sink, {0, 20, -10});
    t.LevelLimit = 10;
    PrepareSectorTriangles(list, 0, 0, 0, t, OpenFrustum());
    ASSERT_EQ(list.Count, 3);
    EXPECT_EQ(list.Triangles[0].BumpFlag, 1);
    EXPECT_EQ(list.Triangles[1].BumpFlag, 0);
    EXPECT_EQ(list.Triangles[2].BumpFlag, 0);
    // normal (0, 1, 0) x view (0, 0, 1) = (1, 0, 0), clamped to 0.75; Y-major: w = (0, 0.75, 0.4).
    for (const Vertex3D& v : list.Vertices[0].V) EXPECT_EQ(v.Specular, 0xFF80DFB2u);

    SectorTriangles far;
    AddTriangle(far, {0, 0, 0}, {0, 0, 8}, {8, 0, 0}, 3);
    t.Eye = {0, 800, -10};  // beyond 0.75 D
    PrepareSectorTriangles(far, 0, 0, 0, t, OpenFrustum());
    ASSERT_EQ(far.Count, 1);
    EXPECT_EQ(far.Triangles[0].BumpFlag, 0);
}

class LevelDrawPortals : public ::testing::Test {
protected:
    // Room 0 holds the camera and a portal at z = 0 into room 1, whose one triangle lies
    // just behind the portal.
    void SetUp() override {
        LevelRoom r0 = Room();
        r0.Portals = {MakePortal(1, 80)};
        r0.PortalCount = 1;
        LevelRoom r1 = Room();
        r1.Tree.Nodes[0].Box = r1.Tree.Nodes[0].Children[0].Box = {-16, 0, 16, 16};
        AddTriangle(FirstSector(r1), {-4, 8, 2}, {-4, 8, 8}, {4, 8, 2}, 21);
        level = LevelOf({r0, r1});
    }
    size_t Draw(Vec3 eye, float distance = 1024.0f) {
        sink = {};
        DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, eye, distance), OpenFrustum(), true);
        return sink.Triangles.size();
    }
    LevelRecord level;
    IdList ids;
    Collected sink;
};

TEST_F(LevelDrawPortals, PortalSeenFromTheFrontIsEntered) {
    EXPECT_EQ(Draw({0, 16, -100}), 1u);
    EXPECT_EQ(sink.Triangles[0].Texture, 21);
    sink = {};
    DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, {0, 16, -100}), OpenFrustum(), false);
    EXPECT_EQ(sink.Triangles.size(), 0u);
}

TEST_F(LevelDrawPortals, PortalSeenFromBehindIsNotEntered) { EXPECT_EQ(Draw({0, 16, 100}), 0u); }

TEST_F(LevelDrawPortals, PortalWhoseFarthestCornerIsBeyondTheViewDistanceIsNotEntered) {
    // Corners at sqrt(80^2 + 16^2 + 100^2) = 129.07; the triangle itself is within 120.
    EXPECT_EQ(Draw({0, 16, -100}, 120.0f), 0u);
    EXPECT_EQ(Draw({0, 16, -100}, 130.0f), 1u);
}

TEST_F(LevelDrawPortals, NarrowedFrustumHidesWhatThePortalDoesNotShow) {
    // A triangle in room 1 far to the side of the portal's opening.
    AddTriangle(FirstSector(level.Map.Rooms[1]), {-120, 8, 10}, {-120, 8, 16}, {-112, 8, 10}, 22);
    EXPECT_EQ(Draw({0, 16, -100}), 1u);
    EXPECT_EQ(sink.Triangles[0].Texture, 21);
}

TEST_F(LevelDrawPortals, NarrowerSidePairOfTheOuterFrustumIsKept) {
    LevelRoom& r1 = level.Map.Rooms[1];
    r1.Tree.Nodes[0].Box = r1.Tree.Nodes[0].Children[0].Box = {-64, 0, 64, 64};
    AddTriangle(FirstSector(r1), {40, 8, 10}, {40, 8, 16}, {48, 8, 10}, 22);    // inside the portal's sides
    AddTriangle(FirstSector(r1), {-4, 60, 10}, {4, 60, 10}, {-4, 60, 16}, 23);  // above its top edge
    FirstSector(r1).Triangles[2].Normal = {0, -1, 0};
    Draw({0, 16, -100});
    EXPECT_EQ(sink.Triangles.size(), 2u);  // 21 and 22; the top plane comes from the portal

    Frustum wedge = OpenFrustum();
    wedge[FrustumPlane::Right] = Plane{-1, 0, 0, 2};  // x < 2
    wedge[FrustumPlane::Left] = Plane{1, 0, 0, 2};    // x > -2
    sink = {};
    DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, {0, 16, -100}), wedge, true);
    ASSERT_EQ(sink.Triangles.size(), 1u);
    EXPECT_EQ(sink.Triangles[0].Texture, 21);
}

TEST_F(LevelDrawPortals, PortalCycleTerminates) {
    // Room 1 leads straight back to room 0, whose portal would lead to room 1 again.
    level.Map.Rooms[1].Portals = {MakePortal(0, 80, 1.0f)};
    level.Map.Rooms[1].PortalCount = 1;
    AddTriangle(FirstSector(level.Map.Rooms[0]), {-4, 8, 2}, {-4, 8, 8}, {4, 8, 2}, 20);
    Draw({0, 16, -100});
    // Room 0, room 1 through room 0's portal, room 0 again through room 1's portal; then
    // room 0's portal is already on the way and is not passed again.
    ASSERT_EQ(sink.Triangles.size(), 3u);
    EXPECT_EQ(sink.Triangles[0].Texture, 20);
    EXPECT_EQ(sink.Triangles[1].Texture, 21);
    EXPECT_EQ(sink.Triangles[2].Texture, 20);
}

// One template (id 40) whose model is a small quad of two faces plus three faces beyond the
// ten runs; one light.
class LevelDrawObjects : public ::testing::Test {
protected:
    void SetUp() override {
        ModelRecord m;
        for (int i = 0; i < 4; ++i) {
            ModelVertex v{};
            v.Position = {float(i & 1) * 5.0f, 0.0f, float(i >> 1) * 5.0f};
            v.Normal = {0, 1, 0};
            v.Gloss = 255;
            m.Vertices.push_back(v);
        }
        m.VertexCount = 4;
        for (int f = 0; f < 5; ++f) {
            ModelFace face{};
            face.Vertex[0] = 0;
            face.Vertex[1] = 2;
            face.Vertex[2] = 1;
            face.Texture = static_cast<int16_t>(f == 1 ? -7 : f);
            face.BumpTexture = 3;
            face.BumpFlag = 1;
            face.Blend = 1;
            m.Faces.push_back(face);
        }
        m.FaceCount = 5;
        m.FaceRuns[0] = 1;
        m.FaceRuns[3] = 1;  // runs total 2: faces 0 and 1
        m.BoundsMin = {0, 0, 0};
        m.BoundsMax = {5, 1, 5};
        LevelRoom r = Room();
        r.Header.AmbientHls = static_cast<int32_t>(0xF0000000u);  // white: luminance 240
        level = LevelOf({r});
        level.Models = {m};
        level.Objects = {ObjectTemplate{40, 0, 1001, 0, 0}};
        ids.Add(0, 40);
        BuildRoomLights(level, 0, lights, 0, 0, 0);
    }
    void Place(int32_t id, Vec3 cells) {
        ObjectInstance inst{};
        inst.ObjectId = id;
        inst.Position = cells;
        LevelRoom& r = level.Map.Rooms[0];
        r.Instances.push_back(inst);
        r.InstanceCount = static_cast<int32_t>(r.Instances.size());
    }
    LevelRecord level;
    IdList ids;
    LightList lights;
    Collected sink;
};

TEST_F(LevelDrawObjects, InstancesOutsideTheFrustumOrUnknownAddNothing) {
    Frustum f = OpenFrustum();
    f[FrustumPlane::Left] = Plane{1, 0, 0, 0};  // inside: x > 0
    Place(40, {-3, 0, 1});
    Place(99, {2, 0, 1});
    DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, {40, 30, 0}), f, true);
    EXPECT_EQ(sink.Triangles.size(), 0u);
    Place(40, {2, 0, 1});
    DrawLevelRoom(level, 0, ids, 0, 0, 0, Target(sink, {40, 30, 0}), f, true);
    ASSERT_EQ(sink.Triangles.size(), 2u);
    // Scaled by 3.2 at (64, 0, 32): the far corner of vertex 2 is at z = 32 + 16.
    EXPECT_FLOAT_EQ(sink.Vertices[0].V[1].Position.z, 48.0f);
    EXPECT_FLOAT_EQ(sink.Vertices[0].V[2].Position.x, 80.0f);
}

TEST_F(LevelDrawObjects, FaceRunsSlotsAndColours) {
    TriangleBuffer out;
    Collected unused;
    const LevelDrawTarget t = Target(unused, {0, 40, -5});
    DrawLevelObject(1001, 0, level.Models[0], 0, 0, 0, MatIdentity(), out, t, OpenFrustum(), lights);
    ASSERT_EQ(out.Count, 2);
    EXPECT_EQ(out.Triangles[0].Texture, 1001);
    EXPECT_EQ(out.Triangles[1].Texture, static_cast<uint16_t>(-7));  // animated code kept
    EXPECT_EQ(out.Triangles[0].Layers, 1);
    EXPECT_EQ(out.Triangles[0].BlendType, 1);
    EXPECT_NEAR(out.Triangles[0].Normal.y, 1.0f, 1e-6f);
    // White ambient: red and green 255/255, blue 255/266 (244.4).
    const uint32_t d = out.Vertices[0].V[0].Diffuse;
    EXPECT_EQ((d >> 16) & 0xFF, 255u);
    EXPECT_EQ((d >> 8) & 0xFF, 255u);
    EXPECT_EQ(d & 0xFF, 244u);
    EXPECT_EQ(lights.Items[0].SpecularIntensity, 0.0f);  // the gloss went to a copy

    DrawMovableModel(1001, -1, level.Models[0], 0, 0, 0, MatIdentity(), out, t, OpenFrustum(), lights);
    EXPECT_EQ(out.Count, 5);
}

TEST_F(LevelDrawObjects, OnlyObjectsGetTheNearBump) {
    TriangleBuffer out;
    Collected unused;
    const LevelDrawTarget t = Target(unused, {0, 40, -5});  // within 0.1 D
    DrawLevelObject(1001, 0, level.Models[0], 0, 0, 0, MatIdentity(), out, t, OpenFrustum(), lights);
    ASSERT_EQ(out.Count, 2);
    EXPECT_EQ(out.Triangles[0].BumpFlag, 1);
    EXPECT_EQ(out.Triangles[0].BumpTexture, 3);
    DrawMovableModel(1001, -1, level.Models[0], 0, 0, 0, MatIdentity(), out, t, OpenFrustum(), lights);
    for (int i = 0; i < out.Count; ++i) EXPECT_EQ(out.Triangles[i].BumpFlag, 0);

    const LevelDrawTarget far = Target(unused, {0, 200, -5});
    DrawLevelObject(1001, 0, level.Models[0], 0, 0, 0, MatIdentity(), out, far, OpenFrustum(), lights);
    EXPECT_EQ(out.Triangles[0].BumpFlag, 0);
}

TEST_F(LevelDrawObjects, MovableTakesTheGivenVertices) {
    ModelVertices skinned = level.Models[0].Vertices;
    for (ModelVertex& v : skinned) v.Position.y += 10.0f;
    TriangleBuffer out;
    Collected unused;
    DrawMovableModel(1001, -1, level.Models[0], 0, 0, 0, MatIdentity(), out, Target(unused, {0, 40, -5}), OpenFrustum(),
                     lights, &skinned);
    ASSERT_GT(out.Count, 0);
    EXPECT_FLOAT_EQ(out.Vertices[0].V[0].Position.y, 10.0f);
}

}  // namespace
}  // namespace dv
