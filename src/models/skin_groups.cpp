#include "models/skin_groups.h"

#include "math/vector_clones.h"

#include <algorithm>
#include <numeric>

namespace dv {

VertexInfluences ResolveInfluences(const ModelVertex& vertex, int32_t boneCount) {
    VertexInfluences in{};
    for (int s = 0; s < 4; ++s) {
        const int32_t j = vertex.Bones[s];
        const bool used = j >= 0 && j < boneCount;
        if (!used && s == 0) {
            in.Bone[in.Count] = static_cast<int16_t>(boneCount);
            in.Weight[in.Count++] = 1.0f;
        } else if (used && vertex.Weights[s] != 0) {
            in.Bone[in.Count] = static_cast<int16_t>(j);
            in.Weight[in.Count++] = static_cast<float>(vertex.Weights[s]) / 100.0f;
        }
    }
    return in;
}

namespace {

bool SameBones(const VertexInfluences& a, const VertexInfluences& b) {
    return a.Count == b.Count && std::equal(a.Bone, a.Bone + a.Count, b.Bone);
}

bool BonesBefore(const VertexInfluences& a, const VertexInfluences& b) {
    if (a.Count != b.Count) return a.Count < b.Count;
    return std::lexicographical_compare(a.Bone, a.Bone + a.Count, b.Bone, b.Bone + b.Count);
}

// The rotation rows and translations of a group's bones, as locals of the loop.
struct GroupTransforms {
    float R[4][3][3];
    float T[4][3];
};

// Adds weight x (R p + t) of influence S and weight x R n to the sums.
template <int S>
inline void AddInfluence(const GroupTransforms& g, float w, float px, float py, float pz, float qx, float qy, float qz,
                         float (&sp)[3], float (&sn)[3]) {
    for (int k = 0; k < 3; ++k) {
        const float* r = g.R[S][k];
        sp[k] += w * (r[0] * px + r[1] * py + r[2] * pz + g.T[S][k]);
        sn[k] += w * (r[0] * qx + r[1] * qy + r[2] * qz);
    }
}

// One group with N influences per vertex: the transforms are the same for the whole loop, so
// it runs over plain arrays and vectorises (the arrays come in as restrict parameters).
template <int N>
void SkinLoop(size_t n, const GroupTransforms g, const float* __restrict px, const float* __restrict py,
              const float* __restrict pz, const float* __restrict qx, const float* __restrict qy,
              const float* __restrict qz, const float* __restrict w0, const float* __restrict w1,
              const float* __restrict w2, const float* __restrict w3, float* __restrict x, float* __restrict y,
              float* __restrict z, float* __restrict nx, float* __restrict ny, float* __restrict nz) {
    for (size_t i = 0; i < n; ++i) {
        float sp[3] = {0, 0, 0}, sn[3] = {0, 0, 0};
        if constexpr (N > 0) AddInfluence<0>(g, w0[i], px[i], py[i], pz[i], qx[i], qy[i], qz[i], sp, sn);
        if constexpr (N > 1) AddInfluence<1>(g, w1[i], px[i], py[i], pz[i], qx[i], qy[i], qz[i], sp, sn);
        if constexpr (N > 2) AddInfluence<2>(g, w2[i], px[i], py[i], pz[i], qx[i], qy[i], qz[i], sp, sn);
        if constexpr (N > 3) AddInfluence<3>(g, w3[i], px[i], py[i], pz[i], qx[i], qy[i], qz[i], sp, sn);
        x[i] = sp[0];
        y[i] = sp[1];
        z[i] = sp[2];
        nx[i] = sn[0];
        ny[i] = sn[1];
        nz[i] = sn[2];
    }
}

template <int N>
void SkinOneGroup(const SkinGroup& group, const SkinGroups& in, const BoneTransform* transforms, SkinnedMesh& out) {
    GroupTransforms g{};
    for (int s = 0; s < N; ++s) {
        const BoneTransform& b = transforms[group.Bone[s]];
        std::copy(&b.Rotation[0][0], &b.Rotation[0][0] + 9, &g.R[s][0][0]);
        std::copy(b.Translation, b.Translation + 3, g.T[s]);
    }
    const size_t f = group.First;
    SkinLoop<N>(group.Count, g, in.X.data() + f, in.Y.data() + f, in.Z.data() + f, in.NX.data() + f, in.NY.data() + f,
                in.NZ.data() + f, in.Weight[0].data() + f, in.Weight[1].data() + f, in.Weight[2].data() + f,
                in.Weight[3].data() + f, out.X.data() + f, out.Y.data() + f, out.Z.data() + f, out.NX.data() + f,
                out.NY.data() + f, out.NZ.data() + f);
}

}  // namespace

SkinGroups GroupVertices(const ModelVertices& rest, const std::vector<VertexInfluences>& influences, SkinnedMesh& out) {
    const size_t n = std::min(rest.size(), influences.size());
    SkinGroups g;
    g.Vertex.resize(n);
    std::iota(g.Vertex.begin(), g.Vertex.end(), 0u);
    std::stable_sort(g.Vertex.begin(), g.Vertex.end(),
                     [&influences](uint32_t a, uint32_t b) { return BonesBefore(influences[a], influences[b]); });
    for (auto* v : {&g.X, &g.Y, &g.Z, &g.NX, &g.NY, &g.NZ, &g.Weight[0], &g.Weight[1], &g.Weight[2], &g.Weight[3]}) {
        v->assign(n, 0.0f);
    }
    out.Resize(n);
    out.Slot.assign(n, 0);
    for (size_t e = 0; e < n; ++e) {
        const uint32_t v = g.Vertex[e];
        const VertexInfluences& in = influences[v];
        if (e == 0 || !SameBones(in, influences[g.Vertex[e - 1]])) {
            SkinGroup group;
            group.First = static_cast<uint32_t>(e);
            group.Bones = in.Count;
            std::copy(in.Bone, in.Bone + in.Count, group.Bone);
            g.Groups.push_back(group);
        }
        ++g.Groups.back().Count;
        const Vec3 p = rest[v].Position, q = rest[v].Normal;
        g.X[e] = p.x;
        g.Y[e] = p.y;
        g.Z[e] = p.z;
        g.NX[e] = q.x;
        g.NY[e] = q.y;
        g.NZ[e] = q.z;
        for (int s = 0; s < in.Count; ++s) g.Weight[s][e] = in.Weight[s];
        out.Slot[v] = static_cast<uint32_t>(e);
    }
    return g;
}

DV_VECTOR_CLONES void SkinGroupedVertices(const SkinGroups& groups, const BoneTransform* transforms, SkinnedMesh& out) {
    for (const SkinGroup& g : groups.Groups) {
        switch (g.Bones) {
            case 1: SkinOneGroup<1>(g, groups, transforms, out); break;
            case 2: SkinOneGroup<2>(g, groups, transforms, out); break;
            case 3: SkinOneGroup<3>(g, groups, transforms, out); break;
            case 4: SkinOneGroup<4>(g, groups, transforms, out); break;
            default: SkinOneGroup<0>(g, groups, transforms, out); break;
        }
    }
}

}  // namespace dv
