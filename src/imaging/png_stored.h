// A PNG encoder that needs no zlib: the rows go into deflate's stored blocks, uncompressed,
// with the checksums PNG and zlib ask for. The files are larger than libpng's and any PNG
// reader opens them. The browser build writes its screenshots with it.
#pragma once

#include <cstdint>
#include <vector>

namespace dv {

// The PNG file of an 8-bit RGBA picture (rows top to bottom, no padding).
std::vector<uint8_t> EncodeStoredPng(int width, int height, const uint8_t* rgba);

}  // namespace dv
