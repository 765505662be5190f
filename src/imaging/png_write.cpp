#include "imaging/png_write.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "files/safe_write.h"

namespace dv {

namespace {

// libpng's own handlers print to stderr; the caller tells the one line instead.
void PngErrorQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarningQuietly(png_structp, png_const_charp) {}

// libpng reports errors by longjmp; keep the jumping part free of objects with destructors.
bool EncodePng(FILE* file, int width, int height, const uint8_t* rgba) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorQuietly, PngWarningQuietly);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * width * 4));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePngFile(const std::string& path, int width, int height, const uint8_t* rgba, std::string& error) {
    if (width <= 0 || height <= 0 || rgba == nullptr) {
        error = path + ": nothing to write (empty image)";
        return false;
    }
    SafeFile file;
    if (!file.Create(path, error)) return false;
    if (!EncodePng(file.Stream(), width, height, rgba)) {
        const int code = errno;
        error = path + ": writing the PNG failed";
        if (std::ferror(file.Stream())) error += std::string(": ") + std::strerror(code);
        return false;
    }
    return file.Commit(error);
}

}  // namespace dv
