// 16-bit PCM WAV files: the sound effects' format. The reader checks every size against the
// bytes it has, so a damaged file gives one line naming the file and the offset where it went
// wrong, never a read past its end or an absurd allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dv {

struct SoundSamples {
    int32_t SampleRate = 0;       // frames per second
    int32_t Channels = 0;         // 1 or 2
    std::vector<int16_t> Frames;  // interleaved, Channels values per frame

    size_t FrameCount() const { return Channels > 0 ? Frames.size() / static_cast<size_t>(Channels) : 0; }
};

// Sample rates and lengths the reader accepts.
inline constexpr int32_t kMinSampleRate = 8000;
inline constexpr int32_t kMaxSampleRate = 192000;
inline constexpr size_t kMaxWavDataBytes = 64u << 20;

// Parses a RIFF/WAVE file of 16-bit PCM, mono or stereo (plain or WAVE_FORMAT_EXTENSIBLE),
// skipping chunks other than "fmt " and "data". False with `error` set to
// "<name>: offset <n>: <what>" when the bytes are not such a file.
bool ParseWav(const uint8_t* data, size_t size, const std::string& name, SoundSamples& out, std::string& error);
// Reads and parses the file at `path` (named by its path in messages).
bool LoadWavFile(const std::string& path, SoundSamples& out, std::string& error);

}  // namespace dv
