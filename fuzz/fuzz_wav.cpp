// Any bytes either parse into 16-bit frames that fill whole frames at an accepted rate, or
// give one line of error naming the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "audio/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dv::SoundSamples s;
    std::string error;
    if (dv::ParseWav(data, size, "f.wav", s, error)) {
        if (s.Channels != 1 && s.Channels != 2) std::abort();
        if (s.SampleRate < dv::kMinSampleRate || s.SampleRate > dv::kMaxSampleRate) std::abort();
        if (s.Frames.size() % static_cast<size_t>(s.Channels) != 0) std::abort();
    } else if (error.rfind("f.wav: offset ", 0) != 0 || error.find('\n') != std::string::npos) {
        std::abort();
    }
    return 0;
}
