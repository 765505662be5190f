#include "tools/character/character_normals.h"

#include <limits>
#include <stdexcept>

namespace dv {
namespace {

Vec3 Unit(const Vec3& v) {
    const float l = VecLength(v);
    return l > 1e-12f ? VecScale(v, 1.0f / l) : Vec3{0, 1, 0};
}

// Index of the vertex of `bone` within `reach` of vertex `of` that lies nearest and faces the
// same way (distance divided by the normals' agreement, so a cap tucked inside the joint loses
// to the surface beside it), or -1.
int NeighbourOnBone(const ModelRecord& m, const std::vector<JointNormalSource>& sources, int bone, size_t of) {
    const ModelVertex& v = m.Vertices[of];
    int best = -1;
    float bestScore = std::numeric_limits<float>::max();
    for (size_t i = 0; i < m.Vertices.size(); ++i) {
        if (sources[i].Bone != bone) continue;
        const float d = VecDistance(m.Vertices[i].Position, v.Position);
        const float agree = VecDot(m.Vertices[i].Normal, v.Normal);
        if (d > sources[of].Reach || agree < 0.2f) continue;
        const float score = d / agree;
        if (score >= bestScore) continue;
        bestScore = score;
        best = static_cast<int>(i);
    }
    return best;
}

}  // namespace

void SmoothNormalsAcrossJoints(ModelRecord& model, const std::vector<JointNormalSource>& sources) {
    if (sources.size() != model.Vertices.size()) throw std::invalid_argument("one joint normal source per vertex");
    std::vector<Vec3> smoothed(model.Vertices.size());
    for (size_t i = 0; i < model.Vertices.size(); ++i) {
        const ModelVertex& v = model.Vertices[i];
        Vec3 sum{0, 0, 0};
        for (int s = 0; s < 4; ++s) {
            if (v.Bones[s] < 0) continue;
            const float w = static_cast<float>(v.Weights[s]);
            const int from =
                v.Bones[s] == sources[i].Bone ? static_cast<int>(i) : NeighbourOnBone(model, sources, v.Bones[s], i);
            const int n = from < 0 ? static_cast<int>(i) : from;
            sum = VecAdd(sum, VecScale(model.Vertices[static_cast<size_t>(n)].Normal, w));
        }
        smoothed[i] = Unit(sum);
    }
    for (size_t i = 0; i < model.Vertices.size(); ++i) model.Vertices[i].Normal = smoothed[i];
}

}  // namespace dv
