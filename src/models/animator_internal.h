// The animator's inside, for its tests and benchmarks: its playback written directly, the bone
// poses and the pose cache, which the game reaches only through the animator's methods.
#pragma once

#include <vector>

#include "models/animator.h"

namespace dv {

struct AnimatorInternals {
    static AnimatorPlayback& Playback(Animator& animator) { return animator.playback_; }
    static ModelVertices& SkinnedVertices(Animator& animator) { return animator.skinnedVertices_; }
    static const std::vector<BonePose>& Pose(const Animator& animator) { return animator.pose_; }
    // Forgets the cached pose, so the next update poses and skins again.
    static void ForgetPose(Animator& animator) { animator.cachedFramePos_ = -1.0f; }
};

}  // namespace dv
