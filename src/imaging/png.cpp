#include "imaging/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bytes.h"

namespace dv {
namespace {

// Deflate expands at most about 1032 times; a 1-bit image packs 8 pixels per byte.
constexpr int64_t kPngPixelsPerByte = 1032 * 8 + 8;

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
    char message[200];
};

void OnError(png_structp png, png_const_charp msg) {
    auto* src = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(src->message, sizeof src->message, "%s", msg);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep dest, size_t length) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > src->size - src->pos) png_error(png, "unexpected end of data");
    std::memcpy(dest, src->data + src->pos, length);
    src->pos += length;
}

// Reads the header and sets up the transforms to 8-bit RGBA. Returns false after a
// libpng error; no C++ object with a destructor lives in this frame.
bool ReadHeader(png_structp png, png_infop info, png_uint_32& width, png_uint_32& height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    png_set_expand(png);
    png_set_scale_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

}  // namespace

void DecodePng(const uint8_t* data, size_t size, Image& out) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) FailAt(0, "not a PNG (bad signature)");
    auto src = std::make_unique<PngSource>(PngSource{data, size, 0, {}});
    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, src.get(), OnError, OnWarning);
    if (reader.png == nullptr) Fail("out of memory");
    reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr) Fail("out of memory");
    png_set_read_fn(reader.png, src.get(), ReadFromMemory);

    png_uint_32 width = 0, height = 0;
    if (!ReadHeader(reader.png, reader.info, width, height)) {
        FailAt(src->pos, std::string("PNG error: ") + src->message);
    }
    CheckPixelBudget(width, height, size, kPngPixelsPerByte, 16);
    if (png_get_rowbytes(reader.png, reader.info) != static_cast<size_t>(width) * 4) {
        Fail("PNG transforms did not give 8-bit RGBA");
    }
    AllocateImage(out, width, height, 16);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = &out.rgba[static_cast<size_t>(y) * width * 4];
    if (!ReadRows(reader.png, reader.info, rows.data())) {
        FailAt(src->pos, std::string("PNG error: ") + src->message);
    }
}

}  // namespace dv
