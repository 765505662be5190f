#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "render/triangle_sort.h"

using namespace dv;

namespace {

// A list with few distinct keys and states, so most records tie on the whole key and only
// their tags (spare bytes and vertices) show where the unstable sort put them.
// Without `nan` the list takes the one-integer path (a NaN key anywhere takes the other).
void RandomList(std::mt19937& rng, int n, bool nan, std::vector<TriangleHeader>& h, std::vector<TriangleVertices>& v) {
    h.assign(n, TriangleHeader{});
    v.assign(n, TriangleVertices{});
    for (int i = 0; i < n; ++i) {
        TriangleHeader& t = h[i];
        t.SortKey = static_cast<float>(static_cast<int>(rng() % 4)) - 1.0f;
        if (nan && rng() % 50 == 0) t.SortKey = std::nanf("");
        if (rng() % 50 == 0) t.SortKey = -0.0f;
        t.BlendType = static_cast<uint8_t>(rng() % 2 ? 0 : 2);
        t.BumpFlag = static_cast<uint16_t>(rng() % 8 == 0);
        t.Layers = static_cast<uint8_t>(rng() % 3);
        t.Texture = static_cast<uint16_t>(rng() % 3);
        t.BumpTexture = static_cast<uint16_t>(rng() % 2);
        t.Lightmap = static_cast<uint16_t>(rng() % 2 ? 0 : 0xFFFF);
        std::memcpy(t.Spare, &i, sizeof i);
        v[i].V[0].Position.x = static_cast<float>(i);
        v[i].V[2].LightV = static_cast<float>(rng());
    }
}

}  // namespace

TEST(TriangleSort, GivesTheOrderOfTheRecordMovingQuicksort) {
    std::mt19937 rng(2024);
    TriangleSortScratch scratch;
    for (const int n : {0, 1, 2, 3, 7, 64, 257, 1000, 5003}) {
        for (int round = 0; round < 4; ++round) {
            std::vector<TriangleHeader> h, refH;
            std::vector<TriangleVertices> v, refV;
            RandomList(rng, n, round % 2 == 0, h, v);
            refH = h;
            refV = v;
            // Spare capacity past the count must be left out of the sort.
            h.resize(n + 5, TriangleHeader{});
            v.resize(n + 5, TriangleVertices{});
            h[n].SortKey = -100;
            SortTrianglesMovingRecords(refH.data(), refV.data(), n);
            SortTriangleList(h, v, n, scratch);
            ASSERT_GE(h.size(), static_cast<size_t>(n));
            ASSERT_GE(v.size(), static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(std::memcmp(&h[i], &refH[i], sizeof(TriangleHeader)), 0) << "header " << i << " of " << n;
                ASSERT_EQ(std::memcmp(&v[i], &refV[i], sizeof(TriangleVertices)), 0) << "triple " << i << " of " << n;
            }
        }
    }
}

// For drawing: the opaque records first, each (state, lightmap) in one block, blocks by their
// farthest key, back to front within a block; then exactly the reference order of the others.
TEST(TriangleSort, ForDrawingGroupsOpaqueAndKeepsTheReferenceOrderOfTheRest) {
    std::mt19937 rng(77);
    TriangleSortScratch scratch;
    const auto opaque = [](const TriangleHeader& t) { return (t.BlendType & 0x3F) == 0; };
    const auto sameState = [](const TriangleHeader& a, const TriangleHeader& b) {
        return std::memcmp(reinterpret_cast<const uint8_t*>(&a) + 4, reinterpret_cast<const uint8_t*>(&b) + 4, 10) == 0;
    };
    for (const int n : {0, 1, 2, 7, 64, 1000, 5003}) {
        for (int round = 0; round < 4; ++round) {
            std::vector<TriangleHeader> h, restH;
            std::vector<TriangleVertices> v, restV;
            RandomList(rng, n, round % 2 == 0, h, v);
            for (int i = 0; i < n; ++i) {
                h[i].SortKey += static_cast<float>(rng() % 100) * 0.01f;
                if (rng() % 7 == 0) h[i].BlendType = 1;
                if (opaque(h[i])) continue;
                restH.push_back(h[i]);
                restV.push_back(v[i]);
            }
            SortTrianglesMovingRecords(restH.data(), restV.data(), static_cast<int32_t>(restH.size()));
            const std::vector<TriangleHeader> unsorted = h;
            SortTriangleListForDrawing(h, v, n, scratch);
            const int first = n - static_cast<int>(restH.size());
            std::vector<bool> seen(static_cast<size_t>(n), false);
            float farthest = -INFINITY, previousFarthest = -INFINITY;  // of the current and the previous block
            for (int i = 0; i < n; ++i) {
                int tag = 0;
                std::memcpy(&tag, h[i].Spare, sizeof tag);
                ASSERT_FALSE(seen[static_cast<size_t>(tag)]) << "record " << tag << " twice";
                seen[static_cast<size_t>(tag)] = true;
                ASSERT_EQ(std::memcmp(&h[i], &unsorted[static_cast<size_t>(tag)], sizeof(TriangleHeader)), 0);
                ASSERT_EQ(v[i].V[0].Position.x, static_cast<float>(tag)) << "the vertices stay with their header";
                if (i >= first) {
                    ASSERT_EQ(std::memcmp(&h[i], &restH[static_cast<size_t>(i - first)], sizeof(TriangleHeader)), 0);
                    continue;
                }
                ASSERT_TRUE(opaque(h[i])) << "at " << i << " of " << n;
                const bool starts = i == 0 || !sameState(h[i - 1], h[i]);
                if (starts) {
                    for (int j = 0; j < i; ++j) ASSERT_FALSE(sameState(h[j], h[i])) << "state split at " << i;
                    previousFarthest = farthest;
                    farthest = INFINITY;
                } else if (!std::isnan(h[i - 1].SortKey) && !std::isnan(h[i].SortKey)) {
                    ASSERT_LE(h[i - 1].SortKey, h[i].SortKey) << "back to front at " << i;
                }
                if (h[i].SortKey < farthest) farthest = h[i].SortKey;
                const bool ends = i + 1 == first || !sameState(h[i], h[i + 1]);
                if (ends) {
                    ASSERT_GE(farthest, previousFarthest) << "state blocks farthest first, at " << i;
                }
            }
        }
    }
}

TEST(TriangleSort, OrdersByKeyThenStateWithTheLightmapLast) {
    std::vector<TriangleHeader> h(4, TriangleHeader{});
    std::vector<TriangleVertices> v(4);
    h[0].SortKey = 1;
    h[1].Lightmap = 2;
    h[1].BlendType = 1;
    h[2].Lightmap = 1;
    h[2].BlendType = 1;
    h[3].Texture = 9;  // blend 0 sorts before blend 1 whatever the slots
    TriangleSortScratch scratch;
    SortTriangleList(h, v, 4, scratch);
    EXPECT_EQ(h[0].Texture, 9);
    EXPECT_EQ(h[1].Lightmap, 1);
    EXPECT_EQ(h[2].Lightmap, 2);
    EXPECT_EQ(h[3].SortKey, 1.0f);
}
