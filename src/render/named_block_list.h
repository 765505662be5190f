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
class NamedBlockList {
public:
    struct Node {
        std::string Name;
        std::unique_ptr<T> Block;
    };

    NamedBlockList() { places_.reserve(1024); }

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

    // Stores the node in the most recently freed place, else at the end; a sorted list then
    // moves it to its place by name (after nodes of the same name).
    void Add(const std::string& name, std::unique_ptr<T> block) {
        auto node = std::make_unique<Node>(Node{name, std::move(block)});
        if (!Sorted) {
            if (free_.empty()) {
                places_.push_back(std::move(node));
            } else {
                places_[free_.back()] = std::move(node);
                free_.pop_back();
            }
            return;
        }
        if (!free_.empty()) places_.erase(places_.begin() + free_.back());
        const auto pos =
            std::upper_bound(places_.begin() + (free_.empty() ? 0 : FreeCount() - 1), places_.end(), name,
                             [](const std::string& n, const std::unique_ptr<Node>& p) { return n < p->Name; });
        places_.insert(pos, std::move(node));
        ResetFreeStack(free_.empty() ? 0 : FreeCount() - 1);
    }

    // Frees the node at `index` and keeps its place as a free one (first, in a sorted list).
    void Delete(int index) {
        if (index < 0 || index >= Count() || !places_[index]) return;
        places_[index].reset();
        if (!Sorted) {
            free_.push_back(index);
            return;
        }
        std::rotate(places_.begin(), places_.begin() + index, places_.begin() + index + 1);
        ResetFreeStack(FreeCount() + 1);
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
    // In a sorted list the free places are the first `n`; the stack names them so that an
    // Add never lands on a live node.
    void ResetFreeStack(int n) {
        free_.clear();
        for (int i = n - 1; i >= 0; --i) free_.push_back(i);
    }

    std::vector<std::unique_ptr<Node>> places_;
    std::vector<int> free_;
};

}  // namespace dv
