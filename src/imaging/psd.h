// Photoshop images (PSD, PDD): the merged picture only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes the merged image of a Photoshop file, raw or PackBits: bitmap (1 bit), grey and
// duotone, indexed, RGB and CMYK at 8 or 16 bits per channel; an extra channel is taken
// as alpha. Layers are not composed. Throws ImageError.
void DecodePsd(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
