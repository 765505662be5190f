// Ogg Vorbis through stb_vorbis, for the browser build, where libvorbisfile is not
// available. The same checks and messages as the desktop reader (audio/ogg.cpp): one or two
// channels, a sample rate in range, a damaged stream ends in one line naming the file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/ogg.h"
#include "audio/vorbis_setup.h"

#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_PUSHDATA_API
#include <stb_vorbis.h>
#undef L
#undef C
#undef R

namespace dv {

struct OggStream::Decoder {
    std::vector<uint8_t> Bytes;
    stb_vorbis* Vorbis = nullptr;

    ~Decoder() {
        if (Vorbis != nullptr) stb_vorbis_close(Vorbis);
    }
};

namespace {

const char* OpenErrorText(int code) {
    switch (code) {
        case VORBIS_unexpected_eof: return "the stream ends inside its headers";
        case VORBIS_invalid_first_page:
        case VORBIS_missing_capture_pattern: return "not an Ogg Vorbis stream";
        case VORBIS_invalid_stream_structure_version: return "a Vorbis version this decoder does not read";
        case VORBIS_invalid_setup:
        case VORBIS_invalid_stream: return "a damaged Vorbis header";
        case VORBIS_outofmem: return "out of memory";
        default: return "not a readable Ogg Vorbis stream";
    }
}

}  // namespace

OggStream::OggStream() = default;
OggStream::~OggStream() = default;

void OggStream::Close() { decoder_.reset(); }

bool OggStream::IsOpen() const { return decoder_ != nullptr && decoder_->Vorbis != nullptr; }

bool OggStream::Open(std::vector<uint8_t> bytes, const std::string& name, std::string& error) {
    decoder_ = std::make_unique<Decoder>();
    decoder_->Bytes = std::move(bytes);
    name_ = name;
    ended_ = false;
    if (decoder_->Bytes.size() > static_cast<size_t>(INT32_MAX)) {
        decoder_.reset();
        error = name + ": too large";
        return false;
    }
    std::string why;
    if (!CheckVorbisCodebooks(decoder_->Bytes.data(), decoder_->Bytes.size(), why)) {
        decoder_.reset();
        error = name + ": a damaged Vorbis header (" + why + ")";
        return false;
    }
    int code = 0;
    decoder_->Vorbis =
        stb_vorbis_open_memory(decoder_->Bytes.data(), static_cast<int>(decoder_->Bytes.size()), &code, nullptr);
    if (decoder_->Vorbis == nullptr) {
        decoder_.reset();
        error = name + ": " + OpenErrorText(code);
        return false;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(decoder_->Vorbis);
    if (info.channels < 1 || info.channels > 2) {
        error = name + ": " + std::to_string(info.channels) + " channels, 1 or 2 are read";
        decoder_.reset();
        return false;
    }
    if (info.sample_rate < static_cast<unsigned>(kMinSampleRate) ||
        info.sample_rate > static_cast<unsigned>(kMaxSampleRate)) {
        error = name + ": sample rate " + std::to_string(info.sample_rate) + " outside " +
                std::to_string(kMinSampleRate) + ".." + std::to_string(kMaxSampleRate);
        decoder_.reset();
        return false;
    }
    channels_ = info.channels;
    sampleRate_ = static_cast<int32_t>(info.sample_rate);
    return true;
}

size_t OggStream::Read(int16_t* frames, size_t frameCount, std::string& error) {
    if (!IsOpen() || ended_) return 0;
    size_t done = 0;
    while (done < frameCount) {
        const size_t wanted = std::min<size_t>(frameCount - done, 1u << 18);
        const int got = stb_vorbis_get_samples_short_interleaved(
            decoder_->Vorbis, channels_, frames + done * static_cast<size_t>(channels_),
            static_cast<int>(wanted * static_cast<size_t>(channels_)));
        if (got <= 0) {
            const int code = stb_vorbis_get_error(decoder_->Vorbis);
            // A stream cut short ends like one that is complete, as with libvorbisfile.
            if (code != VORBIS__no_error && code != VORBIS_unexpected_eof)
                error = name_ + ": the stream is damaged at frame " +
                        std::to_string(stb_vorbis_get_sample_offset(decoder_->Vorbis)) + ", the rest is silent";
            ended_ = true;
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

bool OggStream::Rewind() {
    if (!IsOpen()) return false;
    ended_ = false;
    return stb_vorbis_seek_start(decoder_->Vorbis) != 0;
}

}  // namespace dv
