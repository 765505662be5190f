// JPEG and PNG through stb_image, for the browser build, where libjpeg and libpng are not
// available. The picture is read with the same limits as the desktop decoders (no huge
// images claimed by a few bytes) and failures become one ImageError line.
#include <string>

#include "imaging/bytes.h"
#include "imaging/jpeg.h"
#include "imaging/png.h"
#include "imaging/tiff.h"

#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace dv {

namespace {

constexpr int64_t kMaxPixels = 64LL * 1024 * 1024;

struct StbPixels {
    stbi_uc* data = nullptr;
    ~StbPixels() { stbi_image_free(data); }
};

// stb_image builds each JPEG Huffman table into 257 entries without checking that the
// table's sixteen counts add up to at most 256: a damaged table writes past them. The
// tables are checked here first, walking the segments up to the start of the scan.
void CheckJpegHuffmanTables(const uint8_t* data, size_t size) {
    size_t at = 2;  // after the start-of-image marker
    while (at + 4 <= size && data[at] == 0xFF) {
        const uint8_t marker = data[at + 1];
        const size_t length = static_cast<size_t>(data[at + 2]) << 8 | data[at + 3];
        if (marker == 0xDA || length < 2 || at + 2 + length > size) return;  // stb reports the rest
        if (marker == 0xC4) {
            for (size_t t = at + 4; t + 17 <= at + 2 + length;) {
                size_t codes = 0;
                for (size_t i = 0; i < 16; ++i) codes += data[t + 1 + i];
                if (codes > 256) Fail("damaged JPEG data (a Huffman table of " + std::to_string(codes) + " codes)");
                t += 17 + codes;
            }
        }
        at += 2 + length;
    }
}

void DecodeWithStb(const uint8_t* data, size_t size, const char* format, Image& out) {
    if (size > static_cast<size_t>(INT32_MAX)) Fail(std::string(format) + " file too large");
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels))
        Fail(std::string("not a readable ") + format + " file (" + stbi_failure_reason() + ")");
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxPixels)
        Fail(std::string(format) + " picture of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is too large");
    StbPixels pixels;
    pixels.data = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    if (pixels.data == nullptr) Fail(std::string("damaged ") + format + " data (" + stbi_failure_reason() + ")");
    out.width = width;
    out.height = height;
    out.rgba.assign(pixels.data, pixels.data + static_cast<size_t>(width) * height * 4);
}

}  // namespace

void DecodeJpeg(const uint8_t* data, size_t size, Image& out) {
    CheckJpegHuffmanTables(data, size);
    DecodeWithStb(data, size, "JPEG", out);
}

void DecodePng(const uint8_t* data, size_t size, Image& out) { DecodeWithStb(data, size, "PNG", out); }

void DecodeTiff(const uint8_t*, size_t, Image&) { Fail("TIFF is not decoded in this build"); }

void DecodeEps(const uint8_t*, size_t, Image&) { Fail("EPS previews (TIFF) are not decoded in this build"); }

}  // namespace dv
