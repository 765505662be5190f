// The PNG writer where libpng and zlib are not available (the browser build), over the
// stored-block encoder of imaging/png_stored.h.
#include <string>
#include <vector>

#include "files/safe_write.h"
#include "imaging/png_stored.h"
#include "imaging/png_write.h"

namespace dv {

bool WritePngFile(const std::string& path, int width, int height, const uint8_t* rgba, std::string& error) {
    if (width <= 0 || height <= 0 || rgba == nullptr) {
        error = path + ": nothing to write (empty image)";
        return false;
    }
    const std::vector<uint8_t> png = EncodeStoredPng(width, height, rgba);
    return WriteFileSafely(path, png.data(), png.size(), error);
}

}  // namespace dv
