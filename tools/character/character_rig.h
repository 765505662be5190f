// Forward kinematics and skinning for building and checking character content.
//
// The content tools pose a skeleton from one Euler-angle key per bone to place a pose on the
// ground, to pin the hands to a ledge and to draw contact sheets. The arithmetic is the
// animator's posing and skinning applied to one whole frame: rotations accumulate from the
// root down the bone order, a key's translation is added to its joint's pivot, and vertices
// turn about their bone's pivot.
#pragma once

#include <vector>

#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

// One bone's key: Euler angles in degrees relative to the parent, and the joint's
// displacement from its pivot (model units).
struct RigKey {
    Vec3 Rotation{};
    Vec3 Translation{};
};

// A posed bone: its accumulated rotation and how far its joint moved from its pivot.
struct RigBonePose {
    Quat Rotation{0.0f, 0.0f, 0.0f, 1.0f};
    Vec3 Offset{};
};

// Poses every bone of `skeleton` from `keys` (one per bone; missing keys count as zero).
// Parents must precede their children, as the level validation guarantees.
std::vector<RigBonePose> PoseRig(const SkeletonRecord& skeleton, const std::vector<RigKey>& keys);

// Where the rest-pose point `rest`, carried rigidly by `bone`, lies in the pose.
Vec3 RigPoint(const SkeletonRecord& skeleton, const std::vector<RigBonePose>& pose, int bone, const Vec3& rest);

// Skins the model's vertices with their bone weights (percent) into `positions` and, when
// given, `normals` (not renormalised). Slots with a negative bone are skipped.
void SkinRig(const ModelRecord& model, const SkeletonRecord& skeleton, const std::vector<RigBonePose>& pose,
             std::vector<Vec3>& positions, std::vector<Vec3>* normals = nullptr);

}  // namespace dv
