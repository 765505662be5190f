// A software mixer for systems without a sound library: the game's voices placed as the
// OpenAL path places them (linear distance model clamped to each voice's reference and maximum
// distance, panning by the listener's facing, loops with their start offsets, the four
// volumes, music at the listener), mixed into interleaved 16-bit stereo at a rate of our
// choice. Pure C++: no sound library, no window system.
//
// Two kinds of call. Set-up (AddSound, AddVoice, RemoveVoicesFrom) sizes every buffer and is
// made while no Mix runs, at load time. Play-time calls (Play, Stop, SetVoiceGain,
// SetListener, SetVolumes) only push a command and may come from the game's thread while an
// output thread runs Mix; Mix allocates nothing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/wav.h"
#include "math/vecmath.h"

namespace dv {

// Each 0 .. 1; the master volume scales the other three.
struct SoundVolumes {
    float Master = 1;
    float Effects = 1;
    float Ambience = 1;
    float Music = 1;
};

enum class MixerBus : uint8_t { Effects, Ambience, Music };

// How a voice is heard. A positional voice fades linearly from full at ReferenceDistance to
// silence at MaxDistance (scaled by Rolloff) and pans by its side of the listener; one that is
// not plays at the listener, unpanned (stereo sounds keep their channels).
struct MixerVoiceSetup {
    int32_t Sound = -1;
    MixerBus Bus = MixerBus::Effects;
    bool Positional = true;
    bool Looping = false;
    float ReferenceDistance = 1;
    float MaxDistance = 1;
    float Rolloff = 1;
};

class Mixer {
public:
    // Mixes at `sampleRate`; Mix takes any frame count, working in blocks of `blockFrames`.
    explicit Mixer(int32_t sampleRate, int32_t blockFrames = 2048);

    // Set-up calls: only while no Mix runs.
    // Keeps `samples` (mono or stereo, any rate from kMinSampleRate to kMaxSampleRate); -1 when
    // they cannot be played (no frames, bad channel count or rate).
    int32_t AddSound(SoundSamples samples);
    // A stopped voice; -1 when `setup` names no sound or a positional voice a stereo sound.
    int32_t AddVoice(const MixerVoiceSetup& setup);
    // Drops the voices from `first` on (a level's ambience when the level changes).
    void RemoveVoicesFrom(int32_t first);
    int32_t VoiceCount() const { return static_cast<int32_t>(voices_.size()); }

    // Play-time calls: safe from one other thread while Mix runs. False when the command queue
    // is full (the command is dropped; a frame's handful of commands never fills it).
    // Plays `voice` from `startFrame` of its sound (wrapped into a loop's length), at `at` with
    // `gain` (0 .. 1, before the volumes); a playing voice starts over.
    bool Play(int32_t voice, const Vec3& at, float gain, uint32_t startFrame = 0);
    bool Stop(int32_t voice);
    bool StopBus(MixerBus bus);
    bool SetVoiceGain(int32_t voice, float gain);
    // The listener at `eye` facing `target`, upright; world coordinates.
    bool SetListener(const Vec3& eye, const Vec3& target);
    bool SetVolumes(const SoundVolumes& volumes);

    // Applies the queued commands, then mixes the next `frameCount` stereo frames into
    // `frames` (2 values each), clipped to 16 bits. The output thread's call.
    void Mix(int16_t* frames, int32_t frameCount);

    int32_t SampleRate() const { return sampleRate_; }
    bool IsPlaying(int32_t voice) const;

private:
    enum class CommandKind : uint8_t { Play, Stop, StopBus, SetGain, SetListener, SetVolumes };
    struct Command {
        CommandKind Kind = CommandKind::Stop;
        int32_t Voice = 0;
        uint32_t StartFrame = 0;
        Vec3 A{};
        Vec3 B{};
        std::array<float, 4> Values{};
    };
    struct Sound {
        SoundSamples Samples;
        uint64_t Frames = 0;
        uint64_t Step = 0;  // source frames per output frame, 32.32 fixed point
    };
    struct Voice {
        MixerVoiceSetup Setup;
        bool Playing = false;
        uint64_t Position = 0;  // in source frames, 32.32 fixed point
        float Gain = 0;
        Vec3 At{};
    };

    bool Push(const Command& command);
    void Apply(const Command& command);
    void MixBlock(int32_t frameCount);
    void VoiceGains(const Voice& voice, float& left, float& right) const;
    void MixVoice(Voice& voice, float left, float right, int32_t frameCount);

    int32_t sampleRate_;
    int32_t blockFrames_;
    std::vector<Sound> sounds_;
    std::vector<Voice> voices_;
    std::vector<float> block_;  // the float mix of one block, interleaved

    // The listener and volumes as the mixing side sees them.
    Vec3 eye_{};
    Vec3 forward_{0, 0, 1};
    SoundVolumes volumes_;

    // The handover: a single-producer single-consumer ring of small commands. The game thread
    // writes only `tail_`, the mixing thread only `head_`, so neither waits on a lock and the
    // mixing side owns the voices outright; commands keep their order, which a double-buffered
    // voice state would lose for a voice restarted twice between two mixes.
    static constexpr uint32_t kQueueSize = 256;
    std::array<Command, kQueueSize> queue_{};
    std::atomic<uint32_t> head_{0};
    std::atomic<uint32_t> tail_{0};
};

}  // namespace dv
