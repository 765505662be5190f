// Reading an --audio-out record the way the sound tests listen to it: loudness over time, a
// low band's share, and where sounds start.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "audio/wav.h"

namespace dv::test {

struct SoundRecord {
    int Rate = 48000;
    std::vector<float> Mono;  // -1 .. 1, the two channels averaged

    size_t FrameAt(double ms) const { return std::min(Mono.size(), static_cast<size_t>(ms * Rate / 1000.0)); }
    // Root-mean-square level from `fromMs` to `toMs`.
    double Rms(double fromMs, double toMs) const {
        const size_t a = FrameAt(fromMs), b = FrameAt(toMs);
        if (b <= a) return 0;
        double sum = 0;
        for (size_t i = a; i < b; ++i) sum += double(Mono[i]) * Mono[i];
        return std::sqrt(sum / double(b - a));
    }
    // The loudest 5 ms window from `fromMs` to `toMs`.
    double PeakRms(double fromMs, double toMs) const {
        double best = 0;
        for (double t = fromMs; t + 5 <= toMs; t += 2.5) best = std::max(best, Rms(t, t + 5));
        return best;
    }
    // The RMS of the signal below about `hz` (a one-pole low-pass run twice) from `fromMs` to `toMs`.
    double LowBandRms(double fromMs, double toMs, double hz) const {
        const size_t a = FrameAt(fromMs), b = FrameAt(toMs);
        const double k = 1.0 - std::exp(-2.0 * M_PI * hz / Rate);
        double y1 = 0, y2 = 0, sum = 0;
        const size_t warm = std::min<size_t>(a, static_cast<size_t>(Rate / 10));
        for (size_t i = a - warm; i < b; ++i) {
            y1 += k * (Mono[i] - y1);
            y2 += k * (y1 - y2);
            if (i >= a) sum += y2 * y2;
        }
        return b > a ? std::sqrt(sum / double(b - a)) : 0.0;
    }
    // True when a sound starts between `fromMs` and `toMs`: a 5 ms window at least `ratio`
    // times as loud as the 20 ms before it.
    bool OnsetBetween(double fromMs, double toMs, double ratio = 2.0) const {
        for (double t = fromMs; t <= toMs; t += 2.5) {
            const double before = Rms(t - 25, t - 5), now = Rms(t, t + 5);
            if (now > ratio * before + 1e-4) return true;
        }
        return false;
    }
};

inline bool LoadSoundRecord(const std::string& path, SoundRecord& out, std::string& error) {
    SoundSamples s;
    if (!LoadWavFile(path, s, error)) return false;
    out.Rate = s.SampleRate;
    out.Mono.resize(s.FrameCount());
    const size_t ch = static_cast<size_t>(s.Channels);
    for (size_t i = 0; i < out.Mono.size(); ++i) {
        float sum = 0;
        for (size_t c = 0; c < ch; ++c) sum += s.Frames[i * ch + c];
        out.Mono[i] = sum / (32768.0f * static_cast<float>(ch));
    }
    return true;
}

}  // namespace dv::test
