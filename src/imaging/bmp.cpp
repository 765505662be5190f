#include "imaging/bmp.h"

#include <array>
#include <bit>
#include <string>

#include "imaging/bytes.h"
#include "imaging/jpeg.h"
#include "imaging/png.h"

namespace dv {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiJpeg = 4;
constexpr uint32_t kBiPng = 5;
constexpr uint32_t kBiAlphaBitfields = 6;

// RLE pixels per data byte can be large (end-of-line and delta codes skip whole rows);
// this bound only stops headers that claim gigabytes for a few bytes.
constexpr int64_t kRlePixelsPerByte = 65536;

struct Colour {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// One colour channel of a 16- or 32-bit pixel, scaled from its mask width to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0;

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        max = (static_cast<uint64_t>(m) >> shift);
    }
    uint8_t Get(uint32_t v, uint8_t absent) const {
        if (mask == 0) return absent;
        return static_cast<uint8_t>(((v & mask) >> shift) * 255 / max);
    }
};

struct Dib {
    int64_t width = 0;
    int64_t height = 0;  // rows of the colour bitmap, positive
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = kBiRgb;
    uint32_t imageSize = 0;
    std::array<uint32_t, 4> masks{};  // red, green, blue, alpha
    bool explicitMasks = false;
    std::array<Colour, 256> palette{};
    size_t pixelStart = 0;  // offset of the pixel data in the buffer
    size_t headerOffset = 0;
};

// Reads the info header at the reader's position. `fileDataOffset` is the pixel offset
// from the file header, or 0 for a bare DIB where pixels follow the colour table.
Dib ReadDibHeader(ByteReader& r, size_t fileDataOffset, bool icon) {
    Dib d;
    d.headerOffset = r.Pos();
    const uint32_t headerSize = r.U32le();
    int64_t rawHeight = 0;
    uint32_t coloursUsed = 0;
    size_t entrySize = 4;
    if (headerSize == 12) {
        d.width = r.U16le();
        rawHeight = r.U16le();
        r.U16le();
        d.bpp = r.U16le();
        entrySize = 3;
    } else if (headerSize >= 16 && headerSize <= 124) {
        const size_t end = d.headerOffset + headerSize;
        if (end > r.Size()) FailAt(r.Size(), "bitmap info header is truncated");
        d.width = r.I32le();
        rawHeight = r.I32le();
        r.U16le();
        d.bpp = r.U16le();
        if (headerSize >= 20) d.compression = r.U32le();
        if (headerSize >= 24) d.imageSize = r.U32le();
        if (headerSize >= 36) {
            r.Skip(8);
            coloursUsed = r.U32le();
        }
        const bool windowsLayout =
            headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124;
        if (!windowsLayout && d.compression >= kBiBitfields) {
            FailAt(d.headerOffset + 16, "unsupported OS/2 bitmap compression " + std::to_string(d.compression));
        }
        if (headerSize >= 52) {
            r.Seek(d.headerOffset + 40);
            for (int i = 0; i < (headerSize >= 56 ? 4 : 3); ++i) d.masks[i] = r.U32le();
            d.explicitMasks = true;
        }
        r.Seek(end);
        if (headerSize == 40 && (d.compression == kBiBitfields || d.compression == kBiAlphaBitfields)) {
            const int n = d.compression == kBiAlphaBitfields ? 4 : 3;
            for (int i = 0; i < n; ++i) d.masks[i] = r.U32le();
            d.explicitMasks = true;
        }
    } else {
        FailAt(d.headerOffset, "unknown bitmap header size " + std::to_string(headerSize));
    }

    if (icon) rawHeight /= 2;
    d.topDown = rawHeight < 0;
    d.height = rawHeight < 0 ? -rawHeight : rawHeight;
    switch (d.bpp) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32: break;
        default: FailAt(d.headerOffset + 14, "unsupported bits per pixel " + std::to_string(d.bpp));
    }
    if (d.compression > kBiAlphaBitfields) {
        FailAt(d.headerOffset + 16, "unknown compression " + std::to_string(d.compression));
    }

    // Colour table: 2^bpp entries for paletted images unless fewer are declared; a
    // file header offset that leaves room for fewer wins.
    const size_t tableStart = r.Pos();
    size_t count = d.bpp <= 8 ? size_t{1} << d.bpp : 0;
    if (coloursUsed != 0) {
        if (coloursUsed > 256 && d.bpp <= 8) {
            FailAt(d.headerOffset + 32, "colour table of " + std::to_string(coloursUsed) + " entries");
        }
        if (d.bpp <= 8 && coloursUsed < count) count = coloursUsed;
    }
    size_t skipAfter = 0;  // optional table of a true-colour bitmap
    if (d.bpp > 8 && coloursUsed != 0 && coloursUsed <= 65536) skipAfter = coloursUsed * entrySize;
    if (fileDataOffset > tableStart && (fileDataOffset - tableStart) / entrySize < count) {
        count = (fileDataOffset - tableStart) / entrySize;
    }
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = r.Bytes(entrySize);
        d.palette[i] = Colour{e[2], e[1], e[0], 255};
    }
    if (fileDataOffset != 0) {
        d.pixelStart = fileDataOffset;
    } else {
        d.pixelStart = r.Pos() + skipAfter;
    }
    if (d.pixelStart > r.Size()) FailAt(r.Size(), "pixel data offset is past the end of the file");
    return d;
}

void DecodeRows(const uint8_t* data, size_t size, const Dib& d, bool icon, Image& out) {
    const size_t stride = ((static_cast<size_t>(d.width) * d.bpp + 31) / 32) * 4;
    const size_t rowBytes = (static_cast<size_t>(d.width) * d.bpp + 7) / 8;
    const size_t need = stride * (d.height - 1) + rowBytes;
    if (need > size - d.pixelStart) {
        FailAt(size, "pixel data is truncated: " + std::to_string(need) + " bytes needed from byte " +
                         std::to_string(d.pixelStart));
    }
    std::array<uint32_t, 4> masks = d.masks;
    if (!d.explicitMasks || d.compression == kBiRgb) {
        if (d.bpp == 16) masks = {0x7C00, 0x03E0, 0x001F, 0};
        if (d.bpp == 32) masks = {0xFF0000, 0xFF00, 0xFF, icon ? 0xFF000000u : 0u};
    }
    const Channel cr(masks[0]), cg(masks[1]), cb(masks[2]), ca(masks[3]);
    const int w = static_cast<int>(d.width);
    for (int64_t row = 0; row < d.height; ++row) {
        const uint8_t* p = data + d.pixelStart + stride * row;
        const int y = static_cast<int>(d.topDown ? row : d.height - 1 - row);
        for (int x = 0; x < w; ++x) {
            if (d.bpp <= 8) {
                const int perByte = 8 / d.bpp;
                const int shift = 8 - d.bpp * (x % perByte + 1);
                const int index = (p[x / perByte] >> shift) & ((1 << d.bpp) - 1);
                const Colour& c = d.palette[index];
                PutPixel(out, x, y, c.r, c.g, c.b);
            } else if (d.bpp == 24) {
                const uint8_t* q = p + x * 3;
                PutPixel(out, x, y, q[2], q[1], q[0]);
            } else {
                const uint8_t* q = p + x * (d.bpp / 8);
                const uint32_t v =
                    d.bpp == 16 ? q[0] | q[1] << 8 : q[0] | q[1] << 8 | q[2] << 16 | static_cast<uint32_t>(q[3]) << 24;
                PutPixel(out, x, y, cr.Get(v, 0), cg.Get(v, 0), cb.Get(v, 0), ca.Get(v, 255));
            }
        }
    }
}

// RLE8 and RLE4: runs and literal blocks of palette indices; escapes end a row, end the
// bitmap or move the pen. Pixels never written keep colour-table entry 0.
void DecodeRle(const uint8_t* data, size_t size, const Dib& d, Image& out) {
    if (d.topDown) FailAt(d.headerOffset + 8, "run-length encoded bitmap stored top-down");
    if ((d.compression == kBiRle8) != (d.bpp == 8) || (d.compression == kBiRle4) != (d.bpp == 4)) {
        FailAt(d.headerOffset + 14, "RLE compression with " + std::to_string(d.bpp) + " bits per pixel");
    }
    CheckPixelBudget(d.width, d.height, size - d.pixelStart, kRlePixelsPerByte, d.headerOffset + 4);
    AllocateImage(out, d.width, d.height, d.headerOffset + 4);
    const int w = out.width, h = out.height;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Colour& c = d.palette[0];
            PutPixel(out, x, y, c.r, c.g, c.b);
        }
    }
    const bool four = d.compression == kBiRle4;
    ByteReader r(data, size);
    r.Seek(d.pixelStart);
    int x = 0, row = 0;  // row counts from the bottom
    auto put = [&](int index) {
        if (x < w && row < h) {
            const Colour& c = d.palette[index];
            PutPixel(out, x, h - 1 - row, c.r, c.g, c.b);
        }
        ++x;
    };
    while (row < h) {
        const uint8_t count = r.U8();
        const uint8_t value = r.U8();
        if (count > 0) {
            for (int i = 0; i < count; ++i) put(four ? (i % 2 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += r.U8();
            row += r.U8();
        } else {
            const size_t bytes = four ? (value + 1) / 2 : value;
            const uint8_t* lit = r.Bytes(bytes);
            for (int i = 0; i < value; ++i) {
                put(four ? (i % 2 ? lit[i / 2] & 15 : lit[i / 2] >> 4) : lit[i]);
            }
            if (bytes % 2) r.Skip(1);
        }
    }
}

void ApplyAndMask(const uint8_t* data, size_t size, size_t maskStart, const Dib& d, Image& out) {
    const size_t stride = ((static_cast<size_t>(d.width) + 31) / 32) * 4;
    bool hasAlpha = false;
    if (d.bpp == 32) {
        for (size_t i = 3; i < out.rgba.size(); i += 4) hasAlpha |= out.rgba[i] != 0;
        if (hasAlpha) return;
    }
    if (maskStart > size || stride * d.height > size - maskStart) {
        if (d.bpp == 32) return;  // an alpha-less 32-bit icon without a mask is opaque
        FailAt(size, "icon AND mask is truncated");
    }
    for (int64_t row = 0; row < d.height; ++row) {
        const uint8_t* p = data + maskStart + stride * row;
        const int y = static_cast<int>(d.height - 1 - row);
        for (int x = 0; x < out.width; ++x) {
            const bool transparent = (p[x / 8] >> (7 - x % 8)) & 1;
            out.rgba[(static_cast<size_t>(y) * out.width + x) * 4 + 3] = transparent ? 0 : 255;
        }
    }
}

void DecodeDib(const uint8_t* data, size_t size, ByteReader& r, size_t fileDataOffset, bool icon, Image& out) {
    const Dib d = ReadDibHeader(r, fileDataOffset, icon);
    const size_t sizeField = d.headerOffset + 4;
    if (d.compression == kBiJpeg || d.compression == kBiPng) {
        size_t length = size - d.pixelStart;
        if (d.imageSize != 0 && d.imageSize < length) length = d.imageSize;
        if (d.compression == kBiJpeg) {
            DecodeJpeg(data + d.pixelStart, length, out);
        } else {
            DecodePng(data + d.pixelStart, length, out);
        }
        return;
    }
    if (d.compression == kBiRle8 || d.compression == kBiRle4) {
        if (icon) FailAt(d.headerOffset + 16, "run-length encoded icon image");
        DecodeRle(data, size, d, out);
        return;
    }
    if ((d.compression == kBiBitfields || d.compression == kBiAlphaBitfields) && d.bpp != 16 && d.bpp != 32) {
        FailAt(d.headerOffset + 16, "bit-field masks with " + std::to_string(d.bpp) + " bits per pixel");
    }
    if (d.width < 1 || d.height < 1 || d.width > kMaxImageSide || d.height > kMaxImageSide) {
        AllocateImage(out, d.width, d.height, sizeField);  // reports the bad size
    }
    const size_t stride = ((static_cast<size_t>(d.width) * d.bpp + 31) / 32) * 4;
    if (stride * d.height > size - d.pixelStart + stride) {
        FailAt(size, "pixel data is truncated: " + std::to_string(stride * d.height) + " bytes needed from byte " +
                         std::to_string(d.pixelStart));
    }
    AllocateImage(out, d.width, d.height, sizeField);
    DecodeRows(data, size, d, icon, out);
    if (icon) ApplyAndMask(data, size, d.pixelStart + stride * d.height, d, out);
}

}  // namespace

void DecodeBmp(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        r.Skip(10);
        const uint32_t dataOffset = r.U32le();
        if (dataOffset < 14 + 12) FailAt(10, "bad pixel data offset " + std::to_string(dataOffset));
        DecodeDib(data, size, r, dataOffset, false, out);
        return;
    }
    if (size >= 4 && (data[0] == 12 || data[0] >= 16) && data[1] == 0 && data[2] == 0 && data[3] == 0) {
        DecodeDib(data, size, r, 0, false, out);
        return;
    }
    FailAt(0, "not a bitmap (no \"BM\" signature or DIB header)");
}

void DecodeIconDib(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    DecodeDib(data, size, r, 0, true, out);
}

}  // namespace dv
