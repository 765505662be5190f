// Stateless geometric predicates and constructions shared by the renderer, the camera and
// the collision code. A box is a (min, max) pair of corners; a plane is a Plane or a normal
// plus an offset d (n.p + d = 0 on the plane, positive in front).
#pragma once

#include <algorithm>

#include "math/vecmath.h"

namespace dv {

int PointSideOfPlaneThrough(const Vec3& n, const Vec3& through, const Vec3& p);
// Crossing of the segment's line with the plane, accepted when no farther from start than
// end is (also behind start). `hit` is written even when the result is false.
bool SegmentPlaneHit(const Vec3& start, const Vec3& end, const Vec3& n, float d, Vec3& hit);
bool PointInBox(const Vec3& min, const Vec3& max, const Vec3& p);  // both bounds inclusive
// True when the segment enters the box through a face it starts in front of; a segment
// starting inside reports no hit.
bool SegmentHitsBox(const Vec3& min, const Vec3& max, const Vec3& start, const Vec3& end);
float QuadRadius(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, const Vec3& centre);
bool BoxCornerInSphere(const Vec3& min, const Vec3& max, const Vec3& centre, float r);

// Writes planes 0..4 of the volume seen from eye through the portal p1..p4; the caller
// supplies plane 5. farPlane is the projection's far clipping distance.
void PortalFrustum(const Vec3& p1, const Vec3& p2, const Vec3& p3, const Vec3& p4, const Vec3& eye, float farPlane,
                   Frustum& out);
bool BoxInFrustum(const Vec3& min, const Vec3& max, const Frustum& f);
bool TransformedBoxInFrustum(const Vec3& min, const Vec3& max, const Mat4& m, const Frustum& f, const Vec3& offset);
bool QuadInFrustum(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, const Frustum& f);

// Per-triangle tests the renderer runs for every face, defined inline.
namespace detail {
inline double PlaneValue(const Plane& p, double x, double y, double z) { return p.a * x + p.b * y + p.c * z + p.d; }
inline double PlaneValue(const Plane& p, const Vec3& v) { return PlaneValue(p, v.x, v.y, v.z); }
}  // namespace detail

// Zero when degenerate.
inline Vec3 TriangleNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    Vec3 n = VecCross(VecSub(p1, p0), VecSub(p2, p1));
    if (VecLength(n) != 0.0f) VecNormalize(n);
    return n;
}

// -(p.n)
inline float PlaneOffset(const Vec3& n, const Vec3& p) { return -VecDot(p, n); }

// -1, 0 or 1
inline int PointSide(const Vec3& n, const Vec3& p, float d) {
    const double s =
        static_cast<double>(n.x) * p.x + static_cast<double>(n.y) * p.y + static_cast<double>(n.z) * p.z + d;
    return s > 0.0 ? 1 : (s < 0.0 ? -1 : 0);
}

// The largest distance of a corner from `centre`.
inline float TriangleRadius(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& centre) {
    return std::max({VecDistance(p0, centre), VecDistance(p1, centre), VecDistance(p2, centre)});
}

// False when all three corners are on or behind one plane.
inline bool TriangleInFrustum(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Frustum& f) {
    for (const Plane& p : f.Planes) {
        if (detail::PlaneValue(p, p0) <= 0.0 && detail::PlaneValue(p, p1) <= 0.0 && detail::PlaneValue(p, p2) <= 0.0) {
            return false;
        }
    }
    return true;
}

}  // namespace dv
