#include "audio/sound_system.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <cmath>

namespace dv {

SoundSystem::~SoundSystem() { Close(); }

void SoundSystem::Close() {
    // The sources and buffers go before the context they belong to.
    StopAmbience();
    ambienceSounds_.clear();
    effects_ = {};
    shimmies_ = {};
    footsteps_ = {};
    music_ = {};
    device_.Close();
}

bool SoundSystem::Open(AudioOutput output, std::string& error) {
    const bool opened = output == AudioOutput::Loopback ? device_.OpenLoopback(error) : device_.OpenSpeakers(error);
    if (!opened) return false;
    alDistanceModel(AL_LINEAR_DISTANCE_CLAMPED);
    alDopplerFactor(0.0f);
    lastFootstep_.fill(-1);
    ApplyGains();
    return true;
}

void SoundSystem::SetVolumes(const SoundVolumes& volumes) {
    const auto unit = [](float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 1.0f; };
    volumes_ = {unit(volumes.Master), unit(volumes.Effects), unit(volumes.Ambience), unit(volumes.Music)};
    ApplyGains();
}

void SoundSystem::ApplyGains() {
    if (!IsOpen()) return;
    alListenerf(AL_GAIN, volumes_.Master);
    const auto apply = [](const Voice& v, float volume) {
        if (v.Source.Name() != 0) alSourcef(v.Source.Name(), AL_GAIN, v.Gain * volume);
    };
    for (const Voice& v : effects_) apply(v, volumes_.Effects);
    for (const Voice& v : shimmies_) apply(v, volumes_.Effects);
    for (const auto& floor : footsteps_)
        for (const Voice& v : floor) apply(v, volumes_.Effects);
    for (size_t i = 0; i < ambienceVoices_.size(); ++i)
        alSourcef(ambienceVoices_[i].Name(), AL_GAIN, ambienceGains_[i] * volumes_.Ambience);
    for (const Voice& m : music_)
        if (m.Source.Name() != 0) alSourcef(m.Source.Name(), AL_GAIN, volumes_.Music);
}

void SoundSystem::SetListener(const Vec3& eye, const Vec3& target) {
    if (!IsOpen()) return;
    float p[3];
    ToAl(eye, p);
    alListenerfv(AL_POSITION, p);
    Vec3 forward = VecSub(target, eye);
    const float length = VecLength(forward);
    if (!(length > 1e-4f)) return;
    forward = VecScale(forward, 1.0f / length);
    float at[3];
    ToAl(forward, at);
    const float orientation[6] = {at[0], at[1], at[2], 0.0f, 1.0f, 0.0f};
    alListenerfv(AL_ORIENTATION, orientation);
}

uint32_t SoundSystem::NextRandom() {
    // xorshift32: the same run picks the same variations, so offline records repeat exactly.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return random_;
}

void SoundSystem::Start(Voice& voice, const Vec3& at, float gain) {
    if (!IsOpen() || voice.Source.Name() == 0) return;
    const ALuint v = voice.Source.Name();
    float p[3];
    ToAl(at, p);
    alSourcefv(v, AL_POSITION, p);
    voice.Gain = std::isfinite(gain) ? std::clamp(gain, 0.0f, 1.0f) : 0.0f;
    alSourcef(v, AL_GAIN, voice.Gain * volumes_.Effects);
    alSourcePlay(v);  // from the start, also when it was still playing
}

void SoundSystem::PlayEffect(SoundEffect effect, const Vec3& at, float gain) {
    if (effect == SoundEffect::Shimmy) {
        int pick = static_cast<int>(NextRandom() % kShimmyVariations);
        if (pick == lastShimmy_) pick = (pick + 1) % kShimmyVariations;
        lastShimmy_ = pick;
        Start(shimmies_[static_cast<size_t>(pick)], at, gain);
        return;
    }
    const auto i = static_cast<size_t>(effect);
    if (i < effects_.size()) Start(effects_[i], at, gain);
}

void SoundSystem::PlayFootstep(FloorSound floor, const Vec3& at, float gain) {
    const auto f = static_cast<size_t>(floor);
    if (f >= footsteps_.size()) return;
    int pick = static_cast<int>(NextRandom() % kFootstepVariations);
    if (pick == lastFootstep_[f])
        pick = (pick + 1 + static_cast<int>(NextRandom() % (kFootstepVariations - 1))) % kFootstepVariations;
    lastFootstep_[f] = pick;
    Start(footsteps_[f][static_cast<size_t>(pick)], at, gain);
}

void SoundSystem::PlayMusic(MusicPiece piece) {
    StopMusic();
    if (!IsOpen()) return;
    const Voice& m = music_[static_cast<size_t>(piece)];
    if (m.Source.Name() != 0) alSourcePlay(m.Source.Name());
}

void SoundSystem::StopMusic() {
    if (!IsOpen()) return;
    for (const Voice& m : music_)
        if (m.Source.Name() != 0) alSourceStop(m.Source.Name());
}

void SoundSystem::Render(int16_t* frames, int32_t frameCount) {
    if (!IsOpen() || device_.Output() != AudioOutput::Loopback) return;
    device_.RenderLoopback(frames, frameCount);
}

}  // namespace dv
