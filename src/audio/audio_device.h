// The OpenAL device and context the game's sounds play through: the speakers, or a loopback
// device whose mix the game pulls itself (for --audio-out, rendered in step with the clock).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

enum class AudioOutput { Speakers, Loopback };

// The loopback mix: 48 kHz, stereo, 16-bit.
inline constexpr int32_t kLoopbackSampleRate = 48000;
inline constexpr int32_t kLoopbackChannels = 2;

class AudioDevice {
public:
    AudioDevice() = default;
    ~AudioDevice();
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    // Opens the default output and makes its context current. False with `error` saying why
    // (no output device on this machine, or no context). The sound library's own diagnostics
    // are kept off stderr; `error` carries the one line a player needs.
    bool OpenSpeakers(std::string& error);
    // Opens a loopback device mixing at kLoopbackSampleRate in stereo, with no HRTF, so the mix
    // depends only on what the game asks of it.
    bool OpenLoopback(std::string& error);
    // Mixes `frameCount` frames into `frames` (kLoopbackChannels values each). Loopback only.
    void RenderLoopback(int16_t* frames, int32_t frameCount);
    void Close();

    bool IsOpen() const { return context_ != nullptr; }
    AudioOutput Output() const { return output_; }

private:
    void* device_ = nullptr;   // ALCdevice
    void* context_ = nullptr;  // ALCcontext
    void* render_ = nullptr;   // alcRenderSamplesSOFT, loopback only
    std::vector<float> mix_;   // the loopback's float mix before conversion
    AudioOutput output_ = AudioOutput::Speakers;
};

}  // namespace dv
