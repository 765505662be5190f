#include "math/vecmath.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace dv {

namespace {

Vec3 Store(double x, double y, double z) { return detail::StoreVec(x, y, z); }
Quat StoreQuat(double x, double y, double z, double w) { return detail::StoreQuat(x, y, z, w); }

}  // namespace

int32_t TruncToInt(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
    if (x <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

// Arguments just outside [-1, 1] from rounding give 0 or pi rather than NaN.
double ArcCos(double x) { return std::atan2(std::sqrt(std::fmax(0.0, 1.0 - x * x)), x); }

double ArcTan2(double y, double x) { return std::atan2(y, x); }

double RadToDeg(double radians) { return radians / static_cast<double>(DegToRad); }

int32_t IntPower(int32_t base, int32_t n) {
    int32_t result = base;
    for (int32_t i = 1; i < n; ++i) result *= base;
    return result;
}

float LerpScalar(float a, float b, float t) {
    if (t == 0.0f) return a;
    if (t == 1.0f) return b;
    return static_cast<float>(a + static_cast<double>(t) * (static_cast<double>(b) - a));
}

uint32_t FloatAsDword(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float HeadingDelta(const Vec3& from, const Vec3& to) {
    const double ha = RadToDeg(ArcTan2(from.z, from.x));
    const double hb = RadToDeg(ArcTan2(to.z, to.x));
    double r = hb - ha;
    if (std::fabs(r) > 180.0) r += (ha > hb) ? 360.0 : -360.0;
    return static_cast<float>(r);
}

Vec3 VecMake(float x, float y, float z) { return {x, y, z}; }

void VecNegate(Vec3& v) {
    v.x = -v.x;
    v.y = -v.y;
    v.z = -v.z;
}

Vec3 VecLerp(const Vec3& a, const Vec3& b, float t) {
    const double k = t;
    return Store(a.x + (static_cast<double>(b.x) - a.x) * k, a.y + (static_cast<double>(b.y) - a.y) * k,
                 a.z + (static_cast<double>(b.z) - a.z) * k);
}

bool VecEqual(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

int VecMajorAxis(const Vec3& v) {
    const float x = std::fabs(v.x), y = std::fabs(v.y), z = std::fabs(v.z);
    if (x >= y && x >= z) return 0;
    if (y > x && y >= z) return 1;
    return 2;
}

Vec3 VecBezier(const Vec3& p0, const Vec3& p1, const Vec3& p2, float t) {
    const double u = 1.0 - t;
    const double k0 = u * u, k1 = 2.0 * u * t, k2 = static_cast<double>(t) * t;
    return Store(k0 * p0.x + k1 * p1.x + k2 * p2.x, k0 * p0.y + k1 * p1.y + k2 * p2.y,
                 k0 * p0.z + k1 * p1.z + k2 * p2.z);
}

Mat4 MatIdentity() {
    Mat4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

void MatMultiply(const Mat4& a, const Mat4& b, Mat4& out) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += static_cast<double>(a(i, k)) * b(k, j);
            out(i, j) = static_cast<float>(sum);
        }
    }
}

Mat4 MatMultiply(const Mat4& a, const Mat4& b) {
    Mat4 out;
    MatMultiply(a, b, out);
    return out;
}

Mat4 MatRotationX(float radians) {
    Mat4 m = MatIdentity();
    const float c = std::cos(radians), s = std::sin(radians);
    m(1, 1) = c;
    m(1, 2) = s;
    m(2, 1) = -s;
    m(2, 2) = c;
    return m;
}

Mat4 MatRotationY(float radians) {
    Mat4 m = MatIdentity();
    const float c = std::cos(radians), s = std::sin(radians);
    m(0, 0) = c;
    m(0, 2) = -s;
    m(2, 0) = s;
    m(2, 2) = c;
    return m;
}

Mat4 MatRotationZ(float radians) {
    Mat4 m = MatIdentity();
    const float c = std::cos(radians), s = std::sin(radians);
    m(0, 0) = c;
    m(0, 1) = s;
    m(1, 0) = -s;
    m(1, 1) = c;
    return m;
}

Mat4 MatScaling(float sx, float sy, float sz) {
    Mat4 m = MatIdentity();
    m(0, 0) = sx;
    m(1, 1) = sy;
    m(2, 2) = sz;
    return m;
}

Mat4 MatTranslation(float x, float y, float z) {
    Mat4 m = MatIdentity();
    m(3, 0) = x;
    m(3, 1) = y;
    m(3, 2) = z;
    return m;
}

void MatRotateAngles(Mat4& m, bool inRadians, float ax, float ay, float az) {
    const double k = inRadians ? 1.0 : DegToRadPrecise;
    const Mat4 ry = MatRotationY(static_cast<float>(ay * k));
    const Mat4 rx = MatRotationX(static_cast<float>(ax * k));
    const Mat4 rz = MatRotationZ(static_cast<float>(az * k));
    const Mat4 t = MatMultiply(MatMultiply(ry, rx), rz);
    const Mat4 old = m;
    MatMultiply(t, old, m);
}

void MatScale(Mat4& m, float sx, float sy, float sz) {
    const Mat4 old = m;
    MatMultiply(MatScaling(sx, sy, sz), old, m);
}

void MatRigidInverse(const Mat4& m, Mat4& out) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out(i, j) = m(j, i);
    out(0, 3) = out(1, 3) = out(2, 3) = 0.0f;
    out(3, 3) = 1.0f;
    for (int j = 0; j < 3; ++j) {
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) sum += static_cast<double>(m(3, k)) * m(j, k);
        out(3, j) = static_cast<float>(-sum);
    }
}

Mat4 MatPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar) {
    Mat4 m{};
    const double yScale = 1.0 / std::tan(fovY / 2.0);
    m(0, 0) = static_cast<float>(yScale / aspect);
    m(1, 1) = static_cast<float>(yScale);
    m(2, 2) = static_cast<float>(zFar / (static_cast<double>(zFar) - zNear));
    m(2, 3) = 1.0f;
    m(3, 2) = static_cast<float>(-static_cast<double>(zNear) * zFar / (static_cast<double>(zFar) - zNear));
    return m;
}

Mat4 MatLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up) {
    Vec3 zaxis = VecSub(at, eye);
    VecNormalize(zaxis);
    Vec3 xaxis = VecCross(up, zaxis);
    VecNormalize(xaxis);
    const Vec3 yaxis = VecCross(zaxis, xaxis);
    Mat4 m = MatIdentity();
    const Vec3 axes[3] = {xaxis, yaxis, zaxis};
    for (int c = 0; c < 3; ++c) {
        m(0, c) = axes[c].x;
        m(1, c) = axes[c].y;
        m(2, c) = axes[c].z;
        m(3, c) = -VecDot(axes[c], eye);
    }
    return m;
}

void QuatIdentity(Quat& q, bool zero) { q = {0.0f, 0.0f, 0.0f, zero ? 0.0f : 1.0f}; }

Quat QuatConjugate(const Quat& q) { return {-q.x, -q.y, -q.z, q.w}; }

float QuatLength(const Quat& q) {
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    return static_cast<float>(std::sqrt(x * x + y * y + z * z + w * w));
}

void QuatNormalize(Quat& q) {
    const double len = QuatLength(q);
    q = StoreQuat(q.x / len, q.y / len, q.z / len, q.w / len);
}

void QuatInverse(Quat& q) {
    q = QuatConjugate(q);
    QuatNormalize(q);
}

void QuatApplyAxisAngle(Quat& q, float angle, float x, float y, float z) {
    const double radians = static_cast<double>(angle) * DegToRad;
    float s2 = x * x + y * y + z * z;
    if (s2 == 0.0f) s2 = 1e-12f;
    const double k = 1.0 / std::sqrt(static_cast<double>(s2));
    const double s = std::sin(radians / 2.0);
    const Quat r = StoreQuat(x * k * s, y * k * s, z * k * s, std::cos(radians / 2.0));
    q = QuatMultiply(r, q);
}

namespace {

void AxisQuats(float ax, float ay, float az, Quat& rx, Quat& ry, Quat& rz) {
    QuatIdentity(rx);
    QuatIdentity(ry);
    QuatIdentity(rz);
    QuatApplyAxisAngle(rx, ax, 1.0f, 0.0f, 0.0f);
    QuatApplyAxisAngle(ry, ay, 0.0f, 1.0f, 0.0f);
    QuatApplyAxisAngle(rz, az, 0.0f, 0.0f, 1.0f);
}

}  // namespace

void QuatFromAnglesZXY(Quat& q, float ax, float ay, float az) {
    Quat rx, ry, rz;
    AxisQuats(ax, ay, az, rx, ry, rz);
    q = QuatMultiply(QuatMultiply(rz, rx), ry);
}

void QuatFromAnglesZYX(Quat& q, float ax, float ay, float az) {
    Quat rx, ry, rz;
    AxisQuats(ax, ay, az, rx, ry, rz);
    q = QuatMultiply(QuatMultiply(rz, ry), rx);
}

void QuatRotateByAngles(Quat& q, float ax, float ay, float az) {
    Quat r;
    QuatFromAnglesZYX(r, ax, ay, az);
    q = QuatMultiply(q, r);
}

Quat QuatSlerp(const Quat& a, const Quat& b, float t) {
    double h = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y + static_cast<double>(a.z) * b.z +
               static_cast<double>(a.w) * b.w;
    double sign = 1.0;
    if (h < 0.0) {
        sign = -1.0;
        h = -h;
    }
    double k0, k1;
    if (1.0 - h <= 1e-12) {
        k0 = 1.0 - t;
        k1 = t;
    } else {
        const double omega = ArcCos(h);
        const double so = std::sin(omega);
        k0 = std::sin((1.0 - t) * omega) / so;
        k1 = std::sin(t * omega) / so;
    }
    k1 *= sign;
    return StoreQuat(k0 * a.x + k1 * b.x, k0 * a.y + k1 * b.y, k0 * a.z + k1 * b.z, k0 * a.w + k1 * b.w);
}

void QuatRotateVec(Vec3& v, const Quat& q) {
    Quat inverse = q;
    QuatInverse(inverse);
    const Quat r = QuatMultiply(QuatMultiply(q, Quat{v.x, v.y, v.z, 0.0f}), inverse);
    v = {r.x, r.y, r.z};
}

Vec3 QuatTransformVec(const Vec3& v, const Quat& q) {
    const double w = q.w, x = q.x, y = q.y, z = q.z;
    const double vx = v.x, vy = v.y, vz = v.z;
    return Store(w * w * vx + 2 * w * y * vz - 2 * w * z * vy + x * x * vx + 2 * y * x * vy + 2 * z * x * vz -
                     z * z * vx - y * y * vx,
                 2 * x * y * vx + y * y * vy + 2 * y * z * vz + 2 * w * z * vx - z * z * vy + w * w * vy -
                     2 * w * x * vz - x * x * vy,
                 2 * x * z * vx + 2 * y * z * vy + z * z * vz - 2 * w * y * vx - y * y * vz + 2 * w * x * vy -
                     x * x * vz + w * w * vz);
}

void RotateAboutPoint(Vec3& p, const Quat& q, const Vec3& centre) {
    Vec3 d = VecSub(p, centre);
    QuatRotateVec(d, q);
    p = VecAdd(centre, d);
}

Vec3 RotateAboutPointByAngles(const Vec3& p, const Vec3& centre, float ax, float ay, float az) {
    Quat q;
    QuatFromAnglesZXY(q, ax, ay, az);
    Vec3 out = p;
    RotateAboutPoint(out, q, centre);
    return out;
}

void PlaneNormalize(Plane& p) {
    const double len =
        std::sqrt(static_cast<double>(p.a) * p.a + static_cast<double>(p.b) * p.b + static_cast<double>(p.c) * p.c);
    p = {static_cast<float>(p.a / len), static_cast<float>(p.b / len), static_cast<float>(p.c / len),
         static_cast<float>(p.d / len)};
}

Frustum FrustumFromMatrices(const Mat4& view, const Mat4& projection) {
    const Mat4 vp = MatMultiply(view, projection);
    auto column = [&vp](int i) { return Plane{vp(0, i), vp(1, i), vp(2, i), vp(3, i)}; };
    const Plane c0 = column(0), c1 = column(1), c2 = column(2), c3 = column(3);
    auto combine = [](const Plane& p, const Plane& q, float s) {
        return Plane{p.a + s * q.a, p.b + s * q.b, p.c + s * q.c, p.d + s * q.d};
    };
    Frustum f;
    f[FrustumPlane::Right] = combine(c3, c0, -1.0f);
    f[FrustumPlane::Left] = combine(c3, c0, 1.0f);
    f[FrustumPlane::Bottom] = combine(c3, c1, 1.0f);
    f[FrustumPlane::Top] = combine(c3, c1, -1.0f);
    f[FrustumPlane::Far] = combine(c3, c2, -1.0f);
    f[FrustumPlane::Near] = combine(c3, c2, 1.0f);
    for (Plane& p : f.Planes) PlaneNormalize(p);
    return f;
}

}  // namespace dv
