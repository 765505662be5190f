// dvtool build-icon FONT.ttf OUT.png [SIZE]: the desktop icon, a square cut from the middle of
// the title picture and shrunk to SIZE x SIZE pixels.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "imaging/png_write.h"
#include "tools/dvtool/commands.h"
#include "tools/pictures/title_pictures.h"

namespace dvtool {

namespace {

// Box-filters the centred square of `img` down to size x size RGBA pixels.
std::vector<uint8_t> ShrinkToSquare(const dv::RgbImage& img, int size) {
    const int side = std::min(img.Width, img.Height);
    const int x0 = (img.Width - side) / 2;
    const int y0 = (img.Height - side) / 2;
    std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int sx0 = x0 + x * side / size, sx1 = x0 + (x + 1) * side / size;
            const int sy0 = y0 + y * side / size, sy1 = y0 + (y + 1) * side / size;
            unsigned sum[3] = {0, 0, 0};
            unsigned n = 0;
            for (int sy = sy0; sy < sy1; ++sy) {
                for (int sx = sx0; sx < sx1; ++sx) {
                    const uint8_t* p = &img.Pixels[(static_cast<size_t>(sy) * img.Width + sx) * 3];
                    for (int c = 0; c < 3; ++c) sum[c] += p[c];
                    ++n;
                }
            }
            uint8_t* out = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(n != 0 ? sum[c] / n : 0);
            out[3] = 255;
        }
    }
    return rgba;
}

}  // namespace

int BuildIcon(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: dvtool build-icon FONT.ttf OUT.png [SIZE]\n", stderr);
        return 2;
    }
    int size = 128;
    if (argc == 4) {
        char* end = nullptr;
        const long v = std::strtol(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0' || v < 16 || v > 512) {
            std::fprintf(stderr, "dvtool build-icon: SIZE '%s' must be a whole number 16..512\n", argv[3]);
            return 2;
        }
        size = static_cast<int>(v);
    }
    try {
        const dv::RgbImage title = dv::PaintTitlePicture(false, argv[1]);
        const std::vector<uint8_t> rgba = ShrinkToSquare(title, size);
        std::string error;
        if (!dv::WritePngFile(argv[2], size, size, rgba.data(), error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
