#include "render/texture_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "imaging/decode.h"

namespace dv {
namespace {

constexpr int kMaxTextureSize = 8192;

bool IsKey(int r5, int g5, int b5) { return r5 >= 29 && g5 <= 2 && b5 >= 29; }

uint16_t ReadWord(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

uint16_t Bitmap::Texel565(int x, int y) const {
    if (BitsPerPixel == 16) return ReadWord(&Bits[(static_cast<size_t>(y) * Width + x) * 2]);
    const uint8_t* p = &Bits[(static_cast<size_t>(y) * Width + x) * 3];
    return static_cast<uint16_t>((p[2] >> 3) << 11 | (p[1] >> 2) << 5 | p[0] >> 3);
}

Bitmap BitmapFromImage(const Image& image) {
    Bitmap b;
    b.Width = image.width;
    b.Height = image.height;
    b.BitsPerPixel = 24;
    const size_t n = static_cast<size_t>(image.width) * image.height;
    b.Bits.resize(n * 3);
    for (size_t i = 0; i < n; ++i) {
        b.Bits[3 * i] = image.rgba[4 * i + 2];
        b.Bits[3 * i + 1] = image.rgba[4 * i + 1];
        b.Bits[3 * i + 2] = image.rgba[4 * i];
    }
    return b;
}

int RoundUpPow2(int n) {
    if (n <= 0 || n > kMaxTextureSize) return n;
    int p = 2;
    while (p < n) p *= 2;
    return p;
}

void ConvertKey(uint16_t* texels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const int r5 = texels[i] >> 11 & 31;
        const int g5 = texels[i] >> 6 & 31;
        const int b5 = texels[i] & 31;
        texels[i] = IsKey(r5, g5, b5) ? 0 : static_cast<uint16_t>(0x8000 | r5 << 10 | g5 << 5 | b5);
    }
}

void ConvertKeyDark(uint16_t* texels, size_t count) {
    ConvertKey(texels, count);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t t = texels[i];
        if ((t & 0x8000) == 0) continue;
        if ((t >> 10 & 31) <= 20 || (t >> 5 & 31) <= 20 || (t & 31) <= 20) texels[i] = 0x8000;
    }
}

void EdgeFill(uint16_t* texels, int width, int height) {
    static constexpr int kDx[8] = {-1, 1, 0, 0, 1, 1, -1, -1};
    static constexpr int kDy[8] = {0, 0, -1, 1, -1, 1, 1, -1};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint16_t& t = texels[static_cast<size_t>(y) * width + x];
            if (t & 0x8000) continue;
            for (int k = 0; k < 8; ++k) {
                const int nx = x + kDx[k];
                const int ny = y + kDy[k];
                if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                const uint16_t n = texels[static_cast<size_t>(ny) * width + nx];
                if (n & 0x8000) {
                    t = n & 0x7FFF;
                    break;
                }
            }
        }
    }
}

std::vector<uint8_t> ShrinkLevel(const uint8_t* level0, int width, int height, D3DFORMAT format, int shift) {
    const int bpp = BytesPerPixelOf(format);
    const int w = std::max(width >> shift, 1);
    const int h = std::max(height >> shift, 1);
    const int box = 1 << shift;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * bpp);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int x0 = x * box, x1 = std::min(x0 + box, width);
            const int y0 = y * box, y1 = std::min(y0 + box, height);
            const int n = (x1 - x0) * (y1 - y0);
            uint8_t* dst = &out[(static_cast<size_t>(y) * w + x) * bpp];
            if (bpp == 2) {
                int sum[3] = {0, 0, 0};
                int opaque = 0;
                for (int sy = y0; sy < y1; ++sy) {
                    for (int sx = x0; sx < x1; ++sx) {
                        const uint16_t t = ReadWord(level0 + (static_cast<size_t>(sy) * width + sx) * 2);
                        sum[0] += t >> 10 & 31;
                        sum[1] += t >> 5 & 31;
                        sum[2] += t & 31;
                        opaque += t >> 15;
                    }
                }
                // A texel stays opaque when at least half of its box is opaque.
                const uint16_t t = static_cast<uint16_t>((2 * opaque >= n ? 0x8000 : 0) | (sum[0] / n) << 10 |
                                                         (sum[1] / n) << 5 | sum[2] / n);
                dst[0] = static_cast<uint8_t>(t);
                dst[1] = static_cast<uint8_t>(t >> 8);
                continue;
            }
            for (int c = 0; c < bpp; ++c) {
                int sum = 0;
                for (int sy = y0; sy < y1; ++sy) {
                    for (int sx = x0; sx < x1; ++sx) sum += level0[(static_cast<size_t>(sy) * width + sx) * bpp + c];
                }
                dst[c] = static_cast<uint8_t>(sum / n);
            }
        }
    }
    return out;
}

std::vector<uint16_t> StretchTo565(const Bitmap& bitmap, int width, int height) {
    std::vector<uint16_t> out(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * bitmap.Height / height);
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(static_cast<int64_t>(x) * bitmap.Width / width);
            out[static_cast<size_t>(y) * width + x] = bitmap.Texel565(sx, sy);
        }
    }
    return out;
}

TextureStore::TextureStore() { Entries.Sorted = true; }

std::string TextureStore::SlotName(int slot) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%13d", slot);
    return buf;
}

const TextureSlotRecord* TextureStore::RecordAt(int slot) const { return Entries.BlockByName(SlotName(slot)); }

Texture* TextureStore::TextureAt(int slot) const {
    const TextureSlotRecord* r = RecordAt(slot);
    return r ? r->Tex.get() : nullptr;
}

void TextureStore::Select(int slot) {
    Current = TextureAt(slot);
    CurrentSlot = Current ? slot : -1;
}

int TextureStore::FirstFreeSlot() const {
    int slot = 1;
    while (RecordAt(slot) != nullptr) ++slot;
    return slot;
}

void TextureStore::Clear() {
    Entries.Clear();
    Current = nullptr;
    CurrentSlot = -1;
}

void TextureStore::RemoveSlot(int slot) {
    const int index = Entries.Find(SlotName(slot));
    if (index < 0) return;
    if (Current == Entries.BlockAt(index)->Tex.get()) {
        Current = nullptr;
        CurrentSlot = -1;
    }
    Entries.Delete(index);
    Entries.Pack();
}

int TextureStore::LevelsFor(int width, int height) const {
    if (NoMipmaps) return 1;
    // Only as many levels as the smaller side can be halved.
    int fit = 1;
    while (fit < MipCount + 1 && (width >> fit) >= 1 && (height >> fit) >= 1) ++fit;
    return fit;
}

bool TextureStore::Store(int slot, const uint8_t* level0, int width, int height, D3DFORMAT format, bool reportFailure) {
    if (width <= 0 || height <= 0 || width > kMaxTextureSize || height > kMaxTextureSize) {
        if (reportFailure) Tell(Messages, "error creating texture!");
        return false;
    }
    const int levels = LevelsFor(width, height);
    auto tex = std::make_unique<Texture>(width, height, levels, format);
    RemoveSlot(slot);
    if (level0 != nullptr) {
        const int bpp = BytesPerPixelOf(format);
        LockedRect rect;
        tex->LockRect(0, rect);
        std::memcpy(rect.pBits, level0, static_cast<size_t>(width) * height * bpp);
        tex->UnlockRect(0);
        for (int k = 1; k < levels; ++k) {
            const std::vector<uint8_t> shrunk = ShrinkLevel(level0, width, height, format, k);
            tex->LockRect(k, rect);
            std::memcpy(rect.pBits, shrunk.data(), std::min(shrunk.size(), tex->Level(k).bits.size()));
            tex->UnlockRect(k);
        }
    }
    auto record = std::make_unique<TextureSlotRecord>();
    record->Name = SlotName(slot);
    record->Width = static_cast<uint16_t>(width);
    record->Height = static_cast<uint16_t>(height);
    record->BytesPerPixel = static_cast<uint16_t>(BytesPerPixelOf(format));
    record->Tex = std::move(tex);
    Current = record->Tex.get();
    CurrentSlot = slot;
    const std::string name = record->Name;  // the move below may happen before Name is read
    Entries.Add(name, std::move(record));
    return true;
}

bool TextureStore::StoreBitmap(int slot, const Bitmap& bitmap, bool darkKey, bool skipEdgeFill, bool reportFailure) {
    const int width = RoundUpPow2(bitmap.Width);
    const int height = RoundUpPow2(bitmap.Height);
    if (width <= 0 || height <= 0 || width > kMaxTextureSize || height > kMaxTextureSize) {
        return Store(slot, nullptr, width, height, D3DFMT_A1R5G5B5, reportFailure);
    }
    std::vector<uint16_t> block = StretchTo565(bitmap, width, height);
    if (darkKey) {
        ConvertKeyDark(block.data(), block.size());
    } else {
        ConvertKey(block.data(), block.size());
    }
    if (!skipEdgeFill) EdgeFill(block.data(), width, height);
    return Store(slot, reinterpret_cast<const uint8_t*>(block.data()), width, height, D3DFMT_A1R5G5B5, reportFailure);
}

bool TextureStore::LoadFromBitmap(int slot, const Bitmap& bitmap, bool darkKey, bool skipEdgeFill) {
    return StoreBitmap(slot, bitmap, darkKey, skipEdgeFill, true);
}

bool TextureStore::LoadFromFile(int slot, const std::string& path, bool darkKey, bool skipEdgeFill,
                                std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path + ": not found";
        return false;
    }
    Image image;
    if (!DecodeImageFile(path, image, error)) return false;
    if (StoreBitmap(slot, BitmapFromImage(image), darkKey, skipEdgeFill, false)) return true;
    error =
        path + ": " + std::to_string(image.width) + " x " + std::to_string(image.height) + " pixels make no texture";
    return false;
}

bool TextureStore::LoadRaw(int slot, int width, int height, const void* pixels, bool /*freeAfter*/, int bitsPerPixel,
                           bool skipEdgeFill) {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    switch (bitsPerPixel) {
        case 15:
        case 16: format = D3DFMT_A1R5G5B5; break;
        case 24: format = D3DFMT_R8G8B8; break;
        case 32: format = D3DFMT_A8R8G8B8; break;
        default: Tell(Messages, "error creating texture!"); return false;
    }
    if (pixels == nullptr || width <= 0 || height <= 0) {
        RemoveSlot(slot);
        return Store(slot, nullptr, width, height, format, true);
    }
    const size_t bytes = static_cast<size_t>(width) * height * BytesPerPixelOf(format);
    std::vector<uint8_t> block(static_cast<const uint8_t*>(pixels), static_cast<const uint8_t*>(pixels) + bytes);
    if (format == D3DFMT_A1R5G5B5) {
        std::vector<uint16_t> texels(static_cast<size_t>(width) * height);
        std::memcpy(texels.data(), block.data(), bytes);
        if (bitsPerPixel == 16) ConvertKey(texels.data(), texels.size());
        if (!skipEdgeFill) EdgeFill(texels.data(), width, height);
        std::memcpy(block.data(), texels.data(), bytes);
    }
    RemoveSlot(slot);
    return Store(slot, block.data(), width, height, format, true);
}

void TextureStore::LoadTileStrip(const Bitmap& bitmap, int firstSlot) {
    if (bitmap.Width <= 0 || bitmap.Height <= 0) return;
    std::vector<uint16_t> texels(static_cast<size_t>(bitmap.Width) * bitmap.Height);
    for (int y = 0; y < bitmap.Height; ++y) {
        for (int x = 0; x < bitmap.Width; ++x)
            texels[static_cast<size_t>(y) * bitmap.Width + x] = bitmap.Texel565(x, y);
    }
    const int tiles = bitmap.Height / bitmap.Width;
    const size_t tileTexels = static_cast<size_t>(bitmap.Width) * bitmap.Width;
    for (int i = 0; i < tiles; ++i) {
        LoadRaw(firstSlot + i, bitmap.Width, bitmap.Width, texels.data() + i * tileTexels, false, 16, false);
    }
}

void TextureStore::LoadRawStrip(int firstSlot, const void* pixels, int width, int height, int count, int bitsPerPixel) {
    const int size = bitsPerPixel == 24 ? 3 : bitsPerPixel == 32 ? 4 : 2;
    const size_t blockBytes = static_cast<size_t>(width) * height * size;
    const auto* base = static_cast<const uint8_t*>(pixels);
    for (int i = 0; i < count; ++i) {
        LoadRaw(firstSlot + i, width, height, base ? base + i * blockBytes : nullptr, false, bitsPerPixel, false);
    }
}

}  // namespace dv
