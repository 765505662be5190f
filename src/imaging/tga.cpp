#include "imaging/tga.h"

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/bytes.h"

namespace dv {
namespace {

enum class Kind { kMapped, kTrueColour, kGrey };

struct Colour {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// Turns one little-endian pixel of `bits` bits into a colour. 16-bit pixels carry a
// 1-bit alpha only when the descriptor declares alpha bits, 32-bit ones an alpha byte.
Colour ToColour(const uint8_t* p, int bits, bool alpha) {
    switch (bits) {
        case 15:
        case 16: {
            const int v = p[0] | p[1] << 8;
            const auto five = [](int c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
            const bool opaque = bits == 15 || !alpha || (v & 0x8000);
            return {five(v >> 10 & 31), five(v >> 5 & 31), five(v & 31), static_cast<uint8_t>(opaque ? 255 : 0)};
        }
        case 24: return {p[2], p[1], p[0], 255};
        default: return {p[2], p[1], p[0], alpha ? p[3] : uint8_t{255}};
    }
}

}  // namespace

void DecodeTga(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    const uint8_t idLength = r.U8();
    const uint8_t mapType = r.U8();
    const uint8_t imageType = r.U8();
    const uint16_t mapFirst = r.U16le();
    const uint16_t mapLength = r.U16le();
    const uint8_t mapBits = r.U8();
    r.Skip(4);
    const uint16_t width = r.U16le();
    const uint16_t height = r.U16le();
    const uint8_t bits = r.U8();
    const uint8_t descriptor = r.U8();

    const bool rle = imageType >= 9 && imageType <= 11;
    Kind kind;
    switch (imageType & 7) {
        case 1: kind = Kind::kMapped; break;
        case 2: kind = Kind::kTrueColour; break;
        case 3: kind = Kind::kGrey; break;
        default: FailAt(2, "unsupported Truevision image type " + std::to_string(imageType));
    }
    if ((imageType & ~0x0B) != 0) FailAt(2, "unsupported Truevision image type " + std::to_string(imageType));
    if (mapType > 1) FailAt(1, "bad colour map type " + std::to_string(mapType));
    const bool bitsOk = kind == Kind::kMapped ? (bits == 8 || bits == 16)
                        : kind == Kind::kGrey ? (bits == 8 || bits == 16)
                                              : (bits == 15 || bits == 16 || bits == 24 || bits == 32);
    if (!bitsOk) FailAt(16, "unsupported pixel depth " + std::to_string(bits));
    const int alphaBits = descriptor & 15;

    r.Skip(idLength);
    std::vector<Colour> map;
    if (mapType == 1) {
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) {
            FailAt(7, "unsupported colour map entry size " + std::to_string(mapBits));
        }
        const size_t entryBytes = (mapBits + 7) / 8;
        const uint8_t* entries = r.Bytes(entryBytes * mapLength);
        map.resize(mapLength);
        for (size_t i = 0; i < mapLength; ++i) {
            map[i] = ToColour(entries + i * entryBytes, mapBits, alphaBits > 0);
        }
    } else if (kind == Kind::kMapped) {
        FailAt(1, "colour-mapped image without a colour map");
    }

    const size_t pixelBytes = (bits + 7) / 8;
    const size_t pixels = static_cast<size_t>(width) * height;
    const size_t start = r.Pos();
    if (rle) {
        CheckPixelBudget(width, height, r.Remaining(), 128, 12);
    } else if (width > 0 && height > 0 && pixelBytes * pixels > r.Remaining()) {
        FailAt(size, "pixel data is truncated: " + std::to_string(pixelBytes * pixels) + " bytes needed from byte " +
                         std::to_string(start));
    }
    AllocateImage(out, width, height, 12);

    const bool topDown = descriptor & 0x20;
    const bool rightToLeft = descriptor & 0x10;
    auto toColour = [&](const uint8_t* p, size_t at) -> Colour {
        if (kind == Kind::kTrueColour) return ToColour(p, bits, alphaBits > 0);
        if (kind == Kind::kGrey) {
            return {p[0], p[0], p[0], bits == 16 ? p[1] : uint8_t{255}};
        }
        const int index = (bits == 8 ? p[0] : p[0] | p[1] << 8) - mapFirst;
        if (index < 0 || index >= static_cast<int>(map.size())) {
            FailAt(at, "colour index " + std::to_string(index + mapFirst) + " outside the colour map");
        }
        return map[index];
    };
    auto store = [&](size_t i, const Colour& c) {
        int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        if (rightToLeft) x = width - 1 - x;
        if (!topDown) y = height - 1 - y;
        PutPixel(out, x, y, c.r, c.g, c.b, c.a);
    };

    size_t i = 0;
    while (i < pixels) {
        if (!rle) {
            const size_t at = r.Pos();
            store(i++, toColour(r.Bytes(pixelBytes), at));
            continue;
        }
        const uint8_t packet = r.U8();
        const size_t count = std::min<size_t>((packet & 0x7F) + 1, pixels - i);
        if (packet & 0x80) {
            const size_t at = r.Pos();
            const Colour c = toColour(r.Bytes(pixelBytes), at);
            for (size_t k = 0; k < count; ++k) store(i++, c);
        } else {
            for (size_t k = 0; k < count; ++k) {
                const size_t at = r.Pos();
                store(i++, toColour(r.Bytes(pixelBytes), at));
            }
        }
    }
}

}  // namespace dv
