// Writing pictures: 24-bit Windows bitmaps and JPEG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

// The bytes of an uncompressed 24-bit BMP of `rgb` (rows top first, red, green, blue).
std::vector<uint8_t> EncodeBmp24(int width, int height, const std::vector<uint8_t>& rgb);
// The bytes of a baseline JPEG of `rgb` at the given quality (1..100). Throws on failure.
std::vector<uint8_t> EncodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality);
// Writes `bytes` safely over `path` (files/safe_write.h). Throws std::runtime_error naming
// the path when that fails.
void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace dv
