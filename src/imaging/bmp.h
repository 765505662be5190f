// Windows bitmaps (BMP, DIB, RLE) and the bitmaps inside icons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes a bitmap file: 1, 4, 8, 16, 24 or 32 bits per pixel, RLE4, RLE8, bit-field masks,
// bottom-up or top-down rows, Windows or OS/2 headers, embedded JPEG or PNG. Data that does
// not begin with "BM" is taken as a bare DIB (header, colour table, pixels).
// Throws ImageError on damaged or unsupported input.
void DecodeBmp(const uint8_t* data, size_t size, Image& out);

// Decodes the DIB of one icon image: its header height counts the colour bitmap and the
// 1-bit AND mask below it; the mask makes pixels transparent, and 32-bit images carry
// alpha in their fourth byte. Throws ImageError.
void DecodeIconDib(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
