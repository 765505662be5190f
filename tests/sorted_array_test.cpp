#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "world/sorted_array.h"

using namespace dv;

namespace {

struct Item {
    int32_t key;
    int32_t tag;
};

int32_t CompareKeys(const void* a, const void* b) {
    const int32_t x = static_cast<const Item*>(a)->key, y = static_cast<const Item*>(b)->key;
    return x < y ? -1 : (x > y ? 1 : 0);
}

int32_t CompareDescending(void* calls, const void* a, const void* b) {
    ++*static_cast<int*>(calls);
    return -CompareKeys(a, b);
}

SortedArray MakeArray(int32_t delta, std::initializer_list<int32_t> keys) {
    SortedArray a(sizeof(Item), delta);
    a.CompareFunc = CompareKeys;
    int32_t tag = 0;
    for (int32_t k : keys) {
        const Item it{k, tag++};
        a.Add(&it);
    }
    return a;
}

std::vector<int32_t> Keys(const SortedArray& a) {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < a.Count(); ++i) out.push_back(static_cast<const Item*>(a.Get(i))->key);
    return out;
}

}  // namespace

TEST(SortedArray, GrowthKeepsOneFreeSlotAndShrinksOnlyToZero) {
    SortedArray tiny = MakeArray(0, {});
    EXPECT_EQ(tiny.Delta(), 1);
    EXPECT_EQ(tiny.Capacity(), 1);
    const Item it{1, 0};
    tiny.Add(&it);
    EXPECT_EQ(tiny.Capacity(), 2);  // grown before the first element was stored

    SortedArray a(sizeof(Item), 100);
    a.CompareFunc = CompareKeys;
    for (int32_t i = 0; i < 150; ++i) {
        const Item e{i, i};
        a.Add(&e);
        EXPECT_GT(a.Capacity(), a.Count());
        if (i == 98) {
            EXPECT_EQ(a.Capacity(), 100);
        }
        if (i == 99) {
            EXPECT_EQ(a.Capacity(), 200);  // the 100th element grows the block
        }
    }
    EXPECT_EQ(a.ByteSize(), 200 * 8);
    a.SetCount(10);
    EXPECT_EQ(a.Capacity(), 200);
    EXPECT_EQ(a.Count(), 10);
    a.SetCount(20);  // growing through SetCount does nothing
    EXPECT_EQ(a.Count(), 10);
    a.SetCount(0);
    EXPECT_EQ(a.Capacity(), 100);
    EXPECT_EQ(a.Get(0), nullptr);
}

TEST(SortedArray, LeftmostSearchAndInsertPositions) {
    SortedArray empty = MakeArray(4, {});
    const Item seven{7, 99};
    EXPECT_EQ(empty.Find(&seven), -1);
    EXPECT_EQ(empty.FindInsertPos(&seven, false), -1);

    SortedArray a = MakeArray(4, {5, 7, 7, 7, 9});
    EXPECT_EQ(a.Find(&seven), 1);
    SortedArray many = MakeArray(4, {1, 7, 7, 7, 7, 7, 7, 7, 7, 9});
    EXPECT_EQ(many.Find(&seven), 1);
    SortedArray allSame = MakeArray(4, {7, 7, 7, 7, 7, 7});
    EXPECT_EQ(allSame.Find(&seven), 0);

    const Item six{6, 0}, ten{10, 0}, zero{0, 0};
    EXPECT_EQ(a.Find(&six), -1);
    EXPECT_EQ(a.FindInsertPos(&six, false), 1);
    EXPECT_EQ(a.FindInsertPos(&six, true), 0);
    EXPECT_EQ(a.FindInsertPos(&ten, false), 5);
    EXPECT_EQ(a.FindInsertPos(&zero, false), 0);
    EXPECT_EQ(a.FindInsertPos(&zero, true), -1);
    EXPECT_EQ(a.Get(-1), nullptr);
    EXPECT_EQ(a.Get(5), nullptr);
}

TEST(SortedArray, InsertSortedPutsEqualsFirstAndAppendsLargest) {
    SortedArray a = MakeArray(2, {5, 7, 9});
    const Item newSeven{7, 42};
    EXPECT_EQ(a.InsertSorted(&newSeven), 1);
    EXPECT_EQ(Keys(a), (std::vector<int32_t>{5, 7, 7, 9}));
    EXPECT_EQ(static_cast<const Item*>(a.Get(1))->tag, 42);
    EXPECT_EQ(static_cast<const Item*>(a.Get(2))->tag, 1);

    const Item big{100, 0};
    EXPECT_EQ(a.InsertSorted(&big), 4);
    const Item small{-3, 0};
    EXPECT_EQ(a.InsertSorted(&small), 0);
    EXPECT_EQ(Keys(a), (std::vector<int32_t>{-3, 5, 7, 7, 9, 100}));
    EXPECT_GT(a.Capacity(), a.Count());
}

TEST(SortedArray, QuickSortSwapAndComparatorModes) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int32_t> dist(-50, 50);
    for (int round = 0; round < 20; ++round) {
        SortedArray a(sizeof(Item), 7);
        a.CompareFunc = CompareKeys;
        std::vector<int32_t> keys;
        const int n = round * 13;
        for (int i = 0; i < n; ++i) {
            const Item e{dist(rng), i};
            keys.push_back(e.key);
            a.Add(&e);
        }
        a.Sort();
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(Keys(a), keys);
    }

    SortedArray b = MakeArray(4, {1, 2, 3});
    b.Swap(0, 2);
    b.Swap(0, 3);  // out of range: ignored
    EXPECT_EQ(Keys(b), (std::vector<int32_t>{3, 2, 1}));

    int calls = 0;
    b.UseMethod = true;
    b.CompareMethod = CompareDescending;
    b.UserData = &calls;
    b.Sort();
    EXPECT_EQ(Keys(b), (std::vector<int32_t>{3, 2, 1}));
    EXPECT_GT(calls, 0);

    SortedArray autoSorted = MakeArray(4, {});
    autoSorted.AutoSort = true;
    for (int32_t k : {4, 8, 2, 6}) {
        const Item e{k, 0};
        autoSorted.Add(&e);
    }
    EXPECT_EQ(Keys(autoSorted), (std::vector<int32_t>{2, 4, 6, 8}));
}

TEST(IdList, MapsIdsToValuesWithRepeatsAndClear) {
    IdList list;
    EXPECT_EQ(list.IndexOf(42), -1);
    list.Add(3, 42);
    EXPECT_EQ(list.IndexOf(42), 3);
    list.Add(0, 10);
    list.Add(1, 50);
    list.Add(2, 10);  // a repeated id: the newest entry is found first
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.IndexOf(10), 2);
    EXPECT_EQ(list.IndexOf(50), 1);
    EXPECT_EQ(list.IndexOf(11), -1);
    list.Add(7, -5);
    EXPECT_EQ(list.IndexOf(-5), 7);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.IndexOf(42), -1);
    for (int32_t i = 0; i < 250; ++i) list.Add(i, 1000 + 2 * i);  // ascending ids take the append path
    EXPECT_EQ(list.IndexOf(1000 + 2 * 177), 177);
    EXPECT_EQ(list.IndexOf(1001), -1);
}
