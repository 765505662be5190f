// Sorting the frame's 3D list: a quicksort over small (key, index) entries, then one pass
// that gathers the 70-byte headers and 132-byte vertex triples into their sorted places.
// It produces exactly the order of the in-place quicksort that moves whole records (middle
// pivot, scans from both ends, swap on crossing), which is kept as the reference.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "render/triangle_list.h"

namespace dv {

// A header's sort key and its position in the unsorted list.
struct TriangleSortEntry {
    float Key;          // sort key
    uint16_t Lightmap;  // compared last
    uint16_t Reserved;
    uint64_t State;  // blend, bump flag, layers, base slot, bump slot: most significant first
    uint32_t Index;
};

// The usual entry: one integer that orders exactly like the comparison (the key's bits made
// monotonic, -0 as +0, above the rank of the entry's state and lightmap among this frame's).
struct TriangleSortKeyEntry {
    uint64_t Key;
    uint32_t Index;
};

// A distinct (state, lightmap) pair of the list being sorted.
struct TriangleStateSlot {
    uint64_t State;
    uint16_t Lightmap;
    bool Used;
    uint32_t Rank;
    float Farthest = std::numeric_limits<float>::infinity();  // smallest key of the state's opaque triangles
};

// Scratch of the sort; grows to the largest list seen and is reused afterwards.
struct TriangleSortScratch {
    std::vector<TriangleSortKeyEntry> KeyEntries;
    std::vector<TriangleStateSlot> StateTable;  // open addressing, power-of-two size
    std::vector<uint32_t> DistinctStates;       // slots of the table in use
    std::vector<TriangleSortEntry> Entries;     // lists with a NaN key
    std::vector<TriangleHeader> Headers;
    std::vector<TriangleVertices> Vertices;
    std::vector<uint32_t> Order;                 // source index of each sorted place
    std::vector<TriangleHeader> BlendedHeaders;  // the blended and alpha-tested ones, in list order
    std::vector<uint32_t> BlendedIndex;          // their places in the list
};

// Sorts the first `count` records of `headers`/`vertices` ascending by (sort key, blend type,
// bump flag, layer count, base slot, bump slot, lightmap slot). The arrays are swapped with
// the scratch ones (both keep at least `count` elements), so no record is copied twice.
void SortTriangleList(std::vector<TriangleHeader>& headers, std::vector<TriangleVertices>& vertices, int32_t count,
                      TriangleSortScratch& scratch);

// Orders the first `count` records for drawing: the opaque triangles (blend type 0) first,
// grouped by state and lightmap, the group with the farthest triangle first and each group
// back to front; then all others (alpha-tested, blended, unknown blend types) in the order
// SortTriangleList gives them on their own. The depth buffer decides between opaque triangles,
// except where two of them round to the same depth value (the 16-bit buffer gives ties
// between close surfaces, such as overlapping pieces of the character's clothes); there the
// later one wins, as it did in the all back-to-front order whenever both share a state or
// their states' triangles do not interleave in depth.
void SortTriangleListForDrawing(std::vector<TriangleHeader>& headers, std::vector<TriangleVertices>& vertices,
                                int32_t count, TriangleSortScratch& scratch);

// The reference: the same quicksort moving headers and vertex triples at every swap.
void SortTrianglesMovingRecords(TriangleHeader* headers, TriangleVertices* vertices, int32_t count);

}  // namespace dv
