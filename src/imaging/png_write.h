// Writes 8-bit RGBA pixels as a PNG file.
#pragma once

#include <cstdint>
#include <string>

namespace dv {

// Writes safely (files/safe_write.h), so a failed write never leaves a broken or half-written
// PNG and never clobbers an existing file. Rows top to bottom.
bool WritePngFile(const std::string& path, int width, int height, const uint8_t* rgba, std::string& error);

}  // namespace dv
