// The character's projected shadow: which ground takes it and how strongly, where the texture
// lands, and what it does to a drawn frame.
#include <algorithm>

#include "render_test_util.h"
#include "world/character_shadow.h"
#include "world/sorted_array.h"

namespace dv::test {
namespace {

TriangleVertices Corners(const Vec3& a, const Vec3& b, const Vec3& c) {
    TriangleVertices t{};
    t.V[0].Position = a;
    t.V[1].Position = b;
    t.V[2].Position = c;
    return t;
}

void AddSectorTriangle(SectorTriangles& s, const Vec3& normal, const TriangleVertices& v) {
    TriangleHeader h{};
    h.Normal = normal;
    s.Triangles.push_back(h);
    s.Vertices.push_back(v);
    s.Count = static_cast<int32_t>(s.Triangles.size());
}

// A room of 8 x 8 cells at (0, -200, 0) whose one quadtree leaf holds: the floor under the
// character (room y 200, the feet's height), the same floor once more, a floor far below it,
// a ledge above the feet, a wall, a floor outside the shadow, and a slope rising past the feet.
LevelRecord GroundLevel() {
    LevelRecord level;
    LevelRoom room;
    room.Header.Origin = Vec3{0, -200, 0};
    room.Header.CellsX = room.Header.CellsZ = 8;
    room.Header.MinY = 0;
    room.Header.MaxY = 400;
    QuadtreeNode& node = room.Tree.Nodes[0];
    node.Used = 1;
    node.Box = {0, 0, 256, 256};
    node.Children[0].Box = {0, 0, 256, 256};
    SectorTriangles& s = node.Children[0].Sector;
    const Vec3 up{0, 1, 0};
    AddSectorTriangle(s, up, Corners({90, 200, 90}, {90, 200, 130}, {130, 200, 90}));
    AddSectorTriangle(s, up, Corners({90, 200, 90}, {90, 200, 130}, {130, 200, 90}));
    AddSectorTriangle(s, up, Corners({90, 8, 90}, {90, 8, 130}, {130, 8, 90}));
    AddSectorTriangle(s, up, Corners({90, 240, 90}, {90, 240, 130}, {130, 240, 90}));
    AddSectorTriangle(s, Vec3{1, 0, 0}, Corners({100, 150, 90}, {100, 250, 90}, {100, 150, 130}));
    AddSectorTriangle(s, up, Corners({200, 200, 200}, {200, 200, 240}, {240, 200, 200}));
    AddSectorTriangle(s, Vec3{0, 0.84f, -0.55f}, Corners({90, 190, 90}, {90, 216, 130}, {130, 190, 90}));
    level.Map.Rooms.push_back(room);
    level.Map.RoomCount = 1;
    return level;
}

// A flat 10 x 10 square, two faces, model space.
void SquareCaster(ModelRecord& mesh, SkinnedMesh& skinned) {
    skinned.Resize(4);
    const float xs[4] = {-5, 5, 5, -5}, zs[4] = {-5, -5, 5, 5};
    for (int i = 0; i < 4; ++i) {
        skinned.X[i] = xs[i];
        skinned.Y[i] = 10;
        skinned.Z[i] = zs[i];
    }
    mesh.Faces.resize(2);
    mesh.Faces[0].Vertex[0] = 0, mesh.Faces[0].Vertex[1] = 1, mesh.Faces[0].Vertex[2] = 2;
    mesh.Faces[1].Vertex[0] = 0, mesh.Faces[1].Vertex[1] = 2, mesh.Faces[1].Vertex[2] = 3;
}

TEST(CharacterShadow, StrengthFadesWithTheDropAndStopsAboveTheFeet) {
    EXPECT_FLOAT_EQ(ShadowStrength(10.0f, 10.0f), 1.0f);
    EXPECT_FLOAT_EQ(ShadowStrength(11.5f, 10.0f), 1.0f);  // a foot sunk into a slope
    EXPECT_FLOAT_EQ(ShadowStrength(10.0f - kShadowFadeHeight, 10.0f), 0.5f);
    EXPECT_FLOAT_EQ(ShadowStrength(30.0f, 10.0f), 1.0f);  // the upper corner of a slope
    EXPECT_FLOAT_EQ(ShadowStrength(NAN, 10.0f), 0.0f);
    EXPECT_GT(ShadowStrength(-1000.0f, 10.0f), 0.0f);  // a long fall: faint, not gone
    EXPECT_LT(ShadowStrength(-1000.0f, 10.0f), 0.1f);
}

TEST(CharacterShadow, CasterFitsItsSquareAndReceiversAreTheGroundBelowTheFeet) {
    ModelRecord mesh;
    SkinnedMesh skinned;
    SquareCaster(mesh, skinned);
    ProjectedShadow shadow;
    ShadowScratch scratch;
    const Vec3 feet{110, 0, 110};
    ASSERT_TRUE(CastCharacterShadow(mesh, skinned, feet, MatIdentity(), 0.0f, shadow, scratch));
    EXPECT_EQ(shadow.CasterCount, 6);
    EXPECT_FLOAT_EQ(shadow.CentreX, 110.0f);
    EXPECT_FLOAT_EQ(shadow.CentreZ, 110.0f);
    EXPECT_GT(shadow.HalfSize, 5.0f);
    EXPECT_LT(shadow.HalfSize, 8.0f);
    const float standingBlur = shadow.BlurTexels;
    EXPECT_GE(standingBlur, 1.0f);

    const LevelRecord level = GroundLevel();
    const IdList ids;
    CollectShadowReceivers(level, ids, feet.y, shadow, scratch);
    // Both copies of the floor under the feet, the floor below and the slope; not the ledge
    // above the feet, the wall or the floor outside the square.
    ASSERT_EQ(shadow.ReceiverCount, 12);
    EXPECT_EQ(shadow.Receivers[0].Diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(Vec3(shadow.Receivers[6].Position).y, -192.0f);
    EXPECT_EQ(shadow.Receivers[6].Diffuse & 0xFF, static_cast<uint32_t>(std::lround(255 / 3.0)));
    // The slope's corner 16 above the feet takes the shadow fully, its corner below nearly so.
    EXPECT_EQ(Vec3(shadow.Receivers[10].Position).y, 16.0f);
    EXPECT_EQ(shadow.Receivers[10].Diffuse, 0xFFFFFFFFu);
    EXPECT_GT(shadow.Receivers[9].Diffuse & 0xFF, 230u);

    // Falling: the same caster with a wider soft edge, in a larger square.
    ProjectedShadow falling;
    ASSERT_TRUE(CastCharacterShadow(mesh, skinned, feet, MatIdentity(), 192.0f, falling, scratch));
    EXPECT_GT(falling.HalfSize, shadow.HalfSize);
    EXPECT_GT(falling.BlurTexels, standingBlur);
    EXPECT_EQ(falling.ReceiverCount, 0);  // a new caster starts without receivers

    SkinnedMesh broken = skinned;
    for (float& x : broken.X) x = NAN;
    EXPECT_FALSE(CastCharacterShadow(mesh, broken, feet, MatIdentity(), 0.0f, falling, scratch));
    EXPECT_FALSE(falling.Active);
}

TEST(CharacterShadow, TextureMatrixTakesCameraSpaceToTheSquaresTexture) {
    ProjectedShadow shadow;
    shadow.CentreX = 30;
    shadow.CentreZ = -12;
    shadow.HalfSize = 10;
    const Mat4 view = MatLookAtLH(Vec3{60, 80, -50}, Vec3{30, 0, -12}, Vec3{0, 1, 0});
    const Mat4 m = ShadowTextureMatrix(shadow, view);
    const auto uvOf = [&](const Vec3& world) {
        Vec3 eye = world;
        VecTransform(eye, view);
        Vec3 uv = eye;
        VecTransform(uv, m);
        return uv;
    };
    const Vec3 centre = uvOf({30, -40, -12});  // any height
    EXPECT_NEAR(centre.x, 0.5f, 1e-4f);
    EXPECT_NEAR(centre.y, 0.5f, 1e-4f);
    const Vec3 corner = uvOf({20, 5, -2});  // least x, most z: the texture's top left
    EXPECT_NEAR(corner.x, 0.0f, 1e-4f);
    EXPECT_NEAR(corner.y, 0.0f, 1e-4f);
}

class ShadowFrameTest : public RenderTest {
protected:
    // A grey floor at y = 0 around the origin, seen from above and behind, listed twice (as a
    // room reached through two portals is).
    void DrawScene(bool withShadow) {
        camera.Position = VecMake(0, 40, -40);
        camera.Target = VecMake(0, 0, 0);
        textures.Solid(1, D3DFMT_A8R8G8B8, 200, 200, 200);
        viewport->ClearTriangles();
        const Vec3 a{-60, 0, -60}, b{-60, 0, 60}, c{60, 0, 60}, d{60, 0, -60};
        const TriangleVertices floor[4] = {Corners(a, b, c), Corners(a, c, d), Corners(a, c, b), Corners(a, d, c)};
        TriangleHeader headers[4] = {};
        for (TriangleHeader& h : headers) {
            h.Texture = 1;
            h.Normal = Vec3{0, 1, 0};
        }
        for (int copy = 0; copy < 2; ++copy) viewport->AddTriangles(headers, floor, 4);
        viewport->SetScene3D(nullptr, nullptr);
        // The scene callback fills the shadow, after the frame has cleared the last one.
        if (withShadow) viewport->SetScene3D(&FillShadow, this);
        viewport->RenderFrame();
    }

    static void FillShadow(void* user) {
        auto& self = *static_cast<ShadowFrameTest*>(user);
        ProjectedShadow& s = self.viewport->Shadow;
        s.CentreX = 0;
        s.CentreZ = 0;
        s.HalfSize = 8;
        s.BlurTexels = 3;
        const Vec3 corners[4] = {{-4, 10, -4}, {4, 10, -4}, {4, 10, 4}, {-4, 10, 4}};
        ShadowVertex* v = s.AddCaster(6);
        const int order[6] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < 6; ++i) v[i] = {corners[order[i]], 0xFFFFFFFFu};
        const Vec3 a{-60, 0, -60}, b{-60, 0, 60}, c{60, 0, 60}, d{60, 0, -60};
        const Vec3 tris[12] = {a, b, c, a, c, d, a, c, b, a, d, c};
        for (int copy = 0; copy < 2; ++copy) {
            ShadowVertex* r = s.AddReceivers(12);
            for (int i = 0; i < 12; ++i) r[i] = {tris[i], 0xFFFFFFFFu};
        }
        s.Active = true;
    }

    // Where a world point lands in the frame, in pixels.
    void Project(const Vec3& p, int& x, int& y) {
        Vec3 eye = p;
        VecTransform(eye, camera.View);
        const Mat4& pr = viewport->Projection();
        const float cx = eye.x * pr.m[0] + eye.y * pr.m[4] + eye.z * pr.m[8] + pr.m[12];
        const float cy = eye.x * pr.m[1] + eye.y * pr.m[5] + eye.z * pr.m[9] + pr.m[13];
        const float cw = eye.x * pr.m[3] + eye.y * pr.m[7] + eye.z * pr.m[11] + pr.m[15];
        x = static_cast<int>((cx / cw * 0.5f + 0.5f) * kSize);
        y = static_cast<int>((0.5f - cy / cw * 0.5f) * kSize);
    }
};

TEST_F(ShadowFrameTest, DarkensUnderTheCasterOnceAndNothingOutsideItsSquare) {
    DrawScene(false);
    FramePixels plain;
    ASSERT_TRUE(viewport->ReadFrame(plain));
    DrawScene(true);
    FramePixels shadowed;
    ASSERT_TRUE(viewport->ReadFrame(shadowed));
    ASSERT_EQ(plain.Rgba.size(), shadowed.Rgba.size());

    int cx = 0, cy = 0;
    Project({0, 0, 0}, cx, cy);
    const size_t centre = (static_cast<size_t>(cy) * kSize + cx) * 4;
    ASSERT_GT(plain.Rgba[centre], 150);
    // The full darkness once (200 x (1 - 150/255) = 82 or so), not twice (34).
    EXPECT_NEAR(shadowed.Rgba[centre], 200 * (255 - 9 * (150 / 9)) / 255, 4);

    int left = kSize, right = -1, top = kSize, bottom = -1;
    for (const Vec3 corner : {Vec3{-8, 0, -8}, Vec3{8, 0, -8}, Vec3{8, 0, 8}, Vec3{-8, 0, 8}}) {
        int x = 0, y = 0;
        Project(corner, x, y);
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const size_t i = (static_cast<size_t>(y) * kSize + x) * 4;
            for (int ch = 0; ch < 3; ++ch) {
                ASSERT_LE(shadowed.Rgba[i + ch], plain.Rgba[i + ch]) << x << "," << y;  // never brighter
                const bool inside = x >= left - 1 && x <= right + 1 && y >= top - 1 && y <= bottom + 1;
                if (!inside) {
                    ASSERT_EQ(shadowed.Rgba[i + ch], plain.Rgba[i + ch]) << x << "," << y;
                }
            }
        }
    }
}

}  // namespace
}  // namespace dv::test
