// A list of named memory blocks with reusable free places and an optional name order.
//
// Places are never moved except by sorting or Pack; a deleted node leaves a free place that
// the next Add reuses. When Sorted is set the list is kept ordered by name (free places
// first), so Find is a binary search.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dv {

template <class T>
class Tlistmem {
public:
    struct tnode {
        std::string Name;
        std::unique_ptr<T> Block;
    };

    Tlistmem() { places_.reserve(1024); }

    bool Sorted = false;

    // Number of places, freed ones included.
    int Count() const { return static_cast<int>(places_.size()); }
    int FreeCount() const { return static_cast<int>(free_.size()); }

    // Index of the node with this name, or -1.
    int Find(const std::string& name) const {
        if (!Sorted) {
            for (int i = 0; i < Count(); ++i) {
                if (places_[i] && places_[i]->Name == name) return i;
            }
            return -1;
        }
        int lo = FreeCount();
        int hi = Count() - 1;
        while (lo <= hi) {
            const int mid = lo + (hi - lo) / 2;
            const int c = places_[mid]->Name.compare(name);
            if (c == 0) return mid;
            if (c < 0) {
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
        return -1;
    }

    T* BlockAt(int index) const {
        if (index < 0 || index >= Count() || !places_[index]) return nullptr;
        return places_[index]->Block.get();
    }
    T* BlockByName(const std::string& name) const { return BlockAt(Find(name)); }
    const std::string* NameAt(int index) const {
        if (index < 0 || index >= Count() || !places_[index]) return nullptr;
        return &places_[index]->Name;
    }

    // Stores the node in the most recently freed place, else at the end.
    void Add(const std::string& name, std::unique_ptr<T> block) {
        auto node = std::make_unique<tnode>(tnode{name, std::move(block)});
        if (!free_.empty()) {
            places_[free_.back()] = std::move(node);
            free_.pop_back();
        } else {
            places_.push_back(std::move(node));
        }
        if (Sorted) Sort();
    }

    // Frees the node at `index` and keeps its place as a free one.
    void Delete(int index) {
        if (index < 0 || index >= Count() || !places_[index]) return;
        places_[index].reset();
        free_.push_back(index);
        if (Sorted) Sort();
    }

    // Drops the free places.
    void Pack() {
        places_.erase(std::remove(places_.begin(), places_.end(), nullptr), places_.end());
        places_.shrink_to_fit();
        free_.clear();
    }

    void Clear() {
        places_.clear();
        free_.clear();
    }

private:
    // Orders by name with free places first. The free stack then names the leading places,
    // so a later Add can never land on a live node.
    void Sort() {
        std::stable_sort(places_.begin(), places_.end(),
                         [](const std::unique_ptr<tnode>& a, const std::unique_ptr<tnode>& b) {
                             if (!a || !b) return !a && b;
                             return a->Name < b->Name;
                         });
        const int n = FreeCount();
        free_.clear();
        for (int i = n - 1; i >= 0; --i) free_.push_back(i);
    }

    std::vector<std::unique_ptr<tnode>> places_;
    std::vector<int> free_;
};

}  // namespace dv
