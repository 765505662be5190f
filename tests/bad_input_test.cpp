// The game binary on a copy of the demo content with one input damaged at a time: it either
// starts or stops with one error line naming the file, never with a crash.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/decode.h"
#include "support/game_run.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBuild = DV_BINARY_DIR;
const char* const kContent[] = {"test.lev", "test_lm0.bmp", "font01.fnx", "title1.jpg", "title2.jpg", "set.txt"};

using namespace dv::test;

void WriteAll(const fs::path& p, const std::string& bytes) { WriteText(p.string(), bytes); }

// The game on the content in `dir` for 400 ms of the virtual clock.
RunResult RunGame(const fs::path& dir, const std::string& extra) {
    return dv::test::RunGame("--headless --step-ms 16 --quit-after 400 --data " + dir.string() + " " + extra +
                             " >/dev/null");
}

struct Damage {
    const char* what;
    const char* file;
    std::function<void(const fs::path&)> apply;
    int status;
    const char* message;  // expected in the single stderr line; empty: no output
};

void Truncate(const fs::path& p, size_t keep) { WriteAll(p, ReadText(p).substr(0, keep)); }

void Patch32(const fs::path& p, size_t at, int32_t value) {
    std::string b = ReadText(p);
    std::memcpy(b.data() + at, &value, 4);
    WriteAll(p, b);
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : kContent) {
            if (!fs::exists(kBuild / f)) GTEST_SKIP() << "the demo content has not been built";
        }
        if (!fs::exists(kBuild / "dedivirede")) GTEST_SKIP() << "the game has not been built";
        dir_ = fs::temp_directory_path() / ("dv_bad_input_" + std::to_string(::getpid()));
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Check(const std::vector<Damage>& cases, const std::string& extra = "") {
        for (const Damage& d : cases) {
            fs::remove_all(dir_);
            fs::create_directories(dir_);
            for (const char* f : kContent) fs::copy_file(kBuild / f, dir_ / f);
            d.apply(dir_ / d.file);
            const RunResult r = RunGame(dir_, extra);
            SCOPED_TRACE(d.what);
            EXPECT_EQ(r.Status, d.status) << r.Stderr;
            if (*d.message == '\0') {
                EXPECT_EQ(r.Stderr, "");
            } else {
                // The first line says what went wrong; only a command-line error adds the usage.
                EXPECT_NE(r.Stderr.substr(0, r.Stderr.find('\n')).find(d.message), std::string::npos) << r.Stderr;
                if (r.Stderr.find("usage:") == std::string::npos) {
                    EXPECT_EQ(std::count(r.Stderr.begin(), r.Stderr.end(), '\n'), 1) << r.Stderr;
                }
            }
        }
    }
    fs::path dir_;
};

// Share of the pixels where the title's three text lines go that have the text colour
// (128, 128, 0), and share of near-black pixels below them.
double ShareWhere(const dv::Image& img, int y0, int y1, int x1, const std::function<bool(const uint8_t*)>& hit) {
    int hits = 0, total = 0;
    for (int y = y0; y < std::min(y1, img.height); ++y) {
        for (int x = 0; x < std::min(x1, img.width); ++x) {
            hits += hit(&img.rgba[(static_cast<size_t>(y) * img.width + x) * 4]) ? 1 : 0;
            ++total;
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(hits) / total;
}
double TextShare(const dv::Image& img) {
    return ShareWhere(img, 0, 60, 300, [](const uint8_t* p) {
        return std::abs(p[0] - 128) <= 40 && std::abs(p[1] - 128) <= 40 && p[2] <= 40;
    });
}
double DarkShare(const dv::Image& img) {
    return ShareWhere(img, 100, 600, 800, [](const uint8_t* p) { return p[0] <= 8 && p[1] <= 8 && p[2] <= 8; });
}

auto Remove() {
    return [](const fs::path& p) { fs::remove(p); };
}
auto Empty() {
    return [](const fs::path& p) { WriteAll(p, ""); };
}
auto Half() {
    return [](const fs::path& p) { Truncate(p, fs::file_size(p) / 2); };
}
auto CopyOf(const char* other) {
    return
        [other](const fs::path& p) { fs::copy_file(p.parent_path() / other, p, fs::copy_options::overwrite_existing); };
}
auto Text(const char* text) {
    return [text](const fs::path& p) { WriteAll(p, text); };
}

}  // namespace

TEST_F(BadInput, LevelFile) {
    Check({
        {"missing", "test.lev", Remove(), 1, "test.lev: offset 0: cannot open the file"},
        {"empty", "test.lev", Empty(), 1, "test.lev: offset 0: file ends inside"},
        {"truncated", "test.lev", Half(), 1, "test.lev: offset "},
        {"wrong type", "test.lev", CopyOf("title1.jpg"), 1, "test.lev: offset "},
        {"oversized texture size", "test.lev", [](const fs::path& p) { Patch32(p, 62, 0x7FFF7FFF); }, 1,
         "need at least"},
    });
}

TEST_F(BadInput, Lightmap) {
    Check({
        {"missing: the level shows unlit", "test_lm0.bmp", Remove(), 0, ""},
        {"empty", "test_lm0.bmp", Empty(), 1, "test_lm0.bmp"},
        {"truncated", "test_lm0.bmp", Half(), 1, "test_lm0.bmp"},
        {"wrong type", "test_lm0.bmp", Text("not a bitmap"), 1, "test_lm0.bmp"},
        {"oversized size", "test_lm0.bmp", [](const fs::path& p) { Patch32(p, 18, 0x40000000); }, 1, "test_lm0.bmp"},
    });
}

TEST_F(BadInput, FontFile) {
    Check({
        {"missing: the game goes on, texts draw nothing", "font01.fnx", Remove(), 0, " not found!"},
        {"empty", "font01.fnx", Empty(), 1, "font01.fnx"},
        {"truncated", "font01.fnx", Half(), 1, "font01.fnx"},
        {"wrong type", "font01.fnx", CopyOf("test.lev"), 1, "font01.fnx"},
    });
}

// Without the font the title picture shows as always, with no text over it.
TEST_F(BadInput, MissingFontTitleShowsWithoutText) {
    fs::create_directories(dir_);
    for (const char* f : kContent) fs::copy_file(kBuild / f, dir_ / f);
    const fs::path withFont = dir_ / "with_font.png", withoutFont = dir_ / "without_font.png";
    ASSERT_EQ(RunGame(dir_, "--screenshot 300:" + withFont.string()).Status, 0);
    fs::remove(dir_ / "font01.fnx");
    const RunResult r = RunGame(dir_, "--screenshot 300:" + withoutFont.string());
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_EQ(r.Stderr, "Error..." + (dir_ / "font01.fnx").string() + " not found!\n");

    dv::Image shot;
    std::string error;
    ASSERT_TRUE(dv::DecodeImageFile(withFont.string(), shot, error)) << error;
    EXPECT_GT(TextShare(shot), 0.02) << "the title text is not where it is looked for";
    ASSERT_TRUE(dv::DecodeImageFile(withoutFont.string(), shot, error)) << error;
    EXPECT_LT(TextShare(shot), 0.002);
    EXPECT_LT(DarkShare(shot), 0.5) << "the title picture is missing";
}

TEST_F(BadInput, TitlePictures) {
    Check({
        {"missing: the text shows on black", "title1.jpg", Remove(), 0, ""},
        {"empty", "title1.jpg", Empty(), 0, ""},
        {"truncated", "title1.jpg", Half(), 0, ""},
        {"wrong type", "title1.jpg", CopyOf("set.txt"), 0, ""},
    });
}

TEST_F(BadInput, SettingsFile) {
    Check({
        {"missing", "set.txt", Remove(), 1, "set.txt: cannot open the settings file"},
        {"empty", "set.txt", Empty(), 1, "set.txt: line 1: missing"},
        {"one line", "set.txt", Text("0.15\n"), 1, "set.txt: line 2: missing"},
        {"wrong number", "set.txt", Text("0.15\nnan\n"), 1, "set.txt: line 2: not a number"},
        {"binary", "set.txt", CopyOf("title1.jpg"), 1, "set.txt: line 1:"},
    });
}

TEST_F(BadInput, ReplayAndCommandLine) {
    Check({{"replay with a bad line", "r.rep", Text("100 down Up\n50 up Up\n"), 2, "r.rep:2: clock 50 is earlier"}},
          "--replay " + (dir_ / "r.rep").string());
    Check({{"replay missing", "r.rep", Remove(), 2, "cannot open the replay file"}},
          "--replay " + (dir_ / "r.rep").string());
    Check({{"trace in a missing folder", "set.txt", [](const fs::path&) {}, 2, "cannot create the trace file"}},
          "--trace /nonexistent/dir/t.csv");
    Check({{"unknown option", "set.txt", [](const fs::path&) {}, 2, "unknown option '--fullscreen'"}}, "--fullscreen");
    Check({{"bad number", "set.txt", [](const fs::path&) {}, 2, "--step-ms: '0x10'"}}, "--step-ms 0x10");
}

// Every output asked for that cannot be written (a full disk: /dev/full) is one line naming
// it, the others are still written, and the run ends with status 1.
TEST_F(BadInput, OutputsThatCannotBeWrittenFailTheRun) {
    fs::create_directories(dir_);
    for (const char* f : kContent) fs::copy_file(kBuild / f, dir_ / f);
    const std::pair<std::string, std::string> outputs[] = {
        {"--trace /dev/full", "/dev/full: cannot write the trace file"},
        {"--stats /dev/full", "/dev/full: cannot write the file: No space left on device"},
        {"--screenshot 300:/dev/full", "/dev/full: writing the PNG failed"},
        {"--audio-out /dev/full", "/dev/full: cannot write the sound file: No space left on device"},
    };
    for (const auto& [option, line] : outputs) {
        const RunResult r = RunGame(dir_, option);
        EXPECT_EQ(r.Status, 1) << option << ": " << r.Stderr;
        const size_t at = r.Stderr.find(line);
        EXPECT_TRUE(at == 0 || (at != std::string::npos && r.Stderr[at - 1] == '\n')) << option << ": " << r.Stderr;
        EXPECT_EQ(r.Stderr.find("/dev/full", at + 1 + line.size()), std::string::npos) << option << ": " << r.Stderr;
    }
    fs::remove(dir_ / "stats.json");
    const RunResult both = RunGame(dir_, "--trace /dev/full --stats " + (dir_ / "stats.json").string());
    EXPECT_EQ(both.Status, 1);
    EXPECT_TRUE(fs::exists(dir_ / "stats.json")) << "a failed trace keeps the statistics from being written";
}

TEST(DataFolder, ARelativeFolderIsFoundAfterTheGameChangesIntoIt) {
    if (!fs::exists(kBuild / "dedivirede") || !fs::exists(kBuild / "test.lev")) GTEST_SKIP() << "not built";
    const std::string cmd = "cd " + kBuild.parent_path().string() + " && " + (kBuild / "dedivirede").string() +
                            " --headless --step-ms 16 --quit-after 300 --data " + kBuild.filename().string() +
                            " 2>/dev/null";
    const int raw = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0);
}
