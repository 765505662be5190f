// Font files and the text / picture quads (no GL needed: the lists are CPU-side).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "render/font.h"
#include "render/texture_store.h"
#include "render/viewport_internal.h"

namespace dv {
namespace {

void Put32(std::vector<uint8_t>& b, int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(uint32_t(v) >> (8 * i)));
}

// Font with glyphs for 'A'..'C', each 2 x 4 pixels side by side in a 6 x 4 image.
std::vector<uint8_t> FontBytes(int32_t width = 6, int32_t height = 4) {
    std::vector<uint8_t> b = {'F', 'N', 'T', 'X', 1, 0, 'A', 'C'};
    for (int g = 0; g < 3; ++g) {
        Put32(b, 2 * g);
        Put32(b, 0);
        b.push_back(2);
        b.push_back(4);
    }
    Put32(b, width);
    Put32(b, height);
    for (int i = 0; i < 16; ++i) b.push_back(static_cast<uint8_t>(i));
    for (int i = 0; i < 6 * 4; ++i) {
        b.push_back(200);
        b.push_back(100);
        b.push_back(50);
    }
    return b;
}

class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("dv_font_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Write(const std::vector<uint8_t>& bytes) {
        const std::string path = (dir / "font01.fnx").string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::filesystem::path dir;
    TextureStore store;
};

TEST_F(FontTest, LoadsGlyphsImageAndTakesTheFirstFreeSlot) {
    store.LoadRaw(1, 2, 2, nullptr, false, 16, true);
    BitmapFont font;
    const std::string path = Write(FontBytes());
    std::string error;
    ASSERT_TRUE(LoadFont(font, path, store, error)) << error;
    EXPECT_EQ(font.FirstChar, 'A');
    EXPECT_EQ(font.LastChar, 'C');
    ASSERT_EQ(font.Glyphs.size(), 3u);
    EXPECT_EQ(font.Glyphs[2].X, 4);
    EXPECT_EQ(font.Glyphs[2].Height, 4);
    EXPECT_EQ(font.TexWidth, 6);
    EXPECT_EQ(font.TexHeight, 4);
    EXPECT_EQ(font.Reserved[15], 15);
    EXPECT_EQ(font.TexSlot, 2);
    EXPECT_EQ(font.Red, 64);
    ASSERT_NE(store.TextureAt(2), nullptr);
    EXPECT_EQ(store.TextureAt(2)->Width(), 8);  // stretched to a power of two
}

TEST_F(FontTest, MissingFileGivesTheMessageToShow) {
    BitmapFont font;
    const std::string path = (dir / "nofont.fnx").string();
    std::string error;
    EXPECT_FALSE(LoadFont(font, path, store, error));
    EXPECT_EQ(error, "Error..." + path + " not found!");
}

TEST_F(FontTest, TruncatedFilesAreRejectedWithTheOffset) {
    const std::vector<uint8_t> full = FontBytes();
    for (size_t cut : {size_t(0), size_t(5), size_t(20), size_t(40), size_t(60), full.size() - 1}) {
        std::vector<uint8_t> bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        BitmapFont font;
        font.TexSlot = 77;
        std::string error;
        EXPECT_FALSE(LoadFont(font, Write(bytes), store, error)) << cut;
        EXPECT_NE(error.find("font01.fnx: file ends at byte " + std::to_string(cut)), std::string::npos) << error;
        EXPECT_EQ(font.TexSlot, 77);  // untouched
    }
    EXPECT_EQ(store.FirstFreeSlot(), 1);
}

TEST_F(FontTest, AbsurdImageSizesAreRejected) {
    for (auto [w, h] : {std::pair{0, 4}, std::pair{-6, 4}, std::pair{100000, 100000}, std::pair{6, 9000}}) {
        BitmapFont font;
        std::string error;
        EXPECT_FALSE(LoadFont(font, Write(FontBytes(w, h)), store, error));
        EXPECT_NE(error.find("byte 38: image size"), std::string::npos) << error;
    }
    std::vector<uint8_t> backwards = FontBytes();
    backwards[6] = 'D';
    BitmapFont font;
    std::string error;
    EXPECT_FALSE(LoadFont(font, Write(backwards), store, error));
    EXPECT_NE(error.find("before the first"), std::string::npos);
}

class TextListTest : public ::testing::Test {
protected:
    void SetUp() override {
        font.FirstChar = 'A';
        font.LastChar = 'B';
        font.Glyphs = {Glyph{0, 0, 8, 16}, Glyph{8, 0, 4, 16}};
        font.TexWidth = 16;
        font.TexHeight = 32;
        font.TexSlot = 12;
        viewport.SetFont(&font);
        viewport.Begin2D();
    }
    BitmapFont font;
    Viewport viewport;
};

TEST_F(TextListTest, EmptyStringAddsAnEmptyBatch) {
    viewport.DrawText("", BlendMode::AlphaTested, 0, 0, 1);
    ASSERT_EQ(ViewportInternals::BatchCount2D(viewport), 1);
    EXPECT_EQ(ViewportInternals::Batches2D(viewport)[0].Count, 0);
    EXPECT_EQ(ViewportInternals::Batches2D(viewport)[0].Slot, 12);
    EXPECT_EQ(ViewportInternals::Batches2D(viewport)[0].Mode, 1);
    EXPECT_EQ(ViewportInternals::TriangleCount2D(viewport), 0);
}

TEST_F(TextListTest, ScaledGlyphsAndTheirTextureRectangles) {
    viewport.DrawText("AB", BlendMode::AlphaTested, 10, 20, 0.75f);
    ASSERT_EQ(ViewportInternals::TriangleCount2D(viewport), 4);
    const Triangle2D& a1 = ViewportInternals::Vertices2D(viewport)[0];
    EXPECT_FLOAT_EQ(a1.V[0].X, 10);
    EXPECT_FLOAT_EQ(a1.V[2].X, 16);  // 8 * 0.75
    EXPECT_FLOAT_EQ(a1.V[2].Y, 32);  // 20 + 16 * 0.75
    EXPECT_FLOAT_EQ(a1.V[2].U, 0.5f);
    EXPECT_FLOAT_EQ(a1.V[2].V, 0.5f);  // 16 / 32: the image's own height
    EXPECT_FLOAT_EQ(a1.V[0].Rhw, 1.0f);
    EXPECT_EQ(a1.V[0].Diffuse, 0xFF404040u);  // a fresh font is 64, 64, 64
    const Triangle2D& b2 = ViewportInternals::Vertices2D(viewport)[3];
    EXPECT_FLOAT_EQ(b2.V[0].X, 16);  // pen advanced by 6
    EXPECT_FLOAT_EQ(b2.V[1].X, 19);
    EXPECT_FLOAT_EQ(b2.V[1].U, 0.75f);
}

TEST_F(TextListTest, UnknownCharactersLeaveZeroAreaTrianglesAndDoNotMoveThePen) {
    viewport.DrawText(
        "A\x7F"
        "B",
        BlendMode::Opaque, 0, 0, 1);
    ASSERT_EQ(ViewportInternals::TriangleCount2D(viewport), 6);
    for (int t = 2; t < 4; ++t) {
        for (const Vertex2D& v : ViewportInternals::Vertices2D(viewport)[t].V) {
            EXPECT_EQ(v.X, 0.0f);
            EXPECT_EQ(v.Y, 0.0f);
        }
    }
    EXPECT_FLOAT_EQ(ViewportInternals::Vertices2D(viewport)[4].V[0].X, 8);
}

TEST_F(TextListTest, EachTextKeepsItsColour) {
    font.Red = 255;
    font.Blue = 0;
    viewport.DrawText("A", BlendMode::AlphaTested, 0, 0, 1);
    font.Red = 0;
    font.Blue = 255;
    viewport.DrawText("A", BlendMode::AlphaTested, 0, 0, 1);
    viewport.DrawPicture(5001, BlendMode::Opaque, 0, 0, 800, 600);
    EXPECT_EQ(ViewportInternals::Vertices2D(viewport)[0].V[0].Diffuse & 0x00FF00FFu, 0x00FF0000u);
    EXPECT_EQ(ViewportInternals::Vertices2D(viewport)[2].V[0].Diffuse & 0x00FF00FFu, 0x000000FFu);
    ASSERT_EQ(ViewportInternals::BatchCount2D(viewport), 3);
    EXPECT_EQ(ViewportInternals::Batches2D(viewport)[2].Slot, 5001);
    const Triangle2D& p = ViewportInternals::Vertices2D(viewport)[5];
    EXPECT_FLOAT_EQ(p.V[1].X, 800);
    EXPECT_FLOAT_EQ(p.V[1].Y, 600);
    EXPECT_FLOAT_EQ(p.V[1].U, 1);
}

TEST_F(TextListTest, NoFontNoText) {
    viewport.SetFont(nullptr);
    viewport.DrawText("AB", BlendMode::AlphaTested, 0, 0, 1);
    EXPECT_EQ(ViewportInternals::BatchCount2D(viewport), 0);
}

}  // namespace
}  // namespace dv
