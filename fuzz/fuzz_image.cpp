// Feeds arbitrary bytes to the picture decoders; the first byte picks the extension.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/decode.h"

namespace {

const char* const kExtensions[] = {"bmp", "ico", "tga", "pcx", "ppm", "sgi", "psd",
                                   "png", "jpg", "tif", "eps", "dib", "pgm", "pbm"};
constexpr size_t kCount = sizeof kExtensions / sizeof kExtensions[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string extension = kExtensions[data[0] % kCount];
    dv::Image image;
    std::string error;
    if (dv::DecodeImageMemory(data + 1, size - 1, extension, "fuzz", image, error)) {
        if (image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) __builtin_trap();
    } else if (error.empty() || error.find('\n') != std::string::npos) {
        __builtin_trap();
    }
    return 0;
}
