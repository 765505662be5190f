#include "tools/sound/ogg_vorbis_writer.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace dv {

namespace {

constexpr int kBlockFrames = 4096;

// The encoder's state, set up in order and cleared in reverse order.
class VorbisEncoder {
public:
    VorbisEncoder() {
        vorbis_info_init(&info_);
        vorbis_comment_init(&comment_);
    }
    ~VorbisEncoder() {
        if (streamReady_) ogg_stream_clear(&stream_);
        if (analysisReady_) {
            vorbis_block_clear(&block_);
            vorbis_dsp_clear(&dsp_);
        }
        vorbis_comment_clear(&comment_);
        vorbis_info_clear(&info_);
    }
    VorbisEncoder(const VorbisEncoder&) = delete;
    VorbisEncoder& operator=(const VorbisEncoder&) = delete;

    bool Start(int channels, int rate, float quality, uint32_t serial) {
        if (vorbis_encode_init_vbr(&info_, channels, rate, quality) != 0) return false;
        if (vorbis_analysis_init(&dsp_, &info_) != 0) return false;
        vorbis_block_init(&dsp_, &block_);
        analysisReady_ = true;
        if (ogg_stream_init(&stream_, static_cast<int>(serial & 0x7FFFFFFF)) != 0) return false;
        streamReady_ = true;
        ogg_packet header, comments, codebooks;
        if (vorbis_analysis_headerout(&dsp_, &comment_, &header, &comments, &codebooks) != 0) return false;
        ogg_stream_packetin(&stream_, &header);
        ogg_stream_packetin(&stream_, &comments);
        ogg_stream_packetin(&stream_, &codebooks);
        ogg_page page;
        while (ogg_stream_flush(&stream_, &page) != 0) Append(page);
        return true;
    }

    // Hands `frames` interleaved frames to the encoder; zero frames ends the stream.
    void Write(const int16_t* data, int frames, int channels) {
        if (frames > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp_, frames);
            for (int f = 0; f < frames; ++f)
                for (int c = 0; c < channels; ++c) buffer[c][f] = data[f * channels + c] / 32768.0f;
        }
        vorbis_analysis_wrote(&dsp_, frames);
        Drain();
    }

    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    void Drain() {
        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) {
                ogg_stream_packetin(&stream_, &packet);
                ogg_page page;
                while (ogg_stream_pageout(&stream_, &page) != 0) Append(page);
            }
        }
        ogg_page page;
        if (ogg_stream_eos(&stream_) != 0)
            while (ogg_stream_flush(&stream_, &page) != 0) Append(page);
    }
    void Append(const ogg_page& page) {
        bytes_.insert(bytes_.end(), page.header, page.header + page.header_len);
        bytes_.insert(bytes_.end(), page.body, page.body + page.body_len);
    }

    vorbis_info info_;
    vorbis_comment comment_;
    vorbis_dsp_state dsp_;
    vorbis_block block_;
    ogg_stream_state stream_;
    bool analysisReady_ = false;
    bool streamReady_ = false;
    std::vector<uint8_t> bytes_;
};

}  // namespace

bool EncodeOggVorbis(const SoundSamples& samples, float quality, uint32_t serial, const std::string& name,
                     std::vector<uint8_t>& out, std::string& error) {
    if (samples.Channels < 1 || samples.Channels > 2 || samples.FrameCount() == 0) {
        error = name + ": nothing to encode (needs mono or stereo frames)";
        return false;
    }
    VorbisEncoder encoder;
    if (!encoder.Start(samples.Channels, samples.SampleRate, quality, serial)) {
        error = name + ": the Vorbis encoder refused " + std::to_string(samples.Channels) + " channels at " +
                std::to_string(samples.SampleRate) + " Hz";
        return false;
    }
    const size_t frames = samples.FrameCount();
    for (size_t done = 0; done < frames; done += kBlockFrames) {
        const int n = static_cast<int>(std::min<size_t>(kBlockFrames, frames - done));
        encoder.Write(samples.Frames.data() + done * static_cast<size_t>(samples.Channels), n, samples.Channels);
    }
    encoder.Write(nullptr, 0, samples.Channels);
    out = std::move(encoder.Bytes());
    return true;
}

}  // namespace dv
