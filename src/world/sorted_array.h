// A growable array of fixed-size records in one contiguous block, ordered by a caller-supplied
// comparison, with sorted insertion, leftmost binary search and a quicksort; and IdList, which
// maps 32-bit ids to 32-bit values on top of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dv {

class SortedArray {
public:
    using CompareFn = int32_t (*)(const void* a, const void* b);  // <0, 0, >0 as a <, =, > b
    using CompareMethodFn = int32_t (*)(void* userData, const void* a, const void* b);

    // delta is the growth step in elements, raised to 1 when smaller.
    SortedArray(int32_t elementSize, int32_t delta);

    int32_t Compare(const void* a, const void* b) const;
    // Address of element i, or nullptr when i is out of range. Valid until the block changes.
    void* Get(int32_t i);
    const void* Get(int32_t i) const;
    // Appends a copy; with AutoSort, re-sorts when the new element belongs before its predecessor.
    void Add(const void* element);
    // Inserts a copy before the first equal element and returns its index.
    int32_t InsertSorted(const void* element);
    // Shrinks Count to n (n < Count); n = 0 also shrinks the block back to Delta elements.
    void SetCount(int32_t n);
    void Swap(int32_t i, int32_t j);  // ignored unless both indices are valid
    void Sort();
    int32_t Find(const void* key) const;  // lowest equal index, or -1
    // Index of an equal element, else the end of the search range (lo, or hi when wantHigh);
    // -1 when empty.
    int32_t FindInsertPos(const void* key, bool wantHigh) const;

    int32_t ElementSize() const { return ElementSize_; }
    int32_t ByteSize() const { return ByteSize_; }
    int32_t Count() const { return Count_; }
    int32_t Delta() const { return Delta_; }
    int32_t Capacity() const { return Capacity_; }

    bool AutoSort = false;
    bool UseMethod = false;
    CompareFn CompareFunc = nullptr;
    CompareMethodFn CompareMethod = nullptr;
    void* UserData = nullptr;

private:
    struct SearchResult {
        int32_t Mid;
        int32_t Lo;
        int32_t Hi;
        bool Found;
    };
    SearchResult Search(const void* key, int32_t lo, int32_t hi) const;
    void GrowIfFull();
    void Resize(int32_t capacity);
    void QuickSort(int32_t l, int32_t r, uint8_t* pivot);
    uint8_t* At(int32_t i) { return Data_.data() + static_cast<size_t>(i) * ElementSize_; }
    const uint8_t* At(int32_t i) const { return Data_.data() + static_cast<size_t>(i) * ElementSize_; }

    std::vector<uint8_t> Data_;
    int32_t ElementSize_;
    int32_t ByteSize_ = 0;
    int32_t Count_ = 0;
    int32_t Delta_;
    int32_t Capacity_ = 0;
    std::vector<uint8_t> SwapBuffer_;
};

struct IdEntry {
    int32_t Value;
    int32_t Id;
};
static_assert(sizeof(IdEntry) == 8);

// Maps object ids to object-template indices.
class IdList {
public:
    IdList();
    void Add(int32_t value, int32_t id);
    void Clear();
    int32_t IndexOf(int32_t id) const;  // the stored value, or -1 when the id is absent
    int32_t Count() const { return Count_; }
    const SortedArray& Items() const { return Items_; }

private:
    SortedArray Items_;
    int32_t Count_ = 0;
};

}  // namespace dv
