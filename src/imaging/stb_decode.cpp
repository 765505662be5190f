// JPEG and PNG through stb_image, for the browser build, where libjpeg and libpng are not
// available. The picture is read with the same limits as the desktop decoders (no huge
// images claimed by a few bytes) and failures become one ImageError line.
#include <string>

#include "files/shown_bytes.h"
#include "imaging/bytes.h"
#include "imaging/jpeg.h"
#include "imaging/jpeg_tables.h"
#include "imaging/png.h"
#include "imaging/png_chunks.h"
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

// stb_image names an unknown PNG chunk by copying its four type bytes into the reason, so the
// reason can carry any byte of the file.
std::string FailureReason() { return ShownBytes(stbi_failure_reason()); }

void DecodeWithStb(const uint8_t* data, size_t size, const char* format, Image& out) {
    if (size > static_cast<size_t>(INT32_MAX)) Fail(std::string(format) + " file too large");
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels))
        Fail(std::string("not a readable ") + format + " file (" + FailureReason() + ")");
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxPixels)
        Fail(std::string(format) + " picture of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is too large");
    StbPixels pixels;
    pixels.data = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    if (pixels.data == nullptr) Fail(std::string("damaged ") + format + " data (" + FailureReason() + ")");
    out.width = width;
    out.height = height;
    out.rgba.assign(pixels.data, pixels.data + static_cast<size_t>(width) * height * 4);
}

}  // namespace

void DecodeJpeg(const uint8_t* data, size_t size, Image& out) {
    CheckJpegHuffmanTables(data, size);
    DecodeWithStb(data, size, "JPEG", out);
}

// stb_image decodes whichever of its formats the bytes are: the signature check keeps a JPEG
// named .png from reaching it without the JPEG checks (the desktop reader refuses it the same way).
void DecodePng(const uint8_t* data, size_t size, Image& out) {
    CheckPngChunks(data, size);
    DecodeWithStb(data, size, "PNG", out);
}

void DecodeTiff(const uint8_t*, size_t, Image&) { Fail("TIFF is not decoded in this build"); }

void DecodeEps(const uint8_t*, size_t, Image&) { Fail("EPS previews (TIFF) are not decoded in this build"); }

}  // namespace dv
