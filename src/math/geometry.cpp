#include "math/geometry.h"

#include <algorithm>

namespace dv {

int PointSideOfPlaneThrough(const Vec3& n, const Vec3& through, const Vec3& p) {
    return PointSide(n, p, PlaneOffset(n, through));
}

bool SegmentPlaneHit(const Vec3& start, const Vec3& end, const Vec3& n, float d, Vec3& hit) {
    Vec3 dir = VecSub(end, start);
    VecNormalize(dir);
    const float den = -VecDot(dir, n);
    if (den == 0.0f) return false;
    const float t = static_cast<float>((static_cast<double>(VecDot(start, n)) + d) / den);
    hit = VecAdd(start, VecScale(dir, t));
    return VecDistance(start, hit) <= VecDistance(start, end);
}

bool PointInBox(const Vec3& min, const Vec3& max, const Vec3& p) {
    return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z && p.z <= max.z;
}

bool SegmentHitsBox(const Vec3& min, const Vec3& max, const Vec3& start, const Vec3& end) {
    struct Face {
        Vec3 normal;
        const Vec3* through;
    };
    const Face faces[6] = {
        {{-1, 0, 0}, &min}, {{1, 0, 0}, &max}, {{0, 0, -1}, &min},
        {{0, 0, 1}, &max},  {{0, 1, 0}, &max}, {{0, -1, 0}, &min},
    };
    for (const Face& f : faces) {
        const float d = PlaneOffset(f.normal, *f.through);
        if (PointSide(f.normal, start, d) != 1) continue;
        Vec3 hit;
        if (SegmentPlaneHit(start, end, f.normal, d, hit) && PointInBox(min, max, hit)) return true;
    }
    return false;
}

float QuadRadius(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, const Vec3& centre) {
    return std::max(TriangleRadius(p0, p1, p2, centre), VecDistance(p3, centre));
}

bool BoxCornerInSphere(const Vec3& min, const Vec3& max, const Vec3& centre, float r) {
    for (int i = 0; i < 8; ++i) {
        const Vec3 corner{(i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z};
        if (VecDistance(corner, centre) <= r) return true;
    }
    return false;
}

void PortalFrustum(const Vec3& p1, const Vec3& p2, const Vec3& p3, const Vec3& p4, const Vec3& eye, float farPlane,
                   Frustum& out) {
    auto throughEye = [&eye](const Vec3& n) { return Plane{n.x, n.y, n.z, PlaneOffset(n, eye)}; };
    out.Planes[0] = throughEye(TriangleNormal(p2, eye, p3));
    out.Planes[1] = throughEye(TriangleNormal(eye, p1, p4));
    out.Planes[2] = throughEye(TriangleNormal(eye, p4, p3));
    out.Planes[3] = throughEye(TriangleNormal(eye, p2, p1));

    const Vec3 m = TriangleNormal(p1, p2, p3);
    const float r = TriangleRadius(p1, p2, p3, eye);
    const Vec3 shift = VecScale(m, -(farPlane - r));
    const Vec3 q1 = VecAdd(p1, shift), q2 = VecAdd(p2, shift), q3 = VecAdd(p3, shift);
    const Vec3 n = TriangleNormal(q1, q2, q3);
    out.Planes[4] = Plane{n.x, n.y, n.z, PlaneOffset(n, q1)};
}

bool BoxInFrustum(const Vec3& min, const Vec3& max, const Frustum& f) {
    for (const Plane& p : f.Planes) {
        bool inside = false;
        for (int i = 0; i < 8 && !inside; ++i) {
            const double x = (i & 1) ? max.x : min.x;
            const double y = (i & 2) ? max.y : min.y;
            const double z = (i & 4) ? max.z : min.z;
            inside = detail::PlaneValue(p, x, y, z) > 0.0;
        }
        if (!inside) return false;
    }
    return true;
}

bool TransformedBoxInFrustum(const Vec3& min, const Vec3& max, const Mat4& m, const Frustum& f, const Vec3& offset) {
    Vec3 lo{0, 0, 0}, hi{0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        Vec3 c{(i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z};
        VecTransform(c, m);
        c = VecAdd(c, offset);
        if (i == 0) {
            lo = hi = c;
            continue;
        }
        lo = {std::min(lo.x, c.x), std::min(lo.y, c.y), std::min(lo.z, c.z)};
        hi = {std::max(hi.x, c.x), std::max(hi.y, c.y), std::max(hi.z, c.z)};
    }
    return BoxInFrustum(lo, hi, f);
}

bool QuadInFrustum(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, const Frustum& f) {
    return TriangleInFrustum(p0, p1, p2, f) || TriangleInFrustum(p0, p2, p3, f);
}

}  // namespace dv
