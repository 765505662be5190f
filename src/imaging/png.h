// PNG through libpng.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes a PNG of any colour type and depth to RGBA: palettes and transparency chunks
// are expanded, 16-bit samples scaled to 8 bits, gamma is not applied. libpng's errors
// (bad CRC, bad chunk, truncated data) become ImageError.
void DecodePng(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
