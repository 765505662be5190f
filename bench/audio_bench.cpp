// The sound's cost per frame, beside the scene build it must stay a small fraction of: the
// demo's sounds loaded, the hall's ambience and the title music playing, mixed offline.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "audio/sound_system.h"
#include "support/allocation_count.h"
#include "world/level_sounds.h"

namespace dv {
namespace {

// The build folder with the demo content, as the build names it.
const std::string kDataFolder = DV_BINARY_DIR "/";

// A sound system as the game runs it in the hall, or an error.
class PlayingSounds {
public:
    PlayingSounds() {
        const std::string data = kDataFolder;
        if (!sound_.Open(AudioOutput::Loopback, error_)) return;
        std::vector<std::string> warnings;
        sound_.LoadSounds(data + "sounds", warnings);
        LevelSounds level;
        if (!LoadLevelSoundsFile(data + "test.snd", level, error_)) return;
        sound_.StartAmbience(level.Emitters, data + "sounds", warnings);
        if (!warnings.empty()) error_ = warnings.front();
        sound_.PlayMusic(MusicPiece::Title);
    }
    const std::string& Error() const { return error_; }
    SoundSystem& Sound() { return sound_; }

private:
    SoundSystem sound_;
    std::string error_;
};

// One frame's sound work in the game's thread: the listener moved with the camera, a footstep
// on every ninth frame (a run's pace at 60 frames a second), the per-frame update.
void BM_AudioFrameUpdate(benchmark::State& state) {
    PlayingSounds playing;
    if (!playing.Error().empty()) {
        state.SkipWithError(playing.Error().c_str());
        return;
    }
    SoundSystem& sound = playing.Sound();
    for (int v = 0; v < 8; ++v) sound.PlayFootstep(FloorSound::Stone, {160, 0, 80}, 0.7f);  // each voice once
    int i = 0;
    const uint64_t before = test::AllocationCount() + test::CAllocationCount();
    test::CountAllocations(true);
    for (auto _ : state) {
        const Vec3 at = {160.0f + (i % 64), 0, 80.0f + (i % 128)};
        sound.SetListener({at.x, 60, at.z - 100}, at);
        if (i % 9 == 0) sound.PlayFootstep(FloorSound::Stone, at, 0.7f);
        sound.Update();
        ++i;
    }
    test::CountAllocations(false);
    state.counters["allocations"] = static_cast<double>(test::AllocationCount() + test::CAllocationCount() - before);
}
BENCHMARK(BM_AudioFrameUpdate)->Unit(benchmark::kMicrosecond);

// Mixing 40 ms of the scene (the record's block at --step-ms 40). With speakers the sound
// library does this on its own thread; offline it is part of the frame.
void BM_AudioMix40Ms(benchmark::State& state) {
    PlayingSounds playing;
    if (!playing.Error().empty()) {
        state.SkipWithError(playing.Error().c_str());
        return;
    }
    std::vector<int16_t> mix(1920 * 2);
    int i = 0;
    for (auto _ : state) {
        if (i++ % 4 == 0) playing.Sound().PlayFootstep(FloorSound::Wood, {160, 0, 80}, 0.7f);
        playing.Sound().Render(mix.data(), 1920);
        benchmark::DoNotOptimize(mix.data());
    }
}
BENCHMARK(BM_AudioMix40Ms)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dv
