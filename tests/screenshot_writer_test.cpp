#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <regex>

#include "app/screenshot_writer.h"
#include "imaging/decode.h"

using namespace dv;

TEST(ScreenshotWriter, NamesCarryTheLocalTimeToTheMillisecond) {
    const auto when = std::chrono::system_clock::from_time_t(1700000000) + std::chrono::milliseconds(7);
    const std::string name = ScreenshotFileName(when);
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(dedivirede-\d{8}-\d{6}-007\.png)"))) << name;
    EXPECT_NE(name, ScreenshotFileName(when + std::chrono::milliseconds(1)));
}

TEST(ScreenshotWriter, WritesInTheBackgroundAndReportsFailures) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("dv_shots_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    {
        ScreenshotWriter writer(8);
        for (int i = 0; i < 3; ++i) {
            std::vector<uint8_t> rgba(4 * 3 * 4, static_cast<uint8_t>(40 * i));
            rgba[0] = 255;  // the top-left pixel stays the top-left pixel
            EXPECT_TRUE(writer.Submit((dir / ("s" + std::to_string(i) + ".png")).string(), 4, 3, std::move(rgba)));
        }
        EXPECT_FALSE(writer.Submit((dir / "bad.png").string(), 4, 3, std::vector<uint8_t>(5)));  // wrong size
        EXPECT_EQ(writer.Flush(), 0);
        EXPECT_TRUE(writer.Submit((dir / "missing" / "x.png").string(), 1, 1, std::vector<uint8_t>(4)));
        EXPECT_EQ(writer.Flush(), 1);
    }
    for (int i = 0; i < 3; ++i) {
        Image img;
        std::string error;
        ASSERT_TRUE(DecodeImageFile((dir / ("s" + std::to_string(i) + ".png")).string(), img, error)) << error;
        EXPECT_EQ(img.width, 4);
        EXPECT_EQ(img.height, 3);
        EXPECT_EQ(img.rgba[0], 255);
        EXPECT_EQ(img.rgba[4], 40 * i);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.png"));
    // The destructor writes what is still queued.
    {
        ScreenshotWriter writer(2);
        EXPECT_TRUE(writer.Submit((dir / "last.png").string(), 2, 2, std::vector<uint8_t>(16, 9)));
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "last.png"));
    std::filesystem::remove_all(dir);
}
