// Picture decoding, chosen by file-name extension (case-insensitive).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dv {

// Decoded pixels, 8-bit RGBA, rows top to bottom, no padding.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// The largest picture file read.
inline constexpr size_t kMaxImageFileBytes = 256u << 20;
// Decodes the file at `path` by its extension. On failure returns false and sets `error`
// to one line naming the file and what was wrong (the file is left as it is).
bool DecodeImageFile(const std::string& path, Image& out, std::string& error);

// The same from bytes in memory; `extension` without the dot, any case ("png", "BMP").
// `name` is only used in error messages.
bool DecodeImageMemory(const uint8_t* data, size_t size, const std::string& extension, const std::string& name,
                       Image& out, std::string& error);

}  // namespace dv
