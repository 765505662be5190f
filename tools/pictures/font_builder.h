// The bitmap font file: printable ASCII rendered into one glyph image with a table of glyph
// rectangles. Glyphs are light with a dark rim on the magenta key, so that the font loader's
// dark-key rule gives clean outlined text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

inline constexpr uint8_t kFontFirstChar = 32;
inline constexpr uint8_t kFontLastChar = 126;

// The bytes of a font file rendered from the TrueType font at `fontPath` at `pixelHeight`.
// Throws std::runtime_error when the font cannot be opened or the glyphs do not fit.
std::vector<uint8_t> BuildFontFile(const std::string& fontPath, int pixelHeight);

}  // namespace dv
