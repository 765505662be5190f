#include "imaging/pcx.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "imaging/bytes.h"

namespace dv {
namespace {

constexpr size_t kHeaderSize = 128;

struct Colour {
    uint8_t r = 0, g = 0, b = 0;
};

// Expands the run-length encoded (or, for encoding 0, plain) scan lines into `total`
// bytes. A run may continue on the next scan line, as some writers emit.
std::vector<uint8_t> Unpack(ByteReader& r, size_t total, bool encoded) {
    if (!encoded) {
        const uint8_t* p = r.Bytes(total);
        return std::vector<uint8_t>(p, p + total);
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(total);
    while (bytes.size() < total) {
        const uint8_t c = r.U8();
        if ((c & 0xC0) == 0xC0) {
            const uint8_t value = r.U8();
            const size_t n = std::min<size_t>(c & 0x3F, total - bytes.size());
            bytes.insert(bytes.end(), n, value);
        } else {
            bytes.push_back(c);
        }
    }
    return bytes;
}

}  // namespace

void DecodePcx(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    if (r.U8() != 0x0A) FailAt(0, "not a PCX (bad manufacturer byte)");
    const uint8_t version = r.U8();
    const uint8_t encoding = r.U8();
    const uint8_t bits = r.U8();
    const int64_t xMin = r.U16le(), yMin = r.U16le(), xMax = r.U16le(), yMax = r.U16le();
    r.Skip(4);
    std::array<Colour, 256> palette{};
    const uint8_t* headerPalette = r.Bytes(48);
    for (int i = 0; i < 16; ++i) {
        palette[i] = {headerPalette[i * 3], headerPalette[i * 3 + 1], headerPalette[i * 3 + 2]};
    }
    r.U8();
    const uint8_t planes = r.U8();
    const uint16_t bytesPerLine = r.U16le();
    r.Seek(kHeaderSize);

    if (encoding > 1) FailAt(2, "unknown encoding " + std::to_string(encoding));
    const bool planar = bits == 1 && planes >= 1 && planes <= 4;
    const bool packed = (bits == 2 || bits == 4 || bits == 8) && planes == 1;
    const bool truecolour = bits == 8 && (planes == 3 || planes == 4);
    if (!planar && !packed && !truecolour) {
        FailAt(3, "unsupported layout: " + std::to_string(planes) + " planes of " + std::to_string(bits) + " bits");
    }
    const int64_t width = xMax - xMin + 1, height = yMax - yMin + 1;
    if (width < 1 || height < 1)
        FailAt(4, "bad window " + std::to_string(xMin) + "," + std::to_string(yMin) + " to " + std::to_string(xMax) +
                      "," + std::to_string(yMax));
    if (static_cast<int64_t>(bytesPerLine) * 8 < width * bits) {
        FailAt(66, "bytes per line " + std::to_string(bytesPerLine) + " too small for width " + std::to_string(width));
    }
    if (width > kMaxImageSide || height > kMaxImageSide) AllocateImage(out, width, height, 4);
    const size_t lineBytes = static_cast<size_t>(bytesPerLine) * planes;
    const size_t total = lineBytes * height;
    // A run packs at most 63 bytes into two.
    if (total / (encoding ? 32 : 1) > r.Remaining()) {
        FailAt(size, "image data is truncated: " + std::to_string(height) + " lines of " + std::to_string(lineBytes) +
                         " bytes cannot come from " + std::to_string(r.Remaining()) + " bytes");
    }
    const std::vector<uint8_t> bytes = Unpack(r, total, encoding == 1);

    bool grey = false;
    if (bits == 8 && planes == 1) {
        // The 256-colour palette: a 0x0C marker and 768 bytes closing the file, after the
        // image data. Version 5 files must have it; older ones without it are grey.
        if (size - r.Pos() >= 769 && data[size - 769] == 0x0C) {
            const uint8_t* p = data + size - 768;
            for (int i = 0; i < 256; ++i) palette[i] = {p[i * 3], p[i * 3 + 1], p[i * 3 + 2]};
        } else if (version >= 5) {
            FailAt(size, "256-colour palette missing after the image data");
        } else {
            grey = true;
        }
    }
    if (bits == 1 && planes == 1 && palette[0].r == palette[1].r && palette[0].g == palette[1].g &&
        palette[0].b == palette[1].b) {
        palette[0] = {0, 0, 0};
        palette[1] = {255, 255, 255};
    }

    AllocateImage(out, width, height, 4);
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* line = &bytes[lineBytes * y];
        for (int x = 0; x < out.width; ++x) {
            if (truecolour) {
                const uint8_t a = planes == 4 ? line[3 * bytesPerLine + x] : 255;
                PutPixel(out, x, y, line[x], line[bytesPerLine + x], line[2 * bytesPerLine + x], a);
                continue;
            }
            int index = 0;
            if (planar) {
                for (int p = 0; p < planes; ++p) {
                    index |= ((line[p * bytesPerLine + x / 8] >> (7 - x % 8)) & 1) << p;
                }
            } else {
                const int perByte = 8 / bits;
                index = (line[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1 << bits) - 1);
            }
            if (grey) {
                PutPixel(out, x, y, static_cast<uint8_t>(index), static_cast<uint8_t>(index),
                         static_cast<uint8_t>(index));
            } else {
                const Colour& c = palette[index];
                PutPixel(out, x, y, c.r, c.g, c.b);
            }
        }
    }
}

}  // namespace dv
