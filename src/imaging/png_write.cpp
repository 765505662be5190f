#include "imaging/png_write.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace dv {

namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

// libpng reports errors by longjmp; keep the jumping part free of objects with destructors.
bool EncodePng(FILE* file, int width, int height, const uint8_t* rgba) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
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
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    std::unique_ptr<FILE, FileCloser> file(std::fopen(temp.c_str(), "wb"));
    if (!file) {
        error = path + ": cannot create the file: " + std::strerror(errno);
        return false;
    }
    const bool encoded = EncodePng(file.get(), width, height, rgba);
    const bool flushed = std::fflush(file.get()) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!encoded || !flushed || !closed) {
        std::remove(temp.c_str());
        error = path + ": writing the PNG failed";
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": cannot rename the finished file into place: " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace dv
