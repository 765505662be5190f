#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "math/lighting.h"

using namespace dv;

namespace {

float Uniform(std::mt19937& rng, float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(rng() % 100000) / 100000.0f;
}

Vec3 RandomVec(std::mt19937& rng, float lo, float hi) {
    return {Uniform(rng, lo, hi), Uniform(rng, lo, hi), Uniform(rng, lo, hi)};
}

}  // namespace

// Whenever a point light is reported to miss a box, lighting any point of the box (corners
// included) must give exactly the constant-only result, bit for bit.
TEST(LightReach, AMissedBoxGetsExactlyTheConstantTerms) {
    std::mt19937 rng(11);
    int misses = 0, hits = 0;
    for (int round = 0; round < 4000; ++round) {
        LightRecord light{};
        light.Kind = LightKind::Point;
        light.Position = RandomVec(rng, -200, 200);
        light.ConstantA = RandomVec(rng, 0, 0.3f);
        light.ConstantB = RandomVec(rng, 0, 0.3f);
        light.Diffuse = RandomVec(rng, 0, 1);
        light.Specular = RandomVec(rng, 0, 1);
        light.Sharpness = Uniform(rng, 0, 1);
        light.SpecularIntensity = 1;
        light.Inner = Uniform(rng, 0, 50);
        light.Outer = light.Inner + Uniform(rng, 0, 150);
        const Vec3 a = RandomVec(rng, -200, 200), b = RandomVec(rng, -200, 200);
        const Vec3 lo{std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
        const Vec3 hi{std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
        if (!PointLightMissesBox(light, lo, hi)) {
            ++hits;
            continue;
        }
        ++misses;
        for (int k = 0; k < 10; ++k) {
            // Corners first, then inner points.
            const Vec3 p = k < 8 ? Vec3{(k & 1) ? hi.x : lo.x, (k & 2) ? hi.y : lo.y, (k & 4) ? hi.z : lo.z}
                                 : Vec3{Uniform(rng, lo.x, hi.x), Uniform(rng, lo.y, hi.y), Uniform(rng, lo.z, hi.z)};
            const Vec3 start = RandomVec(rng, 0, 1);
            Vec3 full = start, constant = start;
            LightVertex(p, Vec3{0, 1, 0}, full, light, RandomVec(rng, -100, 100), 0.5f);
            LightVertexConstantOnly(constant, light);
            ASSERT_EQ(std::memcmp(&full, &constant, sizeof full), 0) << "round " << round;
        }
    }
    EXPECT_GT(misses, 500);
    EXPECT_GT(hits, 500);
}

TEST(LightReach, OnlyPointLightsWithARadiusAreSkipped) {
    LightRecord light{};
    light.Kind = LightKind::Point;
    light.Position = {0, 0, 0};
    light.Outer = 10;
    const Vec3 lo{20, 0, 0}, hi{30, 5, 5};
    EXPECT_TRUE(PointLightMissesBox(light, lo, hi));
    EXPECT_FALSE(PointLightMissesBox(light, {9, 0, 0}, hi));  // the box reaches into the radius
    for (LightKind kind : {LightKind::Spot, LightKind::Omni, LightKind::Directional}) {
        light.Kind = kind;
        EXPECT_FALSE(PointLightMissesBox(light, lo, hi));
    }
    light.Kind = LightKind::Point;
    light.Outer = std::nanf("");
    EXPECT_FALSE(PointLightMissesBox(light, lo, hi));
}
