// Portable pixmaps, graymaps and bitmaps (PPM, PGM, PBM).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes the first image of a P1-P6 file, ASCII or binary, maxval 1 to 65535 (scaled to
// 8 bits). Throws ImageError.
void DecodePnm(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
