// Stateless geometric predicates and constructions shared by the renderer, the camera and
// the collision code. A box is a (min, max) pair of corners; a plane is a Plane or a normal
// plus an offset d (n.p + d = 0 on the plane, positive in front).
#pragma once

#include "math/vecmath.h"

namespace dv {

Vec3 TriangleNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2);  // zero when degenerate
float PlaneOffset(const Vec3& n, const Vec3& p);                     // -(p.n)
int PointSide(const Vec3& n, const Vec3& p, float d);                // -1, 0 or 1
int PointSideOfPlaneThrough(const Vec3& n, const Vec3& through, const Vec3& p);
// Crossing of the segment's line with the plane, accepted when no farther from start than
// end is (also behind start). `hit` is written even when the result is false.
bool SegmentPlaneHit(const Vec3& start, const Vec3& end, const Vec3& n, float d, Vec3& hit);
bool PointInBox(const Vec3& min, const Vec3& max, const Vec3& p);  // both bounds inclusive
// True when the segment enters the box through a face it starts in front of; a segment
// starting inside reports no hit.
bool SegmentHitsBox(const Vec3& min, const Vec3& max, const Vec3& start, const Vec3& end);
float TriangleRadius(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& centre);
float QuadRadius(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, const Vec3& centre);
bool BoxCornerInSphere(const Vec3& min, const Vec3& max, const Vec3& centre, float r);

// Writes planes 0..4 of the volume seen from eye through the portal p1..p4; the caller
// supplies plane 5. farPlane is the projection's far clipping distance.
void PortalFrustum(const Vec3& p1, const Vec3& p2, const Vec3& p3, const Vec3& p4,
                   const Vec3& eye, float farPlane, Frustum& out);
bool BoxInFrustum(const Vec3& min, const Vec3& max, const Frustum& f);
bool TransformedBoxInFrustum(const Vec3& min, const Vec3& max, const Mat4& m, const Frustum& f,
                             const Vec3& offset);
bool TriangleInFrustum(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Frustum& f);
bool QuadInFrustum(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, const Frustum& f);

}  // namespace dv
