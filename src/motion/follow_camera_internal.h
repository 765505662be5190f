// The follow camera's inside, for its tests: the state it keeps and the steps of a tick, which
// the game reaches only through Update, FocusOn and ResumeFollow.
#pragma once

#include "motion/follow_camera.h"

namespace dv {

struct FollowCameraInternals {
    static FollowCameraState& State(FollowCamera& camera) { return camera.state_; }
    // The pose for the character where Subject stands (Eye, Target, BehindPoint).
    static void ComputePose(FollowCamera& camera) { camera.ComputePose(camera.Subject.Position); }
    static bool SpotClear(const FollowCamera& camera, const Vec3& p) { return camera.SpotClear(p); }
    static bool Blocked(const FollowCamera& camera, const Vec3& a, const Vec3& b) { return camera.Blocked(a, b); }
    static Vec3 FindSpot(const FollowCamera& camera, const Vec3& c, const Vec3& e) { return camera.FindSpot(c, e); }
};

// Moves p by s towards g, or onto g when it is no farther than s.
void MoveToward(Vec3& p, const Vec3& g, float s);
// The point half the distance from e to c, 75 degrees above the horizontal, on c's side.
Vec3 RaisedPointToward(const Vec3& c, const Vec3& e);

}  // namespace dv
