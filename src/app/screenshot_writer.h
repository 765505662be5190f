// Player screenshots (F12): the frame's pixels are taken on the main thread and encoded and
// written as PNG on a background thread, so saving never stalls the frame loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dv {

class Viewport;

// Reads the frame last presented by `view` and writes it to `path` as PNG, now, on this
// thread; a failure is one line on stderr and false.
bool SaveScreenshot(const Viewport& view, const std::string& path);

// "dedivirede-YYYYMMDD-HHMMSS-mmm.png" for the local time `when`.
std::string ScreenshotFileName(std::chrono::system_clock::time_point when);

// A bounded queue of pictures with one writer thread. Errors go to stderr as one line.
class ScreenshotWriter {
public:
    explicit ScreenshotWriter(size_t maxQueued = 4);
    ~ScreenshotWriter();  // writes what is queued, then joins the thread
    ScreenshotWriter(const ScreenshotWriter&) = delete;
    ScreenshotWriter& operator=(const ScreenshotWriter&) = delete;

    // Queues top-to-bottom RGBA rows for `path`. Returns false (and drops the picture) when
    // the queue is full or the size does not match the pixels.
    bool Submit(std::string path, int width, int height, std::vector<uint8_t> rgba);
    // Blocks until everything queued so far is written; returns the number of failed writes.
    int Flush();

private:
    struct Job {
        std::string Path;
        int Width = 0;
        int Height = 0;
        std::vector<uint8_t> Rgba;
    };
    void Run();

    const size_t maxQueued_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    int failures_ = 0;
    std::thread thread_;
};

}  // namespace dv
