// The game run as a player would: headless, on the generated demo content, with the
// command-line aids for screenshots, replays, traces and statistics.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

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

// Per-process names: ctest runs tests in parallel processes that share the temporary folder.
std::string Temp(const std::string& name) {
    return ::testing::TempDir() + "dv" + std::to_string(getpid()) + "_" + name;
}

struct RunResult {
    int status = -1;
    std::string stderrText;
};

// Runs the game with `args` (already quoted), capturing stderr.
RunResult RunGame(const std::string& args) {
    const std::string errPath = Temp("stderr.txt");
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

struct TraceRow {
    int clock, action, clip, frame, room;
    float x, y, z, angleY;
};

std::vector<TraceRow> ReadTrace(const std::string& path) {
    std::vector<TraceRow> rows;
    const std::vector<std::string> lines = ReadLines(path);
    for (size_t i = 1; i < lines.size(); ++i) {
        TraceRow r{};
        if (std::sscanf(lines[i].c_str(), "%d,%d,%d,%d,%d,%f,%f,%f,%f", &r.clock, &r.action, &r.clip, &r.frame,
                        &r.room, &r.x, &r.y, &r.z, &r.angleY) == 9)
            rows.push_back(r);
    }
    return rows;
}

// One run on the demo level: the title, standing still, turning left in place, running north
// through the hall's door into the next room, then Escape.
TEST(GameEndToEnd, TitleStandTurnRunIntoTheNextRoomAndEscape) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string title = Temp("e2e_title.png"), game = Temp("e2e_game.png"), run = Temp("e2e_run.png");
    const std::string trace = Temp("e2e_trace.csv"), stats = Temp("e2e_stats.json");
    const std::string replay = Temp("e2e_replay.txt");
    WriteFile(replay,
              "# stand still until 7600, turn left, then run north and quit\n"
              "7600 down Left\n7840 up Left\n7900 down Right\n8140 up Right\n"
              "8400 down Up\n14400 up Up\n14600 down Escape\n");
    const RunResult r = RunGame("--headless --data " + kData + " --step-ms 40 --replay " + replay +
                                " --screenshot 1000:" + title + " --screenshot 7600:" + game + " --screenshot 9600:" +
                                run + " --trace " + trace + " --stats " + stats + " --quit-after 20000");
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
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "clock,action,clip,frame,room,x,y,z,angle_y,cam_mode,eye_x,eye_y,eye_z");
    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_GT(rows.size(), 50u);
    const TraceRow first = rows.front();
    bool turned = false, movedWhileTurning = false, changedRoom = false;
    for (const TraceRow& t : rows) {
        if (t.clock < 7600) {
            EXPECT_EQ(t.x, first.x);  // standing still changes nothing
            EXPECT_EQ(t.z, first.z);
            EXPECT_EQ(t.angleY, first.angleY);
        } else if (t.clock < 8400) {
            turned |= t.angleY != first.angleY;
            movedWhileTurning |= std::abs(t.x - first.x) + std::abs(t.z - first.z) > 0.5f;
        } else {
            changedRoom |= t.room != first.room;
        }
    }
    EXPECT_TRUE(turned);
    EXPECT_FALSE(movedWhileTurning);
    EXPECT_TRUE(changedRoom) << "last row: room " << rows.back().room << " at " << rows.back().x << ", "
                             << rows.back().z;
    EXPECT_LE(rows.back().clock, 14640);  // Escape ended the game at once

    const std::vector<std::string> statsLines = ReadLines(stats);
    ASSERT_EQ(statsLines.size(), 1u);
    EXPECT_NE(statsLines[0].find("\"frames\": "), std::string::npos);
}

// A small level whose exit lies straight ahead: the end trigger shows the closing picture for
// five seconds and the game ends by itself with status 0.
TEST(GameEndToEnd, ExitCellShowsTheClosingPictureAndEnds) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string dir = Temp("e2e_sprint");
    const std::string setup = "rm -rf " + dir + " && mkdir -p " + dir + " && cp " DV_SOURCE_DIR
                              "/tests/data/levels/sprint.txt " + kData + "/level_sources/character.lev " + kData +
                              "/font01.fnx " + kData + "/title1.jpg " + kData + "/title2.jpg " + kData + "/set.txt " +
                              dir + " && " DV_BINARY_DIR "/dvtool build-level " + dir + "/sprint.txt " + dir +
                              "/test.lev";
    ASSERT_EQ(std::system(setup.c_str()), 0);
    const std::string replay = dir + "/up.txt", trace = dir + "/trace.csv", stats = dir + "/stats.json";
    const std::string closing = dir + "/closing.png";
    WriteFile(replay, "7100 down Up\n");
    const RunResult r = RunGame("--headless --data " + dir + " --step-ms 40 --replay " + replay + " --trace " + trace +
                                " --screenshot 12000:" + closing + " --stats " + stats + " --quit-after 30000");
    ASSERT_EQ(r.status, 0) << r.stderrText;

    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_FALSE(rows.empty());
    EXPECT_GE(rows.back().z, 192.0f);  // the last tick stood in the exit row
    dv::Image img;
    std::string error;
    ASSERT_TRUE(dv::DecodeImageFile(closing, img, error)) << error;
    EXPECT_LT(ShareNear(img, 0, 100, 800, 600, 0, 0, 0, 8), 0.5);

    // Ended about five seconds after the trigger, long before --quit-after.
    const std::vector<std::string> statsLines = ReadLines(stats);
    ASSERT_EQ(statsLines.size(), 1u);
    int frames = 0;
    ASSERT_EQ(std::sscanf(statsLines[0].c_str(), "{\"frames\": %d", &frames), 1);
    const int endClock = frames * 40;
    EXPECT_GT(endClock, rows.back().clock + 5000);
    EXPECT_LT(endClock, rows.back().clock + 5400);
}

TEST(GameEndToEnd, EscapeOnTheTitleEndsAtOnce) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string replay = Temp("e2e_escape.txt"), stats = Temp("e2e_escape.json");
    WriteFile(replay, "400 down Escape\n");
    const RunResult r = RunGame("--headless --data " + kData + " --step-ms 40 --replay " + replay + " --stats " + stats +
                                " --quit-after 5000");
    ASSERT_EQ(r.status, 0) << r.stderrText;
    int frames = 0;
    const std::vector<std::string> statsLines = ReadLines(stats);
    ASSERT_EQ(statsLines.size(), 1u);
    ASSERT_EQ(std::sscanf(statsLines[0].c_str(), "{\"frames\": %d", &frames), 1);
    EXPECT_LE(frames, 10);
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
