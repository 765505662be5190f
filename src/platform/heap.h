// Heap upkeep for a process that runs for hours.
#pragma once

#include <chrono>

namespace dv {

// Hands memory freed on the heap back to the system, at most once per `interval` of wall
// time. The software GL driver bins each frame's triangles in tens of megabytes of small
// blocks that it frees at the end of the frame; the freed pages stay resident inside the heap
// and the resident size of a long run creeps up with every large frame. Trimming after a
// frame keeps it flat. Does nothing without glibc.
class HeapKeeper {
public:
    explicit HeapKeeper(std::chrono::milliseconds interval = std::chrono::seconds(1)) : interval_(interval) {}
    // Call after a frame has been presented; trims when the interval has passed.
    void AfterFrame();
    // Trims now, whatever the interval.
    void TrimNow();
    int Trims() const { return trims_; }

private:
    using Steady = std::chrono::steady_clock;
    std::chrono::milliseconds interval_;
    Steady::time_point last_ = Steady::now();
    int trims_ = 0;
};

}  // namespace dv
