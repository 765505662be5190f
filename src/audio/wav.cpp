#include "audio/wav.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/read_file.h"

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
    std::vector<uint8_t> bytes;
    const FileRead got = ReadWholeFile(path, kMaxWavFileBytes, bytes, error);
    if (got == FileRead::Missing) error = path + ": cannot open the sound file";
    return got == FileRead::Read && ParseWav(bytes.data(), bytes.size(), path, out, error);
}

namespace {

void PutU16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
    PutU16(p, v & 0xFFFFu);
    PutU16(p + 2, v >> 16);
}

constexpr size_t kWavHeaderBytes = 44;

void FillHeader(uint8_t (&h)[kWavHeaderBytes], int32_t sampleRate, int32_t channels, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    PutU32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutU32(h + 16, 16);
    PutU16(h + 20, kFormatPcm);
    PutU16(h + 22, static_cast<uint32_t>(channels));
    PutU32(h + 24, static_cast<uint32_t>(sampleRate));
    PutU32(h + 28, static_cast<uint32_t>(sampleRate * channels * 2));
    PutU16(h + 32, static_cast<uint32_t>(channels * 2));
    PutU16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    PutU32(h + 40, dataBytes);
}

}  // namespace

WavWriter::~WavWriter() { Discard(); }

void WavWriter::Discard() { file_.Abandon(); }

bool WavWriter::Open(const std::string& path, int32_t sampleRate, int32_t channels, std::string& error) {
    path_ = path;
    sampleRate_ = sampleRate;
    channels_ = channels;
    dataBytes_ = 0;
    if (!file_.Create(path, error)) return false;
    uint8_t header[kWavHeaderBytes];
    FillHeader(header, sampleRate, channels, 0);
    if (!file_.Write(header, sizeof header)) {
        error = path + ": cannot write the sound file: " + std::strerror(errno);
        file_.Abandon();
        return false;
    }
    return true;
}

bool WavWriter::Append(const int16_t* frames, size_t frameCount, std::string& error) {
    if (!file_.IsOpen()) {
        error = path_ + ": the sound file is not open";
        return false;
    }
    const size_t values = frameCount * static_cast<size_t>(channels_);
    // The RIFF sizes are 32-bit; a longer recording would wrap them.
    if (dataBytes_ + values * 2 > 0xFFFFFFFFull - kWavHeaderBytes) {
        error = path_ + ": the recording is longer than a WAV file can hold";
        return false;
    }
    uint8_t block[4096];
    size_t done = 0;
    while (done < values) {
        const size_t n = std::min(values - done, sizeof block / 2);
        for (size_t i = 0; i < n; ++i) PutU16(block + 2 * i, static_cast<uint16_t>(frames[done + i]));
        if (!file_.Write(block, 2 * n)) {
            error = path_ + ": cannot write the sound file: " + std::strerror(errno);
            file_.Abandon();
            return false;
        }
        done += n;
    }
    dataBytes_ += values * 2;
    return true;
}

bool WavWriter::Finish(std::string& error) {
    if (!file_.IsOpen()) {
        error = path_ + ": the sound file is not open";
        return false;
    }
    uint8_t header[kWavHeaderBytes];
    FillHeader(header, sampleRate_, channels_, static_cast<uint32_t>(dataBytes_));
    if (std::fseek(file_.Stream(), 0, SEEK_SET) != 0 || !file_.Write(header, sizeof header)) {
        error = path_ + ": cannot write the sound file: " + std::strerror(errno);
        file_.Abandon();
        return false;
    }
    return file_.Commit(error);
}

bool WriteWavFile(const std::string& path, const SoundSamples& samples, std::string& error) {
    WavWriter writer;
    return writer.Open(path, samples.SampleRate, samples.Channels, error) &&
           writer.Append(samples.Frames.data(), samples.FrameCount(), error) && writer.Finish(error);
}

}  // namespace dv
