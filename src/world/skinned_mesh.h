// A skinned mesh's vertices in model space as separate arrays (structure of arrays), so that
// the passes over them load whole vectors: what the animator's skinning writes and the
// character drawing places, culls and lights.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dv {

struct SkinnedMesh {
    std::vector<float> X, Y, Z;     // position
    std::vector<float> NX, NY, NZ;  // normal, weighted, not renormalised
    // Per model vertex: its entry in the arrays above (the skinning groups vertices by their
    // bones); empty when entry and vertex index are the same.
    std::vector<uint32_t> Slot;

    size_t size() const { return X.size(); }
    size_t SlotOf(size_t vertex) const { return Slot.empty() ? vertex : Slot[vertex]; }
    void Resize(size_t n) {
        for (auto* v : {&X, &Y, &Z, &NX, &NY, &NZ}) v->assign(n, 0.0f);
    }
};

}  // namespace dv
