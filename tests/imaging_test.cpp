// Picture decoders: PngSuite reference pixels, fixtures written by ImageMagick, and
// damaged input.
#include <gtest/gtest.h>

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

const std::string kSuite = DV_SHARED_DIR "/testdata/pngsuite";
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
    kAll,             // every channel
    kVisibleColour,   // colour only where the reference is not fully transparent
    kPremultiplied,   // colour times alpha, for formats that store it premultiplied
};

// Compares decoded pixels with reference values. 16-bit references (any value above
// 255) are scaled to 8 bits first; `tolerance` allows for that rounding.
void ExpectPixels(const Image& img, const std::vector<int>& ref, int tolerance,
                  const std::string& what, Compare mode = Compare::kAll) {
    ASSERT_EQ(img.rgba.size(), ref.size()) << what;
    const bool wide = *std::max_element(ref.begin(), ref.end()) > 255;
    auto scaled = [&](size_t i) { return wide ? (ref[i] * 255 + 32767) / 65535 : ref[i]; };
    int mismatches = 0;
    for (size_t i = 0; i < ref.size() && mismatches < 3; ++i) {
        int want = scaled(i);
        int got = img.rgba[i];
        const int alpha = scaled(i | 3);
        if (i % 4 != 3 && mode == Compare::kVisibleColour && alpha == 0) continue;
        if (i % 4 != 3 && mode == Compare::kPremultiplied) {
            want = want * alpha / 255;
            got = got * img.rgba[i | 3] / 255;
        }
        if (std::abs(got - want) > tolerance) {
            ADD_FAILURE() << what << ": pixel " << i / 4 << " channel " << i % 4 << " is "
                          << int{img.rgba[i]} << ", want " << want;
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

// Each file was written by ImageMagick's convert from the PNG beside it. Sources were
// chosen to fit what each format carries: opaque RGB for formats without alpha, grey,
// paletted or 1-bit sources for those layouts. 15/16-bit bitmaps keep 5 or 6 bits per
// channel, truncated by the encoder; JPEG is lossy (quality 95, chroma subsampled); libtiff
// hands out premultiplied colour, so straight colour under low alpha is approximate.
const Fixture kFixtureTable[] = {
    {"bmp24.bmp", "rgb.png", 0},      {"bmp8.bmp", "pal8.png", 0},
    {"bmp8rle.bmp", "pal8.png", 0},   {"bmp4.bmp", "pal4.png", 0},
    {"bmp1.bmp", "mono.png", 0},      {"bmp16.bmp", "rgb.png", 10},
    {"bmp15.bmp", "rgb.png", 10},      {"bmp32a.bmp", "rgba.png", 0},
    {"os2.bmp", "rgb.png", 0},        {"ico32.ico", "rgba.png", 0},
    {"icomulti.ico", "rgba.png", 0},  {"tga24.tga", "rgb.png", 0},
    {"tga32.tga", "rgba.png", 0},     {"tga24rle.tga", "rgb.png", 0},
    {"tgapal.tga", "pal8.png", 0},    {"tgapalrle.tga", "pal8.png", 0},
    {"tgagrey.tga", "grey.png", 0},   {"tgagreyrle.tga", "grey.png", 0},
    {"pcx24.pcx", "rgb.png", 0},      {"pcx32.pcx", "rgba.png", 0},
    {"pcx8.pcx", "pal8.png", 0},      {"ppm6.ppm", "rgb.png", 0},
    {"ppm3.ppm", "rgb.png", 0},       {"ppm6_16.ppm", "rgb.png", 0},
    {"pgm5.pgm", "grey.png", 0},      {"pgm2.pgm", "grey.png", 0},
    {"pbm4.pbm", "mono.png", 0},      {"pbm1.pbm", "mono.png", 0},
    {"sgirle.sgi", "rgb.png", 0},     {"sgiraw.sgi", "rgb.png", 0},
    {"sgirgba.sgi", "rgba.png", 0},   {"sgigrey.bw", "grey.png", 0},
    {"sgi16.rgb", "rgb.png", 0},      {"psdrle.psd", "rgb.png", 0},
    {"psdraw.psd", "rgb.png", 0},     {"psdrgba.psd", "rgba.png", 0},
    {"psdgrey.psd", "grey.png", 0},   {"psdpal.psd", "pal8.png", 0},
    {"psd16.psd", "rgb.png", 0},      {"jpeg.jpg", "rgb.png", 48},
    {"jpeggrey.jpg", "grey.png", 8},  {"jpegcmyk.jpg", "rgb.png", 48},
    {"tifflzw.tif", "rgb.png", 0},    {"tiffrgba.tiff", "rgba.png", 1, Compare::kPremultiplied},
    {"fax.fax", "mono.png", 0},
};

TEST(ImageFixtures, DecodeToTheirSourcePixels) {
    for (const Fixture& f : kFixtureTable) {
        const Image ref = Decode(kFixtures + "/" + f.reference);
        const Image img = Decode(kFixtures + "/" + f.file);
        EXPECT_EQ(img.width, ref.width) << f.file;
        EXPECT_EQ(img.height, ref.height) << f.file;
        ExpectPixels(img, std::vector<int>(ref.rgba.begin(), ref.rgba.end()), f.tolerance, f.file,
                     f.mode);
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

}  // namespace
}  // namespace dv
