// The player's front end run as a player would, headless with the virtual clock: the pause
// menu, the saved games and the settings file, driven by replay scripts.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/replay.h"
#include "app/save_game.h"
#include "support/game_run.h"

namespace {

using namespace dv::test;

const std::string kCourse = DV_SOURCE_DIR "/tests/data/replays/course.replay";

// The game on the demo level with the virtual clock, its settings and saves in `config`.
RunResult RunGame(const std::string& config, const std::string& args) {
    return dv::test::RunGame("--headless --data " + kData + " --step-ms 40 --config " + config + " " + args);
}

std::string FreshFolder(const std::string& name) {
    const std::string dir = TempPath(name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

struct Key {
    int clock;
    bool down;
    std::string name;
};

std::string Script(const std::vector<Key>& keys) {
    std::string text;
    for (const Key& k : keys) text += std::to_string(k.clock) + (k.down ? " down " : " up ") + k.name + "\n";
    return text;
}

std::string Tap(int clock, const std::string& name) {
    return std::to_string(clock) + " down " + name + "\n" + std::to_string(clock) + " up " + name + "\n";
}

// The course's key events by name, in order.
std::vector<Key> CourseKeys() {
    std::vector<Key> keys;
    std::ifstream in(kCourse);
    for (std::string line; std::getline(in, line);) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        Key k;
        std::string verb;
        if (fields >> k.clock >> verb >> k.name) {
            k.down = verb == "down";
            keys.push_back(k);
        }
    }
    return keys;
}

struct TraceLine {
    int clock;
    std::string rest;  // everything after the clock
};

std::vector<TraceLine> ReadTrace(const std::string& path) {
    std::vector<TraceLine> lines;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        const size_t comma = line.find(',');
        lines.push_back({std::stoi(line.substr(0, comma)), line.substr(comma)});
    }
    return lines;
}

// The lines from clock `from` on, with the clock moved back by `from`.
std::vector<std::string> From(const std::vector<TraceLine>& trace, int from) {
    std::vector<std::string> out;
    for (const TraceLine& t : trace) {
        if (t.clock >= from) out.push_back(std::to_string(t.clock - from) + t.rest);
    }
    return out;
}

}  // namespace

// A run of the course that saves at T and goes on, against a run that loads that save right
// after the title, presses the keys held at T and is fed the later keys shifted in time: from
// T on the two traces are the same, line for line. T falls in the running jump over the
// chasm, so the save holds a character in the air, a clip transition and a moving camera.
TEST(FrontEndEndToEnd, SaveAndLoadContinueExactly) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("saveload");
    const std::vector<Key> course = CourseKeys();
    constexpr int kSaveAt = 20560, kLoadAt = 7400, kSpan = 12000;

    std::vector<Key> first;
    std::set<std::string> held;
    for (const Key& k : course) {
        if (k.clock < kSaveAt) {
            first.push_back(k);
            if (k.down) held.insert(k.name);
            else held.erase(k.name);
        }
    }
    first.push_back({kSaveAt, true, "F5"});
    first.push_back({kSaveAt, false, "F5"});
    for (const Key& k : course) {
        if (k.clock >= kSaveAt) first.push_back(k);
    }
    WriteText(config + "/first.txt", Script(first));
    ASSERT_EQ(RunGame(config, "--replay " + config + "/first.txt --trace " + config + "/first.csv --quit-after " +
                                  std::to_string(kSaveAt + kSpan))
                  .Status,
              0);
    ASSERT_TRUE(std::filesystem::exists(config + "/saves/quick.sav"));

    std::vector<Key> second{{kLoadAt, true, "F9"}, {kLoadAt, false, "F9"}};
    for (const std::string& name : held) second.push_back({kLoadAt, true, name});
    for (const Key& k : course) {
        if (k.clock >= kSaveAt) second.push_back({k.clock - kSaveAt + kLoadAt, k.down, k.name});
    }
    WriteText(config + "/second.txt", Script(second));
    const RunResult loaded = RunGame(config, "--replay " + config + "/second.txt --trace " + config +
                                                 "/second.csv --quit-after " + std::to_string(kLoadAt + kSpan));
    ASSERT_EQ(loaded.Status, 0) << loaded.Stderr;

    const std::vector<std::string> expected = From(ReadTrace(config + "/first.csv"), kSaveAt);
    const std::vector<std::string> actual = From(ReadTrace(config + "/second.csv"), kLoadAt);
    ASSERT_GT(expected.size(), 200u);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(actual[i], expected[i]) << "line " << i;
}

// Ten seconds in the pause menu while running: no tick runs, and the game then goes on
// exactly as the run without the pause, ten seconds later.
TEST(FrontEndEndToEnd, PauseStandsTheGameStillAndResumesWithoutALeap) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("pause");
    constexpr int kPauseAt = 8200, kPause = 10000;
    WriteText(config + "/plain.txt", "7160 down Up\n9000 down Left\n9400 up Left\n");
    WriteText(config + "/paused.txt",
              "7160 down Up\n" + Tap(kPauseAt, "P") + Tap(kPauseAt + kPause, "P") + "19000 down Left\n19400 up Left\n");
    ASSERT_EQ(
        RunGame(config, "--replay " + config + "/plain.txt --trace " + config + "/plain.csv --quit-after 11000").Status,
        0);
    ASSERT_EQ(RunGame(config, "--replay " + config + "/paused.txt --trace " + config + "/paused.csv --quit-after 21000")
                  .Status,
              0);
    const std::vector<TraceLine> plain = ReadTrace(config + "/plain.csv");
    const std::vector<TraceLine> paused = ReadTrace(config + "/paused.csv");
    for (const TraceLine& t : paused) EXPECT_FALSE(t.clock >= kPauseAt && t.clock < kPauseAt + kPause) << t.clock;
    std::vector<std::string> before, after, plainBefore, plainAfter;
    for (const TraceLine& t : paused) {
        if (t.clock < kPauseAt) before.push_back(std::to_string(t.clock) + t.rest);
        else after.push_back(std::to_string(t.clock - kPause) + t.rest);
    }
    for (const TraceLine& t : plain) {
        if (t.clock < kPauseAt) plainBefore.push_back(std::to_string(t.clock) + t.rest);
        else plainAfter.push_back(std::to_string(t.clock) + t.rest);
    }
    EXPECT_EQ(before, plainBefore);
    ASSERT_GT(after.size(), 40u);
    EXPECT_EQ(after, plainAfter);
}

// Ten seconds of photo mode from the pause menu, the camera flown about and a picture taken:
// the game then goes on exactly as the run without the visit, ten seconds later, and the
// picture is in the folder the game was started from.
TEST(FrontEndEndToEnd, PhotoModeLeavesTheGameWhereItWas) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("photo");
    constexpr int kPauseAt = 8200, kPause = 10000;
    WriteText(config + "/plain.txt", "7160 down Up\n8000 up Up\n9000 down Left\n9400 up Left\n");
    // Photo mode is the main page's third item from the end; Up, Right, Page Up fly the camera.
    WriteText(config + "/photo.txt",
              "7160 down Up\n8000 up Up\n" + Tap(kPauseAt, "P") + Tap(8300, "Up") + Tap(8340, "Up") + Tap(8400, "Up") +
                  Tap(8500, "Enter") + "8600 down Up\n9600 up Up\n" +
                  "9700 down Right\n10400 up Right\n10500 down PageUp\n10900 up PageUp\n" +
                  "11000 down Shift\n11000 down Up\n16000 up Up\n16000 up Shift\n" + Tap(16200, "F12") +
                  Tap(kPauseAt + kPause, "P") + "19000 down Left\n" + "19400 up Left\n");
    const std::string args = "--headless --mute --data " + kData + " --step-ms 40 --config " + config;
    ASSERT_EQ(RunGameIn(config, args + " --replay plain.txt --trace plain.csv --quit-after 11000").Status, 0);
    const RunResult photo = RunGameIn(config, args + " --replay photo.txt --trace photo.csv --quit-after 21000");
    ASSERT_EQ(photo.Status, 0) << photo.Stderr;

    const std::vector<TraceLine> plain = ReadTrace(config + "/plain.csv");
    const std::vector<TraceLine> visited = ReadTrace(config + "/photo.csv");
    std::vector<std::string> before, after, plainBefore, plainAfter;
    for (const TraceLine& t : visited) {
        EXPECT_FALSE(t.clock >= kPauseAt && t.clock < kPauseAt + kPause) << t.clock;
        if (t.clock < kPauseAt) before.push_back(std::to_string(t.clock) + t.rest);
        else after.push_back(std::to_string(t.clock - kPause) + t.rest);
    }
    for (const TraceLine& t : plain) {
        if (t.clock < kPauseAt) plainBefore.push_back(std::to_string(t.clock) + t.rest);
        else plainAfter.push_back(std::to_string(t.clock) + t.rest);
    }
    EXPECT_EQ(before, plainBefore);
    ASSERT_GT(after.size(), 40u);
    EXPECT_EQ(after, plainAfter);

    int pictures = 0;
    for (const auto& entry : std::filesystem::directory_iterator(config))
        if (entry.path().filename().string().rfind("dedivirede-", 0) == 0) ++pictures;
    EXPECT_EQ(pictures, 1);
}

// A damaged quick save: F9 says so in one line naming the file, and the game goes on as if
// the key had not been pressed.
TEST(FrontEndEndToEnd, DamagedSaveIsToldAndTheGameGoesOn) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("damaged");
    WriteText(config + "/plain.txt", "7160 down Up\n");
    WriteText(config + "/load.txt", "7160 down Up\n" + Tap(7600, "F9"));
    ASSERT_EQ(
        RunGame(config, "--replay " + config + "/plain.txt --trace " + config + "/plain.csv --quit-after 9000").Status,
        0);
    std::filesystem::create_directories(config + "/saves");
    WriteText(config + "/saves/quick.sav", "DVSAVE\r\n but not much after it");
    const RunResult r =
        RunGame(config, "--replay " + config + "/load.txt --trace " + config + "/load.csv --quit-after 9000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_NE(r.Stderr.find(config + "/saves/quick.sav: truncated"), std::string::npos) << r.Stderr;
    EXPECT_EQ(std::count(r.Stderr.begin(), r.Stderr.end(), '\n'), 1) << r.Stderr;
    std::vector<std::string> plain, loaded;
    for (const TraceLine& t : ReadTrace(config + "/plain.csv")) plain.push_back(std::to_string(t.clock) + t.rest);
    for (const TraceLine& t : ReadTrace(config + "/load.csv")) loaded.push_back(std::to_string(t.clock) + t.rest);
    EXPECT_EQ(loaded, plain);
}

// A quick save moved to the adventure's second level, its checksum recomputed, with a room
// that level lacks: F9 refuses it in one line before leaving the level being played, and the
// game goes on as if the key had not been pressed.
TEST(FrontEndEndToEnd, SaveOfAnotherLevelThatDoesNotFitLeavesTheGameBeingPlayed) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("otherlevel");
    const std::string slot = config + "/saves/quick.sav";
    WriteText(config + "/save.txt", "7160 down Up\n" + Tap(7400, "F5"));
    ASSERT_EQ(RunGame(config, "--replay " + config + "/save.txt --quit-after 7500").Status, 0);
    dv::LevelIdentity first, second;
    std::string error;
    ASSERT_TRUE(dv::ReadLevelIdentity(kData + "/test.lev", first, error)) << error;
    ASSERT_TRUE(dv::ReadLevelIdentity(kData + "/cistern.lev", second, error)) << error;
    dv::SaveHeader header{};
    dv::SavedGame saved{};
    ASSERT_TRUE(dv::ReadSaveFile(slot, first, header, saved, error)) << error;
    saved.Body.Room = 999;
    ASSERT_TRUE(dv::WriteSaveFile(slot, saved, second, header.SavedAt, error)) << error;

    WriteText(config + "/plain.txt", "7160 down Up\n");
    WriteText(config + "/load.txt", "7160 down Up\n" + Tap(7600, "F9"));
    ASSERT_EQ(
        RunGame(config, "--replay " + config + "/plain.txt --trace " + config + "/plain.csv --quit-after 9000").Status,
        0);
    const RunResult r =
        RunGame(config, "--replay " + config + "/load.txt --trace " + config + "/load.csv --quit-after 9000");
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_EQ(r.Stderr, slot + ": damaged: room 999 is not in the level\n");
    std::vector<std::string> plain, loaded;
    for (const TraceLine& t : ReadTrace(config + "/plain.csv")) plain.push_back(std::to_string(t.clock) + t.rest);
    for (const TraceLine& t : ReadTrace(config + "/load.csv")) loaded.push_back(std::to_string(t.clock) + t.rest);
    ASSERT_GT(plain.size(), 40u);
    EXPECT_EQ(loaded, plain);
}

// The game is killed (SIGKILL) again and again while it saves on every tick: the slot
// always holds a whole saved game, the previous one or the new one, never a part of either.
TEST(FrontEndEndToEnd, KilledWhileSavingLeavesAWholeSave) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("killed");
    const std::string slot = config + "/saves/quick.sav";
    std::string script = "7160 down Up\n";
    for (int t = 7200; t < 120000; t += 40) script += Tap(t, "F5");
    WriteText(config + "/saves.txt", script);
    WriteText(config + "/first.txt", "7160 down Up\n" + Tap(7200, "F5"));
    ASSERT_EQ(RunGame(config, "--replay " + config + "/first.txt --quit-after 7300").Status, 0);
    dv::LevelIdentity level;
    std::string error;
    ASSERT_TRUE(dv::ReadLevelIdentity(kData + "/test.lev", level, error)) << error;

    const std::string command = "exec " + kGame + " --headless --data " + kData + " --step-ms 40 --config " + config +
                                " --replay " + config + "/saves.txt 2>/dev/null";
    int cutShort = 0;  // kills that left a temporary file: the game was inside a save
    constexpr int kRuns = 4;
    for (int run = 0; run < kRuns; ++run) {
        std::error_code ec;
        const auto before = std::filesystem::last_write_time(slot, ec);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(child, 0);
        // Once the game has begun saving (after its title), a kill at some point of its loop.
        for (int waited = 0; waited < 3000 && std::filesystem::last_write_time(slot, ec) == before; ++waited)
            ::usleep(10000);
        ::usleep(static_cast<useconds_t>(run * 37000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the game ended before it was killed, run " << run;
        dv::SaveHeader header{};
        dv::SavedGame saved{};
        EXPECT_TRUE(dv::ReadSaveFile(slot, level, header, saved, error)) << "run " << run << ": " << error;
        for (const auto& entry : std::filesystem::directory_iterator(config + "/saves")) {
            if (entry.path().filename() != "quick.sav") {
                ++cutShort;
                std::filesystem::remove(entry.path());
            }
        }
    }
    std::printf("killed %d times while saving every tick; %d kills fell inside a save\n", kRuns, cutShort);
}

// The menu by replay: open it, go to the settings, make the window larger, bind Swing left
// to a new key and try to bind a key that is taken, close it. The settings file has the new
// values, and the next start opens at the new size.
TEST(FrontEndEndToEnd, SettingChangedInTheMenuIsWrittenAndAppliesOnTheNextStart) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("settings");
    std::string script = Tap(7400, "P");
    int t = 7440;
    const auto tap = [&](const std::string& key, int times = 1) {
        for (int i = 0; i < times; ++i, t += 40) script += Tap(t, key);
    };
    tap("Down", 3);
    tap("Enter");  // Settings
    tap("Down", 4);
    tap("Right");     // window size: 1024 x 768
    tap("Down", 20);  // Swing camera left
    tap("Enter");
    tap("7");     // bound
    tap("Down");  // Swing camera right
    tap("Enter");
    tap("Up");  // taken by Run forward: refused
    tap("P");
    WriteText(config + "/menu.txt", script);
    const RunResult r = RunGame(config, "--replay " + config + "/menu.txt --quit-after " + std::to_string(t + 200));
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_NE(r.Stderr.find("Up is already bound to Run forward"), std::string::npos) << r.Stderr;
    std::stringstream file;
    file << std::ifstream(config + "/settings.ini").rdbuf();
    EXPECT_NE(file.str().find("window_width = 1024\nwindow_height = 768\n"), std::string::npos) << file.str();
    EXPECT_NE(file.str().find("key_swing_left = 7\nkey_swing_right = X\n"), std::string::npos) << file.str();

    const RunResult next = RunGame(config, "--screenshot 7500:" + config + "/next.png --quit-after 7600");
    ASSERT_EQ(next.Status, 0) << next.Stderr;
    std::ifstream png(config + "/next.png", std::ios::binary);
    unsigned char header[24] = {};
    png.read(reinterpret_cast<char*>(header), sizeof header);
    const auto be32 = [&](int at) {
        return header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3];
    };
    EXPECT_EQ(be32(16), 1024);
    EXPECT_EQ(be32(20), 768);
}

// Restart level from the menu puts the character back where the level starts it, and the
// game goes on from there.
TEST(FrontEndEndToEnd, RestartLevelFromTheMenuGoesBackToTheStart) {
    if (!GameBuilt()) GTEST_SKIP() << "the game or its demo content is not built";
    const std::string config = FreshFolder("restart");
    WriteText(config + "/restart.txt",
              "7160 down Up\n8400 up Up\n" + Tap(9000, "P") + Tap(9040, "Up") + Tap(9080, "Up") + Tap(9120, "Enter"));
    ASSERT_EQ(
        RunGame(config, "--replay " + config + "/restart.txt --trace " + config + "/restart.csv --quit-after 9600")
            .Status,
        0);
    const std::vector<TraceLine> trace = ReadTrace(config + "/restart.csv");
    ASSERT_FALSE(trace.empty());
    float zBefore = 0, zAfter = -1;
    for (const TraceLine& t : trace) {
        float z = 0;
        std::sscanf(t.rest.c_str(), ",%*d,%*d,%*d,%*d,%*f,%*f,%f", &z);
        if (t.clock < 9000) zBefore = z;
        else if (zAfter < 0) zAfter = z;
    }
    EXPECT_GT(zBefore, 120.0f);  // it had run north from z 80
    EXPECT_EQ(zAfter, 80.0f);
}
