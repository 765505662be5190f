// The game run on files that are not what it expects: a FIFO and a 3 GB sparse file in a
// save slot and among the sounds. Each is one line naming the file, at once, without reading
// the file or taking its size in memory, and the game goes on as it would have.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/game_run.h"

namespace fs = std::filesystem;

namespace {

using namespace dv::test;

struct MeasuredRun {
    int Status = -1;
    std::string Stderr;
    long PeakKb = 0;  // the largest resident size of the game
    double Seconds = 0;
};

// Runs the game alone in a child process, so its peak resident size is its own.
MeasuredRun RunMeasured(const std::string& args, const std::string& errPath) {
    const std::string command = "exec " + kGame + " " + args + " 2>" + errPath + " >/dev/null";
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    MeasuredRun r;
    int status = 0;
    rusage usage{};
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child) {
        r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.PeakKb = usage.ru_maxrss;
    }
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.Stderr = ReadText(errPath);
    return r;
}

void MakeSparse(const std::string& path, uintmax_t bytes) {
    fs::remove(path);
    std::ofstream(path, std::ios::binary).close();
    fs::resize_file(path, bytes);
}

void MakeFifo(const std::string& path) {
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
}

class FifoAndHugeFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kGame) || !fs::exists(kData + "/test.lev") || !fs::exists(kData + "/sounds/jump.wav"))
            GTEST_SKIP() << "the game or its content is not built";
        dir_ = ::testing::TempDir() + "dvspecial" + std::to_string(::getpid());
        fs::remove_all(dir_);
        fs::create_directories(dir_ + "/data");
        for (const char* f : {"test.lev", "test.snd", "font01.fnx", "title1.jpg", "title2.jpg", "set.txt"})
            fs::copy_file(kData + "/" + f, dir_ + "/data/" + f);
        for (const auto& e : fs::directory_iterator(kData)) {
            if (e.path().filename().string().rfind("test_lm", 0) == 0)
                fs::copy_file(e.path(), dir_ + "/data/" + e.path().filename().string());
        }
        fs::copy(kData + "/sounds", dir_ + "/data/sounds");
        fs::create_directories(dir_ + "/config/saves");
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    MeasuredRun Game(const std::string& args) {
        return RunMeasured("--headless --data " + dir_ + "/data --config " + dir_ + "/config --step-ms 40 " + args,
                           dir_ + "/stderr.txt");
    }
    std::string Trace(const std::string& name) { return ReadText(dir_ + "/" + name); }

    std::string dir_;
};

constexpr uintmax_t kThreeGb = 3ull << 30;
// Room for what varies between two runs of the same game; far below any of the files' sizes.
constexpr long kMemorySlackKb = 16 * 1024;

TEST_F(FifoAndHugeFiles, AFifoOrAHugeFileInTheSaveSlotIsOneLineAndTheGameGoesOn) {
    std::ofstream(dir_ + "/walk.replay") << "7160 down Up\n";
    std::ofstream(dir_ + "/load.replay") << "7160 down Up\n7600 down F9\n7600 up F9\n";
    const std::string common = "--quit-after 9000 --trace " + dir_ + "/";
    const MeasuredRun plain = Game(common + "plain.csv --replay " + dir_ + "/walk.replay");
    ASSERT_EQ(plain.Status, 0) << plain.Stderr;

    const std::string slot = dir_ + "/config/saves/quick.sav";
    MakeFifo(slot);
    const MeasuredRun fifo = Game(common + "fifo.csv --replay " + dir_ + "/load.replay");
    EXPECT_EQ(fifo.Status, 0);
    EXPECT_EQ(fifo.Stderr, slot + ": not a regular file (a FIFO)\n");
    EXPECT_EQ(Trace("fifo.csv"), Trace("plain.csv"));
    EXPECT_LT(fifo.Seconds, 3 * plain.Seconds + 10) << "no wait for a writer";

    MakeSparse(slot, kThreeGb);
    const MeasuredRun huge = Game(common + "huge.csv --replay " + dir_ + "/load.replay");
    EXPECT_EQ(huge.Status, 0);
    EXPECT_EQ(huge.Stderr, slot + ": too large: 3 GB, at most 64 kB\n");
    EXPECT_EQ(Trace("huge.csv"), Trace("plain.csv"));
    EXPECT_LT(huge.PeakKb, plain.PeakKb + kMemorySlackKb) << "plain " << plain.PeakKb << " kB";
    std::printf("peak resident kB: plain %ld, FIFO %ld, 3 GB %ld\n", plain.PeakKb, fifo.PeakKb, huge.PeakKb);
}

TEST_F(FifoAndHugeFiles, AFifoOrAHugeFileAsASoundIsOneLineEachAndTheRestPlay) {
    // Headless, the sounds are loaded for a record.
    const std::string common = "--quit-after 8000 --audio-out " + dir_ + "/record.wav --trace " + dir_ + "/";
    const MeasuredRun plain = Game(common + "plain.csv");
    ASSERT_EQ(plain.Status, 0) << plain.Stderr;
    EXPECT_EQ(plain.Stderr, "");

    const std::string sounds = dir_ + "/data/sounds/";
    MakeFifo(sounds + "jump.wav");
    MakeSparse(sounds + "music_title.ogg", kThreeGb);
    MakeSparse(sounds + "land_soft.wav", kThreeGb);
    const MeasuredRun bad = Game(common + "bad.csv");
    EXPECT_EQ(bad.Status, 0);
    EXPECT_NE(bad.Stderr.find(sounds + "jump.wav: not a regular file (a FIFO)"), std::string::npos) << bad.Stderr;
    EXPECT_NE(bad.Stderr.find(sounds + "music_title.ogg: too large: 3 GB, at most 48 MB"), std::string::npos)
        << bad.Stderr;
    EXPECT_NE(bad.Stderr.find(sounds + "land_soft.wav: too large: 3 GB, at most 65 MB"), std::string::npos)
        << bad.Stderr;
    EXPECT_EQ(std::count(bad.Stderr.begin(), bad.Stderr.end(), '\n'), 3) << bad.Stderr;
    EXPECT_EQ(Trace("bad.csv"), Trace("plain.csv"));
    EXPECT_LT(bad.PeakKb, plain.PeakKb + kMemorySlackKb) << "plain " << plain.PeakKb << " kB";
    std::printf("peak resident kB: plain %ld, FIFO and 3 GB sounds %ld; %.1f s and %.1f s\n", plain.PeakKb, bad.PeakKb,
                plain.Seconds, bad.Seconds);
}

}  // namespace
