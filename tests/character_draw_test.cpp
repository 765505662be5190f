// The character's drawing (per-bone matrix skinning, then DrawCharacterMesh) against the
// reference (skinning by quaternion products, then DrawMovableModel) on the demo character:
// every frame of every clip and blended transitions, seen from several sides, lit by the
// start room's lights and by one light of each kind, with and without software fog.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "math/clock.h"
#include "models/animator.h"
#include "world/character_draw.h"
#include "world/level_file.h"
#include "world/room_model.h"

namespace {

using dv::Vec3;

constexpr float kPositionTolerance = 0.001f;  // world units
constexpr int kColourTolerance = 1;           // units of 255 per channel
// A small or thin face's unit normal turns with the last-bit differences of its corners: by
// about their difference over the face's smallest height. The corners differ by some 1e-4 world
// units at the level's coordinates, so a sliver gets more room than the 1e-3 of the rest.
constexpr float kNormalTolerance = 1e-3f;
constexpr float kCornerNoise = 1e-4f;  // world units

struct View {
    float Heading;  // the character's, degrees
    float Pitch;
    Vec3 EyeOffset;  // from the character
    bool SoftwareFog;
};

// Three sides and distances: near behind, far in front (inside the fog band), above.
const View kViews[] = {
    {0.0f, 0.0f, {0, 60, -110}, false},
    {130.0f, 5.0f, {80, 40, 260}, true},
    {250.0f, -8.0f, {-30, 200, 20}, true},
};

// The start room's lights and one of each kind close to the character, specular included.
dv::LightList TestLights(const dv::LevelRecord& level, const Vec3& at) {
    dv::LightList lights;
    const Vec3& o = level.Map.Rooms[static_cast<size_t>(level.Map.StartRoom)].Header.Origin;
    dv::BuildRoomLights(level, level.Map.StartRoom, lights, o.x, o.y, o.z);
    lights.Items.resize(static_cast<size_t>(lights.Count));
    auto light = [&](dv::LightKind kind, Vec3 offset, Vec3 direction, float inner, float outer) {
        dv::LightRecord l{};
        l.Kind = kind;
        l.Position = dv::VecAdd(at, offset);
        l.ConstantA = {0.02f, 0.01f, 0.0f};
        l.ConstantB = {0.0f, 0.02f, 0.03f};
        l.Diffuse = {0.5f, 0.4f, 0.3f};
        l.Specular = {0.3f, 0.3f, 0.35f};
        l.Sharpness = 0.3f;
        l.SpecularIntensity = 0.5f;
        l.Inner = inner;
        l.Outer = outer;
        l.Direction = direction;
        l.CutOffset = -dv::VecDot(direction, l.Position);
        lights.Items.push_back(l);
    };
    light(dv::LightKind::Point, {40, 60, -30}, {0, -1, 0}, 40.0f, 140.0f);
    light(dv::LightKind::Spot, {0, 150, -60}, {0, -0.92847669f, 0.37139067f}, 0.97f, 0.9f);
    light(dv::LightKind::Omni, {-50, 20, 10}, {0.57735027f, -0.57735027f, 0.57735027f}, 0, 0);
    light(dv::LightKind::Directional, {0, 0, 0}, {0, -0.6f, 0.8f}, 0, 0);
    light(static_cast<dv::LightKind>(7), {0, 0, 0}, {0, 0, 0}, 0, 0);  // an unknown kind: constants only
    lights.Count = static_cast<int16_t>(lights.Items.size());
    return lights;
}

class CharacterDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = std::string(DV_BINARY_DIR) + "/test.lev";
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "the demo level has not been built";
        dv::ParseLevelFile(path, data_);
        if (data_.Level.MovableCount == 0) GTEST_SKIP() << "the demo level has no character yet";
        at_ = data_.Level.Map.StartPosition;
        lights_ = TestLights(data_.Level, at_);
        dv::ClockUseVirtual(true);
        item_.Create(data_.Level);
        ASSERT_TRUE(item_.BindMovable(0));
    }
    void TearDown() override { dv::ClockUseVirtual(false); }

    // Draws the current pose both ways from every view and compares; `what` names the pose.
    void ComparePose(const std::string& what) {
        item_.SkinVerticesReference(referenceSkin_);
        for (const View& view : kViews) {
            dv::Mat4 m = dv::MatIdentity();
            dv::MatScale(m, 3.2f, 3.2f, 3.2f);
            dv::MatRotateAngles(m, false, 0, view.Heading, 0);
            dv::MatRotateAngles(m, false, view.Pitch, 0, 0);
            const dv::LevelDrawTarget t = Target(view);
            const int32_t slot = item_.Movable()->TextureSlot;
            dv::DrawMovableModel(slot, -1, *item_.Model(), at_.x, at_.y, at_.z, m, reference_, t, t.ViewFrustum,
                                 lights_, &referenceSkin_, &referenceScratch_);
            dv::DrawCharacterMesh(slot, *item_.Model(), item_.Skinned(), at_, m, drawn_, t, t.ViewFrustum, lights_,
                                  scratch_);
            CompareTriangles(what + ", heading " + std::to_string(view.Heading), t);
            ++comparedViews_;
        }
    }

    dv::LevelDrawTarget Target(const View& view) const {
        dv::LevelDrawTarget t;
        t.Eye = dv::VecAdd(at_, view.EyeOffset);
        const Vec3 look = dv::VecAdd(at_, Vec3{0, 30, 0});
        t.ViewDirection = dv::VecDirection(t.Eye, look);
        t.ViewDistance = 1024.0f;
        t.FogStart = 192.0f;
        t.FogRed = 40;
        t.FogGreen = 60;
        t.FogBlue = 90;
        t.HardwareFog = !view.SoftwareFog;
        const dv::Mat4 v = dv::MatLookAtLH(t.Eye, look, Vec3{0, 1, 0});
        // A narrow field of view, so that the frustum cuts through the character.
        const dv::Mat4 p = dv::MatPerspectiveFovLH(0.35f, 4.0f / 3.0f, 1.0f, 1000.0f);
        t.ViewFrustum = dv::FrustumFromMatrices(v, p);
        return t;
    }

    // Walks both lists in face order. A triangle only one of them holds must lie on a culling
    // boundary, where the last bits of its corners decide: facing the eye within kBoundary (more
    // for a thin face, whose normal those bits turn), a
    // frustum plane through its outermost corner within kBoundary, or its radius within
    // kBoundary of the view distance.
    void CompareTriangles(const std::string& what, const dv::LevelDrawTarget& t) {
        int32_t i = 0, j = 0;
        while (i < drawn_.Count || j < reference_.Count) {
            if (i < drawn_.Count && j < reference_.Count && SameTriangle(i, j)) {
                CompareMatched(i++, j++, what);
                if (HasFatalFailure()) return;
                continue;
            }
            const bool extraDrawn = i < drawn_.Count && (j >= reference_.Count || !InReferenceLater(i, j));
            const dv::TriangleBuffer& list = extraDrawn ? drawn_ : reference_;
            const int32_t k = extraDrawn ? i++ : j++;
            ASSERT_TRUE(OnCullingBoundary(list, k, t))
                << what << ": triangle " << k << " only in the " << (extraDrawn ? "new" : "reference") << " list";
            ++boundaryFaces_;
        }
    }

    Vec3 Corner(const dv::TriangleBuffer& list, int32_t i, int k) const {
        return list.Vertices[static_cast<size_t>(i)].V[k].Position;
    }

    // How far a face's unit normal may turn with its corners' last bits.
    float NormalNoise(const dv::TriangleBuffer& list, int32_t i) const {
        const Vec3 p0 = Corner(list, i, 0), p1 = Corner(list, i, 1), p2 = Corner(list, i, 2);
        const float longest = std::max({dv::VecDistance(p0, p1), dv::VecDistance(p1, p2), dv::VecDistance(p2, p0)});
        const float twiceArea = dv::VecLength(dv::VecCross(dv::VecSub(p1, p0), dv::VecSub(p2, p0)));
        const float height = longest > 0.0f ? twiceArea / longest : 0.0f;
        return kCornerNoise / std::max(height, 1e-6f);
    }

    bool SameTriangle(int32_t i, int32_t j) const {
        for (int k = 0; k < 3; ++k) {
            if (dv::VecDistance(Corner(drawn_, i, k), Corner(reference_, j, k)) > 2 * kPositionTolerance) return false;
        }
        return true;
    }

    bool InReferenceLater(int32_t i, int32_t j) const {
        for (int32_t l = j; l < reference_.Count && l < j + 4; ++l) {
            if (SameTriangle(i, l)) return true;
        }
        return false;
    }

    bool OnCullingBoundary(const dv::TriangleBuffer& list, int32_t i, const dv::LevelDrawTarget& t) const {
        constexpr float kBoundary = 0.01f;
        const Vec3 p0 = Corner(list, i, 0), p1 = Corner(list, i, 1), p2 = Corner(list, i, 2);
        Vec3 n = dv::VecCross(dv::VecSub(p1, p0), dv::VecSub(p2, p1));
        if (dv::VecLength(n) > 0.0f) dv::VecNormalize(n);
        const Vec3 toEye = dv::VecSub(t.Eye, p0);
        if (std::abs(dv::VecDot(n, toEye)) < kBoundary + NormalNoise(list, i) * dv::VecLength(toEye)) return true;
        for (const dv::Plane& p : t.ViewFrustum.Planes) {
            float outermost = -1e30f;
            for (const Vec3& c : {p0, p1, p2}) outermost = std::max(outermost, p.a * c.x + p.b * c.y + p.c * c.z + p.d);
            if (std::abs(outermost) < kBoundary) return true;
        }
        const float r = std::max({dv::VecDistance(p0, t.Eye), dv::VecDistance(p1, t.Eye), dv::VecDistance(p2, t.Eye)});
        return std::abs(r - t.ViewDistance) < kBoundary;
    }

    void CompareMatched(int32_t i, int32_t j, const std::string& what) {
        const dv::TriangleHeader& a = drawn_.Triangles[static_cast<size_t>(i)];
        const dv::TriangleHeader& b = reference_.Triangles[static_cast<size_t>(j)];
        ASSERT_EQ(a.Texture, b.Texture) << what << ", triangle " << i;
        ASSERT_EQ(a.BlendType, b.BlendType);
        ASSERT_EQ(a.Layers, b.Layers);
        ASSERT_EQ(a.BumpFlag, b.BumpFlag);
        ASSERT_NEAR(a.SortKey, b.SortKey, kPositionTolerance) << what << ", triangle " << i;
        ASSERT_LT(dv::VecDistance(a.Normal, b.Normal), std::max(kNormalTolerance, NormalNoise(reference_, j)))
            << what << ", triangle " << i;
        for (int k = 0; k < 3; ++k) {
            const dv::Vertex3D& va = drawn_.Vertices[static_cast<size_t>(i)].V[k];
            const dv::Vertex3D& vb = reference_.Vertices[static_cast<size_t>(j)].V[k];
            const Vec3 pa = va.Position, pb = vb.Position;
            ASSERT_NEAR(pa.x, pb.x, kPositionTolerance) << what << ", triangle " << i;
            ASSERT_NEAR(pa.y, pb.y, kPositionTolerance) << what << ", triangle " << i;
            ASSERT_NEAR(pa.z, pb.z, kPositionTolerance) << what << ", triangle " << i;
            ASSERT_EQ(va.U, vb.U);
            ASSERT_EQ(va.V, vb.V);
            ASSERT_EQ(va.Specular, vb.Specular);
            for (int shift = 0; shift < 32; shift += 8) {
                const int ca = static_cast<int>((va.Diffuse >> shift) & 0xFF);
                const int cb = static_cast<int>((vb.Diffuse >> shift) & 0xFF);
                ASSERT_LE(std::abs(ca - cb), kColourTolerance)
                    << what << ", triangle " << i << ", corner " << k << ", byte " << shift / 8;
                maxColourDifference_ = std::max(maxColourDifference_, std::abs(ca - cb));
            }
        }
        ++matchedTriangles_;
    }

    dv::LevelFileData data_;
    Vec3 at_{};
    dv::LightList lights_;
    dv::Animator item_;
    dv::ModelVertices referenceSkin_;
    dv::TriangleBuffer reference_, drawn_;
    dv::LevelDrawScratch referenceScratch_;
    dv::CharacterDrawScratch scratch_;
    int comparedViews_ = 0;
    int64_t matchedTriangles_ = 0;
    int64_t boundaryFaces_ = 0;
    int maxColourDifference_ = 0;
};

TEST_F(CharacterDrawTest, EveryFrameOfEveryClipMatchesTheReference) {
    for (const dv::ClipRecord& clip : item_.Movable()->Clips) {
        item_.SelectClip(clip.ClipId);
        ASSERT_NE(item_.Animation(), nullptr);
        for (int32_t f = 0; f < item_.Animation()->FrameCount; ++f) {
            item_.SetFrame(f);
            item_.Animating = false;
            item_.Update();
            ComparePose("clip " + std::to_string(clip.ClipId) + " frame " + std::to_string(f));
            if (HasFatalFailure()) return;
        }
    }
    EXPECT_GT(matchedTriangles_, 100 * comparedViews_);    // the views do see the character
    EXPECT_LT(boundaryFaces_ * 10000, matchedTriangles_);  // under one in 10,000
    std::printf("%lld triangles matched in %d views, %lld faces on a culling boundary, colours within %d\n",
                static_cast<long long>(matchedTriangles_), comparedViews_, static_cast<long long>(boundaryFaces_),
                maxColourDifference_);
}

// Blends of a few steps between clips, compared at every update that moves the pose.
TEST_F(CharacterDrawTest, BlendedTransitionsMatchTheReference) {
    const std::vector<dv::ClipRecord>& clips = item_.Movable()->Clips;
    int blends = 0;
    for (size_t a = 0; a + 1 < clips.size(); a += 3) {
        const dv::ClipRecord& from = clips[a];
        const dv::ClipRecord& to = clips[(a * 7 + 5) % clips.size()];
        dv::ClockSetVirtualMs(1000);
        item_.SelectClip(from.ClipId);
        item_.SetFrame(0);
        item_.Animating = true;
        item_.TimeScale = 1.0f;
        item_.Update();
        item_.StartTransition(to.ClipId, 0, 6);
        for (int32_t now = 1000; now < 3000 && !item_.Playback().TransitionDone; now += 7) {
            dv::ClockSetVirtualMs(now);
            item_.Update();
            if (!item_.Playback().Blending || item_.Playback().BlendFraction == 0.0f) continue;
            std::ostringstream what;
            what << "blend " << from.ClipId << " -> " << to.ClipId << " at " << item_.Playback().FramePos;
            ComparePose(what.str());
            if (HasFatalFailure()) return;
            ++blends;
        }
    }
    EXPECT_GT(blends, 0);
}

}  // namespace

namespace {

bool SameRecords(const dv::TriangleBuffer& a, const dv::TriangleBuffer& b) {
    if (a.Count != b.Count) return false;
    const size_t n = static_cast<size_t>(a.Count);
    return std::memcmp(a.Triangles.data(), b.Triangles.data(), n * sizeof(dv::TriangleHeader)) == 0 &&
           std::memcmp(a.Vertices.data(), b.Vertices.data(), n * sizeof(dv::TriangleVertices)) == 0;
}

}  // namespace

// The drawing that copies its last triangles: every call gives what a fresh drawing gives for
// the same inputs, and a change of any input (eye, a light, the placement, the pose) is seen.
TEST_F(CharacterDrawTest, ReusedTrianglesAreThoseOfAFreshDrawingOfTheSameInputs) {
    item_.SelectClip(item_.Movable()->Clips[0].ClipId);
    item_.SetFrame(0);
    item_.Animating = false;
    item_.Update();
    dv::Mat4 m = dv::MatIdentity();
    dv::MatScale(m, 3.2f, 3.2f, 3.2f);
    dv::LevelDrawTarget t = Target(kViews[1]);
    dv::LightList lights = lights_;
    dv::Vec3 at = at_;
    const int32_t slot = item_.Movable()->TextureSlot;
    dv::CharacterDrawScratch reuseScratch;
    dv::TriangleBuffer reused;
    const size_t faces = item_.Model()->Faces.size();
    reused.Triangles.resize(faces);
    reused.Vertices.resize(faces);

    const auto compare = [&](const std::string& what) {
        reused.Count = dv::DrawCharacterMeshReusing(item_.SkinnedSerial(), slot, *item_.Model(), item_.Skinned(), at, m,
                                                    reused.Triangles.data(), reused.Vertices.data(), t, t.ViewFrustum,
                                                    lights, reuseScratch);
        dv::DrawCharacterMesh(slot, *item_.Model(), item_.Skinned(), at, m, drawn_, t, t.ViewFrustum, lights, scratch_);
        EXPECT_GT(drawn_.Count, 100) << what;
        EXPECT_TRUE(SameRecords(reused, drawn_)) << what;
    };
    for (int k = 0; k < 4; ++k) compare("the same inputs, call " + std::to_string(k));
    EXPECT_EQ(reuseScratch.KeptCount, reused.Count);  // the third call on copied

    t.Eye.x += 0.5f;
    compare("eye moved");
    compare("eye moved, again");
    lights.Items[1].Diffuse.y *= 0.5f;
    compare("a light dimmed");
    compare("a light dimmed, again");
    at.z += 1.0f;
    compare("character moved");
    compare("character moved, again");
    item_.SetFrame(3);
    item_.Update();
    compare("another pose");
    compare("another pose, again");
}

// A character behind the eye, and one beyond the view distance: nothing is drawn, as by the
// reference, and the early return leaves nothing behind for the next drawing.
TEST_F(CharacterDrawTest, ACharacterOutOfViewGivesNoTriangles) {
    item_.SelectClip(item_.Movable()->Clips[0].ClipId);
    item_.SetFrame(0);
    item_.Animating = false;
    item_.Update();
    item_.SkinVerticesReference(referenceSkin_);
    const dv::Mat4 m = dv::MatIdentity();
    const int32_t slot = item_.Movable()->TextureSlot;
    for (const float distance : {-300.0f, 3000.0f}) {
        dv::LevelDrawTarget t = Target(kViews[0]);
        // Look along +z from a point `distance` before the character (negative: past it).
        t.Eye = dv::VecAdd(at_, Vec3{0, 30, -distance});
        const Vec3 look = dv::VecAdd(t.Eye, Vec3{0, 0, 1});
        t.ViewFrustum = dv::FrustumFromMatrices(dv::MatLookAtLH(t.Eye, look, Vec3{0, 1, 0}),
                                                dv::MatPerspectiveFovLH(0.8f, 4.0f / 3.0f, 1.0f, 5000.0f));
        dv::DrawMovableModel(slot, -1, *item_.Model(), at_.x, at_.y, at_.z, m, reference_, t, t.ViewFrustum, lights_,
                             &referenceSkin_, &referenceScratch_);
        dv::DrawCharacterMesh(slot, *item_.Model(), item_.Skinned(), at_, m, drawn_, t, t.ViewFrustum, lights_,
                              scratch_);
        EXPECT_EQ(reference_.Count, 0) << distance;
        EXPECT_EQ(drawn_.Count, 0) << distance;
    }
    ComparePose("in view again");
}
