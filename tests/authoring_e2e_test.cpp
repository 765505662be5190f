// The author's loop, run as an author would: a level of one's own played alone with --level,
// at once with --no-title, from anywhere in it with --at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/game_run.h"
#include "tools/level/level_compiler.h"

namespace {

namespace fs = std::filesystem;
using namespace dv::test;

struct TraceRow {
    int clock, action, clip, frame, room;
    float x, y, z, angleY;
};

std::vector<TraceRow> ReadTrace(const std::string& path) {
    std::vector<TraceRow> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        TraceRow r{};
        if (std::sscanf(line.c_str(), "%d,%d,%d,%d,%d,%f,%f,%f,%f", &r.clock, &r.action, &r.clip, &r.frame, &r.room,
                        &r.x, &r.y, &r.z, &r.angleY) == 9)
            rows.push_back(r);
    }
    return rows;
}

bool HasGame() { return GameBuilt() && fs::exists(kData + "/level_sources/character.lev"); }

// A yard of one room: walls round it, a cell with a 16-unit ceiling, a 16-unit block.
std::string YardSource() {
    return "start yard 1.5 1.5\n"
           "character " +
           kData +
           "/level_sources/character.lev\n"
           "room yard\n"
           "  origin 0 0 0\n"
           "  height 3\n"
           "  cell X solid\n"
           "  cell . floor 0\n"
           "  cell L floor 0 ceil 10\n"
           "  cell R floor 10\n"
           "  map\n"
           "  XXXXXX\n"
           "  X....X\n"
           "  X.LR.X\n"
           "  X....X\n"
           "  XXXXXX\n"
           "  endmap\n"
           "  light point 2.5 2.5 40 colour 255 255 255 range 64 200\n"
           "end\n";
}

// The yard compiled into its own folder, holding nothing but the level.
std::string BuildYard() {
    const std::string dir = TempPath("yard");
    fs::remove_all(dir);
    fs::create_directories(dir);
    WriteText(dir + "/yard.txt", YardSource());
    const dv::CompiledLevel level = dv::CompileLevelFile(dir + "/yard.txt", dir + "/yard.lev");
    dv::WriteCompiledLevel(level, dir + "/yard.lev");
    return dir;
}

}  // namespace

TEST(Authoring, CompiledLevelAloneAtOnceFromAnotherFolderStartsWhereAtSays) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string yard = BuildYard(), elsewhere = TempPath("elsewhere"), trace = TempPath("at_trace.csv");
    fs::create_directories(elsewhere);
    // No --data: the font, pictures, settings and sounds come from the game's own folder.
    const RunResult r =
        RunGameIn(elsewhere, "--headless --step-ms 40 --level " + yard +
                                 "/yard.lev --no-title --at 0 3.5 2.5 90 --trace " + trace + " --quit-after 600");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_FALSE(rows.empty());
    EXPECT_LT(rows.front().clock, 200);  // no title picture first
    EXPECT_EQ(rows.front().room, 0);
    EXPECT_FLOAT_EQ(rows.front().x, 3.5f * 32);
    EXPECT_FLOAT_EQ(rows.front().z, 2.5f * 32);
    EXPECT_FLOAT_EQ(rows.front().y, 16.0f);  // on top of the block
    EXPECT_FLOAT_EQ(rows.front().angleY, 90.0f);
    EXPECT_FLOAT_EQ(rows.back().y, 16.0f);  // and still standing there
}

TEST(Authoring, AtPlacesWhereTheCharacterCannotStandAreOneLineAndStatusTwo) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string yard = BuildYard();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0 0.5 2.5", "--at 0 0.5 2.5: that place is solid"},
        {"0 2.5 2.5", "--at 0 2.5 2.5: that place has 16.0 units of headroom (the character needs 25.0)"},
        {"0 6 1", "--at 0 6 1: that place lies outside the room's 6 x 5 cells"},
        {"0 -1 1", "lies outside the room's 6 x 5 cells"},
        {"1 1 1", "--at 1 1 1: the level has no room '1' (a compiled level names its rooms by number, 0 to 0)"},
        {"yard 1 1", "the level has no room 'yard'"},
    };
    for (const auto& [at, expected] : cases) {
        const RunResult r = RunGameIn(yard, "--headless --level yard.lev --at " + at);
        EXPECT_EQ(r.Status, 2) << at;
        EXPECT_NE(r.Stderr.find(expected), std::string::npos) << r.Stderr;
        EXPECT_EQ(std::count(r.Stderr.begin(), r.Stderr.end(), '\n'), 1) << r.Stderr;
    }
}

TEST(Authoring, NoTitleStartsTheAdventureAtOnce) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string trace = TempPath("no_title.csv");
    const RunResult r =
        RunGameIn(kData, "--headless --step-ms 40 --no-title --trace " + trace + " --quit-after 400 --mute");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_FALSE(rows.empty());
    EXPECT_LT(rows.front().clock, 200);
}

TEST(Authoring, ASourceLevelIsCompiledInTheGameAndPlayedFromItsRoomNames) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    // A folder holding the source alone: the character pack, font, pictures and settings come
    // from the data folder, the compiled level goes to the cache.
    const std::string dir = TempPath("source_yard"), elsewhere = TempPath("elsewhere"),
                      trace = TempPath("source_trace.csv");
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::create_directories(elsewhere);
    const std::string yard = YardSource();
    const std::string source =
        yard.substr(0, yard.find("character ")) + "character character.lev\n" + yard.substr(yard.find("room yard"));
    WriteText(dir + "/yard.txt", source);
    const RunResult r = RunGameIn(elsewhere, "--headless --step-ms 40 --level " + dir +
                                                 "/yard.txt --no-title --at yard 3.5 2.5 --trace " + trace +
                                                 " --quit-after 400 --mute");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_FALSE(rows.empty());
    EXPECT_FLOAT_EQ(rows.front().x, 3.5f * 32);
    EXPECT_FLOAT_EQ(rows.front().y, 16.0f);                                 // on the block
    EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "yard.txt");  // nothing written beside it
    bool cached = false;
    for (const auto& entry : fs::directory_iterator(TempPath("home") + "/cache/dedivirede"))
        cached = cached || entry.path().extension() == ".lev";
    EXPECT_TRUE(cached);
}

TEST(Authoring, ASourceThatDoesNotCompileIsTheCompilersLineAndStatusTwo) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string dir = TempPath("broken_yard");
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string source = YardSource();
    source.replace(source.find("  cell R floor 10"), 17, "  cell R floor");  // line 9
    WriteText(dir + "/yard.txt", source);
    const RunResult r = RunGameIn(dir, "--headless --level yard.txt --no-title");
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Stderr, dir + "/yard.txt:9: missing floor height\n");
}

TEST(Authoring, WatchSwapsInEachGoodSaveAndShowsAFaultUntilItIsMended) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string dir = TempPath("watched_yard"), trace = TempPath("watch_trace.csv"),
                      shot = TempPath("watch_fault.png");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string plain = YardSource();
    // Line 14 is the row of the start cell (1, 1); R is a floor of 10 clicks (16 units).
    auto withStartRow = [&](const std::string& row, const std::string& rLine) {
        std::string text = plain;
        text.replace(text.find("  X....X\n  XXXXXX\n  endmap"), 8, "  " + row);
        text.replace(text.find("  cell R floor 10"), 17, rLine);
        return text;
    };
    WriteText(dir + "/yard.txt", plain);
    WriteText(dir + "/raised.txt", withStartRow("XR...X", "  cell R floor 10"));
    WriteText(dir + "/broken.txt", withStartRow("XR...X", "  cell R floor"));
    WriteText(dir + "/mended.txt", withStartRow("XR...X", "  cell R floor 5"));
    const std::string source = dir + "/yard.txt";
    const RunResult r = RunGameIn(
        dir,
        "--headless --mute --step-ms 40 --level yard.txt --no-title --watch --copy-at 1000:raised.txt:yard.txt"
        " --copy-at 2000:broken.txt:yard.txt --copy-at 3000:mended.txt:yard.txt --screenshot 2600:" +
            shot + " --trace " + trace + " --quit-after 4000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_NE(r.Stderr.find(source + ":9: missing floor height\n"), std::string::npos) << r.Stderr;
    size_t reloads = 0;
    for (size_t at = r.Stderr.find("reloaded"); at != std::string::npos; at = r.Stderr.find("reloaded", at + 1))
        ++reloads;
    EXPECT_EQ(reloads, 2u) << r.Stderr;

    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_FALSE(rows.empty());
    // The character stays where it stands, on the floor of each good save; the fault between
    // them leaves the raised level running.
    auto heightAt = [&](int clock) {
        for (const TraceRow& row : rows)
            if (row.clock >= clock) return row.y;
        return -1.0f;
    };
    EXPECT_FLOAT_EQ(heightAt(900), 0.0f);
    EXPECT_FLOAT_EQ(heightAt(1200), 16.0f);
    EXPECT_FLOAT_EQ(heightAt(2500), 16.0f);
    EXPECT_FLOAT_EQ(heightAt(3200), 8.0f);
    for (const TraceRow& row : rows) {
        EXPECT_FLOAT_EQ(row.x, 1.5f * 32) << row.clock;
        EXPECT_FLOAT_EQ(row.z, 1.5f * 32) << row.clock;
    }
    EXPECT_TRUE(fs::exists(shot));

    // A compiled level has no source to watch.
    const RunResult lev = RunGameIn(BuildYard(), "--headless --level yard.lev --watch");
    EXPECT_EQ(lev.Status, 2);
    EXPECT_EQ(lev.Stderr, "--watch: it watches a level source played with --level FILE.txt\n");
}

namespace {

struct ToolResult {
    int Status = -1;
    std::string Out, Err;
};

// dvtool with `args`, its standard output kept apart from its error output.
ToolResult RunDvtool(const std::string& args) {
    const std::string outPath = TempPath("tool_out.txt");
    const RunResult run = RunCommand(kTool + " " + args + " >" + outPath);
    return {run.Status, ReadText(outPath), run.Stderr};
}

}  // namespace

// The demo course's own route, run as an author's CI would: compiled from its source, the exit
// is reached on the very tick the recorded trace of the same replay ends on.
TEST(Authoring, CheckRouteFindsTheCourseExitAtTheRecordedClock) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string replays = DV_SOURCE_DIR "/tests/data/replays/";
    std::ifstream recorded(replays + "course.trace.csv");
    std::string line, last;
    while (std::getline(recorded, line))
        if (!line.empty()) last = line;
    const std::string exitClock = last.substr(0, last.find(','));

    const ToolResult r = RunDvtool("check-route " DV_SOURCE_DIR "/assets/levels/test.txt " + replays + "course.replay");
    EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
    EXPECT_NE(r.Out.find(": the exit is reached at clock " + exitClock + " ms, in room 'sanctum'\n"), std::string::npos)
        << r.Out;
}

TEST(Authoring, CheckRouteSaysWhereARouteThatMissesTheExitEnds) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string dir = TempPath("route_yard");
    fs::remove_all(dir);
    fs::create_directories(dir);
    WriteText(dir + "/yard.txt", YardSource());
    // Facing north from (1.5, 1.5), the character runs into the north wall: the yard has no exit.
    WriteText(dir + "/north.replay", "100 down Up\n1500 up Up\n");
    const ToolResult r = RunDvtool("check-route " + dir + "/yard.txt " + dir + "/north.replay --no-title");
    EXPECT_EQ(r.Status, 1) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("yard.txt: the exit is not reached; the run ended at clock "), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find(" at --at yard 1.50 "), std::string::npos) << r.Out;

    // What keeps the route from being played at all is status 2 and the reason.
    WriteText(dir + "/bad.replay", "100 down Up\n50 up Up\n");
    const std::vector<std::pair<std::string, std::string>> bad = {
        {dir + "/yard.txt " + dir + "/missing.replay", dir + "/missing.replay: cannot read it"},
        {dir + "/yard.txt " + dir + "/bad.replay", dir + "/bad.replay:2: clock 50 is earlier"},
        {dir + "/yard.txt " + dir + "/north.replay --step-ms 0", "--step-ms '0' is not a whole number"},
    };
    for (const auto& [args, expected] : bad) {
        const ToolResult b = RunDvtool("check-route " + args);
        EXPECT_EQ(b.Status, 2) << args;
        EXPECT_NE(b.Err.find(expected), std::string::npos) << b.Err;
    }
}

// Author keys with --author: F7 takes the arrows for the fly camera (the character stands
// still while it flies), F3 puts the character down on the floor where the camera looks.
TEST(Authoring, FlyCameraTakesTheArrowsAndTheTeleportPutsTheCharacterDown) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string yard = BuildYard(), trace = TempPath("fly_trace.csv");
    WriteText(yard + "/fly.replay",
              "400 down F7\n450 up F7\n500 down Up\n800 up Up\n1000 down F4\n1050 up F4\n1200 down F3\n1250 up F3\n");
    const RunResult r = RunGameIn(yard,
                                  "--headless --mute --step-ms 40 --level yard.lev --no-title --author --replay "
                                  "fly.replay --trace " +
                                      trace + " --quit-after 1600");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_NE(r.Stderr.find("Put down at --at 0 "), std::string::npos) << r.Stderr;
    const std::vector<TraceRow> rows = ReadTrace(trace);
    ASSERT_FALSE(rows.empty());
    const TraceRow& start = rows.front();
    for (const TraceRow& row : rows) {
        if (row.clock >= 1200) break;
        EXPECT_FLOAT_EQ(row.x, start.x) << row.clock;  // Up flew the camera, not the character
        EXPECT_FLOAT_EQ(row.z, start.z) << row.clock;
    }
    const TraceRow& last = rows.back();
    EXPECT_GT(std::fabs(last.x - start.x) + std::fabs(last.z - start.z), 8.0f);
    EXPECT_TRUE(last.y == 0.0f || last.y == 16.0f) << last.y;  // on a floor of the yard
}

// Without --author or --watch the author keys are bound to nothing: the course's replay with
// them pressed all along the way goes tick for tick as its recorded trace.
TEST(Authoring, AuthorKeysDoNothingInOrdinaryPlay) {
    if (!HasGame()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string replays = DV_SOURCE_DIR "/tests/data/replays/";
    // The course alone, as its trace was recorded: the data folder without the level list.
    const std::string data = TempPath("data_course_only"), trace = TempPath("author_keys_trace.csv");
    fs::remove_all(data);
    fs::create_directories(data);
    for (const fs::directory_entry& entry : fs::directory_iterator(kData))
        if (entry.path().filename() != "levels.txt") fs::create_symlink(entry.path(), data / entry.path().filename());

    std::vector<std::pair<long, std::string>> events;
    std::ifstream course(replays + "course.replay");
    for (std::string line; std::getline(course, line);) {
        const std::string event = line.substr(0, line.find('#'));
        if (event.find_first_not_of(" \t") != std::string::npos) events.push_back({std::stol(event), event});
    }
    for (long at = 8000; at < 88000; at += 4000) {
        for (const char* key : {"F3", "F4", "F6", "F7", "PageUp", "PageDown"}) {
            events.push_back({at, std::to_string(at) + " down " + key});
            events.push_back({at + 40, std::to_string(at + 40) + " up " + key});
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string script;
    for (const auto& [at, event] : events) script += event + "\n";
    WriteText(TempPath("author_keys.replay"), script);

    const RunResult r =
        RunGameIn(data, "--headless --mute --data " + data + " --step-ms 40 --replay " +
                            TempPath("author_keys.replay") + " --trace " + trace + " --quit-after 95000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    std::ifstream got(trace), want(replays + "course.trace.csv");
    std::stringstream gotText, wantText;
    gotText << got.rdbuf();
    wantText << want.rdbuf();
    EXPECT_TRUE(gotText.str() == wantText.str()) << "the trace differs from course.trace.csv";
}
