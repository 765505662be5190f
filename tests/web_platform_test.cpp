// The parts of the browser build that are plain code and run natively too: the browser's key
// names and the zlib-free PNG encoder that writes the page's screenshots.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/decode.h"
#include "imaging/png_stored.h"
#include "input/keyboard.h"
#include "platform/dom_keys.h"

namespace dv {
namespace {

TEST(DomKeys, MapTheGamesKeysAndNothingElse) {
    EXPECT_EQ(VirtualKeyFromDomCode("ArrowLeft"), kVkLeft);
    EXPECT_EQ(VirtualKeyFromDomCode("ArrowDown"), kVkDown);
    EXPECT_EQ(VirtualKeyFromDomCode("ShiftRight"), kVkShift);
    EXPECT_EQ(VirtualKeyFromDomCode("ControlLeft"), kVkCtrl);
    EXPECT_EQ(VirtualKeyFromDomCode("AltRight"), kVkAlt);
    EXPECT_EQ(VirtualKeyFromDomCode("End"), kVkEnd);
    EXPECT_EQ(VirtualKeyFromDomCode("Escape"), kVkEscape);
    EXPECT_EQ(VirtualKeyFromDomCode("KeyA"), kVkA);
    EXPECT_EQ(VirtualKeyFromDomCode("KeyZ"), kVkA + 25);
    EXPECT_EQ(VirtualKeyFromDomCode("Digit0"), kVk0);
    EXPECT_EQ(VirtualKeyFromDomCode("Digit9"), kVk0 + 9);
    EXPECT_EQ(VirtualKeyFromDomCode("F1"), kVkF1);
    EXPECT_EQ(VirtualKeyFromDomCode("F12"), kVkF1 + 11);
    for (const char* other : {"", "Key", "Keya", "KeyAB", "Digit", "DigitX", "F0", "F13", "F1A", "F99", "Numpad1",
                              "MetaLeft", "arrowleft", "Arrow"}) {
        EXPECT_EQ(VirtualKeyFromDomCode(other), -1) << other;
    }
}

std::vector<uint8_t> Pattern(int width, int height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>((i * 7 + i / 4093) & 0xFF);
    return rgba;
}

// Read back by libpng (the native decoder), which checks every CRC and the zlib checksum:
// one stored block, several (a block holds at most 65535 bytes), and a block boundary that
// falls exactly on the end of the data.
TEST(StoredPng, DecodesToTheSamePixels) {
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {800, 600}, {64, 255}, {64, 510}, {257, 255}}) {
        const std::vector<uint8_t> rgba = Pattern(width, height);
        const std::vector<uint8_t> png = EncodeStoredPng(width, height, rgba.data());
        Image image;
        std::string error;
        ASSERT_TRUE(DecodeImageMemory(png.data(), png.size(), "png", "stored.png", image, error))
            << width << " x " << height << ": " << error;
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
        EXPECT_EQ(image.rgba, rgba) << width << " x " << height;
    }
}

TEST(StoredPng, DamageIsCaughtByTheChecksums) {
    const std::vector<uint8_t> rgba = Pattern(20, 10);
    std::vector<uint8_t> png = EncodeStoredPng(20, 10, rgba.data());
    png[png.size() / 2] ^= 0x01;
    Image image;
    std::string error;
    EXPECT_FALSE(DecodeImageMemory(png.data(), png.size(), "png", "damaged.png", image, error));
    EXPECT_NE(error.find("damaged.png"), std::string::npos) << error;
}

}  // namespace
}  // namespace dv
