// Rasterising text with FreeType for the content tools.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace dv {

// One rendered glyph: an 8-bit coverage bitmap and its placement relative to the pen on the
// baseline (left bearing, top above the baseline) and the pen advance, all in pixels.
struct GlyphBitmap {
    int Width = 0, Height = 0;
    int Left = 0, Top = 0;
    int Advance = 0;
    std::vector<uint8_t> Coverage;  // Width x Height, rows top first
};

class GlyphRasteriser {
public:
    // Opens the font file at a pixel height. Throws std::runtime_error naming the file.
    GlyphRasteriser(const std::string& fontPath, int pixelHeight);
    ~GlyphRasteriser();
    GlyphRasteriser(const GlyphRasteriser&) = delete;
    GlyphRasteriser& operator=(const GlyphRasteriser&) = delete;

    // The glyph of a character code; a code the font lacks gives its missing-glyph box.
    GlyphBitmap Render(unsigned code) const;
    int Ascender() const;   // pixels above the baseline
    int Descender() const;  // pixels below the baseline (positive)

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace dv
