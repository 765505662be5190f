// The game run as a player would: headless, on the generated demo content, with the
// command-line aids for screenshots, replays, traces and statistics.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/decode.h"

namespace {

const std::string kGame = DV_BINARY_DIR "/dedivirede";
const std::string kData = DV_BINARY_DIR;

struct RunResult {
    int status = -1;
    std::string stderrText;
};

// Runs the game with `args` (already quoted), capturing stderr.
RunResult RunGame(const std::string& args) {
    const std::string errPath = ::testing::TempDir() + "e2e_stderr.txt";
    const std::string command = kGame + " " + args + " 2>" + errPath;
    RunResult r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errPath);
    std::stringstream text;
    text << err.rdbuf();
    r.stderrText = text.str();
    return r;
}

std::string Temp(const std::string& name) { return ::testing::TempDir() + name; }

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Fraction of pixels in the rectangle whose colour is close to (r, g, b).
double ShareNear(const dv::Image& img, int x0, int y0, int x1, int y1, int r, int g, int b, int tolerance) {
    int hits = 0, total = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &img.rgba[(static_cast<size_t>(y) * img.width + x) * 4];
            ++total;
            if (std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance)
                ++hits;
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(hits) / total;
}

bool HasGame() {
    std::ifstream game(kGame), level(kData + "/test.lev");
    return game.good() && level.good();
}

}  // namespace

TEST(GameEndToEnd, TitleThenGameOverlayWithTraceAndStats) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string title = Temp("e2e_title.png"), game = Temp("e2e_game.png");
    const std::string trace = Temp("e2e_trace.csv"), stats = Temp("e2e_stats.json");
    const RunResult r = RunGame("--headless --data " + kData + " --step-ms 40 --screenshot 1000:" + title +
                                " --screenshot 7600:" + game + " --trace " + trace + " --stats " + stats +
                                " --quit-after 7800");
    ASSERT_EQ(r.status, 0) << r.stderrText;

    dv::Image img;
    std::string error;
    ASSERT_TRUE(dv::DecodeImageFile(title, img, error)) << error;
    ASSERT_EQ(img.width, 800);
    ASSERT_EQ(img.height, 600);
    // The three text lines are drawn in (128, 128, 0) from the glyphs' light pixels, over the picture.
    EXPECT_GT(ShareNear(img, 0, 0, 300, 60, 128, 128, 0, 40), 0.02);
    EXPECT_LT(ShareNear(img, 0, 100, 800, 600, 0, 0, 0, 8), 0.5);  // the picture, not black

    ASSERT_TRUE(dv::DecodeImageFile(game, img, error)) << error;
    EXPECT_GT(ShareNear(img, 0, 0, 120, 40, 128, 128, 128, 40), 0.02);  // "800 X 600" and "FPS:"
    EXPECT_LT(ShareNear(img, 0, 60, 800, 600, 0, 0, 0, 8), 0.5);        // the level is drawn

    const std::vector<std::string> lines = ReadLines(trace);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "clock,action,clip,frame,room,x,y,z,angle_y,cam_mode,eye_x,eye_y,eye_z");
    const std::vector<std::string> statsLines = ReadLines(stats);
    ASSERT_EQ(statsLines.size(), 1u);
    EXPECT_NE(statsLines[0].find("\"frames\": "), std::string::npos);
    EXPECT_TRUE(std::remove(title.c_str()) == 0 && std::remove(game.c_str()) == 0);
}

TEST(GameEndToEnd, HoldingUpMovesTheCharacter) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string replay = Temp("e2e_up.txt"), trace = Temp("e2e_up.csv");
    WriteFile(replay, "# run forward once the game has started\n7200 down Up\n9000 up Up\n");
    const RunResult r = RunGame("--headless --data " + kData + " --step-ms 40 --replay " + replay + " --trace " +
                                trace + " --quit-after 9500");
    ASSERT_EQ(r.status, 0) << r.stderrText;
    const std::vector<std::string> lines = ReadLines(trace);
    ASSERT_GT(lines.size(), 20u);
    float x0, z0, x1, z1;
    int clock;
    ASSERT_EQ(std::sscanf(lines[1].c_str(), "%d,%*d,%*d,%*d,%*d,%f,%*f,%f", &clock, &x0, &z0), 3);
    ASSERT_EQ(std::sscanf(lines.back().c_str(), "%d,%*d,%*d,%*d,%*d,%f,%*f,%f", &clock, &x1, &z1), 3);
    EXPECT_GT(std::abs(x1 - x0) + std::abs(z1 - z0), 20.0f) << lines[1] << "\n" << lines.back();
}

TEST(GameEndToEnd, BadInputStopsBeforeTheGameStarts) {
    if (!HasGame()) GTEST_SKIP() << "the game is not built";
    RunResult r = RunGame("--frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.stderrText.find("unknown option '--frobnicate'"), std::string::npos) << r.stderrText;
    EXPECT_NE(r.stderrText.find("usage:"), std::string::npos);

    const std::string replay = Temp("e2e_bad_replay.txt");
    WriteFile(replay, "100 down Up\n200 sideways Up\n");
    r = RunGame("--headless --data " + kData + " --replay " + replay);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.stderrText.find(replay + ":2: 'sideways'"), std::string::npos) << r.stderrText;

    // A data folder with the settings but without the level: the load failure is fatal and
    // names the file.
    const std::string dir = Temp("e2e_no_level");
    ASSERT_EQ(std::system(("mkdir -p " + dir + " && cp " + kData + "/set.txt " + dir).c_str()), 0);
    r = RunGame("--headless --data " + dir + " --step-ms 16 --quit-after 100");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.stderrText.find("test.lev"), std::string::npos) << r.stderrText;
}

TEST(GameEndToEnd, HelpAndVersion) {
    if (!HasGame()) GTEST_SKIP() << "the game is not built";
    EXPECT_EQ(RunGame("--help").status, 0);
    EXPECT_EQ(RunGame("--version").status, 0);
}
