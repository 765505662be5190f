// dvtool build-font FONT.ttf OUT.fnx [PIXELS]: renders the overlay font file.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "tools/dvtool/commands.h"
#include "tools/pictures/font_builder.h"
#include "tools/common/image_writers.h"

namespace dvtool {

int BuildFont(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: dvtool build-font FONT.ttf OUT.fnx [PIXELS]\n", stderr);
        return 2;
    }
    int pixels = 16;
    if (argc == 4) {
        char* end = nullptr;
        const long v = std::strtol(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0' || v < 6 || v > 128) {
            std::fprintf(stderr, "dvtool build-font: PIXELS '%s' must be a whole number 6..128\n", argv[3]);
            return 2;
        }
        pixels = static_cast<int>(v);
    }
    try {
        dv::WriteFileAtomic(argv[2], dv::BuildFontFile(argv[1], pixels));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
