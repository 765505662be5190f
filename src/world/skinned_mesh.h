// A skinned mesh's vertices in model space as separate arrays (structure of arrays), so that
// the passes over them load whole vectors: what the animator's skinning writes and the
// character drawing places, culls and lights.
#pragma once

#include <cstddef>
#include <vector>

namespace dv {

struct SkinnedMesh {
    std::vector<float> X, Y, Z;     // position
    std::vector<float> NX, NY, NZ;  // normal, weighted, not renormalised

    size_t size() const { return X.size(); }
    void Resize(size_t n) {
        for (auto* v : {&X, &Y, &Z, &NX, &NY, &NZ}) v->assign(n, 0.0f);
    }
};

}  // namespace dv
