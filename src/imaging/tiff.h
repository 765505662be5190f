// TIFF, GFI fax and the TIFF preview of Encapsulated PostScript, through libtiff.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/decode.h"

namespace dv {

// Decodes the first image of a TIFF (any compression and photometric libtiff's RGBA
// reader handles, CCITT fax included, strips or tiles) to RGBA with straight alpha: the
// colour of a transparent pixel stays as stored. libtiff's errors become ImageError.
void DecodeTiff(const uint8_t* data, size_t size, Image& out);

// Decodes the TIFF preview of a DOS binary EPS file; an EPS without one (plain
// PostScript) is an unsupported image format.
void DecodeEps(const uint8_t* data, size_t size, Image& out);

}  // namespace dv
