// Windows icons and cursors.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes the largest image of an icon (or cursor) file; its payload is a DIB with an
// AND mask or a PNG. Throws ImageError.
void DecodeIco(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
