// Per-frame figures for --stats: frame time, triangles, draw calls and scene-build time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

class FrameStats {
public:
    // Reserves room for `frames` frames so that recording allocates nothing until then.
    explicit FrameStats(size_t frames = 1 << 16);
    void Record(double frameMs, int32_t triangles, uint64_t drawCalls, double sceneBuildUs);

    // The frame rate the overlay showed last (the "FPS:" figure), reported with the means.
    void SetFpsShown(int32_t fps) { fpsShown_ = fps; }

    size_t Frames() const { return frames_; }
    double MeanFrameMs() const;
    double Percentile99FrameMs() const;
    double MeanTriangles() const;
    double MeanDrawCalls() const;
    double MeanSceneBuildUs() const;
    std::string ToJson() const;
    // Writes the JSON safely (files/safe_write.h); false with `error` on failure.
    bool WriteJson(const std::string& path, std::string& error) const;

private:
    std::vector<float> frameMs_;
    size_t frames_ = 0;
    int32_t fpsShown_ = 0;
    double sumFrameMs_ = 0;
    double sumTriangles_ = 0;
    double sumDrawCalls_ = 0;
    double sumSceneBuildUs_ = 0;
};

}  // namespace dv
