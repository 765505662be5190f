// Smooth shading across the character's joints: the parts are separate capsules that overlap
// at each joint, so their normals are blended where their vertices share bones.
#pragma once

#include <vector>

#include "world/level_records.h"

namespace dv {

// What the smoothing needs to know of each model vertex besides the vertex itself.
struct JointNormalSource {
    int Bone = 0;        // the bone of the part the vertex belongs to
    float Reach = 0.0f;  // how far (model units) a neighbour on another bone may lie
};

// Gives each vertex that carries weight of bones other than its own the normal of its nearest
// neighbour on each such bone, mixed by the same weights, so a joint shades without a crease.
// Vertices of one bone only keep their normal. `sources` holds one entry per vertex.
void SmoothNormalsAcrossJoints(ModelRecord& model, const std::vector<JointNormalSource>& sources);

}  // namespace dv
