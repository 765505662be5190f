// The parts of the Ogg reader that do not depend on the decoder behind OggStream
// (libvorbisfile on the desktop, stb_vorbis in the browser): reading the file, and decoding a
// whole stream through the stream.
#include "audio/ogg.h"

#include "files/read_file.h"

namespace dv {

namespace {

bool ReadOggFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    const FileRead got = ReadWholeFile(path, kMaxOggFileBytes, bytes, error);
    if (got == FileRead::Missing) error = path + ": cannot open the sound file";
    return got == FileRead::Read;
}

}  // namespace

bool OggStream::OpenFile(const std::string& path, std::string& error) {
    std::vector<uint8_t> bytes;
    return ReadOggFile(path, bytes, error) && Open(std::move(bytes), path, error);
}

bool ParseOgg(const uint8_t* data, size_t size, const std::string& name, SoundSamples& out, std::string& error) {
    OggStream stream;
    if (!stream.Open(std::vector<uint8_t>(data, data + size), name, error)) return false;
    out.SampleRate = stream.SampleRate();
    out.Channels = stream.Channels();
    out.Frames.clear();
    constexpr size_t kBlockFrames = 4096;
    int16_t block[kBlockFrames * 2];
    std::string readError;
    for (;;) {
        const size_t got = stream.Read(block, kBlockFrames, readError);
        if (!readError.empty()) {
            error = readError;
            return false;
        }
        if (got == 0) break;
        if (out.FrameCount() + got > kMaxOggDecodedFrames) {
            error = name + ": longer than " + std::to_string(kMaxOggDecodedFrames / 48000 / 60) +
                    " minutes at 48 kHz, too long to decode whole";
            return false;
        }
        out.Frames.insert(out.Frames.end(), block, block + got * static_cast<size_t>(out.Channels));
    }
    if (out.Frames.empty()) {
        error = name + ": the stream holds no samples";
        return false;
    }
    return true;
}

bool LoadOggFile(const std::string& path, SoundSamples& out, std::string& error) {
    std::vector<uint8_t> bytes;
    return ReadOggFile(path, bytes, error) && ParseOgg(bytes.data(), bytes.size(), path, out, error);
}

}  // namespace dv
