#include "render/triangle_sort.h"

#include <algorithm>
#include <utility>

namespace dv {

namespace {

uint64_t PackState(const ttriangle& h) {
    return uint64_t(h.BlendType) << 56 | uint64_t(h.BumpFlag) << 40 | uint64_t(h.Layers) << 32 |
           uint64_t(h.Texture) << 16 | uint64_t(h.BumpTexture);
}

// Three-way comparison of the key fields; keys compare with < and > so that a NaN key ties
// and the state decides, as in the record comparison.
int Compare(const TriangleSortEntry& a, const TriangleSortEntry& p) {
    if (a.Key < p.Key) return -1;
    if (a.Key > p.Key) return 1;
    if (a.State != p.State) return a.State < p.State ? -1 : 1;
    if (a.Lightmap != p.Lightmap) return a.Lightmap < p.Lightmap ? -1 : 1;
    return 0;
}

int Compare(const ttriangle& h, const ttriangle& p) {
    if (h.SortKey < p.SortKey) return -1;
    if (h.SortKey > p.SortKey) return 1;
    if (h.BlendType != p.BlendType) return h.BlendType < p.BlendType ? -1 : 1;
    if (h.BumpFlag != p.BumpFlag) return h.BumpFlag < p.BumpFlag ? -1 : 1;
    if (h.Layers != p.Layers) return h.Layers < p.Layers ? -1 : 1;
    if (h.Texture != p.Texture) return h.Texture < p.Texture ? -1 : 1;
    if (h.BumpTexture != p.BumpTexture) return h.BumpTexture < p.BumpTexture ? -1 : 1;
    if (h.Lightmap != p.Lightmap) return h.Lightmap < p.Lightmap ? -1 : 1;
    return 0;
}

// Middle-element pivot, scans from both ends, swap when the scans have not crossed. The
// pivot is copied before partitioning, since swaps may move its element. Recursing into the
// smaller part bounds the depth by log2(n); the larger part is handled by the loop, which
// partitions exactly the same ranges as recursing into both.
template <typename Item, typename SwapFn>
void QuickSort(Item* a, int32_t lo, int32_t hi, SwapFn swapAt) {
    while (lo < hi) {
        const Item pivot = a[lo + (hi - lo) / 2];
        int32_t i = lo;
        int32_t j = hi;
        while (i <= j) {
            while (i < hi && Compare(a[i], pivot) < 0) ++i;
            while (j > lo && Compare(a[j], pivot) > 0) --j;
            if (i <= j) {
                if (i != j) swapAt(i, j);
                ++i;
                --j;
            }
        }
        if (j - lo < hi - i) {
            if (lo < j) QuickSort(a, lo, j, swapAt);
            lo = i;
        } else {
            if (i < hi) QuickSort(a, i, hi, swapAt);
            hi = j;
        }
    }
}

}  // namespace

void SortTriangleList(std::vector<ttriangle>& headers, std::vector<ttriangle_vertices>& vertices, int32_t count,
                      TriangleSortScratch& scratch) {
    if (count <= 1) return;
    const size_t n = static_cast<size_t>(count);
    if (scratch.Entries.size() < n) scratch.Entries.resize(n);
    if (scratch.Headers.size() < headers.size()) scratch.Headers.resize(headers.size());
    if (scratch.Vertices.size() < vertices.size()) scratch.Vertices.resize(vertices.size());
    TriangleSortEntry* e = scratch.Entries.data();
    for (size_t k = 0; k < n; ++k) {
        const ttriangle& h = headers[k];
        e[k] = TriangleSortEntry{h.SortKey, h.Lightmap, 0, PackState(h), static_cast<uint32_t>(k)};
    }
    QuickSort(e, 0, count - 1, [e](int32_t i, int32_t j) { std::swap(e[i], e[j]); });
    ttriangle* outH = scratch.Headers.data();
    ttriangle_vertices* outV = scratch.Vertices.data();
    for (size_t k = 0; k < n; ++k) {
        outH[k] = headers[e[k].Index];
        outV[k] = vertices[e[k].Index];
    }
    headers.swap(scratch.Headers);
    vertices.swap(scratch.Vertices);
}

void SortTrianglesMovingRecords(ttriangle* headers, ttriangle_vertices* vertices, int32_t count) {
    if (count <= 1) return;
    QuickSort(headers, 0, count - 1, [headers, vertices](int32_t i, int32_t j) {
        std::swap(headers[i], headers[j]);
        std::swap(vertices[i], vertices[j]);
    });
}

}  // namespace dv
