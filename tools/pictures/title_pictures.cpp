#include "tools/pictures/title_pictures.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/pictures/glyph_raster.h"

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

void Put(RgbImage& img, int x, int y, const Rgb& c) {
    uint8_t* p = img.At(x, y);
    p[0] = static_cast<uint8_t>(std::clamp(c.r, 0.0f, 255.0f));
    p[1] = static_cast<uint8_t>(std::clamp(c.g, 0.0f, 255.0f));
    p[2] = static_cast<uint8_t>(std::clamp(c.b, 0.0f, 255.0f));
}

Rgb Scale(const Rgb& c, float k) { return {c.r * k, c.g * k, c.b * k}; }
Rgb Add(const Rgb& a, const Rgb& b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb Tint(const Rgb& c, const Rgb& light) {
    return {c.r * light.r / 255.0f, c.g * light.g / 255.0f, c.b * light.b / 255.0f};
}

// The foot of a card darkens so that the level's name, drawn there by the game, reads.
void DarkenFoot(RgbImage& img) {
    for (int y = 420; y < kPictureHeight; ++y) {
        const float t = static_cast<float>(y - 420) / (kPictureHeight - 420);
        for (int x = 0; x < kPictureWidth; ++x) Blend(img, x, y, Rgb{0, 0, 0}, 0.85f * std::sqrt(t));
    }
}

// The interior cards are ray traced: a long hall between two side walls, under a ceiling, with
// two rows of round columns, a lit doorway in the far wall, point lights and fog; its floor is
// either tiles or still water that mirrors the rest.
struct PointLight {
    float X, Y, Z;
    Rgb Colour;
    float Reach;
};

struct Interior {
    float HalfWidth, Height, Depth, EyeHeight;
    float ColumnX, ColumnSpacing, ColumnRadius;
    bool WaterFloor;
    Rgb Floor, FloorAlt, Wall, Ceiling, Column, Door, Fog, Ambient;
    float FogDistance;
    std::vector<PointLight> Lights;
};

enum class Surface { None, Floor, Ceiling, Wall, BackWall, Column };

struct Hit {
    Surface What = Surface::None;
    float T = 1e9f;
    float Nx = 0, Ny = 0, Nz = 0;
};

void Consider(Hit& best, Surface what, float t, float nx, float ny, float nz) {
    if (t <= 1e-4f || t >= best.T) return;
    best = {what, t, nx, ny, nz};
}

Hit TraceInterior(const Interior& room, float ox, float oy, float oz, float dx, float dy, float dz) {
    Hit hit;
    if (dy < 0) Consider(hit, Surface::Floor, -oy / dy, 0, 1, 0);
    if (dy > 0) Consider(hit, Surface::Ceiling, (room.Height - oy) / dy, 0, -1, 0);
    if (dx > 0) Consider(hit, Surface::Wall, (room.HalfWidth - ox) / dx, -1, 0, 0);
    if (dx < 0) Consider(hit, Surface::Wall, (-room.HalfWidth - ox) / dx, 1, 0, 0);
    if (dz > 0) Consider(hit, Surface::BackWall, (room.Depth - oz) / dz, 0, 0, -1);
    for (float cz = room.ColumnSpacing; cz < room.Depth; cz += room.ColumnSpacing) {
        for (const float cx : {-room.ColumnX, room.ColumnX}) {
            const float px = ox - cx, pz = oz - cz;
            const float a = dx * dx + dz * dz, b = 2 * (px * dx + pz * dz);
            const float c = px * px + pz * pz - room.ColumnRadius * room.ColumnRadius;
            const float disc = b * b - 4 * a * c;
            if (a <= 0 || disc < 0) continue;
            const float t = (-b - std::sqrt(disc)) / (2 * a);
            Consider(hit, Surface::Column, t, (px + dx * t) / room.ColumnRadius, 0, (pz + dz * t) / room.ColumnRadius);
        }
    }
    return hit;
}

// The surface's own colour at a point: tiles, courses of stone, fluted columns.
Rgb SurfaceColour(const Interior& room, Surface what, float x, float y, float z) {
    const float grain = 0.85f + 0.3f * TileNoise(x * 0.37f + z * 0.11f, y * 0.41f + z * 0.23f, 64, 9u);
    switch (what) {
        case Surface::Floor: {
            const bool alt = (static_cast<int>(std::floor(x)) + static_cast<int>(std::floor(z))) % 2 != 0;
            const float seam = std::min(std::abs(x - std::round(x)), std::abs(z - std::round(z))) < 0.03f ? 0.6f : 1.0f;
            return Scale(alt ? room.FloorAlt : room.Floor, grain * seam);
        }
        case Surface::Ceiling: return Scale(room.Ceiling, grain * (std::fmod(z + 100.0f, 3.0f) < 0.3f ? 0.6f : 1.0f));
        case Surface::Wall:
        case Surface::BackWall: {
            if (what == Surface::BackWall && std::abs(x) < 0.9f && y < 2.3f) return room.Door;
            const float course = y / 0.4f;
            const float along = (what == Surface::Wall ? z : x) / 0.8f + (static_cast<int>(course) % 2) * 0.5f;
            const bool joint = course - std::floor(course) < 0.08f || along - std::floor(along) < 0.05f;
            return Scale(room.Wall, grain * (joint ? 0.55f : 1.0f));
        }
        case Surface::Column: {
            const float flute = 0.8f + 0.2f * std::cos(std::atan2(z - std::round(z), x) * 16.0f);
            return Scale(room.Column, grain * flute);
        }
        case Surface::None: break;
    }
    return room.Fog;
}

Rgb Lit(const Interior& room, const Rgb& base, const Hit& hit, float x, float y, float z) {
    Rgb light = room.Ambient;
    for (const PointLight& l : room.Lights) {
        const float lx = l.X - x, ly = l.Y - y, lz = l.Z - z;
        const float d = std::sqrt(lx * lx + ly * ly + lz * lz);
        const float facing = std::max(0.0f, (lx * hit.Nx + ly * hit.Ny + lz * hit.Nz) / std::max(d, 1e-3f));
        light = Add(light, Scale(l.Colour, facing / (1.0f + (d / l.Reach) * (d / l.Reach))));
    }
    return Tint(base, light);
}

Rgb ShadeInterior(const Interior& room, float ox, float oy, float oz, float dx, float dy, float dz, bool mirrored) {
    const Hit hit = TraceInterior(room, ox, oy, oz, dx, dy, dz);
    const float x = ox + dx * hit.T, y = oy + dy * hit.T, z = oz + dz * hit.T;
    Rgb colour = Lit(room, SurfaceColour(room, hit.What, x, y, z), hit, x, y, z);
    if (hit.What == Surface::BackWall && std::abs(x) < 0.9f && y < 2.3f) colour = room.Door;
    if (hit.What == Surface::Floor && room.WaterFloor && !mirrored) {
        // Still water: the mirror image, rippled a little, over a dark body of water.
        const float ripple = 0.012f * std::sin(z * 9.0f + x * 3.0f) + 0.008f * std::sin(x * 17.0f - z * 5.0f);
        const Rgb mirror = ShadeInterior(room, x, 0.0f, z, dx + ripple, -dy, dz, true);
        colour = Lerp(Scale(room.Floor, 0.6f), mirror, 0.75f);
    }
    const float length = hit.T * std::sqrt(dx * dx + dy * dy + dz * dz);
    return Lerp(colour, room.Fog, 1.0f - std::exp(-length / room.FogDistance));
}

void PaintInterior(RgbImage& img, const Interior& room) {
    const float focal = 420.0f, centreX = kPictureWidth / 2.0f, centreY = kPictureHeight * 0.5f;
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x) {
            const float dx = (x - centreX) / focal, dy = (centreY - y) / focal;
            Put(img, x, y, ShadeInterior(room, 0.0f, room.EyeHeight, 0.0f, dx, dy, 1.0f, false));
        }
}

// The hall of steps: warm tiles, brick, torchlit columns and a bright doorway far ahead.
RgbImage PaintHallCard() {
    RgbImage img(kPictureWidth, kPictureHeight);
    Interior hall{3.2f,
                  4.0f,
                  26.0f,
                  1.5f,
                  2.0f,
                  3.0f,
                  0.35f,
                  false,
                  {150, 120, 95},
                  {110, 80, 62},
                  {140, 90, 70},
                  {70, 60, 55},
                  {190, 180, 165},
                  {255, 225, 170},
                  {14, 10, 10},
                  {40, 32, 30},
                  16.0f,
                  {}};
    for (float z = 3.0f; z < 24.0f; z += 6.0f) {
        hall.Lights.push_back({-2.6f, 2.6f, z + 1.5f, {255, 170, 90}, 2.2f});
        hall.Lights.push_back({2.6f, 2.6f, z + 4.5f, {255, 170, 90}, 2.2f});
    }
    hall.Lights.push_back({0.0f, 2.0f, 25.0f, {255, 220, 160}, 5.0f});
    PaintInterior(img, hall);
    DarkenFoot(img);
    return img;
}

// The cistern: rows of columns standing in still water under a low vault, cold light from a
// shaft far ahead, the far end lost in the fog over the water.
RgbImage PaintCisternCard() {
    RgbImage img(kPictureWidth, kPictureHeight);
    Interior cistern{5.0f,
                     3.6f,
                     40.0f,
                     1.1f,
                     1.6f,
                     2.6f,
                     0.32f,
                     true,
                     {24, 40, 48},
                     {24, 40, 48},
                     {120, 128, 130},
                     {60, 66, 72},
                     {170, 178, 176},
                     {160, 200, 230},
                     {14, 24, 30},
                     {50, 62, 76},
                     16.0f,
                     {}};
    cistern.Lights.push_back({0.0f, 3.4f, 14.0f, {170, 210, 255}, 6.0f});
    cistern.Lights.push_back({-4.0f, 1.8f, 6.0f, {255, 170, 90}, 2.5f});
    cistern.Lights.push_back({4.0f, 1.8f, 22.0f, {255, 170, 90}, 2.5f});
    cistern.Lights.push_back({0.0f, 2.5f, 32.0f, {140, 180, 240}, 8.0f});
    PaintInterior(img, cistern);
    // A shaft of pale light falling from an opening in the vault.
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x) {
            const float across = std::abs((x - 400.0f) + (y - 220.0f) * 0.35f);
            if (across < 60.0f && y < 360) Blend(img, x, y, Rgb{190, 220, 255}, 0.16f * (1.0f - across / 60.0f));
        }
    DarkenFoot(img);
    return img;
}

// The tower: a tall round tower against a cold windy sky, ranges fading into the haze.
RgbImage PaintTowerCard() {
    RgbImage img(kPictureWidth, kPictureHeight);
    const Rgb skyTop{88, 112, 150}, skyLow{200, 210, 218};
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x) {
            Rgb c = Lerp(skyTop, skyLow, std::pow(y / 430.0f, 1.3f));
            // Clouds drawn out by the wind.
            const float cloud = TileFractal(x / 1600.0f, y / 200.0f, 4, 5, 91u);
            c = Lerp(c, Rgb{235, 238, 242}, std::max(0.0f, cloud - 0.5f) * 1.8f);
            Put(img, x, y, c);
        }
    for (int layer = 0; layer < 3; ++layer) {
        const Rgb colour = Lerp(skyLow, Rgb{40, 48, 60}, 0.25f + layer * 0.25f);
        for (int x = 0; x < kPictureWidth; ++x) {
            const float top =
                Ridge(static_cast<float>(x), 470.0f + layer * 40.0f, 120.0f - layer * 30.0f, 3 + layer, 21u + layer);
            for (int y = std::max(0, static_cast<int>(top)); y < kPictureHeight; ++y) Put(img, x, y, colour);
        }
    }
    // The tower, lit from the left: stone courses, a few windows, battlements at the top.
    const float cx = 500.0f, radius = 78.0f, top = 70.0f;
    const Rgb stone{150, 140, 128};
    for (int y = static_cast<int>(top); y < kPictureHeight; ++y)
        for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x) {
            const float u = (x - cx) / radius;
            if (std::abs(u) > 1.0f) continue;
            const float light = 0.35f + 0.75f * std::max(0.0f, -u * 0.6f + std::sqrt(1.0f - u * u) * 0.5f);
            const float course = (y - top) / 16.0f;
            const float along = std::asin(u) * 6.0f + (static_cast<int>(course) % 2) * 0.5f;
            const bool joint = course - std::floor(course) < 0.1f || along - std::floor(along) < 0.06f;
            const float grain = 0.85f + 0.3f * TileNoise(x / 800.0f, y / 600.0f, 128, 31u);
            Put(img, x, y, Scale(stone, light * grain * (joint ? 0.7f : 1.0f)));
        }
    for (int m = -3; m <= 3; ++m) {
        const int left = static_cast<int>(cx + m * 22.0f - 8.0f);
        for (int y = static_cast<int>(top) - 18; y < static_cast<int>(top); ++y)
            for (int x = left; x < left + 16; ++x) {
                const float u = (x - cx) / radius;
                if (std::abs(u) <= 0.98f) Put(img, x, y, Scale(stone, 0.4f + 0.6f * std::max(0.0f, 0.6f - u * 0.5f)));
            }
    }
    const int windows[][2] = {{480, 150}, {520, 260}, {470, 360}, {505, 430}};
    for (const auto& w : windows)
        for (int y = w[1]; y < w[1] + 34; ++y)
            for (int x = w[0]; x < w[0] + 10; ++x)
                Put(img, x, y,
                    y < w[1] + 5 ? Rgb{30, 26, 24} : Lerp(Rgb{255, 190, 110}, Rgb{120, 60, 30}, (y - w[1]) / 34.0f));
    // A rocky foot in the foreground, and haze over the lower part of the tower.
    for (int x = 0; x < kPictureWidth; ++x) {
        const float ground = Ridge(static_cast<float>(x), 600.0f, 70.0f, 5, 57u);
        for (int y = std::max(0, static_cast<int>(ground)); y < kPictureHeight; ++y) Put(img, x, y, Rgb{34, 32, 36});
    }
    for (int y = 420; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x) Blend(img, x, y, skyLow, 0.25f * (y - 420) / 180.0f);
    DarkenFoot(img);
    return img;
}

}  // namespace

const char* LevelCardFileName(LevelCard card) {
    switch (card) {
        case LevelCard::Hall: return "card_hall.jpg";
        case LevelCard::Cistern: return "card_cistern.jpg";
        case LevelCard::Tower: return "card_tower.jpg";
    }
    return "card.jpg";
}

RgbImage PaintLevelCard(LevelCard card) {
    switch (card) {
        case LevelCard::Hall: return PaintHallCard();
        case LevelCard::Cistern: return PaintCisternCard();
        case LevelCard::Tower: return PaintTowerCard();
    }
    return PaintHallCard();
}

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
            if (y < horizon)
                c = Lerp(c, Lerp(skyLow, Rgb{255, 255, 255}, 0.3f),
                         std::max(0.0f, cloud - 0.55f) * 1.5f * (y / horizon));
            if (!closing && y < 250 && ((x * 7919 + y * 104729) % 1999) == 0) c = {240, 240, 255};
            Put(img, x, y, c);
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
        DrawText(img, small, "thank you for playing Dedivirede", kPictureWidth / 2, 235, Rgb{255, 245, 230},
                 Rgb{40, 30, 20});
    }
    return img;
}

}  // namespace dv
