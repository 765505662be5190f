// Ogg Vorbis: the format of the music and the long ambience loops, decoded with libvorbisfile
// from bytes held in memory. Damaged streams end in one line naming the file, never a crash
// or an unbounded allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/wav.h"

namespace dv {

// The longest stream decoded whole (ParseOgg); streams are read piece by piece instead.
inline constexpr size_t kMaxOggDecodedFrames = 10u * 60u * 48000u;

// Decodes a whole Ogg Vorbis stream of one or two channels into 16-bit frames. False with
// `error` set to "<name>: <what>" when the bytes are not such a stream.
bool ParseOgg(const uint8_t* data, size_t size, const std::string& name, SoundSamples& out, std::string& error);
// The largest Ogg file read: ten minutes at a generous 640 kbit/s.
inline constexpr size_t kMaxOggFileBytes = 48u << 20;
// Reads and decodes the file at `path` (named by its path in messages).
bool LoadOggFile(const std::string& path, SoundSamples& out, std::string& error);

// An Ogg Vorbis stream decoded piece by piece, for music: the encoded bytes stay in memory
// and Read decodes into the caller's buffer, allocating nothing of its own once open.
class OggStream {
public:
    OggStream();
    ~OggStream();
    OggStream(const OggStream&) = delete;
    OggStream& operator=(const OggStream&) = delete;

    // Takes the file's bytes and checks its header. False with `error` set as ParseOgg does.
    bool Open(std::vector<uint8_t> bytes, const std::string& name, std::string& error);
    // Reads the file at `path` and opens it.
    bool OpenFile(const std::string& path, std::string& error);
    // Decodes up to `frameCount` frames into `frames` (Channels() values per frame). Returns
    // the number decoded: 0 at the end of the stream or when the stream turns out damaged
    // (the stream then stays at its end; `error` says why).
    size_t Read(int16_t* frames, size_t frameCount, std::string& error);
    // Back to the first frame.
    bool Rewind();
    bool IsOpen() const;
    void Close();
    int32_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }

private:
    struct Decoder;
    std::unique_ptr<Decoder> decoder_;
    std::string name_;
    int32_t channels_ = 0;
    int32_t sampleRate_ = 0;
    bool ended_ = false;
};

}  // namespace dv
