// 16-bit PCM WAV files: the sound effects' format. The reader checks every size against the
// bytes it has, so a damaged file gives one line naming the file and the offset where it went
// wrong, never a read past its end or an absurd allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/safe_write.h"

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
// The largest WAV file read: its samples and room for its other chunks.
inline constexpr size_t kMaxWavFileBytes = kMaxWavDataBytes + (1u << 20);
// Reads and parses the file at `path` (named by its path in messages).
bool LoadWavFile(const std::string& path, SoundSamples& out, std::string& error);

// Writes a 16-bit PCM WAV file a block of frames at a time. The frames go to a temporary file
// beside `path`, renamed into place by Finish, so a run that stops half-way never leaves a
// damaged file under the final name.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Writes safely (files/safe_write.h): nothing is at `path` until Finish. False with `error`
    // naming the path when the temporary file cannot be created.
    bool Open(const std::string& path, int32_t sampleRate, int32_t channels, std::string& error);
    // Appends `frameCount` interleaved frames. False once a write has failed.
    bool Append(const int16_t* frames, size_t frameCount, std::string& error);
    // Fills in the sizes and puts the file in place.
    bool Finish(std::string& error);
    // Drops the unfinished file.
    void Discard();
    bool IsOpen() const { return file_.IsOpen(); }

private:
    SafeFile file_;
    std::string path_;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    uint64_t dataBytes_ = 0;
};

// Writes `samples` to `path` whole.
bool WriteWavFile(const std::string& path, const SoundSamples& samples, std::string& error);

}  // namespace dv
