#include "world/sorted_array.h"

#include <algorithm>
#include <cstring>

namespace dv {

SortedArray::SortedArray(int32_t elementSize, int32_t delta)
    : ElementSize_(std::max(elementSize, 1)), Delta_(std::max(delta, 1)) {
    Resize(Delta_);
    SwapBuffer_.resize(ElementSize_);
}

void SortedArray::Resize(int32_t capacity) {
    Capacity_ = capacity;
    ByteSize_ = ElementSize_ * Capacity_;
    Data_.resize(static_cast<size_t>(ByteSize_));
    Data_.shrink_to_fit();
}

int32_t SortedArray::Compare(const void* a, const void* b) const {
    return UseMethod ? CompareMethod(UserData, a, b) : CompareFunc(a, b);
}

void* SortedArray::Get(int32_t i) { return (i < 0 || i >= Count_) ? nullptr : At(i); }

const void* SortedArray::Get(int32_t i) const { return (i < 0 || i >= Count_) ? nullptr : At(i); }

// One slot always stays free: the block grows when the element about to be stored would
// fill it.
void SortedArray::GrowIfFull() {
    if (Count_ + 1 == Capacity_) Resize(Capacity_ + Delta_);
}

void SortedArray::Add(const void* element) {
    GrowIfFull();
    std::memcpy(At(Count_), element, ElementSize_);
    ++Count_;
    if (AutoSort && Count_ > 1 && Compare(At(Count_ - 1), At(Count_ - 2)) < 0) Sort();
}

int32_t SortedArray::InsertSorted(const void* element) {
    if (Count_ == 0) {
        Add(element);
        return 0;
    }
    if (Compare(element, At(Count_ - 1)) > 0) {
        Add(element);
        return Count_ - 1;
    }
    GrowIfFull();
    const int32_t pos = FindInsertPos(element, false);
    std::memmove(At(pos + 1), At(pos), static_cast<size_t>(Count_ - pos) * ElementSize_);
    std::memcpy(At(pos), element, ElementSize_);
    ++Count_;
    return pos;
}

void SortedArray::SetCount(int32_t n) {
    if (n < 0 || n >= Count_) return;
    Count_ = n;
    if (n == 0) Resize(Delta_);
}

void SortedArray::Swap(int32_t i, int32_t j) {
    if (i < 0 || i >= Count_ || j < 0 || j >= Count_) return;
    std::memcpy(SwapBuffer_.data(), At(i), ElementSize_);
    std::memcpy(At(i), At(j), ElementSize_);
    std::memcpy(At(j), SwapBuffer_.data(), ElementSize_);
}

void SortedArray::Sort() {
    if (Count_ <= 1) return;
    std::vector<uint8_t> pivot(ElementSize_);
    QuickSort(0, Count_ - 1, pivot.data());
}

// Recursion on the left part, iteration on the right part, middle pivot by unsigned halving.
void SortedArray::QuickSort(int32_t l, int32_t r, uint8_t* pivot) {
    int32_t i;
    do {
        const uint32_t middle = (static_cast<uint32_t>(l) + static_cast<uint32_t>(r)) >> 1;
        std::memcpy(pivot, At(static_cast<int32_t>(middle)), ElementSize_);
        i = l;
        int32_t j = r;
        do {
            while (Compare(At(i), pivot) < 0) ++i;
            while (Compare(At(j), pivot) > 0) --j;
            if (i <= j) {
                Swap(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j) QuickSort(l, j, pivot);
        l = i;
    } while (i < r);
}

SortedArray::SearchResult SortedArray::Search(const void* key, int32_t lo, int32_t hi) const {
    const int32_t startLo = lo;
    int32_t mid = lo;
    int32_t c = 0;
    do {
        mid = (lo + hi) / 2;
        c = Compare(key, At(mid));
        if (c < 0) {
            hi = mid - 1;
        } else if (c > 0) {
            lo = mid + 1;
        }
    } while (c != 0 && hi >= lo);
    if (c == 0 && mid > startLo && Compare(key, At(mid - 1)) == 0) return Search(key, lo, mid - 1);
    return {mid, lo, hi, c == 0};
}

int32_t SortedArray::Find(const void* key) const {
    if (Count_ == 0) return -1;
    const SearchResult r = Search(key, 0, Count_ - 1);
    return r.Found ? r.Mid : -1;
}

int32_t SortedArray::FindInsertPos(const void* key, bool wantHigh) const {
    if (Count_ == 0) return -1;
    const SearchResult r = Search(key, 0, Count_ - 1);
    if (r.Found) return r.Mid;
    return wantHigh ? r.Hi : r.Lo;
}

namespace {

int32_t CompareIds(const void* a, const void* b) {
    IdEntry x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return x.Id < y.Id ? -1 : (x.Id > y.Id ? 1 : 0);
}

}  // namespace

IdList::IdList() : Items_(sizeof(IdEntry), 100) { Items_.CompareFunc = CompareIds; }

void IdList::Add(int32_t value, int32_t id) {
    const IdEntry e{value, id};
    Items_.InsertSorted(&e);
    ++Count_;
}

void IdList::Clear() {
    Items_.SetCount(0);
    Count_ = 0;
}

int32_t IdList::IndexOf(int32_t id) const {
    const IdEntry key{0, id};
    const int32_t i = Items_.Find(&key);
    if (i < 0) return -1;
    IdEntry e;
    std::memcpy(&e, Items_.Get(i), sizeof e);
    return e.Value;
}

}  // namespace dv
