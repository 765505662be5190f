// Any bytes either decode into whole 16-bit frames of one or two channels at an accepted rate,
// or give one line of error naming the file; the decoder never reads past the bytes. The
// browser build's reader (stb_vorbis) answers to the same function, so this harness drives both:
// fuzz_ogg links the audio library, fuzz_stb_vorbis is built from this file with stb_vorbis.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "audio/ogg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dv::SoundSamples s;
    std::string error;
    if (dv::ParseOgg(data, size, "f.ogg", s, error)) {
        if (s.Channels != 1 && s.Channels != 2) std::abort();
        if (s.SampleRate < dv::kMinSampleRate || s.SampleRate > dv::kMaxSampleRate) std::abort();
        if (s.Frames.empty() || s.Frames.size() % static_cast<size_t>(s.Channels) != 0) std::abort();
    } else if (error.rfind("f.ogg: ", 0) != 0 || error.find('\n') != std::string::npos) {
        std::abort();
    }
    return 0;
}
