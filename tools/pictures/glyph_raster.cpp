#include "tools/pictures/glyph_raster.h"

#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace dv {

struct GlyphRasteriser::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Impl() {
        if (face != nullptr) FT_Done_Face(face);
        if (library != nullptr) FT_Done_FreeType(library);
    }
};

GlyphRasteriser::GlyphRasteriser(const std::string& fontPath, int pixelHeight) : impl_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&impl_->library) != 0) throw std::runtime_error("FreeType does not start");
    if (FT_New_Face(impl_->library, fontPath.c_str(), 0, &impl_->face) != 0)
        throw std::runtime_error(fontPath + ": offset 0: not a font FreeType can open");
    if (FT_Set_Pixel_Sizes(impl_->face, 0, static_cast<FT_UInt>(pixelHeight)) != 0)
        throw std::runtime_error(fontPath + ": offset 0: the font has no size " + std::to_string(pixelHeight));
}

GlyphRasteriser::~GlyphRasteriser() = default;

GlyphBitmap GlyphRasteriser::Render(unsigned code) const {
    GlyphBitmap g;
    if (FT_Load_Char(impl_->face, code, FT_LOAD_RENDER) != 0) return g;
    const FT_GlyphSlot slot = impl_->face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    g.Width = static_cast<int>(bm.width);
    g.Height = static_cast<int>(bm.rows);
    g.Left = slot->bitmap_left;
    g.Top = slot->bitmap_top;
    g.Advance = static_cast<int>((slot->advance.x + 32) >> 6);
    g.Coverage.resize(static_cast<size_t>(g.Width) * g.Height);
    for (int y = 0; y < g.Height; ++y)
        for (int x = 0; x < g.Width; ++x)
            g.Coverage[static_cast<size_t>(y) * g.Width + x] = bm.buffer[y * bm.pitch + x];
    return g;
}

int GlyphRasteriser::Ascender() const { return static_cast<int>((impl_->face->size->metrics.ascender + 63) >> 6); }
int GlyphRasteriser::Descender() const { return static_cast<int>((-impl_->face->size->metrics.descender + 63) >> 6); }

}  // namespace dv
