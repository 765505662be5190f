// The bitmap font and the 2D overlay builders: text and pictures become textured
// screen-space triangles in the viewport's 2D lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

#pragma pack(push, 1)
struct tglyph {
    int32_t X;  // top-left pixel of the glyph in the image
    int32_t Y;
    uint8_t Width;
    uint8_t Height;
};
#pragma pack(pop)
static_assert(sizeof(tglyph) == 10);

class Tfontx {
public:
    uint8_t HeaderA[4] = {};
    uint8_t HeaderB[2] = {};
    uint8_t FirstChar = 0;
    uint8_t LastChar = 0;
    std::vector<tglyph> Glyphs;  // LastChar - FirstChar + 1 entries once loaded
    int32_t TexWidth = 0;
    int32_t TexHeight = 0;
    uint8_t Reserved[16] = {};
    int32_t TexSlot = 0;
    uint8_t Red = 64;
    uint8_t Green = 64;
    uint8_t Blue = 64;
};

}  // namespace dv
