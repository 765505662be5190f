// SGI images (SGI, RGB, RGBA, BW).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes a verbatim or run-length encoded SGI image of 1 to 4 channels (grey, grey and
// alpha, RGB, RGBA; further channels are ignored) at 1 or 2 bytes per sample.
// Throws ImageError.
void DecodeSgi(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
