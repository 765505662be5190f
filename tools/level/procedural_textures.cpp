#include "tools/level/procedural_textures.h"

#include <algorithm>
#include <cmath>

namespace dv {

namespace {

constexpr float kPi = 3.14159265f;

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

float Lattice(int x, int y, int period, uint32_t seed) {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    return static_cast<float>(Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0xFFFF) / 65535.0f;
}

float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }

struct Colour {
    float r, g, b;
};

Colour Mix(const Colour& a, const Colour& b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Colour Scale(const Colour& c, float k) { return {c.r * k, c.g * k, c.b * k}; }

void Put(RgbImage& img, int x, int y, const Colour& c) {
    uint8_t* p = img.At(x, y);
    p[0] = static_cast<uint8_t>(std::clamp(c.r, 0.0f, 255.0f));
    p[1] = static_cast<uint8_t>(std::clamp(c.g, 0.0f, 255.0f));
    p[2] = static_cast<uint8_t>(std::clamp(c.b, 0.0f, 255.0f));
}

// Distance to the nearest edge of a brick/tile pattern and the cell the texel lies in.
struct Block {
    float edge;  // texels to the nearest joint
    int cx, cy;
};

Block Bricks(int x, int y, int size, int rows, int cols, bool offsetRows) {
    const float bh = static_cast<float>(size) / rows;
    const float bw = static_cast<float>(size) / cols;
    const int cy = static_cast<int>(y / bh);
    float fx = static_cast<float>(x) + ((offsetRows && (cy & 1)) ? bw / 2 : 0.0f);
    fx = std::fmod(fx, static_cast<float>(size));
    const int cx = static_cast<int>(fx / bw);
    const float lx = fx - cx * bw, ly = static_cast<float>(y) - cy * bh;
    return {std::min(std::min(lx, bw - 1 - lx), std::min(ly, bh - 1 - ly)), cx, cy};
}

RgbImage Draw(int size, uint32_t seed, Material m, float phase) {
    RgbImage img(size, size);
    const float s = static_cast<float>(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = x / s, v = y / s;
            const float n = TileFractal(u, v, 4, 4, seed);
            const float fine = TileNoise(u, v, 32, seed + 7);
            Colour c{};
            switch (m) {
                case Material::Stone: {
                    const Block b = Bricks(x, y, size, 2, 2, true);
                    const float tone = 0.85f + 0.3f * Lattice(b.cx, b.cy, 8, seed + 3);
                    c = Scale(Mix({120, 116, 108}, {150, 146, 136}, n), tone * (0.9f + 0.2f * fine));
                    if (b.edge < 1.5f) c = Scale(c, 0.45f + 0.2f * b.edge);
                    break;
                }
                case Material::Brick: {
                    const Block b = Bricks(x, y, size, 8, 4, true);
                    const float tone = 0.8f + 0.35f * Lattice(b.cx, b.cy, 16, seed + 5);
                    c = Scale(Mix({150, 70, 50}, {180, 95, 65}, n), tone * (0.9f + 0.2f * fine));
                    if (b.edge < 1.0f) c = Mix({170, 165, 150}, {120, 115, 105}, fine);
                    break;
                }
                case Material::Planks: {
                    const int plank = y * 4 / size;
                    const float grain =
                        0.5f + 0.5f * std::sin((u * 40.0f + 6.0f * TileNoise(u, v, 4, seed + plank)) * kPi);
                    c = Scale(Mix({110, 72, 40}, {150, 104, 60}, grain * 0.6f + n * 0.4f),
                              0.85f + 0.3f * Lattice(plank, 0, 4, seed));
                    if (y % (size / 4) == 0) c = Scale(c, 0.45f);
                    break;
                }
                case Material::Metal: {
                    c = Mix({100, 108, 116}, {150, 156, 162}, n * 0.5f + fine * 0.5f);
                    const int cell = size / 2;
                    const int lx = x % cell, ly = y % cell;
                    if (lx == 0 || ly == 0) c = Scale(c, 0.55f);
                    const float dx = lx - 4.0f, dy = ly - 4.0f;
                    if (dx * dx + dy * dy < 3.0f) c = {190, 190, 195};
                    break;
                }
                case Material::Moss: {
                    const Block b = Bricks(x, y, size, 2, 2, true);
                    c = Mix({105, 104, 96}, {70, 112, 50}, TileFractal(u, v, 8, 3, seed + 11) * 1.4f - 0.2f);
                    if (b.edge < 1.5f) c = Scale(c, 0.5f);
                    break;
                }
                case Material::Sand:
                    c = Scale(Mix({190, 165, 120}, {215, 190, 140}, n), 0.9f + 0.2f * TileNoise(u, v, 64, seed));
                    break;
                case Material::Tiles: {
                    const Block b = Bricks(x, y, size, 4, 4, false);
                    const bool dark = ((b.cx + b.cy) & 1) != 0;
                    c = Scale(dark ? Colour{120, 110, 95} : Colour{190, 180, 160}, 0.9f + 0.15f * n);
                    if (b.edge < 1.0f) c = {70, 66, 60};
                    break;
                }
                case Material::Rock: {
                    const float ridge = std::fabs(TileFractal(u, v, 4, 5, seed) * 2.0f - 1.0f);
                    c = Scale(Mix({90, 84, 78}, {140, 132, 120}, ridge * 1.5f), 0.8f + 0.3f * fine);
                    break;
                }
                case Material::Marble: {
                    const float vein = 0.5f + 0.5f * std::sin((u + v + 1.5f * n) * 4.0f * kPi);
                    c = Mix({196, 192, 184}, {120, 120, 132}, std::pow(1.0f - vein, 6.0f));
                    break;
                }
                case Material::Grate: {
                    const int bar = size / 8;
                    const bool onBar = (x % bar) < 2 || (y % bar) < 2;
                    c = onBar ? Mix({90, 92, 96}, {140, 140, 146}, fine) : Colour{255, 0, 255};
                    break;
                }
                case Material::Glow: {
                    const float dx = u - 0.5f, dy = v - 0.5f;
                    const float r = std::sqrt(dx * dx + dy * dy) * 2.0f;
                    const float k = std::clamp(1.0f - r, 0.0f, 1.0f);
                    c = Scale(Colour{255, 190, 90}, k * k);
                    break;
                }
                case Material::Water: {
                    const float w = TileFractal(u + phase / 4, v + phase / 8, 4, 3, seed) +
                                    0.5f * TileNoise(u - phase / 4, v, 8, seed + 9);
                    c = Mix({30, 70, 110}, {90, 150, 190}, w * 0.7f);
                    break;
                }
                case Material::Lava: {
                    const float w = TileFractal(u + phase / 4, v - phase / 4, 4, 4, seed);
                    c = Mix({120, 20, 0}, {255, 200, 40}, std::pow(w, 1.5f) * 1.6f);
                    break;
                }
                case Material::Falls: {
                    const float streak = TileNoise(u * 1.0f, v, 16, seed) * 0.6f + TileNoise(u, v, 4, seed + 1) * 0.4f;
                    c = Mix({70, 120, 170}, {220, 235, 245}, streak * streak * 1.3f);
                    break;
                }
                case Material::Count: break;
            }
            Put(img, x, y, c);
        }
    }
    return img;
}

}  // namespace

float TileNoise(float x, float y, int period, uint32_t seed) {
    const float fx = x * period, fy = y * period;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const float tx = Smooth(fx - ix), ty = Smooth(fy - iy);
    const float a = Lattice(ix, iy, period, seed), b = Lattice(ix + 1, iy, period, seed);
    const float c = Lattice(ix, iy + 1, period, seed), d = Lattice(ix + 1, iy + 1, period, seed);
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

float TileFractal(float x, float y, int period, int octaves, uint32_t seed) {
    float sum = 0, weight = 0, amp = 1;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * TileNoise(x, y, period << o, seed + static_cast<uint32_t>(o) * 101u);
        weight += amp;
        amp *= 0.5f;
    }
    return sum / weight;
}

RgbImage MaterialTexture(Material m, int size, int frame, int frames) {
    const float phase = frames > 0 ? static_cast<float>(frame) / frames * 4.0f : 0.0f;
    return Draw(size, 1000u + static_cast<uint32_t>(m) * 17u, m, phase);
}

RgbImage NormalMapOf(const RgbImage& image, float strength) {
    const int w = image.Width, h = image.Height;
    auto height = [&](int x, int y) {
        const uint8_t* p = image.At((x % w + w) % w, (y % h + h) % h);
        return (p[0] * 0.3f + p[1] * 0.59f + p[2] * 0.11f) / 255.0f;
    };
    RgbImage out(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float dx = (height(x + 1, y) - height(x - 1, y)) * strength;
            const float dy = (height(x, y + 1) - height(x, y - 1)) * strength;
            const float len = std::sqrt(dx * dx + dy * dy + 1.0f);
            const float n[3] = {-dx / len, dy / len, 1.0f / len};
            uint8_t* o = out.At(x, y);
            for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>(std::clamp(n[k] * 127.0f + 128.0f, 0.0f, 255.0f));
        }
    }
    return out;
}

std::vector<uint16_t> To565(const RgbImage& image) {
    std::vector<uint16_t> out(static_cast<size_t>(image.Width) * image.Height);
    for (int y = 0; y < image.Height; ++y) {
        for (int x = 0; x < image.Width; ++x) {
            const uint8_t* p = image.At(x, y);
            int r = p[0] >> 3, g = p[1] >> 2, b = p[2] >> 3;
            const bool key = p[0] == 255 && p[1] == 0 && p[2] == 255;
            if (!key && r >= 29 && (g >> 1) <= 2 && b >= 29) g = 6;  // keep real colours off the key
            out[static_cast<size_t>(y) * image.Width + x] = static_cast<uint16_t>(r << 11 | g << 5 | b);
        }
    }
    return out;
}

}  // namespace dv
