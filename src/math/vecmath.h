// Value types and free functions shared by every subsystem.
//
// Space is left-handed with +Y up; matrices are row-major and points are row vectors
// (v' = v x M, translation in elements 12..14, A x B applies A first). Angles crossing an
// interface are degrees. Intermediate results are computed in double and rounded to float
// when stored. Unless an entry says otherwise an output may alias an input.
#pragma once

#include <cmath>
#include <cstdint>

namespace dv {

struct Vec3 {
    float x, y, z;
};
struct Quat {
    float x, y, z, w;  // w is the scalar part
};
struct Mat4 {
    float m[16];  // element index = 4 * row + column
    float& operator()(int row, int col) { return m[4 * row + col]; }
    float operator()(int row, int col) const { return m[4 * row + col]; }
};
struct Plane {
    float a, b, c, d;  // a*x + b*y + c*z + d > 0 means in front
};
// The six sides of a frustum, in the order its planes are stored.
enum class FrustumPlane : uint8_t { Right, Left, Bottom, Top, Far, Near };
// Planes in the order right, left, bottom, top, far, near; inside = positive side of all six.
struct Frustum {
    Plane Planes[6];
    Plane& operator[](FrustumPlane side) { return Planes[static_cast<int>(side)]; }
    const Plane& operator[](FrustumPlane side) const { return Planes[static_cast<int>(side)]; }
};

// A Vec3 as file records store it: byte-aligned, so it may sit at any offset of a packed
// record. It converts to and from Vec3 by value; code reads it as a Vec3 copy, never through a
// Vec3 reference or pointer into the record.
#pragma pack(push, 1)
struct PackedVec3 {
    float x, y, z;
    PackedVec3() = default;
    constexpr PackedVec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    constexpr PackedVec3(const Vec3& v) : x(v.x), y(v.y), z(v.z) {}
    constexpr operator Vec3() const { return {x, y, z}; }
};
#pragma pack(pop)
static_assert(sizeof(PackedVec3) == 12 && alignof(PackedVec3) == 1);

static_assert(sizeof(Vec3) == 12);
static_assert(sizeof(Quat) == 16);
static_assert(sizeof(Mat4) == 64);
static_assert(sizeof(Plane) == 16);
static_assert(sizeof(Frustum) == 96);

// Single-precision pi/180; MatRotateAngles uses the more precise double constant.
inline constexpr float DegToRad = 0.0174532924f;
inline constexpr double DegToRadPrecise = 0.017453292519940686;

// Scalars
int32_t TruncToInt(float x);                  // toward zero; saturates outside int32
double ArcCos(double x);                      // atan2(sqrt(1 - x^2), x), radians
double ArcTan2(double y, double x);           // radians
double RadToDeg(double radians);              // radians / DegToRad
int32_t IntPower(int32_t base, int32_t n);    // base multiplied by itself n - 1 times; n <= 1 gives base
float LerpScalar(float a, float b, float t);  // exact at t = 0 and t = 1, t not clamped
uint32_t FloatAsDword(float f);               // the float's bit pattern
// Signed turn in degrees, in [-180, 180], from the X/Z heading of `from` to that of `to`.
float HeadingDelta(const Vec3& from, const Vec3& to);

// Vectors
Vec3 VecMake(float x, float y, float z);
void VecNegate(Vec3& v);
Vec3 VecLerp(const Vec3& a, const Vec3& b, float t);
bool VecEqual(const Vec3& a, const Vec3& b);
int VecMajorAxis(const Vec3& v);  // index of the largest |component|, ties to the lower index
Vec3 VecBezier(const Vec3& p0, const Vec3& p1, const Vec3& p2, float t);

// Matrices
Mat4 MatIdentity();
void MatMultiply(const Mat4& a, const Mat4& b, Mat4& out);  // out = A x B; out must not alias
Mat4 MatMultiply(const Mat4& a, const Mat4& b);
Mat4 MatRotationX(float radians);  // Direct3D left-handed rotation matrices
Mat4 MatRotationY(float radians);
Mat4 MatRotationZ(float radians);
Mat4 MatScaling(float sx, float sy, float sz);
Mat4 MatTranslation(float x, float y, float z);
// M := (RotY(ay) x RotX(ax) x RotZ(az)) x M; angles in degrees unless inRadians.
void MatRotateAngles(Mat4& m, bool inRadians, float ax, float ay, float az);
void MatScale(Mat4& m, float sx, float sy, float sz);  // M := Scaling x M
void MatRigidInverse(const Mat4& m, Mat4& out);        // out must not alias m
// Direct3D's PerspectiveFovLH and LookAtLH.
Mat4 MatPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
Mat4 MatLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up);

// Quaternions (angles in degrees)
void QuatIdentity(Quat& q, bool zero = false);
Quat QuatConjugate(const Quat& q);
float QuatLength(const Quat& q);
void QuatNormalize(Quat& q);
void QuatInverse(Quat& q);
void QuatApplyAxisAngle(Quat& q, float angle, float x, float y, float z);  // q := r (x) q
void QuatFromAnglesZXY(Quat& q, float ax, float ay, float az);
void QuatFromAnglesZYX(Quat& q, float ax, float ay, float az);
void QuatRotateByAngles(Quat& q, float ax, float ay, float az);
Quat QuatSlerp(const Quat& a, const Quat& b, float t);  // not renormalised
void QuatRotateVec(Vec3& v, const Quat& q);
Vec3 QuatTransformVec(const Vec3& v, const Quat& q);  // for unit q
void RotateAboutPoint(Vec3& p, const Quat& q, const Vec3& centre);
Vec3 RotateAboutPointByAngles(const Vec3& p, const Vec3& centre, float ax, float ay, float az);

// Planes and frustums
void PlaneNormalize(Plane& p);
Frustum FrustumFromMatrices(const Mat4& view, const Mat4& projection);

// The small vector and quaternion functions below are defined inline: the renderer and the
// animator call them per vertex.
namespace detail {
inline Vec3 StoreVec(double x, double y, double z) {
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}
inline Quat StoreQuat(double x, double y, double z, double w) {
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), static_cast<float>(w)};
}
}  // namespace detail

// Toward zero; saturates outside int64, NaN gives 0.
inline int64_t TruncToInt64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775807.0) return INT64_MAX;
    if (x <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(x);
}

inline Vec3 VecAdd(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 VecSub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 VecScale(const Vec3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

inline float VecDot(const Vec3& a, const Vec3& b) {
    return static_cast<float>(static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
                              static_cast<double>(a.z) * b.z);
}

inline Vec3 VecCross(const Vec3& a, const Vec3& b) {
    const double ax = a.x, ay = a.y, az = a.z;
    return detail::StoreVec(ay * b.z - az * b.y, az * b.x - ax * b.z, ax * b.y - ay * b.x);
}

inline float VecLength(const Vec3& v) {
    const double x = v.x, y = v.y, z = v.z;
    return static_cast<float>(std::sqrt(x * x + y * y + z * z));
}

inline float VecDistance(const Vec3& a, const Vec3& b) { return VecLength(VecSub(a, b)); }

// No zero check: a zero vector becomes non-finite.
inline void VecNormalize(Vec3& v) {
    const double x = v.x, y = v.y, z = v.z;
    const double k = 1.0 / std::sqrt(x * x + y * y + z * z);
    v = detail::StoreVec(x * k, y * k, z * k);
}

// Normalised only when non-zero.
inline Vec3 VecDirection(const Vec3& from, const Vec3& to) {
    Vec3 d = VecSub(to, from);
    if (VecLength(d) > 0.0f) VecNormalize(d);
    return d;
}

// (x, y, z, 1) x M, no division by w.
inline void VecTransform(Vec3& v, const Mat4& m) {
    const double x = v.x, y = v.y, z = v.z;
    v = detail::StoreVec(x * m.m[0] + y * m.m[4] + z * m.m[8] + m.m[12], x * m.m[1] + y * m.m[5] + z * m.m[9] + m.m[13],
                         x * m.m[2] + y * m.m[6] + z * m.m[10] + m.m[14]);
}

// Hamilton product p (x) q.
inline Quat QuatMultiply(const Quat& p, const Quat& q) {
    const double px = p.x, py = p.y, pz = p.z, pw = p.w;
    return detail::StoreQuat(pw * q.x + px * q.w + py * q.z - pz * q.y, pw * q.y - px * q.z + py * q.w + pz * q.x,
                             pw * q.z + px * q.y - py * q.x + pz * q.w, pw * q.w - px * q.x - py * q.y - pz * q.z);
}

}  // namespace dv
