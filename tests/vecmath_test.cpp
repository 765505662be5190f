#include <gtest/gtest.h>

#include <cmath>

#include "math/clock.h"
#include "math/vecmath.h"

using namespace dv;

namespace {

void ExpectVec(const Vec3& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

void ExpectQuat(const Quat& q, float x, float y, float z, float w, float eps = 1e-5f) {
    EXPECT_NEAR(q.x, x, eps);
    EXPECT_NEAR(q.y, y, eps);
    EXPECT_NEAR(q.z, z, eps);
    EXPECT_NEAR(q.w, w, eps);
}

// Rotation matrix of a unit quaternion, written independently of the engine's code
// (row-vector convention: v' = v x M).
Mat4 MatrixOfQuat(const Quat& q) {
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    Mat4 m = MatIdentity();
    m(0, 0) = float(1 - 2 * (y * y + z * z));
    m(0, 1) = float(2 * (x * y + w * z));
    m(0, 2) = float(2 * (x * z - w * y));
    m(1, 0) = float(2 * (x * y - w * z));
    m(1, 1) = float(1 - 2 * (x * x + z * z));
    m(1, 2) = float(2 * (y * z + w * x));
    m(2, 0) = float(2 * (x * z + w * y));
    m(2, 1) = float(2 * (y * z - w * x));
    m(2, 2) = float(1 - 2 * (x * x + y * y));
    return m;
}

}  // namespace

TEST(Scalars, TruncationPowersAndLerp) {
    EXPECT_EQ(TruncToInt(-2.9f), -2);
    EXPECT_EQ(TruncToInt(2.9f), 2);
    EXPECT_EQ(TruncToInt64(-7.99), -7);
    EXPECT_EQ(TruncToInt64(NAN), 0);
    EXPECT_EQ(TruncToInt(1e20f), INT32_MAX);
    EXPECT_EQ(IntPower(3, 3), 27);
    EXPECT_EQ(IntPower(5, 1), 5);
    EXPECT_EQ(IntPower(5, 0), 5);
    EXPECT_EQ(IntPower(5, -3), 5);
    // Exact ends even where a + t(b - a) would round.
    EXPECT_EQ(LerpScalar(0.1f, 1e8f, 1.0f), 1e8f);
    EXPECT_EQ(LerpScalar(0.1f, 1e8f, 0.0f), 0.1f);
    EXPECT_FLOAT_EQ(LerpScalar(2.0f, 4.0f, 1.5f), 5.0f);
    EXPECT_EQ(FloatAsDword(1.0f), 0x3F800000u);
    EXPECT_DOUBLE_EQ(ArcCos(1.0000001), 0.0);  // rounding above 1 does not give NaN
    EXPECT_NEAR(RadToDeg(M_PI), 180.0, 1e-4);
}

TEST(Scalars, HeadingDeltaWrapsAcross180) {
    auto heading = [](double deg) {
        return VecMake(float(std::cos(deg * M_PI / 180)), 0, float(std::sin(deg * M_PI / 180)));
    };
    EXPECT_NEAR(HeadingDelta(heading(170), heading(-170)), 20.0f, 1e-3f);
    EXPECT_NEAR(HeadingDelta(heading(-170), heading(170)), -20.0f, 1e-3f);
    EXPECT_NEAR(HeadingDelta(heading(10), heading(100)), 90.0f, 1e-3f);
    EXPECT_NEAR(HeadingDelta(heading(0), heading(-90)), -90.0f, 1e-3f);
    // Only X and Z count.
    EXPECT_NEAR(HeadingDelta(VecMake(1, 50, 0), VecMake(0, -3, 1)), 90.0f, 1e-3f);
}

TEST(Vectors, BasicsAndDegenerateCases) {
    ExpectVec(VecCross(VecMake(1, 0, 0), VecMake(0, 1, 0)), 0, 0, 1);
    EXPECT_FLOAT_EQ(VecLength(VecMake(3, 4, 12)), 13.0f);
    ExpectVec(VecDirection(VecMake(1, 2, 3), VecMake(1, 2, 3)), 0, 0, 0);
    ExpectVec(VecDirection(VecMake(1, 2, 3), VecMake(1, 2, 13)), 0, 0, 1);
    EXPECT_EQ(VecMajorAxis(VecMake(1, 1, 1)), 0);
    EXPECT_EQ(VecMajorAxis(VecMake(0, 1, 1)), 1);
    EXPECT_EQ(VecMajorAxis(VecMake(0, 0, 0)), 0);
    EXPECT_EQ(VecMajorAxis(VecMake(0, -1, 2)), 2);
    EXPECT_EQ(VecMajorAxis(VecMake(0, -3, 2)), 1);
    ExpectVec(VecBezier(VecMake(0, 0, 0), VecMake(1, 2, 0), VecMake(2, 0, 0), 0.5f), 1, 1, 0);
    ExpectVec(VecLerp(VecMake(0, 0, 0), VecMake(2, 4, 6), 1.5f), 3, 6, 9);
    Vec3 zero{0, 0, 0};
    VecNormalize(zero);
    EXPECT_FALSE(std::isfinite(zero.x));
}

TEST(Matrices, RotationsAreDirect3DLeftHanded) {
    Mat4 m = MatIdentity();
    MatRotateAngles(m, false, 0, 90, 0);
    Vec3 v{1, 0, 0};
    VecTransform(v, m);
    ExpectVec(v, 0, 0, -1);  // Y rotation turns +X into -Z

    Vec3 y{0, 1, 0};
    VecTransform(y, MatRotationX(float(M_PI / 2)));
    ExpectVec(y, 0, 0, 1);
    Vec3 x{1, 0, 0};
    VecTransform(x, MatRotationZ(float(M_PI / 2)));
    ExpectVec(x, 0, 1, 0);

    // M := T x M: a rotation applied onto a translation keeps the translation row last.
    Mat4 t = MatTranslation(5, 0, 0);
    MatRotateAngles(t, false, 0, 90, 0);
    Vec3 p{1, 0, 0};
    VecTransform(p, t);
    ExpectVec(p, 5, 0, -1);

    // Order: Y first, then X, then Z, for a row vector.
    Mat4 combined = MatIdentity();
    MatRotateAngles(combined, false, 30, 40, 50);
    const Mat4 expected =
        MatMultiply(MatMultiply(MatRotationY(40 * DegToRad), MatRotationX(30 * DegToRad)), MatRotationZ(50 * DegToRad));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(combined.m[i], expected.m[i], 1e-6f) << i;
}

TEST(Matrices, ScaleAndRigidInverse) {
    Mat4 m = MatTranslation(1, 2, 3);
    MatScale(m, 2, 3, 4);
    Vec3 v{1, 1, 1};
    VecTransform(v, m);
    ExpectVec(v, 3, 5, 7);

    Mat4 rigid = MatTranslation(4, -2, 7);
    MatRotateAngles(rigid, false, 20, 35, -60);
    Mat4 inv;
    MatRigidInverse(rigid, inv);
    const Mat4 product = MatMultiply(rigid, inv);
    const Mat4 identity = MatIdentity();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product.m[i], identity.m[i], 1e-5f) << i;
}

TEST(Matrices, PerspectiveAndLookAt) {
    const Mat4 view = MatLookAtLH(VecMake(0, 0, -10), VecMake(0, 0, 0), VecMake(0, 1, 0));
    Vec3 origin{0, 0, 0};
    VecTransform(origin, view);
    ExpectVec(origin, 0, 0, 10);  // looking down +Z from z = -10
    const Mat4 proj = MatPerspectiveFovLH(float(M_PI / 2), 1.0f, 1.0f, 100.0f);
    // A point on the near plane maps to depth 0 and one on the far plane to depth 1 after the divide.
    auto depth = [&](float z) {
        const float zc = z * proj(2, 2) + proj(3, 2);
        const float w = z * proj(2, 3);
        return zc / w;
    };
    EXPECT_NEAR(depth(1.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(depth(100.0f), 1.0f, 1e-6f);
}

TEST(Quaternions, AxisAngleAndEulerForms) {
    Quat q;
    QuatIdentity(q);
    QuatApplyAxisAngle(q, 90, 0, 2, 0);  // axis length does not matter
    ExpectQuat(q, 0, float(std::sin(M_PI / 4)), 0, float(std::cos(M_PI / 4)));

    Quat z;
    QuatIdentity(z);
    QuatApplyAxisAngle(z, 60, 0, 0, 0);  // zero axis: scalar part only
    ExpectQuat(z, 0, 0, 0, float(std::cos(M_PI / 6)));

    Quat zero;
    QuatIdentity(zero, true);
    ExpectQuat(zero, 0, 0, 0, 0);

    // The quaternion forms rotate vectors like the left-handed matrices (Y, then X, then Z).
    Quat zxy;
    QuatFromAnglesZXY(zxy, 30, 40, 50);
    const Mat4 fromQuat = MatrixOfQuat(zxy);
    Mat4 fromMatrix = MatIdentity();
    MatRotateAngles(fromMatrix, false, 30, 40, 50);
    const Vec3 probe{0.3f, -0.7f, 0.2f};
    Vec3 a = probe, b = probe;
    VecTransform(a, fromQuat);
    VecTransform(b, fromMatrix);
    // The Z.X.Y quaternion and the Y-X-Z matrix chain describe the same rotation.
    ExpectVec(a, b.x, b.y, b.z, 1e-5f);
    Vec3 c = probe;
    QuatRotateVec(c, zxy);
    ExpectVec(c, a.x, a.y, a.z, 1e-5f);
    ExpectVec(QuatTransformVec(probe, zxy), a.x, a.y, a.z, 1e-5f);

    Quat zyx;
    QuatFromAnglesZYX(zyx, 30, 40, 50);
    Quat manual;
    QuatIdentity(manual);
    QuatApplyAxisAngle(manual, 30, 1, 0, 0);
    QuatApplyAxisAngle(manual, 40, 0, 1, 0);
    QuatApplyAxisAngle(manual, 50, 0, 0, 1);
    ExpectQuat(zyx, manual.x, manual.y, manual.z, manual.w);

    Quat rotated;
    QuatIdentity(rotated);
    QuatRotateByAngles(rotated, 30, 40, 50);
    ExpectQuat(rotated, zyx.x, zyx.y, zyx.z, zyx.w);
}

TEST(Quaternions, MultiplyInverseAndRotateAboutPoint) {
    Quat q;
    QuatFromAnglesZYX(q, 10, 70, -20);
    Quat inv = q;
    QuatInverse(inv);
    ExpectQuat(QuatMultiply(q, inv), 0, 0, 0, 1);
    EXPECT_NEAR(QuatLength(q), 1.0f, 1e-6f);

    Quat about;
    QuatIdentity(about);
    QuatApplyAxisAngle(about, 90, 0, 1, 0);
    Vec3 p{2, 0, 1};
    RotateAboutPoint(p, about, VecMake(1, 0, 1));
    // A right-handed quarter turn about +Y takes +X to -Z.
    ExpectVec(p, 1, 0, 0);
    ExpectVec(RotateAboutPointByAngles(VecMake(2, 5, 1), VecMake(1, 5, 1), 0, 90, 0), 1, 5, 0);
}

TEST(Quaternions, SlerpEndsAndShortestPath) {
    Quat a, b;
    QuatFromAnglesZYX(a, 0, 20, 0);
    QuatFromAnglesZYX(b, 0, 100, 0);
    ExpectQuat(QuatSlerp(a, b, 0), a.x, a.y, a.z, a.w);
    ExpectQuat(QuatSlerp(a, b, 1), b.x, b.y, b.z, b.w);
    Quat mid;
    QuatFromAnglesZYX(mid, 0, 60, 0);
    const Quat half = QuatSlerp(a, b, 0.5f);
    ExpectQuat(half, mid.x, mid.y, mid.z, mid.w);

    const Quat negB{-b.x, -b.y, -b.z, -b.w};  // same rotation, negative dot product
    ExpectQuat(QuatSlerp(a, negB, 1), b.x, b.y, b.z, b.w);
    const Quat viaNeg = QuatSlerp(a, negB, 0.5f);
    ExpectQuat(viaNeg, mid.x, mid.y, mid.z, mid.w);

    const Quat same = QuatSlerp(a, a, 0.3f);  // identical inputs take the linear branch
    ExpectQuat(same, a.x, a.y, a.z, a.w);
}

TEST(Frustums, IdentityPlanesAndCameraPlanes) {
    const Frustum f = FrustumFromMatrices(MatIdentity(), MatIdentity());
    const Plane& right = f[FrustumPlane::Right];
    const Plane& left = f[FrustumPlane::Left];
    EXPECT_FLOAT_EQ(right.a, -1);
    EXPECT_FLOAT_EQ(right.d, 1);
    EXPECT_FLOAT_EQ(left.a, 1);
    EXPECT_FLOAT_EQ(left.d, 1);
    EXPECT_FLOAT_EQ(f[FrustumPlane::Bottom].b, 1);
    EXPECT_FLOAT_EQ(f[FrustumPlane::Top].b, -1);
    EXPECT_FLOAT_EQ(f[FrustumPlane::Far].c, -1);
    EXPECT_FLOAT_EQ(f[FrustumPlane::Near].c, 1);

    // A real camera. The near plane is w + z >= 0, which for Direct3D's 0..1 depth range lies
    // at zn*zf / (2zf - zn), a little in front of the near clipping distance.
    const Mat4 view = MatLookAtLH(VecMake(0, 0, 0), VecMake(0, 0, 1), VecMake(0, 1, 0));
    const Mat4 proj = MatPerspectiveFovLH(float(M_PI / 2), 1.0f, 2.0f, 50.0f);
    const Frustum cam = FrustumFromMatrices(view, proj);
    const Plane& nearPlane = cam[FrustumPlane::Near];
    EXPECT_NEAR(nearPlane.c, 1, 1e-5);
    EXPECT_NEAR(nearPlane.d, -100.0 / 98.0, 1e-5);
    const Plane& farPlane = cam[FrustumPlane::Far];
    EXPECT_NEAR(farPlane.c, -1, 1e-5);
    EXPECT_NEAR(farPlane.d, 50, 1e-3);
    Plane p{0, 3, 4, 10};
    PlaneNormalize(p);
    EXPECT_FLOAT_EQ(p.b, 0.6f);
    EXPECT_FLOAT_EQ(p.d, 2.0f);
}

TEST(Clock, VirtualClockIsExactAndRealClockNeverDecreases) {
    ClockUseVirtual(false);
    const int32_t first = ClockMs();
    EXPECT_GE(first, 0);
    EXPECT_GE(ClockMs(), first);
    ClockUseVirtual(true);
    EXPECT_EQ(ClockMs(), 0);
    ClockAdvanceVirtual(16);
    ClockAdvanceVirtual(16);
    EXPECT_EQ(ClockMs(), 32);
    ClockSetVirtualMs(1000);
    EXPECT_EQ(ClockMs(), 1000);
    ClockUseVirtual(false);
}
