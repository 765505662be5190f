#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>

#include "level_builder.h"
#include "world/level_loader.h"

namespace {

namespace fs = std::filesystem;

// A 24-bit bottom-up Windows bitmap of one colour.
void WriteBmp(const fs::path& path, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    const int row = (w * 3 + 3) & ~3;
    const uint32_t size = 54 + static_cast<uint32_t>(row * h);
    std::vector<uint8_t> f(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    f[26] = 1;
    f[28] = 24;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f[54 + static_cast<size_t>(y) * row + x * 3];
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), size);
}

class LevelLoader : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("dv_level_loader_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "levels");
        fs::current_path(dir_);
        store_.MipCount = 4;
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }

    fs::path old_, dir_;
    dv::TextureStore store_;
};

TEST_F(LevelLoader, LoadsTexturesIntoTheirSlotsAndLightmapsFromBesideTheLevel) {
    dv::LevelFileData data = dvtest::SampleLevel();
    data.Level.Lightmaps.Entries = {dv::LightmapEntry{1, 3001, {}}, dv::LightmapEntry{0, 3005, {}},
                                    dv::LightmapEntry{1, 3010, {}}};
    data.Level.Lightmaps.EntryCount = 3;
    dv::WriteLevelFile("levels/sample.v1.lev", data);
    WriteBmp("levels/sample_lm0.bmp", 4, 9, 0, 0, 255);  // two 4 x 4 tiles
    WriteBmp("levels/sample_lm1.bmp", 4, 4, 0, 255, 0);  // entry not present: never opened
    WriteBmp("sample_lm2.bmp", 4, 4, 255, 0, 0);         // in the current directory: not looked at
    store_.LoadRaw(5001, 2, 2, nullptr, false, 16, false);

    dv::LevelRecord level;
    dv::LoadLevel(level, "levels/sample.v1.lev", store_);
    EXPECT_EQ(level.Map.RoomCount, 2);
    EXPECT_EQ(store_.TextureAt(5001), nullptr);  // the store was cleared first
    for (int slot : {1, 2, 1001, 1002, 2001, 2002, 4002, 4003, 3001, 3002}) {
        EXPECT_NE(store_.TextureAt(slot), nullptr) << slot;
    }
    for (int slot : {3, 1003, 2003, 4004, 3003, 3005, 3010}) EXPECT_EQ(store_.TextureAt(slot), nullptr) << slot;
    EXPECT_EQ(store_.TextureAt(1002)->Width(), 3);
    EXPECT_EQ(store_.TextureAt(1001)->LevelCount(), 3);  // 4 x 4 allows three levels
    EXPECT_EQ(store_.TextureAt(3001)->LevelCount(), 1);  // lightmaps have no mips
    EXPECT_EQ(store_.TextureAt(3001)->Width(), 4);
    EXPECT_FALSE(store_.NoMipmaps);
    uint16_t texel;
    std::memcpy(&texel, store_.TextureAt(3002)->Level(0).bits.data(), 2);
    EXPECT_EQ(texel, 0x8000 | 31);  // blue

    store_.Clear();
    data.Level.Lightmaps.SkipBitmaps = 1;
    dv::WriteLevelFile("levels/sample.v1.lev", data);
    dv::LoadLevel(level, "levels/sample.v1.lev", store_);
    EXPECT_EQ(store_.TextureAt(3001), nullptr);
}

TEST_F(LevelLoader, LoadFromFileDecodesByExtension) {
    WriteBmp("title.bmp", 100, 60, 255, 0, 255);
    std::string error;
    EXPECT_TRUE(store_.LoadFromFile(5001, "title.bmp", false, false, error)) << error;
    EXPECT_EQ(store_.TextureAt(5001)->Width(), 128);
    EXPECT_EQ(store_.TextureAt(5001)->Height(), 64);
    EXPECT_EQ(store_.TextureAt(5001)->Level(0).bits[1] & 0x80, 0);  // magenta is the colour key
    EXPECT_FALSE(store_.LoadFromFile(5001, "missing.jpg", false, false, error));
    EXPECT_EQ(error, "missing.jpg: not found");
    EXPECT_NE(store_.TextureAt(5001), nullptr);
    std::ofstream("broken.png") << "not a png";
    EXPECT_FALSE(store_.LoadFromFile(5002, "broken.png", false, false, error));
    EXPECT_NE(error.find("broken.png"), std::string::npos) << error;
}

TEST_F(LevelLoader, ANameWithoutADotGivesAnEmptyBase) {
    dv::LevelFileData data = dvtest::SampleLevel();
    dv::WriteLevelFile("levels/plain", data);
    WriteBmp("levels/_lm0.bmp", 2, 2, 255, 0, 0);
    dv::LevelRecord level;
    dv::LoadLevel(level, "levels/plain", store_);
    EXPECT_NE(store_.TextureAt(3001), nullptr);
}

TEST_F(LevelLoader, AMalformedFileChangesNoTexture) {
    std::vector<uint8_t> bytes = dv::WriteLevel(dvtest::SampleLevel());
    bytes.resize(bytes.size() - 10);
    std::ofstream("bad.lev", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    store_.LoadRaw(5001, 2, 2, nullptr, false, 16, false);
    dv::LevelRecord level;
    EXPECT_THROW(dv::LoadLevel(level, "bad.lev", store_), dv::LevelError);
    EXPECT_NE(store_.TextureAt(5001), nullptr);
    try {
        dv::LoadLevel(level, "missing.lev", store_);
        FAIL();
    } catch (const dv::LevelError& e) {
        EXPECT_STREQ(e.what(), "missing.lev: offset 0: cannot open the file");
    }
}

}  // namespace

namespace {

int RunTool(const std::string& args, std::string& out) {
    const std::string cmd = std::string(DV_BINARY_DIR) + "/dvtool " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[4096];
    out.clear();
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LevelInfo, PrintsTheSummaryOrOneErrorLine) {
    const fs::path file = fs::temp_directory_path() / ("dv_level_info_" + std::to_string(::getpid()) + ".lev");
    std::vector<uint8_t> bytes = dv::WriteLevel(dvtest::SampleLevel());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::string out;
    ASSERT_EQ(RunTool("level-info " + file.string(), out), 0) << out;
    EXPECT_NE(out.find("\"startRoom\":0,\"startPosition\":[16,0,16]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"portals\":[{\"target\":1}],\"instances\":1,\"lights\":2"), std::string::npos) << out;
    EXPECT_NE(out.find("\"clipIds\":[10,11]"), std::string::npos) << out;

    bytes[bytes.size() - 40] = 0xFF;  // inside the box list: box count stays, words overrun
    bytes.resize(bytes.size() - 1);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(RunTool("level-info " + file.string(), out), 2);
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    EXPECT_NE(out.find(file.string() + ": offset "), std::string::npos) << out;
    fs::remove(file);
}

}  // namespace
