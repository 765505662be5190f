// Skinning laid out for vector code: the model's vertices grouped by the bones that move them,
// so that within a group every vertex takes the same transforms and the loop over the group
// runs on contiguous arrays.
#pragma once

#include <cstdint>
#include <vector>

#include "world/level_records.h"
#include "world/skinned_mesh.h"

namespace dv {

// A bone's skinning transform for the current pose: p' = Rotation p + Translation, rows of a
// 3 x 3 matrix. It carries the pose's scale too, since a blended rotation is not renormalised.
struct BoneTransform {
    float Rotation[3][3];
    float Translation[3];
};

// A vertex's bone slots resolved once at binding: the first Count entries are the slots with a
// bone and a weight, in slot order. A missing bone in slot 0 keeps the rest position, so it
// becomes the identity transform past the last bone with weight 1.
struct VertexInfluences {
    int16_t Bone[4];
    int16_t Count;
    float Weight[4];
};

// The reference skinning skips a slot whose bone is missing (index outside 0 .. boneCount - 1)
// and adds nothing for a weight of 0; a missing slot 0 leaves the rest position in the sum,
// which weight 1 on the identity (index boneCount) reproduces.
VertexInfluences ResolveInfluences(const ModelVertex& vertex, int32_t boneCount);

// Vertices that share their bones (same count, same bones in the same slots), consecutive in
// the grouped arrays.
struct SkinGroup {
    uint32_t First = 0;
    uint32_t Count = 0;
    int16_t Bones = 0;  // influences per vertex, 0 to 4
    int16_t Bone[4] = {0, 0, 0, 0};
};

struct SkinGroups {
    std::vector<SkinGroup> Groups;
    std::vector<uint32_t> Vertex;   // per grouped entry: the model vertex
    std::vector<float> X, Y, Z;     // per grouped entry: rest position
    std::vector<float> NX, NY, NZ;  // rest normal
    std::vector<float> Weight[4];   // weight of each influence (0 past the vertex's count)
};

// Groups the vertices by their influences, in vertex order within a group; sets out.Slot to
// where each model vertex lands and sizes out's arrays.
SkinGroups GroupVertices(const ModelVertices& rest, const std::vector<VertexInfluences>& influences, SkinnedMesh& out);

// Skins every group with `transforms` (indexed by the influences' bones) into `out`, in the
// grouped order: per vertex the sum over its influences of weight x (R p + t), and of
// weight x R n for the normal, slot by slot as the per-vertex loop adds them.
void SkinGroupedVertices(const SkinGroups& groups, const BoneTransform* transforms, SkinnedMesh& out);

}  // namespace dv
