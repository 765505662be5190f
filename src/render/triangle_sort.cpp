#include "render/triangle_sort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "render/blend_mode.h"

namespace dv {

namespace {

uint64_t PackState(const TriangleHeader& h) {
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

int Compare(const TriangleSortKeyEntry& a, const TriangleSortKeyEntry& p) {
    return a.Key < p.Key ? -1 : (a.Key > p.Key ? 1 : 0);
}

int Compare(const TriangleHeader& h, const TriangleHeader& p) {
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

// The key's bits, ordered like the floats under < (for keys that are not NaN); -0 ties with +0.
uint64_t OrderedKeyBits(float key) {
    if (key == 0.0f) key = 0.0f;
    uint32_t bits = 0;
    std::memcpy(&bits, &key, sizeof bits);
    return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}

uint64_t StateHash(uint64_t state, uint16_t lightmap) {
    return (state ^ (uint64_t(lightmap) << 48 | lightmap)) * 0x9E3779B97F4A7C15ull;
}

// The table slot of (state, lightmap), inserting it when new.
uint32_t FindOrInsertState(TriangleSortScratch& s, uint64_t state, uint16_t lightmap) {
    const size_t mask = s.StateTable.size() - 1;
    size_t i = static_cast<size_t>(StateHash(state, lightmap) >> 40) & mask;
    while (s.StateTable[i].Used && (s.StateTable[i].State != state || s.StateTable[i].Lightmap != lightmap)) {
        i = (i + 1) & mask;
    }
    if (!s.StateTable[i].Used) {
        s.StateTable[i] = TriangleStateSlot{state, lightmap, true, 0};
        s.DistinctStates.push_back(static_cast<uint32_t>(i));
    }
    return static_cast<uint32_t>(i);
}

// Empties the table and makes it at least twice as large as `distinct` entries need.
void ResetStateTable(TriangleSortScratch& s, size_t distinct) {
    size_t size = std::max<size_t>(s.StateTable.size(), 64);
    while (size < 2 * distinct + 2) size *= 2;
    if (s.StateTable.size() < size) s.StateTable.resize(size);
    std::fill(s.StateTable.begin(), s.StateTable.end(), TriangleStateSlot{});
    s.DistinctStates.clear();
}

// Ranks every entry's (state, lightmap) among the list's distinct ones, in the comparison's
// order. Entry keys hold the table slot on entry and the rank on return.
void RankStates(const TriangleHeader* headers, size_t n, TriangleSortScratch& s) {
    ResetStateTable(s, 0);
    for (size_t k = 0; k < n; ++k) {
        if (2 * s.DistinctStates.size() + 2 > s.StateTable.size()) {
            ResetStateTable(s, s.DistinctStates.size() + 1);
            k = 0;  // the table grew: insert again from the start
        }
        s.KeyEntries[k].Key = FindOrInsertState(s, PackState(headers[k]), headers[k].Lightmap);
    }
    TriangleStateSlot* table = s.StateTable.data();
    std::sort(s.DistinctStates.begin(), s.DistinctStates.end(), [table](uint32_t a, uint32_t b) {
        return table[a].State != table[b].State ? table[a].State < table[b].State
                                                : table[a].Lightmap < table[b].Lightmap;
    });
    for (size_t r = 0; r < s.DistinctStates.size(); ++r) table[s.DistinctStates[r]].Rank = static_cast<uint32_t>(r);
    for (size_t k = 0; k < n; ++k) s.KeyEntries[k].Key = table[s.KeyEntries[k].Key].Rank;
}

// Sorts entries of the comparison's fields; for lists with a NaN key, which ties with every
// key and so has no integer equivalent.
void SortEntriesWithNaN(const TriangleHeader* headers, int32_t count, TriangleSortScratch& s) {
    const size_t n = static_cast<size_t>(count);
    if (s.Entries.size() < n) s.Entries.resize(n);
    TriangleSortEntry* e = s.Entries.data();
    for (size_t k = 0; k < n; ++k) {
        const TriangleHeader& h = headers[k];
        e[k] = TriangleSortEntry{h.SortKey, h.Lightmap, 0, PackState(h), static_cast<uint32_t>(k)};
    }
    QuickSort(e, 0, count - 1, [e](int32_t i, int32_t j) { std::swap(e[i], e[j]); });
    for (size_t k = 0; k < n; ++k) s.KeyEntries[k].Index = e[k].Index;
}

// Sorts one-integer entries; false (nothing sorted) when a key is NaN.
bool SortKeyEntries(const TriangleHeader* headers, int32_t count, TriangleSortScratch& s) {
    const size_t n = static_cast<size_t>(count);
    for (size_t k = 0; k < n; ++k) {
        if (std::isnan(headers[k].SortKey)) return false;
    }
    RankStates(headers, n, s);
    TriangleSortKeyEntry* e = s.KeyEntries.data();
    for (size_t k = 0; k < n; ++k) {
        e[k].Key |= OrderedKeyBits(headers[k].SortKey) << 32;
        e[k].Index = static_cast<uint32_t>(k);
    }
    QuickSort(e, 0, count - 1, [e](int32_t i, int32_t j) { std::swap(e[i], e[j]); });
    return true;
}

// Keys of the opaque entries, whose Index fields name their records: the rank of the record's
// (state, lightmap) among the distinct ones, the state with the farthest triangle (smallest
// key) first, above the key's bits, so that each state's triangles go back to front.
void KeyOpaqueEntries(const TriangleHeader* headers, size_t n, TriangleSortScratch& s) {
    TriangleSortKeyEntry* e = s.KeyEntries.data();
    ResetStateTable(s, 0);
    for (size_t k = 0; k < n; ++k) {
        if (2 * s.DistinctStates.size() + 2 > s.StateTable.size()) {
            ResetStateTable(s, s.DistinctStates.size() + 1);
            k = 0;  // the table grew: insert again from the start
        }
        const TriangleHeader& h = headers[e[k].Index];
        const uint32_t slot = FindOrInsertState(s, PackState(h), h.Lightmap);
        TriangleStateSlot& state = s.StateTable[slot];
        if (h.SortKey < state.Farthest) state.Farthest = h.SortKey;  // a NaN key leaves it
        e[k].Key = slot;
    }
    TriangleStateSlot* table = s.StateTable.data();
    std::sort(s.DistinctStates.begin(), s.DistinctStates.end(), [table](uint32_t a, uint32_t b) {
        const TriangleStateSlot& x = table[a];
        const TriangleStateSlot& y = table[b];
        if (x.Farthest != y.Farthest) return x.Farthest < y.Farthest;
        return x.State != y.State ? x.State < y.State : x.Lightmap < y.Lightmap;
    });
    for (size_t r = 0; r < s.DistinctStates.size(); ++r) table[s.DistinctStates[r]].Rank = static_cast<uint32_t>(r);
    for (size_t k = 0; k < n; ++k) {
        e[k].Key = uint64_t(table[e[k].Key].Rank) << 32 | OrderedKeyBits(headers[e[k].Index].SortKey);
    }
}

// Puts the records in `order` (source index per place) through the scratch arrays.
void GatherInOrder(std::vector<TriangleHeader>& headers, std::vector<TriangleVertices>& vertices, size_t n,
                   TriangleSortScratch& s) {
    const uint32_t* order = s.Order.data();
    TriangleHeader* outH = s.Headers.data();
    TriangleVertices* outV = s.Vertices.data();
    for (size_t k = 0; k < n; ++k) {
        outH[k] = headers[order[k]];
        outV[k] = vertices[order[k]];
    }
    headers.swap(s.Headers);
    vertices.swap(s.Vertices);
}

template <typename T>
void GrowTo(std::vector<T>& v, size_t n) {
    if (v.size() < n) v.resize(n);
}

}  // namespace

void SortTriangleListForDrawing(std::vector<TriangleHeader>& headers, std::vector<TriangleVertices>& vertices,
                                int32_t count, TriangleSortScratch& scratch) {
    if (count <= 1) return;
    TriangleSortScratch& s = scratch;
    const size_t n = static_cast<size_t>(count);
    GrowTo(s.KeyEntries, n);
    GrowTo(s.Order, n);
    GrowTo(s.BlendedHeaders, n);
    GrowTo(s.BlendedIndex, n);
    GrowTo(s.Headers, headers.size());
    GrowTo(s.Vertices, vertices.size());
    size_t opaque = 0, blended = 0;
    for (size_t k = 0; k < n; ++k) {
        const TriangleHeader& h = headers[k];
        if (BlendModeOf(h.BlendType) == BlendMode::Opaque) {
            s.KeyEntries[opaque++].Index = static_cast<uint32_t>(k);
        } else {
            s.BlendedHeaders[blended] = h;
            s.BlendedIndex[blended++] = static_cast<uint32_t>(k);
        }
    }
    TriangleSortKeyEntry* e = s.KeyEntries.data();
    KeyOpaqueEntries(headers.data(), opaque, s);
    std::sort(e, e + opaque, [](const TriangleSortKeyEntry& a, const TriangleSortKeyEntry& b) {
        return a.Key != b.Key ? a.Key < b.Key : a.Index < b.Index;
    });
    for (size_t k = 0; k < opaque; ++k) s.Order[k] = e[k].Index;
    if (blended > 0) {
        const auto m = static_cast<int32_t>(blended);
        if (!SortKeyEntries(s.BlendedHeaders.data(), m, s)) SortEntriesWithNaN(s.BlendedHeaders.data(), m, s);
        for (size_t k = 0; k < blended; ++k) s.Order[opaque + k] = s.BlendedIndex[e[k].Index];
    }
    GatherInOrder(headers, vertices, n, s);
}

void SortTriangleList(std::vector<TriangleHeader>& headers, std::vector<TriangleVertices>& vertices, int32_t count,
                      TriangleSortScratch& scratch) {
    if (count <= 1) return;
    const size_t n = static_cast<size_t>(count);
    if (scratch.KeyEntries.size() < n) scratch.KeyEntries.resize(n);
    if (scratch.Headers.size() < headers.size()) scratch.Headers.resize(headers.size());
    if (scratch.Vertices.size() < vertices.size()) scratch.Vertices.resize(vertices.size());
    if (!SortKeyEntries(headers.data(), count, scratch)) SortEntriesWithNaN(headers.data(), count, scratch);
    const TriangleSortKeyEntry* e = scratch.KeyEntries.data();
    TriangleHeader* outH = scratch.Headers.data();
    TriangleVertices* outV = scratch.Vertices.data();
    for (size_t k = 0; k < n; ++k) {
        outH[k] = headers[e[k].Index];
        outV[k] = vertices[e[k].Index];
    }
    headers.swap(scratch.Headers);
    vertices.swap(scratch.Vertices);
}

void SortTrianglesMovingRecords(TriangleHeader* headers, TriangleVertices* vertices, int32_t count) {
    if (count <= 1) return;
    QuickSort(headers, 0, count - 1, [headers, vertices](int32_t i, int32_t j) {
        std::swap(headers[i], headers[j]);
        std::swap(vertices[i], vertices[j]);
    });
}

}  // namespace dv
