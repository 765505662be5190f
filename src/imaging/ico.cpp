#include "imaging/ico.h"

#include <algorithm>
#include <string>

#include "imaging/bmp.h"
#include "imaging/bytes.h"
#include "imaging/png.h"

namespace dv {

void DecodeIco(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    const uint16_t reserved = r.U16le();
    const uint16_t type = r.U16le();
    if (reserved != 0 || (type != 1 && type != 2)) FailAt(0, "not an icon (bad header)");
    const uint16_t count = r.U16le();
    if (count == 0) FailAt(4, "icon holds no images");

    // The largest image wins; among equal sizes the one with the most colour bits.
    size_t bestEntry = 0;
    uint32_t bestOffset = 0, bestLength = 0;
    int64_t bestArea = -1;
    int bestBits = -1;
    for (int i = 0; i < count; ++i) {
        const size_t entry = r.Pos();
        const int w = r.U8() == 0 ? 256 : data[entry];
        const int h = r.U8() == 0 ? 256 : data[entry + 1];
        r.Skip(4);
        const int bits = r.U16le();
        const uint32_t length = r.U32le();
        const uint32_t offset = r.U32le();
        const int64_t area = static_cast<int64_t>(w) * h;
        if (area > bestArea || (area == bestArea && bits > bestBits)) {
            bestEntry = entry;
            bestArea = area;
            bestBits = bits;
            bestOffset = offset;
            bestLength = length;
        }
    }
    if (bestOffset > size || bestLength > size - bestOffset) {
        FailAt(bestEntry + 8, "icon image of " + std::to_string(bestLength) + " bytes at byte " +
                                  std::to_string(bestOffset) + " lies past the end of the file");
    }
    const uint8_t* image = data + bestOffset;
    try {
        static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (bestLength >= 8 && std::equal(kPngSignature, kPngSignature + 8, image)) {
            DecodePng(image, bestLength, out);
        } else {
            DecodeIconDib(image, bestLength, out);
        }
    } catch (ImageError& e) {
        if (e.Offset != ImageError::kNoOffset) e.Offset += bestOffset;
        throw;
    }
}

}  // namespace dv
