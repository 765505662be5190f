#include "app/frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "files/safe_write.h"

namespace dv {

FrameStats::FrameStats(size_t frames) { frameMs_.reserve(frames); }

void FrameStats::Record(double frameMs, int32_t triangles, uint64_t drawCalls, double sceneBuildUs) {
    ++frames_;
    sumFrameMs_ += frameMs;
    sumTriangles_ += triangles;
    sumDrawCalls_ += static_cast<double>(drawCalls);
    sumSceneBuildUs_ += sceneBuildUs;
    frameMs_.push_back(static_cast<float>(frameMs));
}

namespace {

double Mean(double sum, size_t n) { return n == 0 ? 0.0 : sum / static_cast<double>(n); }

}  // namespace

double FrameStats::MeanFrameMs() const { return Mean(sumFrameMs_, frames_); }
double FrameStats::MeanTriangles() const { return Mean(sumTriangles_, frames_); }
double FrameStats::MeanDrawCalls() const { return Mean(sumDrawCalls_, frames_); }
double FrameStats::MeanSceneBuildUs() const { return Mean(sumSceneBuildUs_, frames_); }

double FrameStats::Percentile99FrameMs() const {
    if (frameMs_.empty()) return 0.0;
    std::vector<float> sorted = frameMs_;
    const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(sorted.size()))) - 1;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank), sorted.end());
    return sorted[rank];
}

std::string FrameStats::ToJson() const {
    char text[512];
    std::snprintf(text, sizeof text,
                  "{\"frames\": %zu, \"meanFrameMs\": %.4f, \"p99FrameMs\": %.4f, \"meanTriangles\": %.2f, "
                  "\"meanDrawCalls\": %.2f, \"meanSceneBuildUs\": %.2f, \"fpsShown\": %d}\n",
                  frames_, MeanFrameMs(), Percentile99FrameMs(), MeanTriangles(), MeanDrawCalls(), MeanSceneBuildUs(),
                  fpsShown_);
    return text;
}

bool FrameStats::WriteJson(const std::string& path, std::string& error) const {
    return WriteFileSafely(path, ToJson(), error);
}

}  // namespace dv
