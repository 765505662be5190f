#include "imaging/sgi.h"

#include <string>
#include <vector>

#include "imaging/bytes.h"

namespace dv {
namespace {

constexpr size_t kHeaderSize = 512;
constexpr uint16_t kMagic = 474;

// Expands one run-length encoded row of `width` samples of `bpc` bytes from `length`
// bytes at `offset`. Runs may not pass the end of the row.
void UnpackRow(const uint8_t* data, size_t size, size_t offset, size_t length, int bpc, size_t width, uint16_t* row) {
    if (offset > size || length > size - offset) {
        FailAt(offset, "run-length row of " + std::to_string(length) + " bytes lies past the end of the file");
    }
    ByteReader r(data, offset + length);
    r.Seek(offset);
    auto next = [&]() -> uint16_t { return bpc == 2 ? r.U16be() : r.U8(); };
    size_t x = 0;
    for (;;) {
        const size_t at = r.Pos();
        const uint16_t code = next();
        const size_t count = code & 0x7F;
        if (count == 0) break;
        if (count > width - x) FailAt(at, "run passes the end of the row");
        if (code & 0x80) {
            for (size_t k = 0; k < count; ++k) row[x++] = next();
        } else {
            const uint16_t v = next();
            for (size_t k = 0; k < count; ++k) row[x++] = v;
        }
    }
    if (x != width)
        FailAt(offset, "run-length row holds " + std::to_string(x) + " of " + std::to_string(width) + " samples");
}

}  // namespace

void DecodeSgi(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    if (r.U16be() != kMagic) FailAt(0, "not an SGI image (bad magic)");
    const uint8_t storage = r.U8();
    const uint8_t bpc = r.U8();
    const uint16_t dimension = r.U16be();
    const uint16_t xsize = r.U16be();
    uint16_t ysize = r.U16be();
    uint16_t zsize = r.U16be();
    r.Skip(12 + 80);
    const uint32_t colormap = r.U32be();
    if (storage > 1) FailAt(2, "unknown storage " + std::to_string(storage));
    if (bpc != 1 && bpc != 2) FailAt(3, "unsupported bytes per channel " + std::to_string(bpc));
    if (dimension < 1 || dimension > 3) FailAt(4, "bad dimension " + std::to_string(dimension));
    if (colormap != 0) FailAt(104, "unsupported colour map type " + std::to_string(colormap));
    if (dimension == 1) ysize = 1;
    if (dimension < 3) zsize = 1;
    if (zsize < 1) FailAt(10, "no channels");
    if (size < kHeaderSize) FailAt(size, "header is truncated");

    const size_t rows = static_cast<size_t>(ysize) * zsize;
    if (storage == 1) {
        if (rows * 8 > size - kHeaderSize) FailAt(size, "run-length offset tables are truncated");
        CheckPixelBudget(xsize, ysize, size - kHeaderSize, 127, 6);
    } else if (static_cast<size_t>(xsize) * rows * bpc > size - kHeaderSize) {
        FailAt(size, "image data is truncated: " + std::to_string(static_cast<size_t>(xsize) * rows * bpc) +
                         " bytes needed from byte 512");
    }
    AllocateImage(out, xsize, ysize, 6);

    const int channels = zsize > 4 ? 4 : zsize;
    std::vector<uint16_t> row(xsize);
    for (int z = 0; z < channels; ++z) {
        for (size_t y = 0; y < ysize; ++y) {
            const size_t index = z * static_cast<size_t>(ysize) + y;
            if (storage == 1) {
                ByteReader table(data, size);
                table.Seek(kHeaderSize + index * 4);
                const uint32_t offset = table.U32be();
                table.Seek(kHeaderSize + rows * 4 + index * 4);
                const uint32_t length = table.U32be();
                UnpackRow(data, size, offset, length, bpc, xsize, row.data());
            } else {
                const uint8_t* p = data + kHeaderSize + index * xsize * bpc;
                for (size_t x = 0; x < xsize; ++x) row[x] = bpc == 2 ? p[x * 2] << 8 | p[x * 2 + 1] : p[x];
            }
            const int outY = static_cast<int>(ysize - 1 - y);  // rows are stored bottom-up
            for (size_t x = 0; x < xsize; ++x) {
                const uint32_t v = row[x];
                const uint8_t s = bpc == 2 ? static_cast<uint8_t>((v * 255 + 32767) / 65535) : static_cast<uint8_t>(v);
                uint8_t* p = &out.rgba[(static_cast<size_t>(outY) * xsize + x) * 4];
                if (channels <= 2 && z == 0) {
                    p[0] = p[1] = p[2] = s;
                } else if (channels == 2) {
                    p[3] = s;
                } else {
                    p[z] = s;
                }
            }
        }
    }
}

}  // namespace dv
