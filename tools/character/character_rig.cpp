#include "tools/character/character_rig.h"

namespace dv {

std::vector<RigBonePose> PoseRig(const SkeletonRecord& skeleton, const std::vector<RigKey>& keys) {
    const size_t count = skeleton.Bones.size();
    std::vector<RigBonePose> pose(count);
    for (size_t b = 0; b < count; ++b) {
        const SkeletonBone& bone = skeleton.Bones[b];
        const RigKey key = b < keys.size() ? keys[b] : RigKey{};
        RigBonePose& p = pose[b];
        QuatIdentity(p.Rotation);
        const bool hasParent = bone.Parent >= 0 && static_cast<size_t>(bone.Parent) < b;
        if (hasParent) p.Rotation = pose[static_cast<size_t>(bone.Parent)].Rotation;
        QuatRotateByAngles(p.Rotation, key.Rotation.x, key.Rotation.y, key.Rotation.z);
        p.Offset = VecAdd(bone.Pivot, key.Translation);
        if (hasParent) {
            const size_t parent = static_cast<size_t>(bone.Parent);
            RotateAboutPoint(p.Offset, pose[parent].Rotation, skeleton.Bones[parent].Pivot);
            p.Offset = VecAdd(p.Offset, pose[parent].Offset);
        }
        p.Offset = VecSub(p.Offset, bone.Pivot);
    }
    return pose;
}

Vec3 RigPoint(const SkeletonRecord& skeleton, const std::vector<RigBonePose>& pose, int bone, const Vec3& rest) {
    Vec3 p = rest;
    RotateAboutPoint(p, pose[static_cast<size_t>(bone)].Rotation, skeleton.Bones[static_cast<size_t>(bone)].Pivot);
    return VecAdd(p, pose[static_cast<size_t>(bone)].Offset);
}

void SkinRig(const ModelRecord& model, const SkeletonRecord& skeleton, const std::vector<RigBonePose>& pose,
             std::vector<Vec3>& positions, std::vector<Vec3>* normals) {
    const size_t count = model.Vertices.size();
    positions.resize(count);
    if (normals != nullptr) normals->resize(count);
    const Vec3 origin{0.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < count; ++i) {
        const ModelVertex& v = model.Vertices[i];
        Vec3 pos = v.Position;
        Vec3 nrm = v.Normal;
        for (int s = 0; s < 4; ++s) {
            const int j = v.Bones[s];
            if (j < 0 || static_cast<size_t>(j) >= pose.size()) continue;
            const float w = static_cast<float>(v.Weights[s]) / 100.0f;
            const Vec3 p = VecScale(RigPoint(skeleton, pose, j, v.Position), w);
            Vec3 n = v.Normal;
            RotateAboutPoint(n, pose[static_cast<size_t>(j)].Rotation, origin);
            n = VecScale(n, w);
            pos = s == 0 ? p : VecAdd(pos, p);
            nrm = s == 0 ? n : VecAdd(nrm, n);
        }
        positions[i] = pos;
        if (normals != nullptr) (*normals)[i] = nrm;
    }
}

}  // namespace dv
