// What the device has done since its counters were last reset: draw calls, uploads, clears.
// The game's statistics, the tests and the benchmarks read them through the viewport.
#pragma once

#include <cstdint>

namespace dv {

struct DeviceStats {
    uint64_t drawCalls = 0;
    uint64_t primitives = 0;
    uint64_t vertexBufferUploads = 0;  // unlocks that sent data to GL
    uint64_t uploadedBytes = 0;
    uint64_t textureUploads = 0;
    uint64_t clears = 0;
    uint64_t presents = 0;
    uint64_t resets = 0;
};

}  // namespace dv
