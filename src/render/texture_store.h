// The numbered texture store: every texture of the program lives in one slot, named by a
// small positive number. Images become A1R5G5B5 textures with power-of-two sizes, a colour
// key (near-magenta is transparent), colours bled into transparent texels and a mip chain.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "render/message_sink.h"
#include "render/named_block_list.h"
#include "render/texture.h"

namespace dv {

// A picture held in memory. Rows top first, no padding. 16 bits: little-endian 5-6-5 words
// (red in the top five bits); 24 bits: bytes blue, green, red.
struct Bitmap {
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 24;  // 16 or 24
    std::vector<uint8_t> Bits;

    // The texel at (x, y) as 5-6-5, whatever the depth.
    uint16_t Texel565(int x, int y) const;
};

// A bitmap of the picture's own size, 24 bits, from decoded RGBA pixels.
struct Image;
Bitmap BitmapFromImage(const Image& image);

struct TextureSlotRecord {
    std::string Name;
    std::unique_ptr<Texture> Tex;
    void* Pixels = nullptr;  // never owned by the loaders here
    uint8_t OwnsPixels = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint16_t BytesPerPixel = 0;
};

// Smallest of 2, 4, ..., 8192 that is >= n for 0 < n <= 8192; other n unchanged.
int RoundUpPow2(int n);
// 5-6-5 words to A1R5G5B5 in place; near-magenta becomes 0 (transparent black).
void ConvertKey(uint16_t* texels, size_t count);
// As ConvertKey, then any opaque texel with a channel <= 20 (of 31) becomes opaque black.
void ConvertKeyDark(uint16_t* texels, size_t count);
// Copies into every transparent texel the colour of its first opaque neighbour (left, right,
// above, below, above-right, below-right, below-left, above-left); it stays transparent.
void EdgeFill(uint16_t* texels, int width, int height);
// The level-0 block shrunk by 2^shift in each direction with a box filter (per format).
std::vector<uint8_t> ShrinkLevel(const uint8_t* level0, int width, int height, D3DFORMAT format, int shift);
// A bitmap drawn stretched over width x height texels, nearest texel, as 5-6-5 words.
std::vector<uint16_t> StretchTo565(const Bitmap& bitmap, int width, int height);

class TextureStore {
public:
    // An empty sorted store.
    TextureStore();

    NamedBlockList<TextureSlotRecord> Entries;
    Texture* Current = nullptr;
    int32_t CurrentSlot = -1;
    int32_t MipCount = 0;  // extra mip levels for every texture
    bool NoMipmaps = false;

    // Where "error creating texture!" goes when a load cannot make its texture (Tell).
    MessageSink Messages;

    static std::string SlotName(int slot);  // decimal, right-aligned in 13 characters

    // Current := the slot's texture and CurrentSlot := slot; an empty slot gives none and -1.
    void Select(int slot);
    Texture* GetCurrent() const { return Current; }
    // The slot's texture or null, without changing the selection.
    Texture* TextureAt(int slot) const;
    const TextureSlotRecord* RecordAt(int slot) const;

    // Decodes an image file into the slot. False, with one line naming the file in `error`
    // and no message, when the file is missing or does not decode, and when no texture could
    // be made; the slot is then unchanged.
    bool LoadFromFile(int slot, const std::string& path, bool darkKey, bool skipEdgeFill, std::string& error);
    // A bitmap stretched to power-of-two sizes, colour-keyed, edge-filled, with mips. This and
    // the raw loads below tell Messages "error creating texture!" when they return false.
    bool LoadFromBitmap(int slot, const Bitmap& bitmap, bool darkKey, bool skipEdgeFill);
    // A raw block of width x height texels (or an empty texture when pixels is null). bits:
    // 16 (5-6-5, colour-keyed), 15 (A1R5G5B5 as it is), 24 or 32; anything else is rejected.
    bool LoadRaw(int slot, int width, int height, const void* pixels, bool freeAfter, int bitsPerPixel,
                 bool skipEdgeFill);
    // Square tiles stacked vertically in the bitmap into slots firstSlot, firstSlot + 1, ...
    void LoadTileStrip(const Bitmap& bitmap, int firstSlot);
    // `count` raw blocks of width x height texels one after the other into consecutive slots.
    void LoadRawStrip(int firstSlot, const void* pixels, int width, int height, int count, int bitsPerPixel);
    // Smallest slot >= 1 without a texture.
    int FirstFreeSlot() const;
    // Releases every texture and entry.
    void Clear();

private:
    bool Store(int slot, const uint8_t* level0, int width, int height, D3DFORMAT format, bool reportFailure);
    bool StoreBitmap(int slot, const Bitmap& bitmap, bool darkKey, bool skipEdgeFill, bool reportFailure);
    void RemoveSlot(int slot);
    int LevelsFor(int width, int height) const;
};

}  // namespace dv
