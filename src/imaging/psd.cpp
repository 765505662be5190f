#include "imaging/psd.h"

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/bytes.h"

namespace dv {
namespace {

enum Mode : uint16_t {
    kBitmap = 0,
    kGrey = 1,
    kIndexed = 2,
    kRgb = 3,
    kCmyk = 4,
    kDuotone = 8,
};

// PackBits: a header n of 0..127 copies n + 1 bytes, -1..-127 repeats the next byte
// 1 - n times, -128 does nothing. Fills exactly `dest.size()` bytes.
void UnpackBits(ByteReader& r, size_t length, uint8_t* dest, size_t count) {
    const size_t start = r.Pos();
    const size_t end = start + length;
    if (length > r.Remaining()) FailAt(r.Size(), "PackBits row runs past the end of the file");
    size_t n = 0;
    while (n < count) {
        if (r.Pos() >= end) FailAt(r.Pos(), "PackBits row ends early");
        const int8_t h = static_cast<int8_t>(r.U8());
        if (h == -128) continue;
        const size_t run = h >= 0 ? h + 1 : 1 - h;
        if (run > count - n || r.Pos() + (h >= 0 ? run : 1) > end) {
            FailAt(r.Pos() - 1, "PackBits run passes the end of the row");
        }
        if (h >= 0) {
            const uint8_t* p = r.Bytes(run);
            std::copy(p, p + run, dest + n);
        } else {
            std::fill(dest + n, dest + n + run, r.U8());
        }
        n += run;
    }
    r.Seek(end);
}

}  // namespace

void DecodePsd(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    if (size < 4 || r.U32be() != 0x38425053u) FailAt(0, "not a Photoshop image (no 8BPS signature)");
    const uint16_t version = r.U16be();
    if (version != 1) FailAt(4, "unsupported Photoshop version " + std::to_string(version));
    r.Skip(6);
    const uint16_t channels = r.U16be();
    const uint32_t height = r.U32be();
    const uint32_t width = r.U32be();
    const uint16_t depth = r.U16be();
    const uint16_t mode = r.U16be();
    if (channels < 1 || channels > 56) FailAt(12, "bad channel count " + std::to_string(channels));

    int colourChannels = 0;
    switch (mode) {
        case kBitmap:
            colourChannels = 1;
            if (depth != 1) FailAt(22, "bitmap mode with depth " + std::to_string(depth));
            break;
        case kGrey:
        case kDuotone:
        case kIndexed: colourChannels = 1; break;
        case kRgb: colourChannels = 3; break;
        case kCmyk: colourChannels = 4; break;
        default: FailAt(24, "unsupported colour mode " + std::to_string(mode));
    }
    if (mode != kBitmap && depth != 8 && (depth != 16 || mode == kIndexed)) {
        FailAt(22, "unsupported depth " + std::to_string(depth));
    }
    if (channels < colourChannels)
        FailAt(12, std::to_string(channels) + " channels for colour mode " + std::to_string(mode));

    const size_t modeDataAt = r.Pos();
    const uint32_t modeDataLength = r.U32be();
    const uint8_t* modeData = r.Bytes(modeDataLength);
    if (mode == kIndexed && modeDataLength < 768) {
        FailAt(modeDataAt, "indexed image without a 768-byte colour table");
    }
    r.Skip(r.U32be());  // image resources
    r.Skip(r.U32be());  // layers and masks
    const size_t compressionAt = r.Pos();
    const uint16_t compression = r.U16be();
    if (compression > 1) {
        FailAt(compressionAt, "unsupported compression " + std::to_string(compression) + " of the merged image");
    }

    const int used = channels > colourChannels && mode != kBitmap ? colourChannels + 1 : colourChannels;
    const size_t rowBytes = (static_cast<size_t>(width) * depth + 7) / 8;
    if (width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide) {
        const size_t planeBytes = rowBytes * height * used;
        const size_t need = compression == 0 ? planeBytes : planeBytes / 64 + 2 * height * used;
        if (need > r.Remaining()) {
            FailAt(size, "merged image data is truncated: at least " + std::to_string(need) +
                             " bytes needed from byte " + std::to_string(r.Pos()));
        }
    }
    AllocateImage(out, width, height, 14);

    // Planes are stored one after another; with PackBits, a table of every row's length
    // (for all channels) comes first.
    std::vector<uint8_t> planes(rowBytes * height * used);
    if (compression == 0) {
        const uint8_t* p = r.Bytes(planes.size());
        std::copy(p, p + planes.size(), planes.begin());
    } else {
        ByteReader lengths(data, size);
        lengths.Seek(r.Pos());
        r.Skip(static_cast<size_t>(2) * height * channels);
        for (size_t row = 0; row < static_cast<size_t>(height) * used; ++row) {
            UnpackBits(r, lengths.U16be(), &planes[row * rowBytes], rowBytes);
        }
    }

    const size_t planeSize = rowBytes * height;
    auto sample = [&](int c, size_t y, size_t x) -> uint8_t {
        const uint8_t* p = &planes[c * planeSize + y * rowBytes];
        return depth == 16 ? p[x * 2] : p[x];
    };
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            const uint8_t a = used > colourChannels ? sample(colourChannels, y, x) : 255;
            uint8_t rgb[3];
            if (mode == kBitmap) {
                const bool black = (planes[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
                rgb[0] = rgb[1] = rgb[2] = black ? 0 : 255;
            } else if (mode == kIndexed) {
                const uint8_t i = sample(0, y, x);
                rgb[0] = modeData[i];
                rgb[1] = modeData[256 + i];
                rgb[2] = modeData[512 + i];
            } else if (mode == kRgb) {
                for (int c = 0; c < 3; ++c) rgb[c] = sample(c, y, x);
            } else if (mode == kCmyk) {
                // Photoshop stores CMYK inverted: 255 is no ink.
                const int k = sample(3, y, x);
                for (int c = 0; c < 3; ++c) rgb[c] = static_cast<uint8_t>(sample(c, y, x) * k / 255);
            } else {
                rgb[0] = rgb[1] = rgb[2] = sample(0, y, x);
            }
            PutPixel(out, static_cast<int>(x), static_cast<int>(y), rgb[0], rgb[1], rgb[2], a);
        }
    }
}

}  // namespace dv
