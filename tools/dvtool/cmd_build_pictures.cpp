// dvtool build-pictures FONT.ttf OUTDIR: paints title1.jpg, title2.jpg and the level cards
// (card_hall.jpg, card_cistern.jpg, card_tower.jpg) into OUTDIR.
#include <cstdio>
#include <exception>
#include <string>

#include "tools/dvtool/commands.h"
#include "tools/common/image_writers.h"
#include "tools/pictures/title_pictures.h"

namespace dvtool {

int BuildPictures(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: dvtool build-pictures FONT.ttf OUTDIR\n", stderr);
        return 2;
    }
    try {
        const std::string dir = argv[2];
        for (int i = 0; i < 2; ++i) {
            const dv::RgbImage img = dv::PaintTitlePicture(i == 1, argv[1]);
            dv::WriteFileAtomic(dir + (i == 0 ? "/title1.jpg" : "/title2.jpg"),
                                dv::EncodeJpeg(img.Width, img.Height, img.Pixels, 90));
        }
        for (const dv::LevelCard card : dv::kLevelCards) {
            const dv::RgbImage img = dv::PaintLevelCard(card);
            dv::WriteFileAtomic(dir + "/" + dv::LevelCardFileName(card),
                                dv::EncodeJpeg(img.Width, img.Height, img.Pixels, 90));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
