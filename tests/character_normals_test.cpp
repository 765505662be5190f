#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tools/character/character_build.h"
#include "tools/character/character_normals.h"

namespace {

using dv::Vec3;

dv::ModelVertex Vertex(Vec3 position, Vec3 normal, std::initializer_list<std::pair<int16_t, uint8_t>> weights) {
    dv::ModelVertex v{};
    v.Position = position;
    v.Normal = normal;
    for (int s = 0; s < 4; ++s) v.Bones[s] = -1;
    int s = 0;
    for (const auto& [bone, pct] : weights) {
        v.Bones[s] = bone;
        v.Weights[s++] = pct;
    }
    return v;
}

Vec3 NormalOf(const dv::ModelRecord& m, size_t i) { return m.Vertices[i].Normal; }

TEST(JointNormals, BlendedVerticesTakeTheirNeighboursNormalsByWeight) {
    dv::ModelRecord m;
    m.Vertices = {Vertex({0, 0, 0}, {1, 0, 0}, {{0, 50}, {1, 50}}),
                  Vertex({0.05f, 0, 0}, {0.6f, 0.8f, 0}, {{1, 50}, {0, 50}}), Vertex({0, 5, 0}, {0, 0, 1}, {{0, 100}})};
    dv::SmoothNormalsAcrossJoints(m, {{0, 0.3f}, {1, 0.3f}, {0, 0.3f}});
    // Half of (1, 0, 0) and half of (0.6, 0.8, 0), made unit length.
    EXPECT_NEAR(NormalOf(m, 0).x, 0.894427f, 1e-4f);
    EXPECT_NEAR(NormalOf(m, 0).y, 0.447214f, 1e-4f);
    // Both sides of the joint end with the same normal: no crease.
    EXPECT_NEAR(dv::VecDot(NormalOf(m, 0), NormalOf(m, 1)), 1.0f, 1e-4f);
    // A vertex of one bone keeps its own.
    EXPECT_FLOAT_EQ(NormalOf(m, 2).z, 1.0f);
}

TEST(JointNormals, NeighboursOutOfReachOrFacingAwayAreNotUsed) {
    dv::ModelRecord m;
    m.Vertices = {Vertex({0, 0, 0}, {1, 0, 0}, {{0, 70}, {1, 30}}),
                  Vertex({0.01f, 0, 0}, {-1, 0, 0}, {{1, 100}}),  // a cap inside the joint
                  Vertex({0.1f, 0, 0}, {0.8f, 0.6f, 0}, {{1, 100}}),
                  Vertex({0, 0, 9}, {0, 0, 1}, {{0, 60}, {1, 40}})};  // nothing of bone 1 near
    dv::SmoothNormalsAcrossJoints(m, {{0, 0.3f}, {1, 0.3f}, {1, 0.3f}, {0, 0.3f}});
    const Vec3 n0 = NormalOf(m, 0);
    EXPECT_GT(n0.x, 0.9f);
    EXPECT_GT(n0.y, 0.1f);  // took the aligned neighbour, not the reversed cap
    EXPECT_FLOAT_EQ(NormalOf(m, 3).z, 1.0f);
    EXPECT_THROW(dv::SmoothNormalsAcrossJoints(m, {{0, 0.3f}}), std::invalid_argument);
}

const dv::BuiltCharacter& Built() {
    static const dv::BuiltCharacter built =
        dv::BuildCharacter(dv::LoadCharacterSource(std::string(DV_SOURCE_DIR) + "/assets/character"));
    return built;
}

int BoneIndex(const char* name) {
    const dv::CharacterSource src = dv::LoadCharacterSource(std::string(DV_SOURCE_DIR) + "/assets/character");
    for (size_t i = 0; i < src.Joints.size(); ++i) {
        if (src.Joints[i].Name == name) return static_cast<int>(i);
    }
    return -1;
}

// Reach along z of the vertices a bone carries most of.
std::pair<float, float> ZRange(int bone) {
    float lo = 1e9f, hi = -1e9f;
    for (const dv::ModelVertex& v : Built().Model.Vertices) {
        if (v.Bones[0] != bone) continue;
        lo = std::min(lo, v.Position.z);
        hi = std::max(hi, v.Position.z);
    }
    return {lo, hi};
}

TEST(CharacterMesh, HandsHaveAThumbAndTheHeadANoseAndAHairTail) {
    for (const char* hand : {"l_hand", "r_hand"}) {
        // The palm reaches 0.16 forward; the thumb stands out in front of it.
        EXPECT_GT(ZRange(BoneIndex(hand)).second, 0.2f) << hand;
    }
    const auto head = ZRange(BoneIndex("head"));
    EXPECT_GT(head.second, 0.5f);   // the nose, in front of the face
    EXPECT_LT(head.first, -0.55f);  // the hair tail, carried by the head so it turns with it
}

TEST(CharacterMesh, StaysWithinHalfAgainTheFacesOfTheBoxyBody) {
    const dv::ModelRecord& m = Built().Model;
    EXPECT_GT(m.FaceCount, 3212);
    EXPECT_LE(m.FaceCount, 3212 * 3 / 2);
    EXPECT_LE(m.VertexCount, 1642 * 3 / 2);
}

TEST(CharacterMesh, JointsShadeWithoutACrease) {
    // Where two bones' vertices lie together at a joint, their normals agree closely.
    const dv::ModelRecord& m = Built().Model;
    int pairs = 0;
    for (size_t i = 0; i < m.Vertices.size(); ++i) {
        const dv::ModelVertex& a = m.Vertices[i];
        if (a.Bones[1] < 0 || a.Weights[0] > 55) continue;
        for (size_t j = i + 1; j < m.Vertices.size(); ++j) {
            const dv::ModelVertex& b = m.Vertices[j];
            if (b.Bones[1] < 0 || b.Weights[0] > 55 || b.Bones[0] == a.Bones[0]) continue;
            if (dv::VecDistance(a.Position, b.Position) > 0.01f) continue;
            ++pairs;
            EXPECT_GT(dv::VecDot(a.Normal, b.Normal), 0.95f) << "vertices " << i << " and " << j;
        }
    }
    EXPECT_GT(pairs, 20);
}

}  // namespace
