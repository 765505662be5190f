#include "app/screenshot_writer.h"

#include <cstdio>
#include <ctime>

#include "imaging/png_write.h"
#include "render/viewport.h"

namespace dv {

std::string ScreenshotFileName(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    char name[64];
    std::snprintf(name, sizeof name, "dedivirede-%s-%03d.png", stamp, static_cast<int>(ms));
    return name;
}

ScreenshotWriter::ScreenshotWriter(size_t maxQueued) : maxQueued_(maxQueued), thread_([this] { Run(); }) {}

ScreenshotWriter::~ScreenshotWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool SaveScreenshot(const Viewport& view, const std::string& path) {
    FramePixels frame;
    std::string error;
    if (!view.ReadFrame(frame)) {
        std::fprintf(stderr, "%s: cannot read the frame back\n", path.c_str());
        return false;
    }
    if (WritePngFile(path, frame.Width, frame.Height, frame.Rgba.data(), error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

bool ScreenshotWriter::Submit(std::string path, int width, int height, std::vector<uint8_t> rgba) {
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<size_t>(width) * height * 4) return false;
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= maxQueued_) return false;
        queue_.push_back(Job{std::move(path), width, height, std::move(rgba)});
    }
    wake_.notify_one();
    return true;
}

int ScreenshotWriter::Flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
    return failures_;
}

void ScreenshotWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping with nothing left to write
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        std::string error;
        const bool ok = WritePngFile(job.Path, job.Width, job.Height, job.Rgba.data(), error);
        if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
        lock.lock();
        if (!ok) ++failures_;
        busy_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

}  // namespace dv
