// The PNG writer where libpng and zlib are not available (the browser build), over the
// stored-block encoder of imaging/png_stored.h.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/png_stored.h"
#include "imaging/png_write.h"

namespace dv {

bool WritePngFile(const std::string& path, int width, int height, const uint8_t* rgba, std::string& error) {
    if (width <= 0 || height <= 0 || rgba == nullptr) {
        error = path + ": nothing to write (empty image)";
        return false;
    }
    const std::vector<uint8_t> png = EncodeStoredPng(width, height, rgba);
    const std::string temp = path + ".tmp";
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": cannot create the file: " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        error = path + ": writing the PNG failed";
        return false;
    }
    return true;
}

}  // namespace dv
