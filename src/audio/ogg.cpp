#include "audio/ogg.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>

namespace dv {

// The encoded bytes and libvorbisfile's state over them. The callbacks read from `Bytes`.
struct OggStream::Decoder {
    std::vector<uint8_t> Bytes;
    size_t At = 0;
    OggVorbis_File File{};
    bool Open = false;

    ~Decoder() {
        if (Open) ov_clear(&File);
    }

    static size_t ReadBytes(void* ptr, size_t size, size_t count, void* source) {
        auto& d = *static_cast<Decoder*>(source);
        const size_t wanted = size * count;
        const size_t n = std::min(wanted, d.Bytes.size() - d.At);
        if (n > 0) std::memcpy(ptr, d.Bytes.data() + d.At, n);
        d.At += n;
        return size == 0 ? 0 : n / size;
    }
    static int Seek(void* source, ogg_int64_t offset, int whence) {
        auto& d = *static_cast<Decoder*>(source);
        const auto size = static_cast<ogg_int64_t>(d.Bytes.size());
        ogg_int64_t base = 0;
        if (whence == SEEK_CUR) base = static_cast<ogg_int64_t>(d.At);
        else if (whence == SEEK_END) base = size;
        else if (whence != SEEK_SET) return -1;
        const ogg_int64_t to = base + offset;
        if (to < 0 || to > size) return -1;
        d.At = static_cast<size_t>(to);
        return 0;
    }
    static long Tell(void* source) { return static_cast<long>(static_cast<Decoder*>(source)->At); }
};

namespace {

const char* OpenErrorText(int code) {
    switch (code) {
        case OV_ENOTVORBIS: return "not an Ogg Vorbis stream";
        case OV_EVERSION: return "a Vorbis version this decoder does not read";
        case OV_EBADHEADER: return "a damaged Vorbis header";
        case OV_EREAD: return "the stream ends inside its headers";
        case OV_EFAULT: return "the decoder failed on the stream";
        default: return "not a readable Ogg Vorbis stream";
    }
}

}  // namespace

OggStream::OggStream() = default;
OggStream::~OggStream() = default;

void OggStream::Close() { decoder_.reset(); }

bool OggStream::IsOpen() const { return decoder_ != nullptr && decoder_->Open; }

bool OggStream::Open(std::vector<uint8_t> bytes, const std::string& name, std::string& error) {
    decoder_ = std::make_unique<Decoder>();
    decoder_->Bytes = std::move(bytes);
    name_ = name;
    ended_ = false;
    const ov_callbacks callbacks{Decoder::ReadBytes, Decoder::Seek, nullptr, Decoder::Tell};
    const int code = ov_open_callbacks(decoder_.get(), &decoder_->File, nullptr, 0, callbacks);
    if (code != 0) {
        decoder_.reset();
        error = name + ": " + OpenErrorText(code);
        return false;
    }
    decoder_->Open = true;
    const vorbis_info* info = ov_info(&decoder_->File, -1);
    if (info == nullptr || info->channels < 1 || info->channels > 2) {
        error =
            name + ": " + (info ? std::to_string(info->channels) : std::string("no")) + " channels, 1 or 2 are read";
        decoder_.reset();
        return false;
    }
    if (info->rate < kMinSampleRate || info->rate > kMaxSampleRate) {
        error = name + ": sample rate " + std::to_string(info->rate) + " outside " + std::to_string(kMinSampleRate) +
                ".." + std::to_string(kMaxSampleRate);
        decoder_.reset();
        return false;
    }
    channels_ = info->channels;
    sampleRate_ = static_cast<int32_t>(info->rate);
    return true;
}

size_t OggStream::Read(int16_t* frames, size_t frameCount, std::string& error) {
    if (!IsOpen() || ended_) return 0;
    size_t done = 0;
    while (done < frameCount) {
        const size_t bytesWanted = (frameCount - done) * static_cast<size_t>(channels_) * 2;
        int section = 0;
        const long got =
            ov_read(&decoder_->File, reinterpret_cast<char*>(frames + done * static_cast<size_t>(channels_)),
                    static_cast<int>(std::min<size_t>(bytesWanted, 1u << 20)), 0, 2, 1, &section);
        if (got == 0) {
            ended_ = true;
            break;
        }
        if (got < 0) {
            // A hole in the data (OV_HOLE) is skipped; anything else ends the stream.
            if (got == OV_HOLE) continue;
            error = name_ + ": the stream is damaged at frame " + std::to_string(ov_pcm_tell(&decoder_->File)) +
                    ", the rest is silent";
            ended_ = true;
            break;
        }
        // A chained stream may change its channel count; only the first layout is played.
        const vorbis_info* info = ov_info(&decoder_->File, section);
        if (info == nullptr || info->channels != channels_) {
            error = name_ + ": the channel count changes inside the stream";
            ended_ = true;
            break;
        }
        done += static_cast<size_t>(got) / (static_cast<size_t>(channels_) * 2);
    }
    return done;
}

bool OggStream::Rewind() {
    if (!IsOpen()) return false;
    ended_ = false;
    return ov_raw_seek(&decoder_->File, 0) == 0;
}

}  // namespace dv
