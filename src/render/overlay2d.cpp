#include "render/font.h"
#include "render/viewport.h"

namespace dv {

namespace {

Vertex2D MakeVertex2D(float x, float y, float u, float v, uint32_t color) {
    return Vertex2D{x, y, 0.0f, 1.0f, color, u, v};
}

uint32_t FontColor(const BitmapFont& font) {
    return 0xFF000000u | uint32_t(font.Red) << 16 | uint32_t(font.Green) << 8 | font.Blue;
}

}  // namespace

void Viewport::DrawText(std::string_view text, BlendMode mode, float x, float y, float scale) {
    if (font_ == nullptr) return;
    const BitmapFont& f = *font_;
    const int32_t triangles = static_cast<int32_t>(2 * text.size());
    // Characters outside the font keep their two reserved triangles at zero area.
    Triangle2D* out = Add2DBatch(static_cast<uint16_t>(f.TexSlot), mode, triangles);
    const uint32_t color = FontColor(f);
    const float tw = f.TexWidth != 0 ? static_cast<float>(f.TexWidth) : 1.0f;
    const float th = f.TexHeight != 0 ? static_cast<float>(f.TexHeight) : 1.0f;
    float pen = x;
    for (size_t i = 0; i < text.size(); ++i, out += 2) {
        const uint8_t ch = static_cast<uint8_t>(text[i]);
        if (ch < f.FirstChar || ch > f.LastChar) continue;
        const size_t index = ch - f.FirstChar;
        if (index >= f.Glyphs.size()) continue;
        const Glyph& g = f.Glyphs[index];
        const float w = g.Width * scale;
        const float h = g.Height * scale;
        const float uL = g.X / tw;
        const float uR = (g.X + g.Width) / tw;
        const float vT = g.Y / th;
        const float vB = (g.Y + g.Height) / th;
        out[0].V[0] = MakeVertex2D(pen, y, uL, vT, color);
        out[0].V[1] = MakeVertex2D(pen + w, y, uR, vT, color);
        out[0].V[2] = MakeVertex2D(pen + w, y + h, uR, vB, color);
        out[1].V[0] = MakeVertex2D(pen, y, uL, vT, color);
        out[1].V[1] = MakeVertex2D(pen + w, y + h, uR, vB, color);
        out[1].V[2] = MakeVertex2D(pen, y + h, uL, vB, color);
        pen += w;
    }
}

void Viewport::DrawPicture(int32_t slot, BlendMode mode, float left, float top, float right, float bottom) {
    const uint32_t color = font_ != nullptr ? FontColor(*font_) : 0xFF404040u;
    Triangle2D* out = Add2DBatch(static_cast<uint16_t>(slot), mode, 2);
    out[0].V[0] = MakeVertex2D(left, top, 0, 0, color);
    out[0].V[1] = MakeVertex2D(right, top, 1, 0, color);
    out[0].V[2] = MakeVertex2D(left, bottom, 0, 1, color);
    out[1].V[0] = MakeVertex2D(right, top, 1, 0, color);
    out[1].V[1] = MakeVertex2D(right, bottom, 1, 1, color);
    out[1].V[2] = MakeVertex2D(left, bottom, 0, 1, color);
}

}  // namespace dv
