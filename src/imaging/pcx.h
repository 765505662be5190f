// ZSoft Paintbrush images (PCX, PCC) and Word screen captures (SCR), which are PCX.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes a run-length encoded or plain PCX: 1 to 4 bit planes of 1 bit, 2 or 4 bits in
// one plane (16-colour header palette), 8 bits with the 256-colour palette at the end
// (grey without one), 8 bits in 3 or 4 planes (RGB, RGBA). Throws ImageError.
void DecodePcx(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
