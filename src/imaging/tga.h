// Truevision images (TGA, WIN, VST, VDA, ICB).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes an uncompressed or run-length encoded Truevision image: colour-mapped (8- or
// 16-bit indices into a 15/16/24/32-bit map), grey (8-bit, or 16-bit grey and alpha) or
// true colour (15, 16, 24, 32 bits), honouring the origin bits. Throws ImageError.
void DecodeTga(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
