// JPEG through libjpeg-turbo.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes a baseline, progressive or arithmetic-coded JPEG (grey, YCbCr, RGB, CMYK or
// YCCK) to opaque RGBA. Library errors and corrupt-data warnings, including data that
// ends early, become ImageError.
void DecodeJpeg(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
