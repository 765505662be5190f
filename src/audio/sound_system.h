// The game's sounds on an AudioDevice: one-shot effects and footsteps placed in the level,
// looping ambience emitters, a streamed music piece, the listener at the camera and the four
// volumes. Sounds are loaded once; playing, moving the listener and Update allocate nothing.
// A sound that is missing or damaged is silent, with one warning line; so is everything when
// no device is open.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audio/audio_device.h"
#include "audio/ogg.h"
#include "math/vecmath.h"
#include "world/level_sounds.h"

namespace dv {

enum class SoundEffect : uint8_t { Jump, LandSoft, LandHard, Grab, Shimmy, PullUp, LetGo, Bump, Count };
inline constexpr int kSoundEffectCount = static_cast<int>(SoundEffect::Count);

enum class MusicPiece : uint8_t { Title, Closing };

// Each 0 .. 1; the master volume scales the other three.
struct SoundVolumes {
    float Master = 1;
    float Effects = 1;
    float Ambience = 1;
    float Music = 1;
};

inline constexpr int kFootstepVariations = 4;
inline constexpr int kShimmyVariations = 3;
inline constexpr int kOneShotVoices = 16;
inline constexpr int kMaxAmbienceEmitters = 32;

// An OpenAL object name that deletes itself; 0 when empty.
class AlBuffer {
public:
    AlBuffer() = default;
    ~AlBuffer();
    AlBuffer(AlBuffer&& other) noexcept : name_(other.name_) { other.name_ = 0; }
    AlBuffer& operator=(AlBuffer&& other) noexcept;
    AlBuffer(const AlBuffer&) = delete;
    AlBuffer& operator=(const AlBuffer&) = delete;
    // Creates the buffer and fills it with `samples`. False when the device refuses.
    bool Fill(const SoundSamples& samples);
    uint32_t Name() const { return name_; }

private:
    uint32_t name_ = 0;
};

class AlSource {
public:
    AlSource() = default;
    ~AlSource();
    AlSource(AlSource&& other) noexcept : name_(other.name_) { other.name_ = 0; }
    AlSource& operator=(AlSource&& other) noexcept;
    AlSource(const AlSource&) = delete;
    AlSource& operator=(const AlSource&) = delete;
    bool Create();
    uint32_t Name() const { return name_; }

private:
    uint32_t name_ = 0;
};

class SoundSystem {
public:
    SoundSystem() = default;
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    // Opens the output and creates the voices. False with `error` when there is no device;
    // the system then stays silent and every call below does nothing.
    bool Open(AudioOutput output, std::string& error);
    // Releases every sound and voice and closes the device.
    void Close();
    bool IsOpen() const { return device_.IsOpen(); }
    AudioOutput Output() const { return device_.Output(); }

    // Loads the effects, the footsteps and the music from `dir` (its file names in
    // docs/sounds.md). Each file that cannot be read adds one line to `warnings`.
    void LoadSounds(const std::string& dir, std::vector<std::string>& warnings);
    // Replaces the ambience: one looping voice per emitter (up to kMaxAmbienceEmitters), its
    // sound read from `dir`/amb_<name>.ogg once per name. Starts them playing.
    void StartAmbience(const std::vector<AmbienceEmitter>& emitters, const std::string& dir,
                       std::vector<std::string>& warnings);
    void StopAmbience();

    void SetVolumes(const SoundVolumes& volumes);
    const SoundVolumes& Volumes() const { return volumes_; }
    // The listener at `eye`, facing `target`, upright. World coordinates.
    void SetListener(const Vec3& eye, const Vec3& target);

    // Plays `effect` once at `at` with `gain` (0 .. 1, scaled by the effects volume); the
    // shimmy picks one of its variations.
    void PlayEffect(SoundEffect effect, const Vec3& at, float gain);
    // Plays a footstep of `floor`, a variation other than the last one of that floor.
    void PlayFootstep(FloorSound floor, const Vec3& at, float gain);
    // Starts `piece` from its beginning (replacing what plays); it plays once.
    void PlayMusic(MusicPiece piece);
    void StopMusic();

    // Keeps the music stream fed. Call once a frame (and before each loopback render).
    void Update();
    // Loopback only: mixes the next `frameCount` stereo frames into `frames`.
    void Render(int16_t* frames, int32_t frameCount);
    // A music file found damaged while it played (it then ended early), once; else empty.
    std::string TakeStreamWarning() { return std::exchange(streamWarning_, {}); }

private:
    struct MusicStream {
        std::string Path;
        OggStream Stream;
    };
    struct AmbienceSound {
        std::string Name;
        AlBuffer Buffer;
    };

    static constexpr int kMusicBuffers = 4;
    static constexpr int kMusicBufferFrames = 4096;

    uint32_t NextVoice();
    uint32_t NextRandom();
    void StartVoice(uint32_t buffer, const Vec3& at, float gain);
    void ApplyGains();
    bool FillMusicBuffer(uint32_t buffer);

    AudioDevice device_;
    SoundVolumes volumes_;
    std::array<AlBuffer, kSoundEffectCount> effects_;
    std::array<AlBuffer, kShimmyVariations> shimmies_;
    std::array<std::array<AlBuffer, kFootstepVariations>, kFloorSoundCount> footsteps_;
    std::array<int, kFloorSoundCount> lastFootstep_{};
    int lastShimmy_ = -1;
    std::array<AlSource, kOneShotVoices> voices_;
    std::array<float, kOneShotVoices> voiceGains_{};
    uint32_t nextVoice_ = 0;
    uint32_t random_ = 0x9E3779B9u;

    std::vector<AmbienceSound> ambienceSounds_;
    std::vector<AlSource> ambienceVoices_;
    std::vector<float> ambienceGains_;

    std::array<MusicStream, 2> music_;
    MusicStream* playing_ = nullptr;
    AlSource musicVoice_;
    std::array<AlBuffer, kMusicBuffers> musicBuffers_;
    std::vector<int16_t> musicScratch_;  // kMusicBufferFrames stereo frames, sized once
    std::string streamWarning_;
};

}  // namespace dv
