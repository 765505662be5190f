// The browser build's picture decoders (stb_image for JPEG and PNG) built natively: any bytes
// decode into whole pixels within the size limit, or fail with one error; the first byte
// picks the format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/bytes.h"
#include "imaging/jpeg.h"
#include "imaging/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    dv::Image image;
    try {
        if (data[0] & 1) dv::DecodePng(data + 1, size - 1, image);
        else dv::DecodeJpeg(data + 1, size - 1, image);
    } catch (const dv::ImageError& e) {
        if (e.What.empty() || e.What.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    if (image.width <= 0 || image.height <= 0 || image.width > dv::kMaxImageSide || image.height > dv::kMaxImageSide)
        std::abort();
    if (image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) std::abort();
    return 0;
}
