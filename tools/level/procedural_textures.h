// Textures drawn in code: the level's materials and their animation frames.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/level/level_source.h"

namespace dv {

// An RGB picture, rows top first, 3 bytes per pixel in red, green, blue order.
struct RgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels;

    RgbImage() = default;
    RgbImage(int w, int h) : Width(w), Height(h), Pixels(static_cast<size_t>(w) * h * 3, 0) {}
    uint8_t* At(int x, int y) { return &Pixels[(static_cast<size_t>(y) * Width + x) * 3]; }
    const uint8_t* At(int x, int y) const { return &Pixels[(static_cast<size_t>(y) * Width + x) * 3]; }
};

// Smooth tileable value noise in [0, 1]: `period` lattice cells across the tile.
float TileNoise(float x, float y, int period, uint32_t seed);
// Sum of octaves of TileNoise, in [0, 1].
float TileFractal(float x, float y, int period, int octaves, uint32_t seed);

// A size x size tile of the material; `frame` selects the animation frame of water and lava
// (frames tile in time: frame `frames` equals frame 0).
RgbImage MaterialTexture(Material m, int size, int frame = 0, int frames = 1);

// A tangent-space normal map of the picture's relief, taking its brightness as height
// (joints and cracks are dark, so they come out as grooves): RGB = normal * 127 + 128, with
// blue the axis out of the surface. `strength` scales the slopes.
RgbImage NormalMapOf(const RgbImage& image, float strength);

// 5-6-5 words (red in the top five bits) of an RGB picture, rows top first. Pixels of pure
// magenta (255, 0, 255) stay exactly magenta so that the colour key makes them transparent;
// any other colour is kept away from the key.
std::vector<uint16_t> To565(const RgbImage& image);

}  // namespace dv
