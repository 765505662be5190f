#include "tools/pictures/font_builder.h"

#include <algorithm>
#include <stdexcept>

#include "tools/pictures/glyph_raster.h"

namespace dv {

namespace {

constexpr int kImageWidth = 256;
constexpr int kRim = 1;

void Put32(std::vector<uint8_t>& out, int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> BuildFontFile(const std::string& fontPath, int pixelHeight) {
    const GlyphRasteriser raster(fontPath, pixelHeight);
    const int ascent = raster.Ascender();
    const int cellHeight = ascent + raster.Descender() + 2 * kRim;
    if (cellHeight > 255)
        throw std::runtime_error(fontPath + ": glyphs of " + std::to_string(pixelHeight) + " pixels are too tall");

    struct Placed {
        GlyphBitmap g;
        int x, y, w;
    };
    std::vector<Placed> glyphs;
    int penX = 0, penY = 0;
    for (int ch = kFontFirstChar; ch <= kFontLastChar; ++ch) {
        GlyphBitmap g = raster.Render(static_cast<unsigned>(ch));
        const int w = std::max(g.Advance, g.Left + g.Width) + 2 * kRim;
        if (w > 255) throw std::runtime_error(fontPath + ": a glyph is wider than 255 pixels");
        if (penX + w > kImageWidth) {
            penX = 0;
            penY += cellHeight;
        }
        glyphs.push_back({std::move(g), penX, penY, w});
        penX += w;
    }
    int height = 1;
    while (height < penY + cellHeight) height *= 2;

    // Coverage of the whole image, then light glyph texels, a dark rim around them, magenta
    // everywhere else.
    std::vector<uint8_t> cover(static_cast<size_t>(kImageWidth) * height, 0);
    for (const Placed& p : glyphs) {
        const int ox = p.x + kRim + std::max(p.g.Left, 0), oy = p.y + kRim + ascent - p.g.Top;
        for (int y = 0; y < p.g.Height; ++y) {
            for (int x = 0; x < p.g.Width; ++x) {
                const int ix = ox + x, iy = oy + y;
                if (ix < p.x || ix >= p.x + p.w || iy < p.y || iy >= p.y + cellHeight) continue;
                cover[static_cast<size_t>(iy) * kImageWidth + ix] =
                    p.g.Coverage[static_cast<size_t>(y) * p.g.Width + x];
            }
        }
    }
    std::vector<uint8_t> out{'F', 'N', 'X', '1'};
    out.push_back(static_cast<uint8_t>(cellHeight));
    out.push_back(static_cast<uint8_t>(ascent));
    out.push_back(kFontFirstChar);
    out.push_back(kFontLastChar);
    for (const Placed& p : glyphs) {
        Put32(out, p.x);
        Put32(out, p.y);
        out.push_back(static_cast<uint8_t>(p.w));
        out.push_back(static_cast<uint8_t>(cellHeight));
    }
    Put32(out, kImageWidth);
    Put32(out, height);
    out.insert(out.end(), 16, 0);
    auto at = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= kImageWidth || y >= height) return 0;
        return static_cast<int>(cover[static_cast<size_t>(y) * kImageWidth + x]);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < kImageWidth; ++x) {
            const int c = at(x, y);
            int near = 0;
            for (int dy = -kRim; dy <= kRim; ++dy)
                for (int dx = -kRim; dx <= kRim; ++dx) near = std::max(near, at(x + dx, y + dy));
            uint8_t b = 255, g = 0, r = 255;  // the key
            if (c >= 112) {
                // Light body, shaded slightly from top to bottom; every channel stays above the
                // dark-key threshold.
                const int k = 255 - std::clamp((y % std::max(cellHeight, 1)) * 40 / std::max(cellHeight, 1), 0, 40);
                b = g = r = static_cast<uint8_t>(k);
            } else if (near >= 64) {
                b = g = r = 0;
            }
            out.push_back(b);
            out.push_back(g);
            out.push_back(r);
        }
    }
    return out;
}

}  // namespace dv
