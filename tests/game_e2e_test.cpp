// The game run as a player would: headless, on the generated demo content, with the
// command-line aids for screenshots, replays, traces and statistics.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "character/actions_and_clips.h"
#include "imaging/decode.h"
#include "motion/follow_camera.h"
#include "support/game_run.h"
#include "support/sound_record.h"
#include "world/level_sounds.h"

namespace {

using namespace dv::test;

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

// A data folder with the build's content but no levels.txt, so the game is the one level
// test.lev: a replay that reaches its exit ends with the closing picture.
std::string DataWithoutLevelList() {
    namespace fs = std::filesystem;
    const fs::path dir = TempPath("data_one_level");
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const fs::directory_entry& entry : fs::directory_iterator(kData)) {
        if (entry.path().filename() != "levels.txt") fs::create_symlink(entry.path(), dir / entry.path().filename());
    }
    return dir.string();
}

// The frame count of a --stats file, whose one line begins {"frames": N; false when it does not.
bool ReadStatsFrames(const std::string& path, int& frames) {
    const std::vector<std::string> lines = ReadLines(path);
    return lines.size() == 1 && std::sscanf(lines[0].c_str(), "{\"frames\": %d", &frames) == 1;
}

}  // namespace

// The number a trace writes for an action or a clip.
template <class E>
int Number(E e) {
    return static_cast<int>(e);
}

struct TraceRow {
    int clock, action, clip, frame, room;
    float x, y, z, angleY;
};

std::vector<TraceRow> ReadTrace(const std::string& path) {
    std::vector<TraceRow> rows;
    const std::vector<std::string> lines = ReadLines(path);
    for (size_t i = 1; i < lines.size(); ++i) {
        TraceRow r{};
        if (std::sscanf(lines[i].c_str(), "%d,%d,%d,%d,%d,%f,%f,%f,%f", &r.clock, &r.action, &r.clip, &r.frame, &r.room,
                        &r.x, &r.y, &r.z, &r.angleY) == 9)
            rows.push_back(r);
    }
    return rows;
}

// One run on the demo level: the title, standing still, turning left in place, running north
// through the hall's door into the next room, then Escape.
TEST(GameEndToEnd, TitleStandTurnRunIntoTheNextRoomAndEscape) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string title = TempPath("e2e_title.png"), game = TempPath("e2e_game.png"), run = TempPath("e2e_run.png");
    const std::string trace = TempPath("e2e_trace.csv"), stats = TempPath("e2e_stats.json");
    const std::string replay = TempPath("e2e_replay.txt");
    WriteText(replay,
              "# stand still until 7600, turn left, then run north and quit\n"
              "7600 down Left\n7840 up Left\n7900 down Right\n8140 up Right\n"
              "8400 down Up\n14400 up Up\n14600 down Escape\n");
    const RunResult r =
        RunGame("--headless --data " + kData + " --step-ms 40 --replay " + replay + " --screenshot 1000:" + title +
                " --screenshot 7600:" + game + " --screenshot 9600:" + run + " --trace " + trace + " --stats " + stats +
                " --quit-after 20000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;

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

    int frames = 0;
    EXPECT_TRUE(ReadStatsFrames(stats, frames)) << stats;
}

// Free look (Insert) entered while running holds the character; after it ends the run
// goes on from where it stopped, with no leap for the seconds it was held.
TEST(GameEndToEnd, FreeLookWhileRunningHoldsTheCharacterWithoutALeapAfter) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string trace = TempPath("e2e_look.csv"), replay = TempPath("e2e_look.txt");
    WriteText(replay,
              "7160 down Up\n7900 down Insert\n7960 up Insert\n10400 down Insert\n10440 up Insert\n"
              "12000 up Up\n13000 down Escape\n");
    const RunResult r = RunGame("--headless --data " + kData + " --step-ms 40 --replay " + replay + " --trace " +
                                trace + " --quit-after 20000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    const std::vector<std::string> lines = ReadLines(trace);
    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_EQ(rows.size() + 1, lines.size());
    int lookTicks = 0;
    float longestStep = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        int mode = -1;
        std::sscanf(lines[i + 1].c_str(), "%*d,%*d,%*d,%*d,%*d,%*f,%*f,%*f,%*f,%d", &mode);
        if (mode == static_cast<int>(dv::CameraMode::FreeLook)) ++lookTicks;
        longestStep = std::max(longestStep, std::hypot(rows[i].x - rows[i - 1].x, rows[i].z - rows[i - 1].z));
    }
    EXPECT_GT(lookTicks, 50);                           // about 2.5 s of free look
    EXPECT_LT(longestStep, 4.0f);                       // a run moves 2.64 units a tick
    EXPECT_GT(rows.back().z - rows.front().z, 100.0f);  // and it ran on after the look
}

// Players press keys while the title is still up. Up held from 5000 ms: the first game ticks
// move the character no further than ordinary running ticks do, not seven seconds' worth.
TEST(GameEndToEnd, KeyHeldDuringTheTitleGivesNoLeapOnTheFirstTicks) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string trace = TempPath("e2e_early.csv"), replay = TempPath("e2e_early.txt");
    WriteText(replay, "5000 down Up\n9000 up Up\n");
    const RunResult r = RunGame("--headless --data " + kData + " --step-ms 40 --replay " + replay + " --trace " +
                                trace + " --quit-after 9000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_GT(rows.size(), 30u);
    float longestStep = 0;
    for (size_t i = 1; i < rows.size(); ++i)
        longestStep = std::max(longestStep, std::hypot(rows[i].x - rows[i - 1].x, rows[i].z - rows[i - 1].z));
    EXPECT_LT(longestStep, 0.066f * 40 + 0.01f);  // a running tick at 40 ms: 2.64 units
    EXPECT_GT(rows.back().z - rows.front().z, 50.0f) << "it should be running by now";
    EXPECT_EQ(rows.front().z, 80.0f);  // the first tick starts the run where the level starts it
}

// A small level whose exit lies straight ahead: the end trigger shows the closing picture for
// five seconds and the game ends by itself with status 0.
TEST(GameEndToEnd, ExitCellShowsTheClosingPictureAndEnds) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string dir = TempPath("e2e_sprint");
    const std::string setup = "rm -rf " + dir + " && mkdir -p " + dir +
                              " && cp " DV_SOURCE_DIR "/tests/data/levels/sprint.txt " + kData +
                              "/level_sources/character.lev " + kData + "/font01.fnx " + kData + "/title1.jpg " +
                              kData + "/title2.jpg " + kData + "/set.txt " + dir +
                              " && " DV_BINARY_DIR "/dvtool build-level " + dir + "/sprint.txt " + dir + "/test.lev";
    ASSERT_EQ(std::system(setup.c_str()), 0);
    const std::string replay = dir + "/up.txt", trace = dir + "/trace.csv", stats = dir + "/stats.json";
    const std::string closing = dir + "/closing.png";
    WriteText(replay, "7100 down Up\n");
    const RunResult r = RunGame("--headless --data " + dir + " --step-ms 40 --replay " + replay + " --trace " + trace +
                                " --screenshot 12000:" + closing + " --stats " + stats + " --quit-after 30000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;

    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_FALSE(rows.empty());
    EXPECT_GE(rows.back().z, 192.0f);  // the last tick stood in the exit row
    dv::Image img;
    std::string error;
    ASSERT_TRUE(dv::DecodeImageFile(closing, img, error)) << error;
    EXPECT_LT(ShareNear(img, 0, 100, 800, 600, 0, 0, 0, 8), 0.5);

    // Ended about five seconds after the trigger, long before --quit-after.
    int frames = 0;
    ASSERT_TRUE(ReadStatsFrames(stats, frames)) << stats;
    const int endClock = frames * 40;
    EXPECT_GT(endClock, rows.back().clock + 5000);
    EXPECT_LT(endClock, rows.back().clock + 5400);
}

// A level list of two sprints (the small level above, built twice): the first exit shows the
// second level's card with its name, the second level starts where its level starts it with
// Up still held, and its exit shows the closing picture, which ends the game. A list that
// names a missing or damaged level stops at start-up with one line naming the list's line.
// A data folder `dir` with the sprint level built twice, as first.lev and second.lev, listed in
// that order, and a card picture.
void MakeTwoSprints(const std::string& dir) {
    const std::string setup =
        "rm -rf " + dir + " && mkdir -p " + dir + " && cd " + dir +
        " && cp " DV_SOURCE_DIR "/tests/data/levels/sprint.txt " + kData + "/level_sources/character.lev " + kData +
        "/font01.fnx " + kData + "/title1.jpg " + kData + "/title2.jpg " + kData +
        "/set.txt . && " DV_BINARY_DIR "/dvtool build-level sprint.txt first.lev >/dev/null && " +
        DV_BINARY_DIR "/dvtool build-level sprint.txt second.lev >/dev/null && cp title1.jpg card.jpg";
    ASSERT_EQ(std::system(setup.c_str()), 0);
    WriteText(dir + "/levels.txt",
              "# two sprints\nlevel first.lev card.jpg First Sprint\n"
              "level second.lev card.jpg The Second Sprint\n");
}

// The index of the first trace row of the second sprint: where z jumps back to the start.
size_t SecondLevelStart(const std::vector<TraceRow>& rows) {
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].z < rows[i - 1].z - 100) return i;
    }
    return 0;
}

TEST(GameEndToEnd, LevelListCardThenTheNextLevelThenTheClosingPicture) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string dir = TempPath("e2e_levels");
    MakeTwoSprints(dir);
    const std::string replay = dir + "/up.txt", trace = dir + "/trace.csv", card = dir + "/card.png";
    const std::string second = dir + "/second.png", closing = dir + "/closing.png";
    WriteText(replay, "7100 down Up\n");
    const RunResult r = RunGame("--headless --data " + dir + " --step-ms 40 --replay " + replay + " --trace " + trace +
                                " --screenshot 11000:" + card + " --screenshot 14500:" + second +
                                " --screenshot 18000:" + closing + " --quit-after 40000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;

    // The trace runs to the first exit, pauses for the card, and starts again at the start.
    const std::vector<TraceRow> rows = ReadTrace(trace);
    const size_t restart = SecondLevelStart(rows);
    ASSERT_GT(restart, 0u) << "the second level never started";
    EXPECT_GE(rows[restart - 1].z, 192.0f);
    EXPECT_EQ(rows[restart].z, rows.front().z);
    EXPECT_GE(rows[restart].clock - rows[restart - 1].clock, 4000);  // the card's four seconds
    EXPECT_LE(rows[restart].clock - rows[restart - 1].clock, 4200);
    EXPECT_GE(rows.back().z, 192.0f);

    dv::Image img;
    std::string error;
    ASSERT_TRUE(dv::DecodeImageFile(card, img, error)) << error;
    EXPECT_GT(ShareNear(img, 200, 515, 600, 555, 255, 255, 255, 40), 0.05) << "the level's name under the picture";
    EXPECT_LT(ShareNear(img, 0, 0, 800, 500, 0, 0, 0, 8), 0.3) << "the card's picture";
    ASSERT_TRUE(dv::DecodeImageFile(second, img, error)) << error;
    EXPECT_LT(ShareNear(img, 0, 60, 800, 600, 0, 0, 0, 8), 0.5) << "the second level is drawn";
    ASSERT_TRUE(dv::DecodeImageFile(closing, img, error)) << error;
    EXPECT_LT(ShareNear(img, 0, 100, 800, 600, 0, 0, 0, 8), 0.5) << "the closing picture";

    std::filesystem::remove(dir + "/second.lev");
    RunResult bad = RunGame("--headless --data " + dir + " --quit-after 100");
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Stderr.find(dir + "/levels.txt:3: " + dir + "/second.lev: cannot read the level file"),
              std::string::npos)
        << bad.Stderr;
    WriteText(dir + "/second.lev", "DV");
    bad = RunGame("--headless --data " + dir + " --quit-after 100");
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Stderr.find(dir + "/levels.txt:3: "), std::string::npos) << bad.Stderr;
    EXPECT_EQ(std::count(bad.Stderr.begin(), bad.Stderr.end(), '\n'), 1) << bad.Stderr;
}

// A replay per level: the second sprint, played after the first with its own replay, goes
// tick for tick as it goes when it is the only level (the clocks shifted by when its play
// began), although the first replay still held Up at the first exit.
TEST(GameEndToEnd, EachLevelsReplayPlaysItsLevelAsItPlaysItAlone) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string dir = TempPath("e2e_chain");
    MakeTwoSprints(dir);
    const std::string first = dir + "/first.replay", second = dir + "/second.replay";
    WriteText(first, "7100 down Up\n");
    WriteText(second, "7240 down Up\n");
    const std::string chained = dir + "/chained.csv", alone = dir + "/alone.csv";
    RunResult r = RunGame("--headless --mute --data " + dir + " --step-ms 40 --replay " + first + " --replay " +
                          second + " --trace " + chained + " --quit-after 60000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    WriteText(dir + "/levels.txt", "level second.lev card.jpg The Second Sprint\n");
    r = RunGame("--headless --mute --data " + dir + " --step-ms 40 --replay " + second + " --trace " + alone +
                " --quit-after 60000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;

    const std::vector<TraceRow> both = ReadTrace(chained), solo = ReadTrace(alone);
    const size_t start = SecondLevelStart(both);
    ASSERT_GT(start, 0u) << "the second level never started";
    ASSERT_EQ(both.size() - start, solo.size());
    const int shift = both[start].clock - solo[0].clock;
    EXPECT_EQ(shift % 40, 0);
    for (size_t i = 0; i < solo.size(); ++i) {
        const TraceRow &a = both[start + i], &b = solo[i];
        ASSERT_TRUE(a.clock - shift == b.clock && a.action == b.action && a.clip == b.clip && a.frame == b.frame &&
                    a.x == b.x && a.y == b.y && a.z == b.z && a.angleY == b.angleY)
            << "tick " << i << " of the second level: (" << a.x << ", " << a.z << ") chained, (" << b.x << ", " << b.z
            << ") alone";
    }
    EXPECT_EQ(both[start + 1].action, Number(dv::CharacterAction::Idle)) << "Up held over from the first level";
}

// The sound of the whole course, from its offline record and the trace: every footfall is
// heard within a tick of its frame, the landing after the ramp's 24-unit fall is louder than
// the footsteps, the lava's rumble fills the cellar and not the first hall.
void CheckCourseSound(const std::string& path, const std::vector<TraceRow>& rows) {
    dv::test::SoundRecord rec;
    std::string error;
    ASSERT_TRUE(dv::test::LoadSoundRecord(path, rec, error)) << error;
    dv::LevelSounds level;
    ASSERT_TRUE(dv::LoadLevelSoundsFile(kData + "/test.snd", level, error)) << error;

    int footfalls = 0, heard = 0;
    std::vector<double> stepPeaks;
    std::string missed;
    for (size_t i = 1; i < rows.size(); ++i) {
        const TraceRow &before = rows[i - 1], &t = rows[i];
        const dv::ClipFootfalls* f = level.FootfallsOf(t.clip);
        if (f == nullptr || t.clip != before.clip || t.frame == before.frame) continue;
        using A = dv::CharacterAction;
        bool inTheAir = false;  // the run clip plays on off an edge, without steps
        for (A a : {A::Fall, A::AwaitTransition, A::RunJumpTakeoff, A::RunJumpAir, A::RunJumpFall})
            inTheAir |= t.action == Number(a);
        if (inTheAir) continue;
        for (int ff : f->Frames) {
            const bool crossed =
                before.frame <= t.frame ? ff > before.frame && ff <= t.frame : ff > before.frame || ff <= t.frame;
            if (!crossed) continue;
            ++footfalls;
            if (rec.OnsetBetween(t.clock - 40, t.clock + 40)) ++heard;
            else missed += " " + std::to_string(t.clock);
            if (t.clip == Number(dv::CharacterClip::Run)) stepPeaks.push_back(rec.PeakRms(t.clock, t.clock + 120));
        }
    }
    ASSERT_GT(footfalls, 100);
    EXPECT_GE(heard, footfalls * 95 / 100) << heard << " of " << footfalls << " footfalls heard; missed at" << missed;

    // The landing after running off the ramp's 24-unit ledge: the run goes on from it.
    int landingClock = -1;
    for (size_t i = 1; i < rows.size() && landingClock < 0; ++i) {
        if (rows[i].action == Number(dv::CharacterAction::LandRun) && rows[i].room == 1) landingClock = rows[i].clock;
    }
    ASSERT_GT(landingClock, 0);
    ASSERT_FALSE(stepPeaks.empty());
    std::sort(stepPeaks.begin(), stepPeaks.end());
    const double landing = rec.PeakRms(landingClock - 40, landingClock + 200);
    const double step = stepPeaks[stepPeaks.size() / 2];
    EXPECT_GT(landing, 1.5 * step) << "landing " << landing << ", a running step " << step;

    // Low rumble: the cellar (room 5) against the first hall (room 0), standing still or not.
    double cellar = 0, hall = 0;
    int cellarTicks = 0, hallTicks = 0;
    for (const TraceRow& t : rows) {
        if (t.clock < 7500) continue;
        const double low = rec.LowBandRms(t.clock, t.clock + 40, 40);
        if (t.room == 5) cellar += low, ++cellarTicks;
        if (t.room == 0) hall += low, ++hallTicks;
    }
    ASSERT_GT(cellarTicks, 10);
    ASSERT_GT(hallTicks, 10);
    cellar /= cellarTicks;
    hall /= hallTicks;
    EXPECT_GT(cellar, 4 * hall) << "below 40 Hz in the cellar " << cellar << ", in the hall " << hall;
}

// Mean absolute difference of two equally sized pictures over the rows from y0 down, 0..1.
double MeanDifference(const dv::Image& a, const dv::Image& b, int y0) {
    if (a.width != b.width || a.height != b.height || y0 >= a.height) return 1.0;
    double sum = 0.0;
    for (size_t i = static_cast<size_t>(y0) * a.width * 4; i < a.rgba.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) sum += std::abs(a.rgba[i + c] - b.rgba[i + c]);
    }
    return sum / (255.0 * 3.0 * a.width * (a.height - y0));
}

// The whole demo course played from a recorded replay: every room in order, the running jump,
// the hang, shimmy and climbs, the turn and grab at the landing's hole, the climbs out of the
// cellar, and the exit, after which the closing picture ends the game by itself. The replay was
// recorded with one 40 ms tick per idle event: the largest step at which no clip frame is
// skipped (the actions wait for particular frames, and every frame lasts at least 40 ms), so
// the fewest frames to render, about 2340 for the 93.5 s of game time.
TEST(GameEndToEnd, WholeCourseFromTheStartToTheClosingPicture) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string replay = DV_SOURCE_DIR "/tests/data/replays/course.replay";
    const std::string running = TempPath("course_running.png"), hanging = TempPath("course_hanging.png");
    const std::string closing = TempPath("course_closing.png"), trace = TempPath("course_trace.csv");
    const std::string stats = TempPath("course_stats.json"), sound = TempPath("course_sound.wav");
    const int runningAt = 9400, hangingAt = 29600, closingAt = 91000, fence = 120000;
    const RunResult r = RunGame(
        "--headless --data " + DataWithoutLevelList() + " --step-ms 40 --replay " + replay + " --trace " + trace +
        " --audio-out " + sound + " --screenshot " + std::to_string(runningAt) + ":" + running + " --screenshot " +
        std::to_string(hangingAt) + ":" + hanging + " --screenshot " + std::to_string(closingAt) + ":" + closing +
        " --stats " + stats + " --quit-after " + std::to_string(fence));
    ASSERT_EQ(r.Status, 0) << r.Stderr;

    // Every tick as recorded: a change of behaviour anywhere along the course shows here first.
    // After an intended change, look at the differences and copy the new trace over the record.
    const std::string recorded = DV_SOURCE_DIR "/tests/data/replays/course.trace.csv";
    const std::vector<std::string> got = ReadLines(trace), want = ReadLines(recorded);
    ASSERT_FALSE(want.empty()) << recorded;
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        ASSERT_EQ(got[i], want[i]) << "line " << i + 1 << " of the trace differs from " << recorded;
    EXPECT_EQ(got.size(), want.size());

    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_GT(rows.size(), 1000u);
    // Rooms in the order they are first entered: hall, ramp, chasm, climbs, landing, cellar,
    // tower, gallery, sanctum.
    std::vector<int> firstVisits;
    std::vector<bool> actions(dv::kActionCount, false);
    bool hung = false;
    for (const TraceRow& t : rows) {
        if (std::find(firstVisits.begin(), firstVisits.end(), t.room) == firstVisits.end())
            firstVisits.push_back(t.room);
        if (t.action >= 0 && t.action < dv::kActionCount) actions[static_cast<size_t>(t.action)] = true;
        hung |= t.action == Number(dv::CharacterAction::Hang) && t.clip == Number(dv::CharacterClip::Hang);
        if (t.clock == runningAt) {
            EXPECT_EQ(t.action, Number(dv::CharacterAction::Run)) << "not running at the first screenshot";
            EXPECT_EQ(t.room, 0);
        }
        if (t.clock == hangingAt) {
            EXPECT_EQ(t.action, Number(dv::CharacterAction::Hang)) << "not hanging at the second screenshot";
        }
    }
    EXPECT_EQ(firstVisits, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(hung);
    // Running jump, shimmy, climb from the hang, the four climbs, turn and grab, high hang,
    // letting go.
    using A = dv::CharacterAction;
    for (A a : {A::RunJumpAir, A::ShimmyRight, A::ClimbFromHang, A::ClimbLow, A::ClimbMid, A::ClimbHigh, A::ClimbTop,
                A::TurnAndGrab, A::HighHang, A::HangFall})
        EXPECT_TRUE(actions[static_cast<size_t>(a)]) << dv::ActionName(a);

    // The last tick stands on the sanctum's exit cells (x 576..640, z 2176..2208).
    const TraceRow& last = rows.back();
    EXPECT_EQ(last.room, 8);
    EXPECT_GE(last.x, 576.0f);
    EXPECT_LE(last.x, 640.0f);
    EXPECT_GE(last.z, 2176.0f);
    EXPECT_LE(last.z, 2208.0f);
    EXPECT_LT(last.clock, closingAt - 1000);

    // The game ended by itself about five seconds after the exit, long before the fence.
    int frames = 0;
    ASSERT_TRUE(ReadStatsFrames(stats, frames)) << stats;
    const int endClock = frames * 40;
    EXPECT_GT(endClock, last.clock + 5000);
    EXPECT_LT(endClock, last.clock + 5400);

    dv::Image img, picture;
    std::string error;
    for (const std::string& shot : {running, hanging}) {
        ASSERT_TRUE(dv::DecodeImageFile(shot, img, error)) << error;
        EXPECT_GT(ShareNear(img, 0, 0, 120, 40, 128, 128, 128, 40), 0.02) << shot << ": no game overlay";
        EXPECT_LT(ShareNear(img, 0, 60, 800, 600, 0, 0, 0, 8), 0.3) << shot << ": the level is not drawn";
    }
    // The closing picture is title2.jpg drawn over the whole window, with the title's text lines.
    ASSERT_TRUE(dv::DecodeImageFile(closing, img, error)) << error;
    EXPECT_GT(ShareNear(img, 0, 0, 300, 60, 128, 128, 0, 40), 0.02);
    ASSERT_TRUE(dv::DecodeImageFile(kData + "/title2.jpg", picture, error)) << error;
    EXPECT_LT(MeanDifference(img, picture, 60), 0.06);
    ASSERT_TRUE(dv::DecodeImageFile(kData + "/title1.jpg", picture, error)) << error;
    EXPECT_GT(MeanDifference(img, picture, 60), 0.12) << "the title picture, not the closing one";

    CheckCourseSound(sound, rows);
}

// What a level's part of the adventure must show: the rooms in the order they are first
// entered, the moves its route needs and the exit's cells in its last room (world units).
struct LevelRoute {
    std::string Name;
    std::vector<int> RoomOrder;
    std::vector<dv::CharacterAction> Moves;
    float ExitMinX, ExitMaxX, ExitMinZ, ExitMaxZ;
};

// One level's ticks: every room in order, the moves, the exit reached, and three to five
// minutes of play for a player who knows the way.
void CheckLevelRun(const std::vector<TraceRow>& rows, const LevelRoute& route) {
    ASSERT_GT(rows.size(), 1000u) << route.Name;
    std::vector<int> firstVisits;
    std::vector<bool> actions(dv::kActionCount, false);
    for (const TraceRow& t : rows) {
        if (std::find(firstVisits.begin(), firstVisits.end(), t.room) == firstVisits.end())
            firstVisits.push_back(t.room);
        if (t.action >= 0 && t.action < dv::kActionCount) actions[static_cast<size_t>(t.action)] = true;
    }
    EXPECT_EQ(firstVisits, route.RoomOrder) << route.Name;
    for (const dv::CharacterAction a : route.Moves)
        EXPECT_TRUE(actions[static_cast<size_t>(a)]) << route.Name << ": " << dv::ActionName(a);
    const TraceRow& last = rows.back();
    EXPECT_EQ(last.room, route.RoomOrder.back()) << route.Name;
    EXPECT_TRUE(last.x >= route.ExitMinX && last.x <= route.ExitMaxX && last.z >= route.ExitMinZ &&
                last.z <= route.ExitMaxZ)
        << route.Name << ": the last tick at (" << last.x << ", " << last.z << ") is not on the exit";
    const int played = last.clock - rows.front().clock;
    EXPECT_GE(played, 180000) << route.Name << ": shorter than three minutes of play";
    EXPECT_LE(played, 300000) << route.Name << ": longer than five minutes of play";
}

// The whole adventure as the build ships it: the course, the cistern and the tower, each
// played by its own replay (the cistern's and the tower's recorded on a one-level list), in a
// 400 x 320 window (the trace does not depend on the window's size; small frames render
// fast). The course goes tick for tick as its record; each exit but the last shows the next
// level's card, with its name, for four seconds; the last shows the closing picture, which
// ends the game five seconds later.
TEST(GameEndToEnd, WholeAdventureThroughTheThreeLevelsToTheClosingPicture) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string replays = DV_SOURCE_DIR "/tests/data/replays/";
    const std::string config = TempPath("adventure_config"), trace = TempPath("adventure_trace.csv");
    const std::string stats = TempPath("adventure_stats.json");
    std::filesystem::create_directories(config);
    WriteText(config + "/settings.ini", "window_width = 400\nwindow_height = 320\n");
    // Clocks of the recorded runs: the cistern's card, the cistern, the tower's card, the tower.
    const std::vector<int> shotsAt = {90000, 150000, 295000, 400000};
    std::string shots;
    for (const int at : shotsAt)
        shots += " --screenshot " + std::to_string(at) + ":" + TempPath("adventure_" + std::to_string(at) + ".png");
    const RunResult r =
        RunGame("--headless --mute --data " + kData + " --config " + config + " --step-ms 40 --replay " + replays +
                "course.replay --replay " + replays + "cistern.replay --replay " + replays + "tower.replay --trace " +
                trace + " --stats " + stats + shots + " --quit-after 700000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;

    // The trace split where it pauses for a card.
    std::vector<std::vector<TraceRow>> levels(1);
    const std::vector<TraceRow> rows = ReadTrace(trace);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0 && rows[i].clock - rows[i - 1].clock >= 4000) levels.emplace_back();
        levels.back().push_back(rows[i]);
    }
    ASSERT_EQ(levels.size(), 3u);
    const std::vector<std::string> course = ReadLines(replays + "course.trace.csv");
    const std::vector<std::string> lines = ReadLines(trace);
    ASSERT_EQ(levels[0].size() + 1, course.size());
    for (size_t i = 0; i < course.size(); ++i) ASSERT_EQ(lines[i], course[i]) << "line " << i + 1 << " of the course";
    for (size_t k = 1; k < 3; ++k) {
        const int pause = levels[k].front().clock - levels[k - 1].back().clock;
        EXPECT_TRUE(pause >= 4000 && pause <= 4200) << "the card before level " << k << " lasted " << pause << " ms";
    }
    using A = dv::CharacterAction;
    CheckLevelRun(levels[1], {"the cistern",
                              {0, 1, 2, 3, 4},
                              {A::RunJumpAir, A::ShimmyLeft, A::ShimmyRight, A::ClimbFromHang, A::ClimbLow, A::ClimbMid,
                               A::ClimbHigh, A::ClimbTop, A::TurnAndGrab, A::Walk},
                              1632,
                              1696,
                              -896,
                              -800});
    CheckLevelRun(levels[2], {"the tower",
                              {0, 1, 2, 3, 4, 5},
                              {A::RunJumpAir, A::JumpUp, A::GrabLedge, A::ShimmyLeft, A::ClimbFromHang, A::ClimbLow,
                               A::ClimbMid, A::ClimbHigh, A::ClimbTop, A::TurnAndGrab, A::Walk},
                              -64,
                              -32,
                              -192,
                              -160});

    int frames = 0;
    ASSERT_TRUE(ReadStatsFrames(stats, frames)) << stats;
    const int end = frames * 40, lastTick = levels[2].back().clock;
    EXPECT_TRUE(end > lastTick + 5000 && end < lastTick + 5400) << "the closing picture, then the end, at " << end;

    // The cards show the name in white near their foot; the levels are drawn.
    for (const int at : shotsAt) {
        dv::Image img;
        std::string error;
        ASSERT_TRUE(dv::DecodeImageFile(TempPath("adventure_" + std::to_string(at) + ".png"), img, error)) << error;
        EXPECT_LT(ShareNear(img, 0, 40, img.width, img.height, 0, 0, 0, 8), 0.5) << "at " << at << ": a black frame";
        if (at == shotsAt[0] || at == shotsAt[2]) {
            EXPECT_GT(ShareNear(img, 0, img.height * 3 / 4, img.width, img.height, 255, 255, 255, 40), 0.005)
                << "at " << at << ": no name on the card";
        }
    }
}

TEST(GameEndToEnd, EscapeOnTheTitleEndsAtOnce) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string replay = TempPath("e2e_escape.txt"), stats = TempPath("e2e_escape.json");
    WriteText(replay, "400 down Escape\n");
    const RunResult r = RunGame("--headless --data " + kData + " --step-ms 40 --replay " + replay + " --stats " +
                                stats + " --quit-after 5000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    int frames = 0;
    ASSERT_TRUE(ReadStatsFrames(stats, frames)) << stats;
    EXPECT_LE(frames, 10);
}

TEST(GameEndToEnd, BadInputStopsBeforeTheGameStarts) {
    if (!GameBuilt()) GTEST_SKIP() << "the game is not built";
    RunResult r = RunGame("--frobnicate");
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Stderr.find("unknown option '--frobnicate'"), std::string::npos) << r.Stderr;
    EXPECT_NE(r.Stderr.find("usage:"), std::string::npos);

    const std::string replay = TempPath("e2e_bad_replay.txt");
    WriteText(replay, "100 down Up\n200 sideways Up\n");
    r = RunGame("--headless --data " + kData + " --replay " + replay);
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Stderr.find(replay + ":2: 'sideways'"), std::string::npos) << r.Stderr;

    // A data folder with the settings but without the level: the load failure is fatal and
    // names the file.
    const std::string dir = TempPath("e2e_no_level");
    ASSERT_EQ(std::system(("mkdir -p " + dir + " && cp " + kData + "/set.txt " + dir).c_str()), 0);
    r = RunGame("--headless --data " + dir + " --step-ms 16 --quit-after 100");
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Stderr.find("test.lev"), std::string::npos) << r.Stderr;
}

TEST(GameEndToEnd, HelpAndVersion) {
    if (!GameBuilt()) GTEST_SKIP() << "the game is not built";
    EXPECT_EQ(RunGame("--help").Status, 0);
    EXPECT_EQ(RunGame("--version").Status, 0);
}

// Started as the README's play command starts it: from the checkout root by the build's
// relative path, without --data; and by its full path from an unrelated folder. Both find
// every data file beside the executable, reach the game and draw what a --data run draws.
TEST(GameEndToEnd, StartedWithoutDataFromTheCheckoutAndFromElsewhere) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::filesystem::path checkout = DV_SOURCE_DIR;
    const std::string relativeGame = std::filesystem::path(kGame).lexically_relative(checkout).string();
    const std::string elsewhere = TempPath("elsewhere");
    std::filesystem::create_directories(elsewhere);
    const std::string run = " --headless --step-ms 40 --quit-after 7800 --screenshot 7600:";
    const std::string reference = TempPath("with_data.png");
    ASSERT_EQ(RunGame("--data " + kData + run + reference).Status, 0);
    dv::Image expected, img;
    std::string error;
    ASSERT_TRUE(dv::DecodeImageFile(reference, expected, error)) << error;

    struct Start {
        const char* what;
        std::string command;
    };
    const Start starts[] = {
        {"./build/dedivirede from the checkout", "cd " + checkout.string() + " && ./" + relativeGame},
        {"the full path from another folder", "cd " + elsewhere + " && " + kGame},
    };
    for (const Start& s : starts) {
        SCOPED_TRACE(s.what);
        const std::string shot = TempPath("started.png");
        std::filesystem::remove(shot);
        const RunResult r = RunCommand(s.command + run + shot);
        ASSERT_EQ(r.Status, 0) << r.Stderr;
        EXPECT_EQ(r.Stderr, "");
        ASSERT_TRUE(dv::DecodeImageFile(shot, img, error)) << error;
        EXPECT_GT(ShareNear(img, 0, 0, 120, 40, 128, 128, 128, 40), 0.02);  // the game's overlay text
        EXPECT_LT(MeanDifference(img, expected, 0), 0.01) << "not the frame a --data run draws";
    }
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere)) << "the game wrote into the folder it was started from";
}

// Without a display and without --headless the game says so in one line and stops at once,
// rather than running on unseen.
TEST(GameEndToEnd, NoDisplayIsOneLineAndExitStatusOne) {
    if (!GameBuilt()) GTEST_SKIP() << "the game is not built";
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 10 " + kGame);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.Status, 1) << r.Stderr;
    EXPECT_LT(seconds, 10.0);
    EXPECT_EQ(std::count(r.Stderr.begin(), r.Stderr.end(), '\n'), 1) << r.Stderr;
    EXPECT_NE(r.Stderr.find("DISPLAY"), std::string::npos) << r.Stderr;
    EXPECT_NE(r.Stderr.find("--headless"), std::string::npos) << r.Stderr;
}
