#include <gtest/gtest.h>

#include <cmath>

#include "math/geometry.h"
#include "math/lighting.h"

using namespace dv;

namespace {

LightRecord MakeLight(LightKind kind) {
    LightRecord l{};
    l.Kind = kind;
    return l;
}

}  // namespace

TEST(Planes, NormalsSidesAndSegmentHits) {
    const Vec3 n = TriangleNormal(VecMake(0, 0, 0), VecMake(0, 0, 1), VecMake(1, 0, 0));
    EXPECT_FLOAT_EQ(n.y, 1.0f);  // clockwise seen from above faces up
    const Vec3 degenerate = TriangleNormal(VecMake(1, 1, 1), VecMake(2, 2, 2), VecMake(3, 3, 3));
    EXPECT_TRUE(VecEqual(degenerate, VecMake(0, 0, 0)));

    const Vec3 up{0, 1, 0};
    EXPECT_FLOAT_EQ(PlaneOffset(up, VecMake(7, 2, 7)), -2.0f);
    EXPECT_EQ(PointSide(up, VecMake(0, 3, 0), -2), 1);
    EXPECT_EQ(PointSide(up, VecMake(0, 2, 0), -2), 0);
    EXPECT_EQ(PointSideOfPlaneThrough(up, VecMake(0, 2, 0), VecMake(5, 1, 5)), -1);

    Vec3 hit{};
    EXPECT_TRUE(SegmentPlaneHit(VecMake(0, 5, 0), VecMake(0, -5, 0), up, -2, hit));
    EXPECT_FLOAT_EQ(hit.y, 2.0f);
    EXPECT_FALSE(SegmentPlaneHit(VecMake(0, 5, 0), VecMake(0, 4, 0), up, -2, hit));  // short of it
    EXPECT_FALSE(SegmentPlaneHit(VecMake(0, 5, 0), VecMake(3, 5, 0), up, -2, hit));  // parallel
    // A crossing behind the start within the segment's length still counts.
    EXPECT_TRUE(SegmentPlaneHit(VecMake(0, 3, 0), VecMake(0, 6, 0), up, -2, hit));
}

TEST(Boxes, PointsSegmentsAndSpheres) {
    const Vec3 lo{0, 0, 0}, hi{2, 2, 2};
    EXPECT_TRUE(PointInBox(lo, hi, VecMake(2, 0, 1)));
    EXPECT_FALSE(PointInBox(lo, hi, VecMake(2.001f, 0, 1)));
    EXPECT_TRUE(SegmentHitsBox(lo, hi, VecMake(5, 1, 1), VecMake(-5, 1, 1)));  // through +X face
    EXPECT_TRUE(SegmentHitsBox(lo, hi, VecMake(1, 9, 1), VecMake(1, 1, 1)));   // ends inside, from above
    EXPECT_FALSE(SegmentHitsBox(lo, hi, VecMake(0.5f, 0.5f, 0.5f), VecMake(1.5f, 1.5f, 1.5f)));
    EXPECT_FALSE(SegmentHitsBox(lo, hi, VecMake(1, 1, 1), VecMake(9, 1, 1)));   // starts inside
    EXPECT_FALSE(SegmentHitsBox(lo, hi, VecMake(5, 5, 1), VecMake(5, -5, 1)));  // passes beside
    EXPECT_TRUE(BoxCornerInSphere(lo, hi, VecMake(3, 3, 3), std::sqrt(3.0f)));
    EXPECT_FALSE(BoxCornerInSphere(lo, hi, VecMake(3, 3, 3), 1.7f));
    EXPECT_FLOAT_EQ(TriangleRadius(VecMake(1, 0, 0), VecMake(0, 3, 0), VecMake(0, 0, 2), VecMake(0, 0, 0)), 3.0f);
    EXPECT_FLOAT_EQ(
        QuadRadius(VecMake(1, 0, 0), VecMake(0, 3, 0), VecMake(0, 0, 2), VecMake(4, 0, 0), VecMake(0, 0, 0)), 4.0f);
}

TEST(Culling, BoxesAndTrianglesAgainstFrustums) {
    const Frustum f = FrustumFromMatrices(MatIdentity(), MatIdentity());  // the cube |x|,|y|,|z| <= 1
    EXPECT_TRUE(BoxInFrustum(VecMake(-0.5f, -0.5f, -0.5f), VecMake(0.5f, 0.5f, 0.5f), f));
    EXPECT_TRUE(BoxInFrustum(VecMake(0.9f, 0, 0), VecMake(3, 0.1f, 0.1f), f));  // straddles
    // Touching the right plane with a face only: all corners give exactly 0.
    EXPECT_FALSE(BoxInFrustum(VecMake(1, 0, 0), VecMake(2, 0.5f, 0.5f), f));
    EXPECT_FALSE(BoxInFrustum(VecMake(-3, -3, 1.5f), VecMake(3, 3, 2), f));

    // One vertex on a plane and the others behind: culled.
    EXPECT_FALSE(TriangleInFrustum(VecMake(1, 0, 0), VecMake(2, 0, 0), VecMake(2, 0.5f, 0), f));
    EXPECT_TRUE(TriangleInFrustum(VecMake(0.99f, 0, 0), VecMake(2, 0, 0), VecMake(2, 0.5f, 0), f));
    EXPECT_TRUE(QuadInFrustum(VecMake(5, 0, 0), VecMake(6, 0, 0), VecMake(6, 1, 0), VecMake(0, 0, 0), f));

    // A box outside moved inside by the transform and the offset.
    const Mat4 shift = MatTranslation(-10, 0, 0);
    EXPECT_TRUE(TransformedBoxInFrustum(VecMake(10, 0, 0), VecMake(10.5f, 0.5f, 0.5f), shift, f, VecMake(0, 0, 0)));
    EXPECT_FALSE(TransformedBoxInFrustum(VecMake(10, 0, 0), VecMake(10.5f, 0.5f, 0.5f), shift, f, VecMake(5, 0, 0)));
}

TEST(Culling, PortalFrustumBoundsTheOpening) {
    // A 2 x 2 opening in the plane z = 10, seen from the origin.
    const Vec3 p1{-1, 1, 10}, p2{1, 1, 10}, p3{1, -1, 10}, p4{-1, -1, 10};
    Frustum f{};
    f.Planes[5] = Plane{0, 0, 1, 0};
    PortalFrustum(p1, p2, p3, p4, VecMake(0, 0, 0), 1000.0f, f);
    auto inside = [&](const Vec3& p) {
        for (int i = 0; i < 5; ++i) {
            const Plane& q = f.Planes[i];
            if (q.a * p.x + q.b * p.y + q.c * p.z + q.d <= 0) return false;
        }
        return true;
    };
    EXPECT_TRUE(inside(VecMake(0, 0, 20)));
    EXPECT_TRUE(inside(VecMake(1.5f, -1.5f, 20)));
    EXPECT_FALSE(inside(VecMake(3, 0, 20)));
    EXPECT_FALSE(inside(VecMake(0, -3, 20)));
    EXPECT_FALSE(inside(VecMake(0, 0, 2000)));  // beyond the far plane
}

TEST(Lighting, PointLightFalloffAndConstants) {
    LightRecord l = MakeLight(LightKind::Point);
    l.Position = {0, 10, 0};
    l.ConstantA = {0.1f, 0, 0};
    l.ConstantB = {0, 0.2f, 0};
    l.Diffuse = {1, 1, 1};
    l.Inner = 2;
    l.Outer = 6;
    const Vec3 up{0, 1, 0};
    const Vec3 eye{0, 20, 0};

    Vec3 c{0, 0, 0};
    LightVertex(VecMake(0, 4, 0), up, c, l, eye);  // exactly at the outer radius
    EXPECT_FLOAT_EQ(c.x, 0.1f);
    EXPECT_FLOAT_EQ(c.y, 0.2f);
    EXPECT_FLOAT_EQ(c.z, 0.0f);

    c = {0, 0, 0};
    LightVertex(VecMake(0, 6, 0), up, c, l, eye);  // halfway between inner and outer
    EXPECT_FLOAT_EQ(c.z, 0.5f);

    c = {0, 0, 0};
    LightVertex(VecMake(0, 10, 0), up, c, l, eye);  // at the light itself: no NaN
    EXPECT_TRUE(std::isfinite(c.x) && std::isfinite(c.z));
    EXPECT_FLOAT_EQ(c.z, 0.0f);

    LightRecord strange = l;
    strange.Kind = static_cast<LightKind>(9);  // undefined kinds add only their constant terms
    c = {0, 0, 0};
    LightVertex(VecMake(0, 9, 0), up, c, strange, eye);
    EXPECT_FLOAT_EQ(c.x, 0.1f);
    EXPECT_FLOAT_EQ(c.z, 0.0f);
}

TEST(Lighting, SpotDirectionalSpecularAndClamping) {
    const Vec3 up{0, 1, 0};
    LightRecord spot = MakeLight(LightKind::Spot);
    spot.Position = {0, 10, 0};
    spot.Direction = {0, -1, 0};
    spot.Diffuse = {1, 1, 1};
    spot.Inner = 0.9f;
    spot.Outer = 0.5f;
    spot.CutOffset = -100;  // cut-off plane far below
    Vec3 c{0, 0, 0};
    LightVertex(VecMake(0, 0, 0), up, c, spot, VecMake(0, 5, 0));
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    c = {0, 0, 0};
    LightVertex(VecMake(20, 0, 0), up, c, spot, VecMake(0, 5, 0));  // outside the cone
    EXPECT_FLOAT_EQ(c.x, 0.0f);
    spot.CutOffset = 5;  // the point now lies in front of the cut-off plane
    c = {0, 0, 0};
    LightVertex(VecMake(0, 0, 0), up, c, spot, VecMake(0, 5, 0));
    EXPECT_FLOAT_EQ(c.x, 0.0f);

    LightRecord sun = MakeLight(LightKind::Directional);
    sun.Direction = {0, -1, 0};
    sun.Position = {1000, 0, 0};  // ignored for the diffuse term
    sun.Diffuse = {0.25f, 0.5f, 4.0f};
    c = {0, 0, 0};
    LightVertex(VecMake(0, 0, 0), up, c, sun, VecMake(0, 5, 0));
    EXPECT_FLOAT_EQ(c.x, 0.25f);
    EXPECT_FLOAT_EQ(c.y, 0.5f);
    EXPECT_FLOAT_EQ(c.z, 1.0f);  // clamped

    LightRecord shiny = MakeLight(LightKind::Omni);
    shiny.Position = {0, 10, 0};
    shiny.Specular = {1, 1, 1};
    shiny.Sharpness = 4;
    shiny.SpecularIntensity = 0.5f;
    shiny.ConstantA = {-3, -3, -3};  // the sum is clamped once, at the end
    c = {0, 0, 0};
    LightVertex(VecMake(0, 0, 0), up, c, shiny, VecMake(0, 5, 0));  // half-vector along the normal
    EXPECT_FLOAT_EQ(c.x, 0.0f);
    shiny.ConstantA = {0, 0, 0};
    c = {0, 0, 0};
    LightVertex(VecMake(0, 0, 0), up, c, shiny, VecMake(0, 5, 0));
    EXPECT_FLOAT_EQ(c.x, 0.5f);  // s = 1 gives sp = 1
}

TEST(Colours, NormalTexelsAndHls) {
    EXPECT_EQ(NormalToColor(VecMake(0, 0, 1)), 0xFF8080FFu);
    EXPECT_EQ(NormalToColor(VecMake(-1, -1, -1)), 0xFF010101u);
    EXPECT_EQ(NormalToColor(VecMake(1, 0, 0)), 0xFFFF8080u);

    uint8_t r, g, b;
    HlsToRgbBytes(240u << 24, -1, r, g, b);  // grey, luminance from the top byte
    EXPECT_EQ(r, 255);
    EXPECT_EQ(b, 255);
    HlsToRgbBytes(240u << 24, 120, r, g, b);  // the argument overrides the top byte
    EXPECT_EQ(r, 127);
    EXPECT_EQ(g, 127);
    HlsToRgbBytes(0u | (240u << 16), 120, r, g, b);  // hue 0, full saturation: pure red
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    HlsToRgbBytes(80u | (240u << 16), 120, r, g, b);  // hue 80: green
    EXPECT_EQ(g, 255);
    EXPECT_EQ(r, 0);
    HlsToRgbBytes(160u | (240u << 16), 120, r, g, b);  // hue 160: blue
    EXPECT_EQ(b, 255);
    EXPECT_EQ(g, 0);
    HlsToRgbBytes(0, 255, r, g, b);  // luminance above the scale stays a byte
    EXPECT_EQ(r, 255);
}
