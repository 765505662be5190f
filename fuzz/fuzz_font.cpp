// Font-file parsing on arbitrary bytes: an error or a font whose image matches its size.
#include <cstdlib>

#include "render/font.h"
#include "render/texture_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dv::BitmapFont font;
    dv::Bitmap image;
    std::string error;
    if (dv::ReadFontMemory(data, size, "fuzz.fnx", font, image, error)) {
        const size_t expected = static_cast<size_t>(font.TexWidth) * static_cast<size_t>(font.TexHeight) * 3;
        if (image.Bits.size() != expected ||
            font.Glyphs.size() != static_cast<size_t>(font.LastChar - font.FirstChar + 1)) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
