#include "audio/mixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace dv {

namespace {

constexpr float kSampleScale = 1.0f / 32768.0f;
constexpr float kFractionScale = 1.0f / 4294967296.0f;
constexpr float kCentre = 0.70710678f;  // each side's gain for a sound straight ahead

float Unit(float v, float fallback) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : fallback; }

}  // namespace

Mixer::Mixer(int32_t sampleRate, int32_t blockFrames)
    : sampleRate_(std::clamp(sampleRate, kMinSampleRate, kMaxSampleRate)),
      blockFrames_(std::max(blockFrames, 1)),
      block_(static_cast<size_t>(blockFrames_) * 2) {}

int32_t Mixer::AddSound(SoundSamples samples) {
    if (samples.Channels != 1 && samples.Channels != 2) return -1;
    if (samples.SampleRate < kMinSampleRate || samples.SampleRate > kMaxSampleRate) return -1;
    const uint64_t frames = samples.FrameCount();
    if (frames == 0 || frames >= (uint64_t{1} << 31)) return -1;
    Sound sound;
    sound.Frames = frames;
    sound.Step = (static_cast<uint64_t>(samples.SampleRate) << 32) / static_cast<uint64_t>(sampleRate_);
    sound.Samples = std::move(samples);
    sounds_.push_back(std::move(sound));
    return static_cast<int32_t>(sounds_.size() - 1);
}

int32_t Mixer::AddVoice(const MixerVoiceSetup& setup) {
    if (setup.Sound < 0 || setup.Sound >= static_cast<int32_t>(sounds_.size())) return -1;
    if (setup.Positional && sounds_[static_cast<size_t>(setup.Sound)].Samples.Channels != 1) return -1;
    Voice voice;
    voice.Setup = setup;
    voices_.push_back(voice);
    return static_cast<int32_t>(voices_.size() - 1);
}

void Mixer::RemoveVoicesFrom(int32_t first) {
    if (first >= 0 && first < static_cast<int32_t>(voices_.size())) voices_.resize(static_cast<size_t>(first));
}

bool Mixer::IsPlaying(int32_t voice) const {
    return voice >= 0 && voice < static_cast<int32_t>(voices_.size()) && voices_[static_cast<size_t>(voice)].Playing;
}

bool Mixer::Push(const Command& command) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kQueueSize) return false;
    queue_[tail % kQueueSize] = command;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

bool Mixer::Play(int32_t voice, const Vec3& at, float gain, uint32_t startFrame) {
    Command c;
    c.Kind = CommandKind::Play;
    c.Voice = voice;
    c.StartFrame = startFrame;
    c.A = at;
    c.Values[0] = gain;
    return Push(c);
}

bool Mixer::Stop(int32_t voice) {
    Command c;
    c.Kind = CommandKind::Stop;
    c.Voice = voice;
    return Push(c);
}

bool Mixer::StopBus(MixerBus bus) {
    Command c;
    c.Kind = CommandKind::StopBus;
    c.Voice = static_cast<int32_t>(bus);
    return Push(c);
}

bool Mixer::SetVoiceGain(int32_t voice, float gain) {
    Command c;
    c.Kind = CommandKind::SetGain;
    c.Voice = voice;
    c.Values[0] = gain;
    return Push(c);
}

bool Mixer::SetListener(const Vec3& eye, const Vec3& target) {
    Command c;
    c.Kind = CommandKind::SetListener;
    c.A = eye;
    c.B = target;
    return Push(c);
}

bool Mixer::SetVolumes(const SoundVolumes& volumes) {
    Command c;
    c.Kind = CommandKind::SetVolumes;
    c.Values = {volumes.Master, volumes.Effects, volumes.Ambience, volumes.Music};
    return Push(c);
}

void Mixer::Apply(const Command& c) {
    const bool hasVoice = c.Voice >= 0 && c.Voice < static_cast<int32_t>(voices_.size());
    Voice* voice = hasVoice ? &voices_[static_cast<size_t>(c.Voice)] : nullptr;
    switch (c.Kind) {
        case CommandKind::Play: {
            if (!voice) return;
            const Sound& sound = sounds_[static_cast<size_t>(voice->Setup.Sound)];
            const uint64_t start = voice->Setup.Looping ? c.StartFrame % sound.Frames : c.StartFrame;
            voice->Position = start << 32;
            voice->Gain = Unit(c.Values[0], 0.0f);
            voice->At = c.A;
            voice->Playing = start < sound.Frames;
            return;
        }
        case CommandKind::Stop:
            if (voice) voice->Playing = false;
            return;
        case CommandKind::StopBus:
            for (Voice& v : voices_)
                if (static_cast<int32_t>(v.Setup.Bus) == c.Voice) v.Playing = false;
            return;
        case CommandKind::SetGain:
            if (voice) voice->Gain = Unit(c.Values[0], 0.0f);
            return;
        case CommandKind::SetListener: {
            eye_ = c.A;
            const Vec3 forward = VecSub(c.B, c.A);
            const float length = VecLength(forward);
            if (length > 1e-4f) forward_ = VecScale(forward, 1.0f / length);
            return;
        }
        case CommandKind::SetVolumes:
            volumes_ = {Unit(c.Values[0], 1.0f), Unit(c.Values[1], 1.0f), Unit(c.Values[2], 1.0f),
                        Unit(c.Values[3], 1.0f)};
            return;
    }
}

void Mixer::Mix(int16_t* frames, int32_t frameCount) {
    uint32_t head = head_.load(std::memory_order_relaxed);
    const uint32_t tail = tail_.load(std::memory_order_acquire);
    for (; head != tail; ++head) Apply(queue_[head % kQueueSize]);
    head_.store(head, std::memory_order_release);

    for (int32_t done = 0; done < frameCount;) {
        const int32_t n = std::min(blockFrames_, frameCount - done);
        MixBlock(n);
        int16_t* out = frames + static_cast<ptrdiff_t>(done) * 2;
        for (int32_t i = 0; i < n * 2; ++i) {
            const float v = std::clamp(block_[static_cast<size_t>(i)] * 32768.0f, -32768.0f, 32767.0f);
            out[i] = static_cast<int16_t>(std::lrint(v));
        }
        done += n;
    }
}

void Mixer::MixBlock(int32_t frameCount) {
    std::fill(block_.begin(), block_.begin() + frameCount * 2, 0.0f);
    for (Voice& voice : voices_) {
        if (!voice.Playing) continue;
        float left = 0;
        float right = 0;
        VoiceGains(voice, left, right);
        MixVoice(voice, left, right, frameCount);
    }
}

void Mixer::VoiceGains(const Voice& voice, float& left, float& right) const {
    const MixerVoiceSetup& s = voice.Setup;
    const float bus = s.Bus == MixerBus::Music      ? volumes_.Music
                      : s.Bus == MixerBus::Ambience ? volumes_.Ambience
                                                    : volumes_.Effects;
    const float gain = volumes_.Master * bus * voice.Gain;
    if (!s.Positional) {
        const bool stereo = sounds_[static_cast<size_t>(s.Sound)].Samples.Channels == 2;
        left = right = gain * (stereo ? 1.0f : kCentre);
        return;
    }
    const Vec3 offset = VecSub(voice.At, eye_);
    const float distance = VecLength(offset);
    if (!std::isfinite(distance)) {
        left = right = 0;
        return;
    }
    float attenuation = 1;
    if (s.MaxDistance > s.ReferenceDistance) {
        const float d = std::clamp(distance, s.ReferenceDistance, s.MaxDistance);
        attenuation = std::clamp(1.0f - s.Rolloff * (d - s.ReferenceDistance) / (s.MaxDistance - s.ReferenceDistance),
                                 0.0f, 1.0f);
    }
    // Constant-power panning by how far to the listener's right the sound lies; a sound behind
    // pans as its mirror image in front would.
    float side = 0;
    if (distance > 1e-4f) {
        Vec3 rightAxis = VecCross(Vec3{0, 1, 0}, forward_);
        const float axisLength = VecLength(rightAxis);
        if (axisLength > 1e-4f) side = VecDot(offset, rightAxis) / (axisLength * distance);
    }
    const float angle = (std::clamp(side, -1.0f, 1.0f) + 1.0f) * 0.78539816f;
    left = gain * attenuation * std::cos(angle);
    right = gain * attenuation * std::sin(angle);
}

void Mixer::MixVoice(Voice& voice, float left, float right, int32_t frameCount) {
    const Sound& sound = sounds_[static_cast<size_t>(voice.Setup.Sound)];
    const int16_t* data = sound.Samples.Frames.data();
    const bool stereo = sound.Samples.Channels == 2;
    const bool looping = voice.Setup.Looping;
    const uint64_t last = sound.Frames - 1;
    const uint64_t end = sound.Frames << 32;
    float* out = block_.data();
    for (int32_t n = 0; n < frameCount; ++n) {
        if (voice.Position >= end) {
            if (!looping) {
                voice.Playing = false;
                return;
            }
            voice.Position %= end;
        }
        const uint64_t i = voice.Position >> 32;
        const uint64_t j = i < last ? i + 1 : (looping ? 0 : last);
        const float t = static_cast<float>(voice.Position & 0xFFFFFFFFu) * kFractionScale;
        if (stereo) {
            const float l = data[i * 2] + (data[j * 2] - data[i * 2]) * t;
            const float r = data[i * 2 + 1] + (data[j * 2 + 1] - data[i * 2 + 1]) * t;
            out[n * 2] += l * kSampleScale * left;
            out[n * 2 + 1] += r * kSampleScale * right;
        } else {
            const float v = (data[i] + (data[j] - data[i]) * t) * kSampleScale;
            out[n * 2] += v * left;
            out[n * 2 + 1] += v * right;
        }
        voice.Position += sound.Step;
    }
}

}  // namespace dv
