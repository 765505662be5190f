#include "audio/sound_system.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <cmath>

namespace dv {

namespace {

constexpr const char* kEffectFiles[kSoundEffectCount] = {"jump.wav",     "land_soft.wav", "land_hard.wav", "grab.wav",
                                                         "shimmy_1.wav", "pullup.wav",    "letgo.wav",     "bump.wav"};
constexpr const char* kMusicFiles[2] = {"music_title.ogg", "music_closing.ogg"};

// One-shots: full loudness within a room's width, silent beyond several rooms.
constexpr float kEffectReferenceDistance = 96.0f;
constexpr float kEffectMaxDistance = 1600.0f;

// The engine's world is left-handed (z forward); OpenAL's is right-handed.
void ToAl(const Vec3& v, float out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = -v.z;
}

bool LoadSoundFile(const std::string& path, SoundSamples& out, std::string& error) {
    const bool ogg = path.size() > 4 && path.compare(path.size() - 4, 4, ".ogg") == 0;
    return ogg ? LoadOggFile(path, out, error) : LoadWavFile(path, out, error);
}

}  // namespace

AlBuffer::~AlBuffer() {
    if (name_ != 0) alDeleteBuffers(1, &name_);
}

AlBuffer& AlBuffer::operator=(AlBuffer&& other) noexcept {
    if (this != &other) {
        if (name_ != 0) alDeleteBuffers(1, &name_);
        name_ = std::exchange(other.name_, 0u);
    }
    return *this;
}

bool AlBuffer::Fill(const SoundSamples& samples) {
    if (name_ == 0) {
        alGetError();
        alGenBuffers(1, &name_);
        if (alGetError() != AL_NO_ERROR) {
            name_ = 0;
            return false;
        }
    }
    alBufferData(name_, samples.Channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, samples.Frames.data(),
                 static_cast<ALsizei>(samples.Frames.size() * sizeof(int16_t)), samples.SampleRate);
    return alGetError() == AL_NO_ERROR;
}

AlSource::~AlSource() {
    if (name_ != 0) alDeleteSources(1, &name_);
}

AlSource& AlSource::operator=(AlSource&& other) noexcept {
    if (this != &other) {
        if (name_ != 0) alDeleteSources(1, &name_);
        name_ = std::exchange(other.name_, 0u);
    }
    return *this;
}

bool AlSource::Create() {
    if (name_ != 0) return true;
    alGetError();
    alGenSources(1, &name_);
    if (alGetError() == AL_NO_ERROR) return true;
    name_ = 0;
    return false;
}

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

bool SoundSystem::LoadVoice(Voice& voice, const std::string& path, bool positional,
                            std::vector<std::string>& warnings) {
    SoundSamples samples;
    std::string error;
    if (!LoadSoundFile(path, samples, error)) {
        warnings.push_back(error + "; that sound stays silent");
        return false;
    }
    if (positional && samples.Channels != 1) {
        warnings.push_back(path + ": a stereo sound cannot be placed in the level, mono is needed; it stays silent");
        return false;
    }
    if (!voice.Buffer.Fill(samples) || !voice.Source.Create()) {
        warnings.push_back(path + ": the sound device refused the sound; it stays silent");
        voice = {};
        return false;
    }
    const ALuint v = voice.Source.Name();
    alSourcei(v, AL_BUFFER, static_cast<ALint>(voice.Buffer.Name()));
    if (positional) {
        alSourcef(v, AL_REFERENCE_DISTANCE, kEffectReferenceDistance);
        alSourcef(v, AL_MAX_DISTANCE, kEffectMaxDistance);
    } else {
        alSourcei(v, AL_SOURCE_RELATIVE, AL_TRUE);  // music plays at the listener
        alSource3f(v, AL_POSITION, 0, 0, 0);
        alSourcef(v, AL_ROLLOFF_FACTOR, 0);
    }
    return true;
}

void SoundSystem::LoadSounds(const std::string& dir, std::vector<std::string>& warnings) {
    if (!IsOpen()) return;
    const std::string base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    for (int i = 0; i < kSoundEffectCount; ++i) {
        if (static_cast<SoundEffect>(i) == SoundEffect::Shimmy) continue;
        LoadVoice(effects_[static_cast<size_t>(i)], base + kEffectFiles[i], true, warnings);
    }
    for (int i = 0; i < kShimmyVariations; ++i)
        LoadVoice(shimmies_[static_cast<size_t>(i)], base + "shimmy_" + std::to_string(i + 1) + ".wav", true, warnings);
    for (int f = 0; f < kFloorSoundCount; ++f) {
        for (int i = 0; i < kFootstepVariations; ++i) {
            const std::string path =
                base + "step_" + FloorSoundName(static_cast<FloorSound>(f)) + "_" + std::to_string(i + 1) + ".wav";
            LoadVoice(footsteps_[static_cast<size_t>(f)][static_cast<size_t>(i)], path, true, warnings);
        }
    }
    for (size_t i = 0; i < music_.size(); ++i) LoadVoice(music_[i], base + kMusicFiles[i], false, warnings);
    ApplyGains();
}

void SoundSystem::StartAmbience(const std::vector<AmbienceEmitter>& emitters, const std::string& dir,
                                std::vector<std::string>& warnings) {
    StopAmbience();
    if (!IsOpen()) return;
    const std::string base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    if (emitters.size() > static_cast<size_t>(kMaxAmbienceEmitters)) {
        warnings.push_back("the level has " + std::to_string(emitters.size()) + " ambience emitters, only the first " +
                           std::to_string(kMaxAmbienceEmitters) + " play");
    }
    const size_t count = std::min(emitters.size(), static_cast<size_t>(kMaxAmbienceEmitters));
    for (size_t i = 0; i < count; ++i) {
        const AmbienceEmitter& e = emitters[i];
        auto sound = std::find_if(ambienceSounds_.begin(), ambienceSounds_.end(),
                                  [&e](const AmbienceSound& s) { return s.Name == e.Sound; });
        if (sound == ambienceSounds_.end()) {
            ambienceSounds_.push_back({e.Sound, AlBuffer{}});
            sound = ambienceSounds_.end() - 1;
            SoundSamples samples;
            std::string error;
            const std::string path = base + "amb_" + e.Sound + ".ogg";
            if (!LoadSoundFile(path, samples, error)) warnings.push_back(error + "; that sound stays silent");
            else if (samples.Channels != 1)
                warnings.push_back(path + ": an ambience loop must be mono; it stays silent");
            else if (!sound->Buffer.Fill(samples)) warnings.push_back(path + ": the sound device refused the sound");
        }
        if (sound->Buffer.Name() == 0) continue;
        AlSource voice;
        if (!voice.Create()) {
            warnings.push_back("the sound device gave too few voices for the level's ambience");
            break;
        }
        float p[3];
        ToAl(e.Position, p);
        alSourcefv(voice.Name(), AL_POSITION, p);
        alSourcef(voice.Name(), AL_REFERENCE_DISTANCE, e.Radius * 0.25f);
        alSourcef(voice.Name(), AL_MAX_DISTANCE, e.Radius);
        alSourcei(voice.Name(), AL_LOOPING, AL_TRUE);
        alSourcei(voice.Name(), AL_BUFFER, static_cast<ALint>(sound->Buffer.Name()));
        // Emitters of one sound start at different points of the loop, so they do not phase.
        alSourcei(voice.Name(), AL_SAMPLE_OFFSET, static_cast<ALint>(NextRandom() % 48000u));
        ambienceVoices_.push_back(std::move(voice));
        ambienceGains_.push_back(e.Volume);
    }
    ApplyGains();
    for (const AlSource& v : ambienceVoices_) alSourcePlay(v.Name());
}

void SoundSystem::StopAmbience() {
    for (const AlSource& v : ambienceVoices_) alSourceStop(v.Name());
    ambienceVoices_.clear();
    ambienceGains_.clear();
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
