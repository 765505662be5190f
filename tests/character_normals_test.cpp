#include <gtest/gtest.h>

#include "tools/character_normals.h"

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
                  Vertex({0.05f, 0, 0}, {0.6f, 0.8f, 0}, {{1, 50}, {0, 50}}),
                  Vertex({0, 5, 0}, {0, 0, 1}, {{0, 100}})};
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

}  // namespace
