// The game's sound: which ticks make which sounds (the triggers, without a device), and the
// game run headless with its mix rendered offline (--audio-out) and listened to.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/game_audio.h"
#include "support/allocation_count.h"
#include "support/game_run.h"
#include "support/sound_record.h"

namespace dv {
namespace {

using Event = CharacterSoundTriggers::Event;
using A = CharacterAction;

class TriggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        level_.Rooms.push_back({2, 2, {FloorSound::Stone, FloorSound::Wood, FloorSound::Water, FloorSound::Metal}});
        level_.Footfalls.push_back({static_cast<int32_t>(CharacterClip::Run), {0, 11}});
        level_.Footfalls.push_back({static_cast<int32_t>(CharacterClip::Walk), {0, 10}});
        level_.Footfalls.push_back({static_cast<int32_t>(CharacterClip::ShimmyLeft), {6, 12}});
    }
    // One tick; returns its events.
    std::vector<Event> Tick(A action, CharacterClip clip, int frame, float y = 0, int column = 0, int row = 0) {
        CharacterSoundState s;
        s.Action = action;
        s.Clip = static_cast<int32_t>(clip);
        s.Frame = frame;
        s.CellColumn = column;
        s.CellRow = row;
        s.Position = {0, y, 0};
        Event out[CharacterSoundTriggers::kMaxEventsPerTick];
        const int n = triggers_.Step(s, level_, out);
        return {out, out + n};
    }
    LevelSounds level_;
    CharacterSoundTriggers triggers_;
};

TEST_F(TriggerTest, FootfallsWhenTheirFramesArePlayedThroughOnTheFloorUnderfoot) {
    EXPECT_TRUE(Tick(A::Run, CharacterClip::Run, 0).empty()) << "the first tick only sets the scene";
    EXPECT_TRUE(Tick(A::Run, CharacterClip::Run, 3).empty());
    EXPECT_TRUE(Tick(A::Run, CharacterClip::Run, 3).empty()) << "a frame held over two ticks";
    std::vector<Event> e = Tick(A::Run, CharacterClip::Run, 12, 0, 0, 1);  // skipped past 11
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].What, Event::Kind::Footstep);
    EXPECT_EQ(e[0].Floor, FloorSound::Wood);  // cell (0, 1)
    const float runGain = e[0].Gain;
    e = Tick(A::Run, CharacterClip::Run, 2, 0, 1, 0);  // the loop wrapped through frame 0
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Floor, FloorSound::Water);

    // A clip that starts counts its own frame only; walking steps are softer.
    EXPECT_TRUE(Tick(A::Walk, CharacterClip::Walk, 5).empty());
    e = Tick(A::Walk, CharacterClip::Walk, 10);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_LT(e[0].Gain, 0.6f * runGain);
    e = Tick(A::Run, CharacterClip::Run, 0);
    ASSERT_EQ(e.size(), 1u) << "a new clip starting on a footfall frame";
    EXPECT_TRUE(Tick(A::Idle, CharacterClip::Idle, 0).empty()) << "no footfalls in the clip";
    EXPECT_TRUE(Tick(A::Run, CharacterClip::Run, -1).empty()) << "a stopped clip";

    // On the hanging clips the footfalls are the hands: a shimmy scrape, up at the ledge.
    Tick(A::ShimmyLeft, CharacterClip::ShimmyLeft, 2);
    e = Tick(A::ShimmyLeft, CharacterClip::ShimmyLeft, 7);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].What, Event::Kind::Effect);
    EXPECT_EQ(e[0].Effect, SoundEffect::Shimmy);
    EXPECT_GT(e[0].At.y, 30.0f);
}

TEST_F(TriggerTest, ActionChangesAndLandingsByTheirFallHeight) {
    Tick(A::Run, CharacterClip::Run, 8, 100);
    // Off an edge: the run clip plays on in the air without steps; falling 24 units is a hard
    // landing at full loudness.
    EXPECT_TRUE(Tick(A::Fall, CharacterClip::Run, 10, 96).empty());
    EXPECT_TRUE(Tick(A::AwaitTransition, CharacterClip::Run, 1, 80).empty());
    std::vector<Event> e = Tick(A::LandRun, CharacterClip::LandRun, 0, 76);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::LandHard);
    EXPECT_FLOAT_EQ(e[0].Gain, 1.0f);
    EXPECT_TRUE(Tick(A::Idle, CharacterClip::Idle, 0, 76).empty());

    // A hop straight up and down: take-off, then a soft landing.
    e = Tick(A::JumpUp, CharacterClip::JumpUp, 0, 76);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::Jump);
    Tick(A::JumpApex, CharacterClip::Apex, 0, 84);
    e = Tick(A::JumpUpLand, CharacterClip::LandStraight, 0, 76);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::LandSoft);
    EXPECT_LT(e[0].Gain, 1.0f);

    // A leap up to a ledge is no landing: the grab, the climb, letting go and falling back.
    Tick(A::JumpUp, CharacterClip::JumpUp, 0, 76);
    e = Tick(A::GrabLedge, CharacterClip::Grab, 0, 90);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::Grab);
    EXPECT_TRUE(Tick(A::Hang, CharacterClip::Hang, 0, 90).empty());
    e = Tick(A::HangDrop, CharacterClip::HangDrop, 0, 90);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::LetGo);
    e = Tick(A::Landing, CharacterClip::Land, 0, 76);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::LandHard) << "14 units down from the hang";
    e = Tick(A::ClimbMid, CharacterClip::ClimbMid, 0, 76);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::PullUp);
    e = Tick(A::BumpRecover, CharacterClip::Bump, 0, 76);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::Bump);
    // Turning round to a ledge ends in a grab at the high hang.
    Tick(A::TurnAndGrab, CharacterClip::TurnAndGrab, 0, 76);
    e = Tick(A::HighHang, CharacterClip::HighHang, 0, 60);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Effect, SoundEffect::Grab);
}

using namespace dv::test;

bool HaveSounds() { return GameBuilt() && std::filesystem::exists(kData + "/sounds/jump.wav"); }

std::vector<char> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Through the title, standing, then walking north with Shift for three seconds and running on.
const char* const kWalkThenRun = "7100 down Shift\n7100 down Up\n10100 up Shift\n12500 up Up\n";

TEST(GameSound, TitleMusicThenStepsWalkingSofterThanRunningAndTheSameRecordTwice) {
    if (!HaveSounds()) GTEST_SKIP() << "the game or its sounds are not built";
    const std::string replay = TempPath("walk.replay"), trace = TempPath("walk.csv");
    const std::string first = TempPath("first.wav"), second = TempPath("second.wav");
    WriteText(replay, kWalkThenRun);
    const std::string common =
        "--headless --data " + kData + " --step-ms 40 --replay " + replay + " --quit-after 13000";
    RunResult r = RunGame(common + " --trace " + trace + " --audio-out " + first);
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_EQ(r.Stderr, "") << "a complete sound set warns of nothing";
    r = RunGame(common + " --audio-out " + second);
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_EQ(FileBytes(first), FileBytes(second)) << "the same run, the same record";

    test::SoundRecord rec;
    std::string error;
    ASSERT_TRUE(test::LoadSoundRecord(first, rec, error)) << error;
    EXPECT_EQ(rec.Mono.size(), 12960u * 48) << "one step's samples per update, up to the last frame's clock";
    // Music over the title picture, gone with it.
    const double title = rec.Rms(500, 6500), standing = rec.Rms(7300, 7900);
    EXPECT_GT(title, 0.02);
    EXPECT_GT(title, 2 * standing) << "title " << title << ", standing in the hall " << standing;

    // Footfalls from the trace: walking ones, then running ones; compare their loudest moments.
    LevelSounds level;
    ASSERT_TRUE(LoadLevelSoundsFile(kData + "/test.snd", level, error)) << error;
    std::ifstream in(trace);
    std::string line;
    std::getline(in, line);
    int lastClip = -1, lastFrame = -1;
    std::vector<double> walk, run;
    while (std::getline(in, line)) {
        int clock = 0, action = 0, clip = 0, frame = 0;
        if (std::sscanf(line.c_str(), "%d,%d,%d,%d", &clock, &action, &clip, &frame) != 4) continue;
        // The trace writes the frame the tick started from; the sound follows the frame reached.
        (void)action;
        const ClipFootfalls* f = level.FootfallsOf(clip);
        if (f != nullptr && clip == lastClip && frame != lastFrame) {
            for (int ff : f->Frames) {
                const bool crossed = lastFrame <= frame ? ff > lastFrame && ff <= frame : ff > lastFrame || ff <= frame;
                if (!crossed) continue;
                const double peak = rec.PeakRms(clock - 40, clock + 160);
                if (clip == static_cast<int>(CharacterClip::Walk)) walk.push_back(peak);
                if (clip == static_cast<int>(CharacterClip::Run)) run.push_back(peak);
            }
        }
        lastClip = clip;
        lastFrame = frame;
    }
    ASSERT_GE(walk.size(), 3u);
    ASSERT_GE(run.size(), 3u);
    std::sort(walk.begin(), walk.end());
    std::sort(run.begin(), run.end());
    const double walkMedian = walk[walk.size() / 2], runMedian = run[run.size() / 2];
    EXPECT_GT(runMedian, 1.5 * walkMedian) << "running " << runMedian << ", walking " << walkMedian;
}

// The settings' volumes reach the mix: the music at 0 % leaves the title silent, the effects
// at 30 % make the steps about 0.3 times as loud.
TEST(GameSound, SettingsVolumesScaleTheMix) {
    if (!HaveSounds()) GTEST_SKIP() << "the game or its sounds are not built";
    const std::string config = TempPath("config"), replay = TempPath("volume.replay");
    std::filesystem::create_directories(config);
    WriteText(replay, "7100 down Up\n");
    const auto record = [&](const std::string& settings, const std::string& out) {
        WriteText(config + "/settings.ini", settings);
        const RunResult r = RunGame("--headless --data " + kData + " --config " + config + " --step-ms 40 --replay " +
                                    replay + " --quit-after 10000 --audio-out " + out);
        EXPECT_EQ(r.Status, 0) << r.Stderr;
        test::SoundRecord rec;
        std::string error;
        EXPECT_TRUE(test::LoadSoundRecord(out, rec, error)) << error;
        return rec;
    };
    const test::SoundRecord full = record("", TempPath("full.wav"));
    const test::SoundRecord quiet =
        record("music_volume = 0\neffects_volume = 30\nambience_volume = 0\n", TempPath("quiet.wav"));
    EXPECT_GT(full.Rms(500, 6500), 0.02);
    EXPECT_EQ(quiet.Rms(500, 6500), 0.0) << "music at 0 %";
    const double ratio = quiet.PeakRms(7400, 10000) / full.PeakRms(7400, 10000);
    EXPECT_GT(ratio, 0.2);
    EXPECT_LT(ratio, 0.4) << "the running steps with effects at 30 % (and no ambience under them)";
    std::filesystem::remove_all(config);
}

TEST(GameSound, MuteRecordsSilence) {
    if (!HaveSounds()) GTEST_SKIP() << "the game or its sounds are not built";
    const std::string replay = TempPath("mute.replay"), out = TempPath("mute.wav");
    WriteText(replay, "7100 down Up\n");
    const RunResult r = RunGame("--headless --mute --data " + kData + " --step-ms 40 --replay " + replay +
                                " --quit-after 9000 --audio-out " + out);
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    test::SoundRecord rec;
    std::string error;
    ASSERT_TRUE(test::LoadSoundRecord(out, rec, error)) << error;
    EXPECT_EQ(rec.Mono.size(), 8960u * 48);
    EXPECT_EQ(rec.PeakRms(0, 9000), 0.0);
}

TEST(GameSound, MissingOrDamagedSoundFilesWarnOnceAndTheGamePlaysOn) {
    if (!HaveSounds()) GTEST_SKIP() << "the game or its sounds are not built";
    namespace fs = std::filesystem;
    const std::string dir = TempPath("data");
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* f : {"test.lev", "test.snd", "font01.fnx", "title1.jpg", "title2.jpg", "set.txt"})
        fs::copy_file(kData + "/" + f, dir + "/" + f);
    for (const auto& e : fs::directory_iterator(kData))
        if (e.path().filename().string().rfind("test_lm", 0) == 0)
            fs::copy_file(e.path(), dir + "/" + e.path().filename().string());
    const std::string out = TempPath("missing.wav");
    const std::string args = "--headless --data " + dir + " --step-ms 40 --quit-after 8000 --audio-out " + out;

    // No sound folder at all: one line, and the record is made (silent).
    RunResult r = RunGame(args);
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_EQ(r.Stderr, dir + "/sounds: no sound folder; the game runs without its sounds\n");
    EXPECT_TRUE(fs::exists(out));

    // One damaged effect and a damaged sidecar: a line for each, naming the file.
    fs::copy(kData + "/sounds", dir + "/sounds");
    WriteText(dir + "/sounds/jump.wav", "RIFF....WAVEjunk");
    WriteText(dir + "/test.snd", "DVSD");
    r = RunGame(args);
    ASSERT_EQ(r.Status, 0) << r.Stderr;
    EXPECT_NE(r.Stderr.find(dir + "/sounds/jump.wav: offset "), std::string::npos) << r.Stderr;
    EXPECT_NE(r.Stderr.find(dir + "/test.snd: offset 4: file ends inside the header; the level plays without"),
              std::string::npos)
        << r.Stderr;
    EXPECT_EQ(std::count(r.Stderr.begin(), r.Stderr.end(), '\n'), 2) << r.Stderr;

    // A record that cannot be written is an error at the start, not at the end of a long run.
    r = RunGame("--headless --data " + dir + " --step-ms 40 --quit-after 100 --audio-out " + dir + "/no/such/x.wav");
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Stderr.find("x.wav: cannot create the file: No such file or directory"), std::string::npos) << r.Stderr;
    fs::remove_all(dir);
}

// Once loaded, a steady frame of sound (listener, footsteps, effects, the music stream fed,
// ambience looping, 40 ms mixed) allocates nothing, in our code or in the sound library.
TEST(GameSound, SteadyFramesAllocateNothing) {
    if (!HaveSounds()) GTEST_SKIP() << "the game or its sounds are not built";
    SoundSystem sound;
    std::string error;
    ASSERT_TRUE(sound.Open(AudioOutput::Loopback, error)) << error;
    std::vector<std::string> warnings;
    sound.LoadSounds(kData + "/sounds", warnings);
    LevelSounds level;
    ASSERT_TRUE(LoadLevelSoundsFile(kData + "/test.snd", level, error)) << error;
    sound.StartAmbience(level.Emitters, kData + "/sounds", warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    sound.PlayMusic(MusicPiece::Title);
    std::vector<int16_t> mix(1920 * 2);
    const auto frame = [&](int i) {
        const Vec3 at = {160.0f + i, 0, 80.0f + 2 * i};
        sound.SetListener({at.x, 60, at.z - 100}, at);
        if (i % 9 == 0) sound.PlayFootstep(static_cast<FloorSound>(i / 9 % kFloorSoundCount), at, 0.7f);
        if (i % 25 == 0) sound.PlayEffect(static_cast<SoundEffect>(i / 25 % kSoundEffectCount), at, 0.8f);
        sound.Update();
        sound.Render(mix.data(), 1920);
    };
    for (int i = 0; i < 50; ++i) frame(i);  // every voice used once
    const uint64_t before = test::AllocationCount(), cBefore = test::CAllocationCount();
    test::CountAllocations(true);
    for (int i = 50; i < 150; ++i) frame(i);  // 4 s: the music stream refilled many times
    test::CountAllocations(false);
    EXPECT_EQ(test::AllocationCount() - before, 0u);
    EXPECT_EQ(test::CAllocationCount() - cBefore, 0u) << "allocations inside the sound library";
    double sum = 0;
    for (int16_t v : mix) sum += double(v) * v;
    EXPECT_GT(sum, 0.0) << "the last block is not silent";
}

}  // namespace
}  // namespace dv
