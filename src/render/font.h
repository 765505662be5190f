// The bitmap font and the 2D overlay builders: text and pictures become textured
// screen-space triangles in the viewport's 2D lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

#pragma pack(push, 1)
struct Glyph {
    int32_t X;  // top-left pixel of the glyph in the image
    int32_t Y;
    uint8_t Width;
    uint8_t Height;
};
#pragma pack(pop)
static_assert(sizeof(Glyph) == 10);

class BitmapFont {
public:
    uint8_t HeaderA[4] = {};
    uint8_t HeaderB[2] = {};
    uint8_t FirstChar = 0;
    uint8_t LastChar = 0;
    std::vector<Glyph> Glyphs;  // LastChar - FirstChar + 1 entries once loaded
    int32_t TexWidth = 0;
    int32_t TexHeight = 0;
    uint8_t Reserved[16] = {};
    int32_t TexSlot = 0;
    uint8_t Red = 64;
    uint8_t Green = 64;
    uint8_t Blue = 64;
};

class TextureStore;
struct Bitmap;

// Parses font-file bytes into `font` (texture slot and colour untouched) and its glyph image
// into `image` (24 bits, rows top first). False with a one-line `error` naming `name` and the
// byte offset when the data is damaged.
bool ReadFontMemory(const uint8_t* data, size_t size, const std::string& name, BitmapFont& font, Bitmap& image,
                    std::string& error);

// Reads the font file at `path` and loads its glyph image into the store's first free slot
// (near-magenta transparent, dark texels opaque black, no edge fill); colour := 64, 64, 64.
// False when it cannot, with the message the player is shown in `error`: for a missing file
// "Error..." + path + " not found!"; for a damaged one (shorter than its header says, last
// character before the first, an image size that is not 1..8192 on each side) one line
// naming the file and the byte offset. `font` is then unchanged.
inline constexpr size_t kMaxFontFileBytes = 64u << 20;
bool LoadFont(BitmapFont& font, const std::string& path, TextureStore& store, std::string& error);

// The width of `text` drawn at scale 1, in pixels: the sum of its glyphs' widths (characters
// outside the font take no room, as when drawn).
float TextWidth(const BitmapFont& font, std::string_view text);

}  // namespace dv
