#include "audio/wav.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace dv {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }

struct Format {
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint16_t BlockAlign = 0;
};

// The reason the "fmt " chunk at `body` (of `size` bytes) is not 16-bit PCM, or empty.
std::string CheckFormat(const uint8_t* body, uint32_t size, Format& f) {
    if (size < 16) return "format chunk of " + std::to_string(size) + " bytes, 16 needed";
    uint16_t tag = U16(body);
    if (tag == kFormatExtensible) {
        if (size < 40) return "extensible format chunk of " + std::to_string(size) + " bytes, 40 needed";
        tag = U16(body + 24);  // the first two bytes of the sub-format GUID
    }
    if (tag != kFormatPcm) return "format " + std::to_string(tag) + ", only PCM is read";
    f.Channels = U16(body + 2);
    f.SampleRate = U32(body + 4);
    f.BlockAlign = U16(body + 12);
    const uint16_t bits = U16(body + 14);
    if (bits != 16) return std::to_string(bits) + " bits per sample, only 16 are read";
    if (f.Channels != 1 && f.Channels != 2) return std::to_string(f.Channels) + " channels, 1 or 2 are read";
    if (f.SampleRate < static_cast<uint32_t>(kMinSampleRate) || f.SampleRate > static_cast<uint32_t>(kMaxSampleRate))
        return "sample rate " + std::to_string(f.SampleRate) + " outside " + std::to_string(kMinSampleRate) + ".." +
               std::to_string(kMaxSampleRate);
    if (f.BlockAlign != f.Channels * 2) return "block size " + std::to_string(f.BlockAlign) + " for 16-bit frames";
    return {};
}

bool Fail(const std::string& name, size_t offset, const std::string& what, std::string& error) {
    error = name + ": offset " + std::to_string(offset) + ": " + what;
    return false;
}

}  // namespace

bool ParseWav(const uint8_t* data, size_t size, const std::string& name, SoundSamples& out, std::string& error) {
    if (size < 12) return Fail(name, size, "file ends inside the RIFF header", error);
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return Fail(name, 0, "not a RIFF/WAVE file", error);
    Format format;
    bool haveFormat = false;
    size_t at = 12;
    while (at < size) {
        if (size - at < 8) return Fail(name, at, "file ends inside a chunk header", error);
        const uint8_t* header = data + at;
        const uint32_t chunkSize = U32(header + 4);
        const size_t body = at + 8;
        if (chunkSize > size - body) {
            return Fail(name, at, "chunk of " + std::to_string(chunkSize) + " bytes runs past the end of the file",
                        error);
        }
        if (std::memcmp(header, "fmt ", 4) == 0) {
            const std::string why = CheckFormat(data + body, chunkSize, format);
            if (!why.empty()) return Fail(name, body, why, error);
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!haveFormat) return Fail(name, at, "data before the format chunk", error);
            if (chunkSize > kMaxWavDataBytes)
                return Fail(name, at, "more than " + std::to_string(kMaxWavDataBytes) + " bytes of samples", error);
            if (chunkSize % format.BlockAlign != 0)
                return Fail(name, body + chunkSize, "the samples end inside a frame", error);
            out.SampleRate = static_cast<int32_t>(format.SampleRate);
            out.Channels = format.Channels;
            out.Frames.resize(chunkSize / 2);
            for (size_t i = 0; i < out.Frames.size(); ++i)
                out.Frames[i] = static_cast<int16_t>(U16(data + body + 2 * i));
            return true;
        }
        at = body + chunkSize + (chunkSize & 1u);  // chunks are padded to even sizes
    }
    return Fail(name, size, haveFormat ? "no data chunk" : "no format chunk", error);
}

bool LoadWavFile(const std::string& path, SoundSamples& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the sound file";
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseWav(bytes.data(), bytes.size(), path, out, error);
}

}  // namespace dv
