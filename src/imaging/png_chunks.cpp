#include "imaging/png_chunks.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "imaging/bytes.h"

namespace dv {

void CheckPngChunks(const uint8_t* data, size_t size) {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0)
        FailAt(0, "not a PNG (bad signature)");
    constexpr size_t kHeader = 8;  // length and type; the CRC follows the data
    for (size_t at = sizeof kSignature; size - at >= kHeader;) {
        const uint32_t length = uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 |
                                uint32_t{data[at + 3]};
        const size_t left = size - at - kHeader;
        if (length > left)
            FailAt(at, "damaged PNG data (a chunk of " + std::to_string(length) + " bytes, " + std::to_string(left) +
                           " left in the file)");
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return;
        at += kHeader + length + std::min<size_t>(4, left - length);
    }
}

}  // namespace dv
