#include "audio/audio_device.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dv {

namespace {

ALCdevice* Device(void* p) { return static_cast<ALCdevice*>(p); }

// Holds stderr on /dev/null while it lives: opening a device makes the system's sound
// libraries print several lines of their own when there is no sound card, and the player
// should see one line that says what it means for the game.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

}  // namespace

AudioDevice::~AudioDevice() { Close(); }

void AudioDevice::Close() {
    if (context_ != nullptr) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(static_cast<ALCcontext*>(context_));
        context_ = nullptr;
    }
    if (device_ != nullptr) {
        alcCloseDevice(Device(device_));
        device_ = nullptr;
    }
    render_ = nullptr;
}

bool AudioDevice::OpenSpeakers(std::string& error) {
    Close();
    output_ = AudioOutput::Speakers;
    {
        QuietStderr quiet;
        device_ = alcOpenDevice(nullptr);
    }
    if (device_ == nullptr) {
        error = "no sound output device could be opened";
        return false;
    }
    context_ = alcCreateContext(Device(device_), nullptr);
    if (context_ == nullptr || alcMakeContextCurrent(static_cast<ALCcontext*>(context_)) == ALC_FALSE) {
        error = "the sound device gave no mixing context";
        Close();
        return false;
    }
    return true;
}

bool AudioDevice::OpenLoopback(std::string& error) {
    Close();
    output_ = AudioOutput::Loopback;
    if (alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback") == ALC_FALSE) {
        error = "the sound library cannot render offline (no ALC_SOFT_loopback)";
        return false;
    }
    const auto openLoopback =
        reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    const auto supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
        alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
    render_ = reinterpret_cast<void*>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (openLoopback == nullptr || supported == nullptr || render_ == nullptr) {
        error = "the sound library lacks its offline rendering functions";
        render_ = nullptr;
        return false;
    }
    device_ = openLoopback(nullptr);
    if (device_ == nullptr) {
        error = "the sound library could not open an offline device";
        render_ = nullptr;
        return false;
    }
    // Mixed in float and converted here: the library's own 16-bit output is dithered, which
    // would put noise into a record of silence.
    if (supported(Device(device_), kLoopbackSampleRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT) == ALC_FALSE) {
        error = "the offline device cannot mix 48 kHz stereo";
        Close();
        return false;
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 kLoopbackSampleRate,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 0};
    context_ = alcCreateContext(Device(device_), attributes);
    if (context_ == nullptr || alcMakeContextCurrent(static_cast<ALCcontext*>(context_)) == ALC_FALSE) {
        error = "the offline device gave no mixing context";
        Close();
        return false;
    }
    return true;
}

void AudioDevice::RenderLoopback(int16_t* frames, int32_t frameCount) {
    if (render_ == nullptr || frameCount <= 0) return;
    const size_t values = static_cast<size_t>(frameCount) * kLoopbackChannels;
    if (mix_.size() < values) mix_.resize(values);  // once, at the first and largest block
    reinterpret_cast<LPALCRENDERSAMPLESSOFT>(render_)(Device(device_), mix_.data(), frameCount);
    for (size_t i = 0; i < values; ++i)
        frames[i] = static_cast<int16_t>(std::lround(std::clamp(mix_[i], -1.0f, 32767.0f / 32768.0f) * 32768.0f));
}

}  // namespace dv
