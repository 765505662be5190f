// Picture decoders: PngSuite reference pixels, fixtures written by ImageMagick, and
// damaged input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/decode.h"

namespace dv {
namespace {

namespace fs = std::filesystem;

const std::string kSuite = DV_SOURCE_DIR "/tests/data/pngsuite";
const std::string kFixtures = DV_SOURCE_DIR "/tests/data/images";

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The suite's JSON files are one flat array of integers: r, g, b, a per pixel.
std::vector<int> ReadJsonArray(const std::string& path) {
    const std::vector<uint8_t> text = ReadBytes(path);
    std::vector<int> values;
    int v = -1;
    for (const uint8_t c : text) {
        if (c >= '0' && c <= '9') {
            v = (v < 0 ? 0 : v * 10) + (c - '0');
        } else if (v >= 0) {
            values.push_back(v);
            v = -1;
        }
    }
    return values;
}

Image Decode(const std::string& path) {
    Image img;
    std::string error;
    EXPECT_TRUE(DecodeImageFile(path, img, error)) << error;
    return img;
}

std::vector<std::string> SuiteFiles(const std::string& dir, const std::string& ext) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(kSuite + "/" + dir)) {
        if (e.path().extension() == ext) names.push_back(e.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

enum class Compare {
    kAll,            // every channel
    kVisibleColour,  // colour only where the reference is not fully transparent
};

// Compares decoded pixels with reference values. 16-bit references (any value above
// 255) are scaled to 8 bits first; `tolerance` allows for that rounding.
void ExpectPixels(const Image& img, const std::vector<int>& ref, int tolerance, const std::string& what,
                  Compare mode = Compare::kAll) {
    ASSERT_EQ(img.rgba.size(), ref.size()) << what;
    const bool wide = *std::max_element(ref.begin(), ref.end()) > 255;
    auto scaled = [&](size_t i) { return wide ? (ref[i] * 255 + 32767) / 65535 : ref[i]; };
    int mismatches = 0;
    for (size_t i = 0; i < ref.size() && mismatches < 3; ++i) {
        const int want = scaled(i);
        const int got = img.rgba[i];
        const int alpha = scaled(i | 3);
        if (i % 4 != 3 && mode == Compare::kVisibleColour && alpha == 0) continue;
        if (std::abs(got - want) > tolerance) {
            ADD_FAILURE() << what << ": pixel " << i / 4 << " channel " << i % 4 << " is " << int{img.rgba[i]}
                          << ", want " << want;
            ++mismatches;
        }
    }
}

TEST(PngSuite, ValidImagesMatchReferencePixels) {
    int checked = 0;
    for (const std::string& name : SuiteFiles("png", ".png")) {
        if (name[0] == 'x') continue;
        const Image img = Decode(kSuite + "/png/" + name + ".png");
        ExpectPixels(img, ReadJsonArray(kSuite + "/json/" + name + ".json"), 1, name);
        ++checked;
    }
    EXPECT_GT(checked, 150);
}

// The BMP copies are 32-bit with an alpha mask, so they carry all four channels, but
// only 8 bits each: 16-bit sources were reduced by the converter (the *_to8 references
// where the suite has them, else the 16-bit values scaled, within 1). The converter
// blackened the colour of fully transparent pixels, so that colour is not compared.
TEST(PngSuite, BmpCopiesMatchReferencePixels) {
    int checked = 0;
    for (const std::string& name : SuiteFiles("bmp", ".bmp")) {
        const Image img = Decode(kSuite + "/bmp/" + name + ".bmp");
        const std::string to8 = kSuite + "/json/" + name + "_to8.json";
        const std::string json = fs::exists(to8) ? to8 : kSuite + "/json/" + name + ".json";
        ExpectPixels(img, ReadJsonArray(json), 1, name + ".bmp", Compare::kVisibleColour);
        ++checked;
    }
    EXPECT_GT(checked, 150);
}

TEST(PngSuite, CorruptImagesGiveOneLineErrors) {
    for (const std::string& name : SuiteFiles("png", ".png")) {
        if (name[0] != 'x') continue;
        const std::string path = kSuite + "/png/" + name + ".png";
        Image img;
        std::string error;
        EXPECT_FALSE(DecodeImageFile(path, img, error)) << name;
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

struct Fixture {
    const char* file;
    const char* reference;  // the PNG it was converted from
    int tolerance;          // per channel; lossy or reduced-depth formats only
    Compare mode = Compare::kAll;
};

// Each file was written by ImageMagick's convert from the PNG beside it, the tifftiled and
// tiffstraight files by libtiff's own tools (make_tiff_fixtures.sh). Sources were chosen to
// fit what each format carries: opaque RGB for formats without alpha, grey, paletted or 1-bit
// sources for those layouts. 15/16-bit bitmaps keep 5 or 6 bits per channel, truncated by the
// encoder; JPEG is lossy (quality 95, chroma subsampled). TIFF with unassociated alpha keeps
// the colour of transparent pixels; tiles may run past the picture's edges.
const Fixture kFixtureTable[] = {
    {"bmp24.bmp", "rgb.png", 0},
    {"bmp8.bmp", "pal8.png", 0},
    {"bmp8rle.bmp", "pal8.png", 0},
    {"bmp4.bmp", "pal4.png", 0},
    {"bmp1.bmp", "mono.png", 0},
    {"bmp16.bmp", "rgb.png", 10},
    {"bmp15.bmp", "rgb.png", 10},
    {"bmp32a.bmp", "rgba.png", 0},
    {"os2.bmp", "rgb.png", 0},
    {"ico32.ico", "rgba.png", 0},
    {"icomulti.ico", "rgba.png", 0},
    {"tga24.tga", "rgb.png", 0},
    {"tga32.tga", "rgba.png", 0},
    {"tga24rle.tga", "rgb.png", 0},
    {"tgapal.tga", "pal8.png", 0},
    {"tgapalrle.tga", "pal8.png", 0},
    {"tgagrey.tga", "grey.png", 0},
    {"tgagreyrle.tga", "grey.png", 0},
    {"pcx24.pcx", "rgb.png", 0},
    {"pcx32.pcx", "rgba.png", 0},
    {"pcx8.pcx", "pal8.png", 0},
    {"ppm6.ppm", "rgb.png", 0},
    {"ppm3.ppm", "rgb.png", 0},
    {"ppm6_16.ppm", "rgb.png", 0},
    {"pgm5.pgm", "grey.png", 0},
    {"pgm2.pgm", "grey.png", 0},
    {"pbm4.pbm", "mono.png", 0},
    {"pbm1.pbm", "mono.png", 0},
    {"sgirle.sgi", "rgb.png", 0},
    {"sgiraw.sgi", "rgb.png", 0},
    {"sgirgba.sgi", "rgba.png", 0},
    {"sgigrey.bw", "grey.png", 0},
    {"sgi16.rgb", "rgb.png", 0},
    {"psdrle.psd", "rgb.png", 0},
    {"psdraw.psd", "rgb.png", 0},
    {"psdrgba.psd", "rgba.png", 0},
    {"psdgrey.psd", "grey.png", 0},
    {"psdpal.psd", "pal8.png", 0},
    {"psd16.psd", "rgb.png", 0},
    {"jpeg.jpg", "rgb.png", 4},
    {"jpeggrey.jpg", "grey.png", 3},
    {"jpegcmyk.jpg", "rgb.png", 4},
    {"tifflzw.tif", "rgb.png", 0},
    {"tiffrgba.tiff", "rgba.png", 0},
    {"tifftiled.tif", "tifftiled.png", 0},
    {"tiffstraight.tif", "tiffstraight.png", 0},
    {"tiffstraighttiled.tif", "tiffstraight.png", 0},
    {"fax.fax", "mono.png", 0},
};

TEST(ImageFixtures, DecodeToTheirSourcePixels) {
    for (const Fixture& f : kFixtureTable) {
        const Image ref = Decode(kFixtures + "/" + f.reference);
        const Image img = Decode(kFixtures + "/" + f.file);
        EXPECT_EQ(img.width, ref.width) << f.file;
        EXPECT_EQ(img.height, ref.height) << f.file;
        ExpectPixels(img, std::vector<int>(ref.rgba.begin(), ref.rgba.end()), f.tolerance, f.file, f.mode);
    }
}

std::string ExtensionOf(const std::string& file) { return file.substr(file.rfind('.') + 1); }

// Truncated copies must fail with a line naming the file; overwritten bytes must
// either decode or fail the same way (the sanitizer build checks for bad reads).
TEST(ImageFixtures, DamagedCopiesFailCleanly) {
    for (const Fixture& f : kFixtureTable) {
        const std::vector<uint8_t> bytes = ReadBytes(kFixtures + "/" + f.file);
        const std::string ext = ExtensionOf(f.file);
        for (const size_t keep : {size_t{1}, size_t{12}, bytes.size() / 2}) {
            Image img;
            std::string error;
            EXPECT_FALSE(DecodeImageMemory(bytes.data(), keep, ext, f.file, img, error))
                << f.file << " cut to " << keep << " bytes";
            EXPECT_EQ(error.rfind(std::string(f.file) + ": ", 0), 0u) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        }
        for (size_t at = 0; at < std::min<size_t>(bytes.size(), 160); ++at) {
            for (const uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
                std::vector<uint8_t> copy = bytes;
                copy[at] = value;
                Image img;
                std::string error;
                if (!DecodeImageMemory(copy.data(), copy.size(), ext, f.file, img, error)) {
                    EXPECT_EQ(error.rfind(std::string(f.file) + ": ", 0), 0u) << error;
                } else {
                    EXPECT_EQ(img.rgba.size(), static_cast<size_t>(img.width) * img.height * 4);
                }
            }
        }
    }
}

Image DecodeBytes(const std::vector<uint8_t>& bytes, const std::string& ext) {
    Image img;
    std::string error;
    EXPECT_TRUE(DecodeImageMemory(bytes.data(), bytes.size(), ext, "test." + ext, img, error)) << error;
    return img;
}

std::string DecodeError(const std::vector<uint8_t>& bytes, const std::string& ext) {
    Image img;
    std::string error;
    EXPECT_FALSE(DecodeImageMemory(bytes.data(), bytes.size(), ext, "test." + ext, img, error));
    return error;
}

Image Flipped(const Image& img) {
    Image f = img;
    const size_t row = static_cast<size_t>(img.width) * 4;
    for (int y = 0; y < img.height; ++y) {
        std::copy_n(&img.rgba[y * row], row, &f.rgba[(img.height - 1 - y) * row]);
    }
    return f;
}

// Rewriting a file's rows in the other order and flipping its origin flag must not
// change the picture: bitmaps with a negative height, Truevision with the origin bits.
TEST(ImageLayout, RowOrderFlagsAreHonoured) {
    const Image ref = Decode(kFixtures + "/rgb.png");

    std::vector<uint8_t> bmp = ReadBytes(kFixtures + "/bmp24.bmp");  // 54-byte headers
    const std::vector<uint8_t> bmpRows(bmp.begin() + 54, bmp.end());
    for (int y = 0; y < 32; ++y) std::copy_n(&bmpRows[(31 - y) * 96], 96, &bmp[54 + y * 96]);
    bmp[22] = 0xE0, bmp[23] = bmp[24] = bmp[25] = 0xFF;  // height -32
    EXPECT_EQ(DecodeBytes(bmp, "bmp").rgba, ref.rgba);

    std::vector<uint8_t> tga = ReadBytes(kFixtures + "/tga24.tga");  // 18-byte header, top-down
    ASSERT_EQ(tga[17], 0x20);
    tga[17] = 0x00;
    EXPECT_EQ(DecodeBytes(tga, "tga").rgba, Flipped(ref).rgba);
    tga[17] = 0x30;  // top-down, right to left: reverse each row's pixels
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 16; ++x) {
            std::swap_ranges(&tga[18 + (y * 32 + x) * 3], &tga[18 + (y * 32 + x) * 3 + 3],
                             &tga[18 + (y * 32 + 31 - x) * 3]);
        }
    }
    EXPECT_EQ(DecodeBytes(tga, "tga").rgba, ref.rgba);
}

std::vector<uint8_t> BitmapWithRle4(const std::vector<uint8_t>& rle, int width, int height) {
    std::vector<uint8_t> b(14 + 40 + 16 * 4, 0);
    b[0] = 'B', b[1] = 'M', b[10] = static_cast<uint8_t>(b.size());
    b[14] = 40, b[18] = static_cast<uint8_t>(width), b[22] = static_cast<uint8_t>(height);
    b[26] = 1, b[28] = 4, b[30] = 2;                                                // planes, 4 bits, RLE4
    for (int i = 0; i < 16; ++i) b[54 + i * 4 + 2] = static_cast<uint8_t>(i * 16);  // red = 16 i
    b.insert(b.end(), rle.begin(), rle.end());
    return b;
}

// RLE4 written by hand (ImageMagick writes none): a run alternating two indices, a
// literal block, end of line, a delta that skips a pixel, end of bitmap.
TEST(ImageLayout, Rle4RunsLiteralsAndEscapes) {
    const std::vector<uint8_t> rle = {0x03, 0x12,               // 1 2 1 on the bottom row
                                      0x00, 0x03, 0x34, 0x50,   // literal 3 4 5 (two bytes)
                                      0x00, 0x00,               // end of line
                                      0x00, 0x02, 0x01, 0x00,   // skip one pixel
                                      0x02, 0x77, 0x00, 0x01};  // 7 7, end of bitmap
    const Image img = DecodeBytes(BitmapWithRle4(rle, 6, 2), "bmp");
    ASSERT_EQ(img.width, 6);
    auto red = [&](int x, int y) { return img.rgba[(y * 6 + x) * 4] / 16; };
    EXPECT_EQ((std::vector<int>{red(0, 1), red(1, 1), red(2, 1), red(3, 1), red(4, 1), red(5, 1)}),
              (std::vector<int>{1, 2, 1, 3, 4, 5}));
    EXPECT_EQ((std::vector<int>{red(0, 0), red(1, 0), red(2, 0), red(3, 0)}), (std::vector<int>{0, 7, 7, 0}));

    EXPECT_NE(DecodeError(BitmapWithRle4({0x03, 0x12, 0x00, 0x05, 0x34}, 6, 2), "bmp").find("unexpected end of data"),
              std::string::npos);
}

// A 16-colour PCX in four bit planes, written by hand (ImageMagick writes none): pixel x
// has index x, and the header palette maps index i to red 16 i.
TEST(ImageLayout, PcxBitPlanesIndexTheHeaderPalette) {
    std::vector<uint8_t> pcx(128, 0);
    pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 1, pcx[8] = 7;  // RLE, 1 bit, 8 x 1
    for (int i = 0; i < 16; ++i) pcx[16 + i * 3] = static_cast<uint8_t>(i * 16);
    pcx[65] = 4, pcx[66] = 1;  // four planes of one byte per line
    pcx.insert(pcx.end(), {0x55, 0x33, 0x0F, 0x00});
    const Image img = DecodeBytes(pcx, "pcx");
    ASSERT_EQ(img.width, 8);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(img.rgba[x * 4], x * 16) << x;
}

// 16-bit Truevision pixels (ImageMagick writes none): 5 bits per colour and, when the
// descriptor declares one alpha bit, the top bit as alpha.
TEST(ImageLayout, Tga16BitPixelsWithAttributeBit) {
    std::vector<uint8_t> tga(18, 0);
    tga[2] = 2, tga[12] = 2, tga[14] = 1, tga[16] = 16, tga[17] = 0x21;  // 2 x 1, top-down
    tga.insert(tga.end(), {0x00, 0x7C, 0xE0, 0x83});                     // red with bit 15 clear, opaque green
    Image img = DecodeBytes(tga, "tga");
    EXPECT_EQ(img.rgba, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 0, 255}));
    tga[17] = 0x20;  // no alpha bits: the top bit means nothing
    img = DecodeBytes(tga, "tga");
    EXPECT_EQ(img.rgba, (std::vector<uint8_t>{255, 0, 0, 255, 0, 255, 0, 255}));
}

// Icons may hold PNG images; the larger entry wins whatever the order.
TEST(ImageLayout, IconWithPngPayload) {
    const std::vector<uint8_t> png = ReadBytes(kFixtures + "/rgba.png");
    const std::vector<uint8_t> small = ReadBytes(kFixtures + "/mono.png");
    std::vector<uint8_t> ico = {0, 0, 1, 0, 2, 0};
    auto entry = [&](uint8_t side, size_t length, size_t offset) {
        ico.insert(ico.end(), {side, side, 0, 0, 1, 0, 32, 0});
        for (const size_t v : {length, offset}) {
            for (int b = 0; b < 4; ++b) ico.push_back(static_cast<uint8_t>(v >> (8 * b)));
        }
    };
    entry(16, small.size(), 38);
    entry(32, png.size(), 38 + small.size());
    ico.insert(ico.end(), small.begin(), small.end());
    ico.insert(ico.end(), png.begin(), png.end());
    EXPECT_EQ(DecodeBytes(ico, "ico").rgba, Decode(kFixtures + "/rgba.png").rgba);
}

TEST(ImageErrors, NameTheFileAndWhatWasWrong) {
    const std::vector<uint8_t> some = {1, 2, 3, 4};
    EXPECT_EQ(DecodeError(some, "xyz"), "test.xyz: unknown image file extension '.xyz'");
    for (const char* ext : {"wmf", "EMF", "rla", "cel", "pcd", "cut", "psp"}) {
        EXPECT_NE(DecodeError(some, ext).find("unsupported image format"), std::string::npos);
    }
    EXPECT_NE(DecodeError(some, "eps").find("unsupported image format"), std::string::npos);

    std::string error;
    Image img;
    EXPECT_FALSE(DecodeImageFile("/nonexistent/a.png", img, error));
    EXPECT_EQ(error.rfind("/nonexistent/a.png: cannot open", 0), 0u) << error;

    // A small header claiming a huge picture fails before allocating it.
    std::vector<uint8_t> bmp = ReadBytes(kFixtures + "/bmp24.bmp");
    bmp[18] = 0x00, bmp[19] = 0x00, bmp[20] = 0x01;  // width 65536
    EXPECT_NE(DecodeError(bmp, "bmp").find("exceeds the limit"), std::string::npos);
    std::vector<uint8_t> tga = ReadBytes(kFixtures + "/tga24rle.tga");
    tga[12] = tga[13] = tga[14] = tga[15] = 0x3F;  // 16191 x 16191 from 3 KB
    EXPECT_NE(DecodeError(tga, "tga").find("bytes of data can hold"), std::string::npos);

    std::vector<uint8_t> pgm = ReadBytes(kFixtures + "/pgm2.pgm");
    pgm.resize(pgm.size() - 3);
    EXPECT_NE(DecodeError(pgm, "PGM").find("unexpected end of data, expected sample at byte"), std::string::npos);
}

TEST(ImageFormats, ExtensionsAreCaseInsensitiveAndShareDecoders) {
    const Image ref = Decode(kFixtures + "/rgb.png");
    const std::vector<uint8_t> tga = ReadBytes(kFixtures + "/tga24.tga");
    for (const char* ext : {"TGA", "win", "Vst", "vda", "icb"}) {
        EXPECT_EQ(DecodeBytes(tga, ext).rgba, ref.rgba) << ext;
    }
    const std::vector<uint8_t> jpeg = ReadBytes(kFixtures + "/jpeg.jpg");
    for (const char* ext : {"JPG", "jpeg", "jpe", "jfif"}) EXPECT_EQ(DecodeBytes(jpeg, ext).width, 32);
    // A DOS binary EPS: 30-byte header pointing at its TIFF preview.
    const std::vector<uint8_t> tiff = ReadBytes(kFixtures + "/tifflzw.tif");
    std::vector<uint8_t> eps = {0xC5, 0xD0, 0xD3, 0xC6};
    eps.resize(30, 0);
    eps[20] = 30, eps[24] = static_cast<uint8_t>(tiff.size()), eps[25] = static_cast<uint8_t>(tiff.size() >> 8);
    eps.insert(eps.end(), tiff.begin(), tiff.end());
    EXPECT_EQ(DecodeBytes(eps, "eps").rgba, ref.rgba);
    const std::vector<uint8_t> pcx = ReadBytes(kFixtures + "/pcx24.pcx");
    for (const char* ext : {"pcc", "scr"}) EXPECT_EQ(DecodeBytes(pcx, ext).rgba, ref.rgba);
}

// dvtool image writes the PAM through a temporary file, so a failed run leaves an
// existing output as it was.
TEST(DvtoolImage, WritesPamAndKeepsOutputOnFailure) {
    const std::string tool = DV_BINARY_DIR "/dvtool";
    if (!fs::exists(tool)) GTEST_SKIP() << "dvtool not built";
    const fs::path dir = fs::temp_directory_path() / ("dv_image_test_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string out = (dir / "out.pam").string();
    const std::string ok = tool + " image " + kFixtures + "/tga32.tga " + out + " 2>/dev/null";
    ASSERT_EQ(std::system(ok.c_str()), 0);
    const std::vector<uint8_t> pam = ReadBytes(out);
    const std::string header = "P7\nWIDTH 32\nHEIGHT 32\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    ASSERT_EQ(pam.size(), header.size() + 32 * 32 * 4);
    EXPECT_EQ(std::string(pam.begin(), pam.begin() + header.size()), header);
    EXPECT_TRUE(std::equal(pam.begin() + header.size(), pam.end(), Decode(kFixtures + "/rgba.png").rgba.begin()));

    const std::string bad = tool + " image " + kFixtures + "/make_fixtures.sh " + out + " 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(bad.c_str())), 2);
    EXPECT_EQ(ReadBytes(out), pam);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    const std::string usage = tool + " image onlyone 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(usage.c_str())), 2);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dv
