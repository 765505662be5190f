// Running the built game and dvtool from the tests as a player or an author would: where the
// binaries and the generated demo content are, per-process temporary names, and a run's exit
// status and error output.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace dv::test {

inline const std::string kGame = DV_BINARY_DIR "/dedivirede";
inline const std::string kTool = DV_BINARY_DIR "/dvtool";
// The build folder, which holds the generated demo content.
inline const std::string kData = DV_BINARY_DIR;

// A path in the temporary folder named for this process: ctest runs the tests in parallel
// processes that share that folder.
inline std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "dv" + std::to_string(::getpid()) + "_" + name;
}

// True when the game and the demo level are built; the end-to-end tests skip otherwise.
inline bool GameBuilt() { return std::filesystem::exists(kGame) && std::filesystem::exists(kData + "/test.lev"); }

inline std::string ReadText(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct RunResult {
    int Status = -1;  // the exit status, 128 + the signal when one ended the run
    std::string Stderr;
};

// Runs a shell command and captures its standard error.
inline RunResult RunCommand(const std::string& shellCommand) {
    const std::string errPath = TempPath("stderr.txt");
    const int raw = std::system(("(" + shellCommand + ") 2>" + errPath).c_str());
    RunResult r;
    if (WIFEXITED(raw)) r.Status = WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) r.Status = 128 + WTERMSIG(raw);
    r.Stderr = ReadText(errPath);
    return r;
}

// Runs the game with `args` (already quoted) in the folder `cwd`. The player's folders point
// into the temporary folder, so no run reads or writes the real settings, saved games or
// level cache.
inline RunResult RunGameIn(const std::string& cwd, const std::string& args) {
    const std::string home = TempPath("home");
    std::filesystem::create_directories(home + "/cache");
    return RunCommand("cd '" + cwd + "' && XDG_CONFIG_HOME=" + home + "/config XDG_DATA_HOME=" + home +
                      "/data XDG_CACHE_HOME=" + home + "/cache " + kGame + " " + args);
}

// The same from the folder the tests run in.
inline RunResult RunGame(const std::string& args) { return RunGameIn(".", args); }

}  // namespace dv::test
