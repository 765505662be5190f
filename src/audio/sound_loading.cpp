// Loading the game's sounds into their voices: the effects, footsteps and music, and the
// level's ambience loops.
#include <AL/al.h>

#include <algorithm>

#include "audio/sound_system.h"

namespace dv {

namespace {

constexpr const char* kEffectFiles[kSoundEffectCount] = {"jump.wav",     "land_soft.wav", "land_hard.wav", "grab.wav",
                                                         "shimmy_1.wav", "pullup.wav",    "letgo.wav",     "bump.wav"};
constexpr const char* kMusicFiles[2] = {"music_title.ogg", "music_closing.ogg"};

// One-shots: full loudness within a room's width, silent beyond several rooms.
constexpr float kEffectReferenceDistance = 96.0f;
constexpr float kEffectMaxDistance = 1600.0f;

bool LoadSoundFile(const std::string& path, SoundSamples& out, std::string& error) {
    const bool ogg = path.size() > 4 && path.compare(path.size() - 4, 4, ".ogg") == 0;
    return ogg ? LoadOggFile(path, out, error) : LoadWavFile(path, out, error);
}

}  // namespace

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

}  // namespace dv
