// --watch: the level source being played and the files it names are looked at every frame;
// when one changes, the source is compiled again on a worker thread, and the game takes the
// result between two frames (Shell::ReloadLevel).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "world/source_compile.h"

namespace dv {

// One compile of the watched source.
struct SourceResult {
    bool Compiled = false;
    CompiledSource Level;  // when Compiled
    std::string Error;     // otherwise: the compiler's "FILE:LINE: message"
    // When the change that started it was written (the file's modification time).
    std::chrono::system_clock::time_point WrittenAt;
};

class SourceWatch {
public:
    // `compiled` is the compile the game started with; its files are watched.
    SourceWatch(SourceCompiler compiler, std::string sourcePath, std::string cacheDir, std::string dataDir,
                const CompiledSource& compiled);
    ~SourceWatch();  // waits for a compile under way
    SourceWatch(const SourceWatch&) = delete;
    SourceWatch& operator=(const SourceWatch&) = delete;

    // Looks at the files: one that changed since the last look starts a compile, at once when
    // none is under way, else as soon as the one under way ends.
    void Poll();
    // A compile under way, or ended and not yet taken.
    bool Busy() const { return started_; }
    // Waits for the compile under way (a run on the virtual clock takes each at once, so
    // that it repeats exactly).
    void Wait();
    // The compile that ended since the last call, once; false while none has.
    bool TakeResult(SourceResult& out);

private:
    struct Seen {
        std::string Path;
        bool Exists = false;
        std::filesystem::file_time_type Time{};
        uintmax_t Size = 0;
    };
    static Seen Look(const std::string& path);
    void Start();

    SourceCompiler compiler_;
    std::string sourcePath_, cacheDir_, dataDir_;
    std::vector<Seen> files_;
    bool pending_ = false;
    std::chrono::system_clock::time_point pendingWrittenAt_{};
    std::thread worker_;
    bool started_ = false;
    std::atomic<bool> done_{false};
    SourceResult result_;  // the worker's, read once done_ is set
};

}  // namespace dv
