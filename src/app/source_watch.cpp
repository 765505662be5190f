#include "app/source_watch.h"

#include <utility>

namespace dv {

namespace fs = std::filesystem;

SourceWatch::SourceWatch(SourceCompiler compiler, std::string sourcePath, std::string cacheDir, std::string dataDir,
                         const CompiledSource& compiled)
    : compiler_(std::move(compiler)),
      sourcePath_(fs::absolute(sourcePath).lexically_normal().string()),
      cacheDir_(std::move(cacheDir)),
      dataDir_(std::move(dataDir)) {
    files_.push_back(Look(sourcePath_));
    for (const std::string& file : compiled.Files)
        if (file != sourcePath_) files_.push_back(Look(file));
}

SourceWatch::~SourceWatch() { Wait(); }

SourceWatch::Seen SourceWatch::Look(const std::string& path) {
    Seen seen;
    seen.Path = path;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::is_regular_file(status)) return seen;
    seen.Time = fs::last_write_time(path, ec);
    seen.Size = fs::file_size(path, ec);
    seen.Exists = !ec;
    return seen;
}

void SourceWatch::Poll() {
    for (Seen& file : files_) {
        const Seen now = Look(file.Path);
        if (now.Exists == file.Exists && now.Time == file.Time && now.Size == file.Size) continue;
        file = now;
        pending_ = true;
        pendingWrittenAt_ = now.Exists ? std::chrono::file_clock::to_sys(now.Time) : std::chrono::system_clock::now();
    }
    if (pending_ && !Busy()) Start();
}

void SourceWatch::Start() {
    pending_ = false;
    started_ = true;
    done_ = false;
    result_ = SourceResult{};
    result_.WrittenAt = pendingWrittenAt_;
    worker_ = std::thread([this] {
        result_.Compiled = compiler_(sourcePath_, cacheDir_, dataDir_, result_.Level, result_.Error);
        done_ = true;
    });
}

void SourceWatch::Wait() {
    if (worker_.joinable()) worker_.join();
}

bool SourceWatch::TakeResult(SourceResult& out) {
    if (!started_ || !done_) return false;
    Wait();
    started_ = false;
    out = std::move(result_);
    // A good compile may name other files (another character pack): those are watched now.
    if (out.Compiled) {
        std::vector<Seen> files{files_.front()};
        for (const std::string& file : out.Level.Files) {
            if (file == sourcePath_) continue;
            Seen seen = Look(file);
            for (const Seen& old : files_)
                if (old.Path == file) seen = old;
            files.push_back(seen);
        }
        files_ = std::move(files);
    }
    if (pending_) Start();
    return true;
}

}  // namespace dv
