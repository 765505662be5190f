#include "tools/title_pictures.h"

#include <algorithm>
#include <cmath>

#include "tools/glyph_raster.h"

namespace dv {

namespace {

struct Rgb {
    float r, g, b;
};

Rgb Lerp(const Rgb& a, const Rgb& b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void Blend(RgbImage& img, int x, int y, const Rgb& c, float alpha) {
    if (x < 0 || y < 0 || x >= img.Width || y >= img.Height || alpha <= 0) return;
    alpha = std::min(alpha, 1.0f);
    uint8_t* p = img.At(x, y);
    p[0] = static_cast<uint8_t>(std::clamp(p[0] + (c.r - p[0]) * alpha, 0.0f, 255.0f));
    p[1] = static_cast<uint8_t>(std::clamp(p[1] + (c.g - p[1]) * alpha, 0.0f, 255.0f));
    p[2] = static_cast<uint8_t>(std::clamp(p[2] + (c.b - p[2]) * alpha, 0.0f, 255.0f));
}

// Height of a ridge line at x (pixels from the top), from layered noise.
float Ridge(float x, float base, float amplitude, int period, uint32_t seed) {
    return base - amplitude * TileFractal(x / kPictureWidth, 0.37f, period, 4, seed);
}

void DrawText(RgbImage& img, const GlyphRasteriser& raster, const std::string& text, int centreX, int baseline,
              const Rgb& colour, const Rgb& shadow) {
    int width = 0;
    for (char ch : text) width += raster.Render(static_cast<unsigned char>(ch)).Advance;
    for (int pass = 0; pass < 2; ++pass) {
        int pen = centreX - width / 2;
        const int off = pass == 0 ? 3 : 0;
        for (char ch : text) {
            const GlyphBitmap g = raster.Render(static_cast<unsigned char>(ch));
            for (int y = 0; y < g.Height; ++y)
                for (int x = 0; x < g.Width; ++x) {
                    const float a = g.Coverage[static_cast<size_t>(y) * g.Width + x] / 255.0f;
                    const int px = pen + g.Left + x + off, py = baseline - g.Top + y + off;
                    if (pass == 0) {
                        Blend(img, px, py, shadow, a * 0.7f);
                    } else {
                        const float t = static_cast<float>(y) / std::max(g.Height, 1);
                        Blend(img, px, py, Lerp(colour, Rgb{colour.r * 0.7f, colour.g * 0.6f, colour.b * 0.5f}, t), a);
                    }
                }
            pen += g.Advance;
        }
    }
}

}  // namespace

RgbImage PaintTitlePicture(bool closing, const std::string& fontPath) {
    RgbImage img(kPictureWidth, kPictureHeight);
    const Rgb skyTop = closing ? Rgb{70, 110, 170} : Rgb{18, 16, 48};
    const Rgb skyLow = closing ? Rgb{250, 200, 150} : Rgb{230, 110, 60};
    const float sunX = closing ? 560.0f : 250.0f, sunY = closing ? 250.0f : 275.0f;
    const Rgb sun = closing ? Rgb{255, 245, 210} : Rgb{255, 200, 120};
    const float horizon = 420;

    for (int y = 0; y < kPictureHeight; ++y) {
        for (int x = 0; x < kPictureWidth; ++x) {
            Rgb c = Lerp(skyTop, skyLow, std::pow(y / horizon, 1.6f));
            const float dx = x - sunX, dy = y - sunY;
            const float d = std::sqrt(dx * dx + dy * dy);
            c = Lerp(c, sun, std::exp(-d / 60.0f) * 0.9f + (d < 34 ? 1.0f : 0.0f));
            // Thin clouds.
            const float cloud = TileFractal(x / 800.0f, y / 260.0f, 4, 5, closing ? 77u : 33u);
            if (y < horizon) c = Lerp(c, Lerp(skyLow, Rgb{255, 255, 255}, 0.3f), std::max(0.0f, cloud - 0.55f) * 1.5f * (y / horizon));
            if (!closing && y < 250 && ((x * 7919 + y * 104729) % 1999) == 0) c = {240, 240, 255};
            uint8_t* p = img.At(x, y);
            p[0] = static_cast<uint8_t>(c.r);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b);
        }
    }
    // Three mountain ranges, farther ones paler, then the valley floor.
    const Rgb haze = Lerp(skyLow, skyTop, 0.3f);
    const Rgb ground = closing ? Rgb{40, 60, 40} : Rgb{22, 18, 30};
    for (int layer = 0; layer < 3; ++layer) {
        const float base = 330.0f + layer * 55.0f, amp = 150.0f - layer * 35.0f;
        const Rgb colour = Lerp(haze, ground, 0.35f + layer * 0.3f);
        for (int x = 0; x < kPictureWidth; ++x) {
            const float top = Ridge(static_cast<float>(x), base + 60, amp, 3 + layer, 11u + layer);
            for (int y = std::max(0, static_cast<int>(top)); y < kPictureHeight; ++y) {
                const float shade = TileNoise(x / 800.0f, y / 600.0f, 64, 5u + layer) * 0.15f;
                Blend(img, x, y, Lerp(colour, Rgb{0, 0, 0}, shade), 1.0f);
            }
        }
    }
    // A temple gate on the right: two columns, a lintel, a warm doorway glow.
    const int gx = 600, gy = 545, gw = 130, gh = 170;
    const Rgb stone = closing ? Rgb{70, 66, 60} : Rgb{28, 24, 32};
    for (int y = gy - gh; y < gy; ++y)
        for (int x = gx - gw / 2; x < gx + gw / 2; ++x) {
            const bool column = x < gx - gw / 2 + 28 || x >= gx + gw / 2 - 28;
            const bool lintel = y < gy - gh + 30;
            if (column || lintel) Blend(img, x, y, Lerp(stone, Rgb{0, 0, 0}, ((y / 14) % 2) * 0.15f), 1.0f);
            else Blend(img, x, y, Lerp(Rgb{255, 190, 100}, Rgb{150, 60, 20}, static_cast<float>(gy - y) / gh), 1.0f);
        }
    for (int x = 0; x < kPictureWidth; ++x)
        for (int y = gy; y < kPictureHeight; ++y) Blend(img, x, y, ground, 1.0f);

    const GlyphRasteriser big(fontPath, 84);
    const GlyphRasteriser small(fontPath, 26);
    if (!closing) {
        DrawText(img, big, "DEDIVIREDE", kPictureWidth / 2, 190, Rgb{255, 235, 180}, Rgb{0, 0, 0});
        DrawText(img, small, "a journey through the halls", kPictureWidth / 2, 235, Rgb{230, 210, 190}, Rgb{0, 0, 0});
    } else {
        DrawText(img, big, "THE END", kPictureWidth / 2, 190, Rgb{255, 250, 235}, Rgb{40, 30, 20});
        DrawText(img, small, "thank you for playing Dedivirede", kPictureWidth / 2, 235, Rgb{255, 245, 230}, Rgb{40, 30, 20});
    }
    return img;
}

}  // namespace dv
