// The game's sounds on an AudioDevice: one-shot effects and footsteps placed in the level,
// looping ambience emitters, a music piece, the listener at the camera and the four volumes.
// Sounds are loaded once; playing, moving the listener and mixing allocate nothing.
// A sound that is missing or damaged is silent, with one warning line; so is everything when
// no device is open.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audio/al_handles.h"
#include "audio/audio_device.h"
#include "audio/mixer.h"
#include "audio/ogg.h"
#include "math/vecmath.h"
#include "world/level_sounds.h"

namespace dv {

enum class SoundEffect : uint8_t { Jump, LandSoft, LandHard, Grab, Shimmy, PullUp, LetGo, Bump, Count };
inline constexpr int kSoundEffectCount = static_cast<int>(SoundEffect::Count);

enum class MusicPiece : uint8_t { Title, Closing };

inline constexpr int kFootstepVariations = 4;
inline constexpr int kShimmyVariations = 3;
inline constexpr int kMaxAmbienceEmitters = 32;

class SoundSystem {
public:
    SoundSystem() = default;
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    // Opens the output. False with `error` when there is no device; the system then stays
    // silent and every call below does nothing.
    bool Open(AudioOutput output, std::string& error);
    // Releases every sound and voice and closes the device.
    void Close();
    bool IsOpen() const { return device_.IsOpen(); }
    AudioOutput Output() const { return device_.Output(); }

    // Loads the effects, the footsteps and the music from `dir` (their file names in
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

    // Once a frame; nothing to do yet beyond what the device does itself, kept so that the
    // frame loop has one place for the sound's per-frame work.
    void Update() {}
    // Loopback only: mixes the next `frameCount` stereo frames into `frames`.
    void Render(int16_t* frames, int32_t frameCount);

private:
    // A loaded sound with the voice that plays it. Each sound keeps its own voice, bound once:
    // binding a buffer to a voice, or queueing one, allocates inside the sound library, and a
    // frame must not. A sound restarted while it plays starts over (the variations make that
    // rare for footsteps).
    struct Voice {
        AlBuffer Buffer;
        AlSource Source;
        float Gain = 0;  // the last play's gain before the volumes
    };

    bool LoadVoice(Voice& voice, const std::string& path, bool positional, std::vector<std::string>& warnings);
    void Start(Voice& voice, const Vec3& at, float gain);
    uint32_t NextRandom();
    void ApplyGains();

    AudioDevice device_;
    SoundVolumes volumes_;
    std::array<Voice, kSoundEffectCount> effects_;
    std::array<Voice, kShimmyVariations> shimmies_;
    std::array<std::array<Voice, kFootstepVariations>, kFloorSoundCount> footsteps_;
    std::array<int, kFloorSoundCount> lastFootstep_{};
    int lastShimmy_ = -1;
    uint32_t random_ = 0x9E3779B9u;

    struct AmbienceSound {
        std::string Name;
        AlBuffer Buffer;
    };
    std::vector<AmbienceSound> ambienceSounds_;
    std::vector<AlSource> ambienceVoices_;
    std::vector<float> ambienceGains_;

    std::array<Voice, 2> music_;  // decoded whole: a streamed piece would queue, and allocate
};

}  // namespace dv
