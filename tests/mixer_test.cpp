#include "audio/mixer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "support/allocation_count.h"

namespace dv {
namespace {

constexpr int32_t kRate = 48000;

SoundSamples Constant(int32_t frames, int16_t value, int32_t channels = 1, int32_t rate = kRate) {
    SoundSamples s;
    s.SampleRate = rate;
    s.Channels = channels;
    s.Frames.assign(static_cast<size_t>(frames * channels), value);
    return s;
}

SoundSamples Ramp(int32_t frames) {
    SoundSamples s;
    s.SampleRate = kRate;
    s.Channels = 1;
    for (int32_t i = 0; i < frames; ++i) s.Frames.push_back(static_cast<int16_t>(i * 100));
    return s;
}

std::vector<int16_t> MixFrames(Mixer& mixer, int32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    mixer.Mix(out.data(), frames);
    return out;
}

// A voice of a constant sound 0.5 high, the listener at the origin facing +z.
struct ConstantVoice {
    Mixer mixer{kRate};
    int32_t voice = -1;
    explicit ConstantVoice(MixerVoiceSetup setup = {}) {
        setup.Sound = mixer.AddSound(Constant(4800, 16384));
        if (setup.ReferenceDistance == 1 && setup.MaxDistance == 1) {
            setup.ReferenceDistance = 100;
            setup.MaxDistance = 1100;
        }
        setup.Looping = true;
        voice = mixer.AddVoice(setup);
        mixer.SetListener({0, 0, 0}, {0, 0, 1});
    }
    // The first frame's left and right value after playing at `at`.
    std::pair<int, int> At(const Vec3& at, float gain = 1) {
        mixer.Play(voice, at, gain);
        const std::vector<int16_t> out = MixFrames(mixer, 4);
        return {out[0], out[1]};
    }
};

TEST(Mixer, FadesLinearlyBetweenReferenceAndMaxDistance) {
    ConstantVoice v;
    const int centre = static_cast<int>(std::lrint(16384 * 0.70710678));
    EXPECT_NEAR(v.At({0, 0, 50}).first, centre, 1);   // within the reference distance: full
    EXPECT_NEAR(v.At({0, 0, 100}).first, centre, 1);  // at it
    EXPECT_NEAR(v.At({0, 0, 600}).first, centre / 2, 1);
    EXPECT_NEAR(v.At({0, 0, 850}).second, centre / 4, 1);
    EXPECT_EQ(v.At({0, 0, 1100}).first, 0);
    EXPECT_EQ(v.At({0, 0, 5000}).second, 0);
    EXPECT_EQ(v.At({NAN, 0, 0}).first, 0);

    MixerVoiceSetup half;
    half.Rolloff = 0.5f;
    ConstantVoice h(half);
    EXPECT_NEAR(h.At({0, 0, 1100}).first, centre / 2, 1);
}

TEST(Mixer, PansByTheListenersFacing) {
    ConstantVoice v;
    const auto [l, r] = v.At({50, 0, 0});  // +x is to the right when facing +z
    EXPECT_EQ(l, 0);
    EXPECT_NEAR(r, 16384, 1);
    v.mixer.SetListener({0, 0, 0}, {0, 0, -1});  // turned round: now on the left
    const auto [l2, r2] = v.At({50, 0, 0});
    EXPECT_NEAR(l2, 16384, 1);
    EXPECT_EQ(r2, 0);
    v.mixer.SetListener({0, 0, 0}, {0, 0, 0});  // no facing: the last one stays
    EXPECT_EQ(v.At({50, 0, 0}).second, 0);
    // Ahead and behind are heard in the middle; the listener's place moves the sound.
    const auto [la, ra] = v.At({0, 0, -50});
    EXPECT_EQ(la, ra);
    v.mixer.SetListener({100, 0, 0}, {100, 0, -1});
    const auto [lb, rb] = v.At({0, 0, 0});
    EXPECT_GT(rb, lb);
}

TEST(Mixer, VolumesScaleTheirOwnVoices) {
    Mixer mixer(kRate);
    const int32_t mono = mixer.AddSound(Constant(4800, 16384));
    const int32_t stereo = mixer.AddSound(Constant(4800, 16384, 2));
    const int32_t effect = mixer.AddVoice({mono, MixerBus::Effects, true, true, 100, 1100, 1});
    const int32_t music = mixer.AddVoice({stereo, MixerBus::Music, false, true, 1, 1, 0});
    mixer.SetVolumes({0.5f, 0.5f, 1, 1});
    mixer.Play(effect, {0, 0, 10}, 1);
    EXPECT_NEAR(MixFrames(mixer, 1)[0], 16384 * 0.7071 * 0.25, 2);
    mixer.Stop(effect);
    mixer.Play(music, {5000, 0, 0}, 1);  // plays at the listener wherever it is asked to
    std::vector<int16_t> out = MixFrames(mixer, 1);
    EXPECT_NEAR(out[0], 8192, 1);
    EXPECT_NEAR(out[1], 8192, 1);
    mixer.SetVolumes({1, 0, 0, 0.25f});
    EXPECT_NEAR(MixFrames(mixer, 1)[1], 4096, 1);
    mixer.SetVolumes({NAN, 2, -1, 1});  // out of range: clamped, a bad master heard as full
    EXPECT_NEAR(MixFrames(mixer, 1)[0], 16384, 1);
    mixer.StopBus(MixerBus::Music);
    EXPECT_EQ(MixFrames(mixer, 1)[0], 0);
    EXPECT_FALSE(mixer.IsPlaying(music));
}

TEST(Mixer, LoopsFromTheirOffsetAndOneShotsEnd) {
    Mixer mixer(kRate);
    const int32_t ramp = mixer.AddSound(Ramp(100));
    const int32_t loop = mixer.AddVoice({ramp, MixerBus::Ambience, false, true, 1, 1, 0});
    const int32_t once = mixer.AddVoice({ramp, MixerBus::Effects, false, false, 1, 1, 0});
    mixer.Play(loop, {}, 1, 290);  // wrapped into the loop: frame 90
    std::vector<int16_t> out = MixFrames(mixer, 20);
    const auto expected = [](int frame) { return static_cast<int>(std::lrint(frame * 100 * 0.70710678)); };
    EXPECT_NEAR(out[0], expected(90), 1);
    EXPECT_NEAR(out[18], expected(99), 1);
    EXPECT_NEAR(out[20], expected(0), 1);  // and round again
    EXPECT_TRUE(mixer.IsPlaying(loop));
    mixer.Stop(loop);
    mixer.Play(once, {}, 1, 95);
    out = MixFrames(mixer, 10);
    EXPECT_NEAR(out[8], expected(99), 1);
    EXPECT_EQ(out[10], 0);
    EXPECT_FALSE(mixer.IsPlaying(once));
    mixer.Play(once, {}, 1, 100);  // past a one-shot's end: nothing
    EXPECT_EQ(MixFrames(mixer, 1)[0], 0);
}

TEST(Mixer, ResamplesToItsRateAndClips) {
    Mixer mixer(kRate, 64);  // blocks smaller than a mix
    const int32_t slow = mixer.AddSound(Constant(1000, 30000, 1, kRate / 2));
    const int32_t voice = mixer.AddVoice({slow, MixerBus::Effects, false, false, 1, 1, 0});
    const int32_t voice2 = mixer.AddVoice({slow, MixerBus::Effects, false, false, 1, 1, 0});
    mixer.Play(voice, {}, 1);
    mixer.Play(voice2, {}, 1);
    const std::vector<int16_t> out = MixFrames(mixer, 2100);
    EXPECT_EQ(out[0], 32767);  // two voices over full scale
    EXPECT_EQ(out[2 * 1998], 32767);
    EXPECT_EQ(out[2 * 2001], 0);  // 1000 frames at half the rate last 2000
}

TEST(Mixer, RefusesWhatItCannotPlay) {
    Mixer mixer(kRate);
    EXPECT_EQ(mixer.AddSound(Constant(10, 1, 3)), -1);
    EXPECT_EQ(mixer.AddSound(Constant(0, 1)), -1);
    EXPECT_EQ(mixer.AddSound(Constant(10, 1, 1, 1000)), -1);
    const int32_t stereo = mixer.AddSound(Constant(10, 1, 2));
    EXPECT_EQ(mixer.AddVoice({stereo, MixerBus::Effects, true, false, 1, 2, 1}), -1);  // placed stereo
    EXPECT_EQ(mixer.AddVoice({7, MixerBus::Effects, false, false, 1, 2, 1}), -1);
    mixer.Play(3, {}, 1);  // no such voice: ignored
    mixer.SetVoiceGain(-1, 1);
    EXPECT_EQ(MixFrames(mixer, 1)[0], 0);
}

TEST(Mixer, CommandsKeepTheirOrderAndMixingAllocatesNothing) {
    ConstantVoice v;
    v.mixer.Play(v.voice, {0, 0, 10}, 1);
    v.mixer.Stop(v.voice);  // between two mixes: the stop wins
    EXPECT_EQ(MixFrames(v.mixer, 1)[0], 0);

    std::vector<int16_t> out(2 * 1920);
    test::CountAllocations(true);
    for (int i = 0; i < 50; ++i) {
        v.mixer.SetListener({0, 0, 0}, {1, 0, static_cast<float>(i)});
        v.mixer.Play(v.voice, {0, 0, 10}, 0.5f, static_cast<uint32_t>(i));
        v.mixer.SetVolumes({1, 0.5f, 1, 1});
        v.mixer.Mix(out.data(), 1920);
    }
    test::CountAllocations(false);
    EXPECT_EQ(test::AllocationCount(), 0u);

    int accepted = 0;
    while (v.mixer.SetVoiceGain(v.voice, 0.0f)) ++accepted;
    EXPECT_GE(accepted, 200);  // full: refused, not overwritten
    v.mixer.Mix(out.data(), 1);
    EXPECT_TRUE(v.mixer.SetVoiceGain(v.voice, 1.0f));
}

TEST(Mixer, TakesCommandsFromAnotherThreadWhileMixing) {
    ConstantVoice v;
    v.mixer.Play(v.voice, {0, 0, 10}, 0.0f);
    std::atomic<bool> done{false};
    std::thread game([&v, &done] {
        for (int i = 1; i <= 20000; ++i)
            while (!v.mixer.SetVoiceGain(v.voice, static_cast<float>(i) / 20000.0f)) std::this_thread::yield();
        done = true;
    });
    std::vector<int16_t> out(2 * 64);
    int previous = 0;
    bool rising = true;
    while (!done) {
        v.mixer.Mix(out.data(), 64);
        rising = rising && out[0] >= previous;
        previous = out[0];
    }
    game.join();
    v.mixer.Mix(out.data(), 64);
    EXPECT_TRUE(rising);
    EXPECT_NEAR(out[0], 16384 * 0.7071, 2);
}

}  // namespace
}  // namespace dv
