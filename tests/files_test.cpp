// Reading whole files and writing them safely: what the readers refuse without blocking or
// allocating, and what a failed or interrupted write leaves behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/read_file.h"
#include "files/safe_write.h"

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("dvfiles" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Get(const std::string& path) {
        std::stringstream s;
        s << std::ifstream(path, std::ios::binary).rdbuf();
        return s.str();
    }
    // Every name in the folder: a write must leave no temporary file behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

using Clock = std::chrono::steady_clock;

TEST_F(FilesTest, ReadsRegularFilesUpToTheirLimitAndRefusesTheRestWithOneLine) {
    Put(Path("a.txt"), "12345");
    std::string text, error;
    EXPECT_EQ(dv::ReadWholeFile(Path("a.txt"), 5, text, error), dv::FileRead::Read);
    EXPECT_EQ(text, "12345");

    EXPECT_EQ(dv::ReadWholeFile(Path("a.txt"), 4, text, error), dv::FileRead::Refused);
    EXPECT_EQ(error, Path("a.txt") + ": too large: 5 bytes, at most 4 bytes");
    EXPECT_TRUE(text.empty());

    EXPECT_EQ(dv::ReadWholeFile(Path("none.txt"), 4, text, error), dv::FileRead::Missing);
    EXPECT_EQ(error, Path("none.txt") + ": cannot open the file: No such file or directory");
    EXPECT_EQ(dv::ReadWholeFile(Path("none/a.txt"), 4, text, error), dv::FileRead::Missing);

    EXPECT_EQ(dv::ReadWholeFile(dir_.string(), 4, text, error), dv::FileRead::Refused);
    EXPECT_EQ(error, dir_.string() + ": not a regular file (a folder)");
    EXPECT_EQ(dv::ReadWholeFile("/dev/zero", 4, text, error), dv::FileRead::Refused);
    EXPECT_EQ(error, "/dev/zero: not a regular file (a device)");

    Put(Path("empty"), "");
    std::vector<uint8_t> bytes{1, 2};
    EXPECT_EQ(dv::ReadWholeFile(Path("empty"), 4, bytes, error), dv::FileRead::Read);
    EXPECT_TRUE(bytes.empty());
}

TEST_F(FilesTest, AFifoIsRefusedAtOnceAndAHugeSparseFileWithoutReadingIt) {
    ASSERT_EQ(::mkfifo(Path("slot.sav").c_str(), 0600), 0);
    std::vector<uint8_t> bytes;
    std::string error;
    const auto start = Clock::now();
    EXPECT_EQ(dv::ReadWholeFile(Path("slot.sav"), 1 << 20, bytes, error), dv::FileRead::Refused);
    EXPECT_EQ(error, Path("slot.sav") + ": not a regular file (a FIFO)");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));

    // 3 GB that occupy no disk: refused by its size, before a byte is read or allocated.
    {
        std::ofstream(Path("huge.ogg"), std::ios::binary).close();
        fs::resize_file(Path("huge.ogg"), 3ull << 30);
    }
    EXPECT_EQ(dv::ReadWholeFile(Path("huge.ogg"), 64 << 20, bytes, error), dv::FileRead::Refused);
    EXPECT_EQ(error, Path("huge.ogg") + ": too large: 3 GB, at most 64 MB");
    EXPECT_EQ(bytes.capacity(), 0u);
}

TEST_F(FilesTest, SizesReadAsAPersonWouldSayThem) {
    EXPECT_EQ(dv::ByteSizeText(0), "0 bytes");
    EXPECT_EQ(dv::ByteSizeText(1023), "1023 bytes");
    EXPECT_EQ(dv::ByteSizeText(64 << 10), "64 kB");
    EXPECT_EQ(dv::ByteSizeText(3ull << 30), "3 GB");
    EXPECT_EQ(dv::ByteSizeText(3000000000ull), "2861 MB");
}

TEST_F(FilesTest, ASafeWriteReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    Put(Path("quick.sav"), "old");
    std::string error;
    ASSERT_TRUE(dv::WriteFileSafely(Path("quick.sav"), std::string("new game"), error)) << error;
    EXPECT_EQ(Get(Path("quick.sav")), "new game");
    EXPECT_EQ(Names(), std::vector<std::string>{"quick.sav"});

    // The old fixed temporary name, planted as a link to another file, is never written through.
    Put(Path("victim"), "keep");
    fs::create_symlink(Path("victim"), Path("quick.sav.tmp"));
    ASSERT_TRUE(dv::WriteFileSafely(Path("quick.sav"), std::string("third"), error)) << error;
    EXPECT_EQ(Get(Path("victim")), "keep");
    EXPECT_EQ(Get(Path("quick.sav")), "third");

    // Two writers at once (two running games): each file is written whole; the last rename wins.
    dv::SafeFile first, second;
    ASSERT_TRUE(first.Create(Path("settings.ini"), error));
    ASSERT_TRUE(second.Create(Path("settings.ini"), error));
    first.Write("first\n", 6);
    second.Write("second\n", 7);
    ASSERT_TRUE(first.Commit(error));
    ASSERT_TRUE(second.Commit(error));
    EXPECT_EQ(Get(Path("settings.ini")), "second\n");

    // Dropped without a commit: the target stays, the temporary goes.
    {
        dv::SafeFile dropped;
        ASSERT_TRUE(dropped.Create(Path("settings.ini"), error));
        dropped.Write("half", 4);
    }
    EXPECT_EQ(Get(Path("settings.ini")), "second\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"quick.sav", "quick.sav.tmp", "settings.ini", "victim"}));
}

TEST_F(FilesTest, AWriteThatFailsLeavesTheOldFileAndSaysWhy) {
    Put(Path("quick.sav"), "old game");
    // A disk that fills: the child may write 4 kB per file and no more.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const std::string big(100000, 'x');
        const bool written = dv::WriteFileSafely(Path("quick.sav"), big, error);
        const bool said = error == Path("quick.sav") + ": cannot write the file: File too large";
        ::_exit(!written && said ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Get(Path("quick.sav")), "old game");
    EXPECT_EQ(Names(), std::vector<std::string>{"quick.sav"});

    std::string error;
    EXPECT_FALSE(dv::WriteFileSafely(Path("no/such/folder/quick.sav"), std::string("x"), error));
    EXPECT_EQ(error, Path("no/such/folder/quick.sav") + ": cannot create the file: No such file or directory");
}

TEST_F(FilesTest, DevicesAndFifosAreWrittenStraightIntoAndNeverReplaced) {
    std::string error;
    EXPECT_FALSE(dv::WriteFileSafely("/dev/full", std::string("trace"), error));
    EXPECT_EQ(error, "/dev/full: cannot write the file: No space left on device");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(dv::WriteFileSafely("/dev/null", std::string("x"), error)) << error;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // A FIFO nobody reads: refused at once instead of waiting for a reader.
    ASSERT_EQ(::mkfifo(Path("stats.json").c_str(), 0600), 0);
    const auto start = Clock::now();
    EXPECT_FALSE(dv::WriteFileSafely(Path("stats.json"), std::string("{}"), error));
    EXPECT_EQ(error, Path("stats.json") + ": cannot create the file: No such device or address");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(fs::is_fifo(Path("stats.json")));
}

}  // namespace
