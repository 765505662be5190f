// What the device has done since its counters were last reset: draw calls, uploads, clears.
// The game's statistics, the tests and the benchmarks read them through the viewport.
#pragma once

#include <cstdint>

namespace dv {

struct DeviceStats {
    uint64_t DrawCalls = 0;
    uint64_t Primitives = 0;
    uint64_t VertexBufferUploads = 0;  // unlocks that sent data to GL
    uint64_t UploadedBytes = 0;
    uint64_t TextureUploads = 0;
    uint64_t Clears = 0;
    uint64_t Presents = 0;
    uint64_t Resets = 0;
};

}  // namespace dv
