#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "audio/wav.h"
#include "imaging/decode.h"
#include "support/game_run.h"
#include "tools/sound/ogg_vorbis_writer.h"
#include "tools/sound/sound_source.h"
#include "tools/sound/sound_synth.h"

namespace dv {
namespace {

namespace fs = std::filesystem;

const std::string kSources = std::string(DV_SOURCE_DIR) + "/assets/sounds";

const std::vector<RenderedSound>& Sounds() {
    static const std::vector<RenderedSound> sounds = [] {
        std::vector<SoundDef> defs;
        std::string error;
        if (!LoadSoundSources(kSources, defs, error)) ADD_FAILURE() << error;
        std::vector<RenderedSound> out;
        for (const SoundDef& d : defs)
            for (RenderedSound& r : RenderSound(d)) out.push_back(std::move(r));
        return out;
    }();
    return sounds;
}

const SoundSamples& Samples(const std::string& fileName) {
    for (const RenderedSound& s : Sounds())
        if (s.FileName == fileName) return s.Samples;
    ADD_FAILURE() << "no sound " << fileName;
    static const SoundSamples kNone;
    return kNone;
}

// The sound as one channel in -1..1 (stereo is averaged).
std::vector<double> Mono(const SoundSamples& s) {
    std::vector<double> x(s.FrameCount());
    for (size_t f = 0; f < x.size(); ++f)
        for (int c = 0; c < s.Channels; ++c)
            x[f] += s.Frames[f * static_cast<size_t>(s.Channels) + static_cast<size_t>(c)] / 32768.0 / s.Channels;
    return x;
}

double Peak(const std::vector<double>& x) {
    double p = 0.0;
    for (const double v : x) p = std::max(p, std::abs(v));
    return p;
}

double Rms(const std::vector<double>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

// Sorted absolute sample-to-sample steps.
std::vector<double> Steps(const std::vector<double>& x) {
    std::vector<double> d;
    for (size_t i = 1; i < x.size(); ++i) d.push_back(std::abs(x[i] - x[i - 1]));
    std::sort(d.begin(), d.end());
    return d;
}

double Quantile(const std::vector<double>& sorted, double q) {
    return sorted[static_cast<size_t>(q * static_cast<double>(sorted.size() - 1))];
}

// Mean squared step over mean squared value: grows with the square of the typical frequency.
double Brightness(const std::vector<double>& x) {
    double steps = 0.0, values = 0.0;
    for (size_t i = 1; i < x.size(); ++i) {
        steps += (x[i] - x[i - 1]) * (x[i] - x[i - 1]);
        values += x[i] * x[i];
    }
    return steps / values;
}

std::vector<std::string> Family(const std::string& name, int count, const char* ext) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) names.push_back(name + "_" + std::to_string(i) + ext);
    return names;
}

const std::vector<std::string> kMaterials = {"stone", "wood", "metal", "gravel", "water"};

TEST(SoundContent, TheSetIsTheOneTheGameLoads) {
    std::set<std::string> expected = {"jump.wav",     "land_soft.wav",   "land_hard.wav",    "grab.wav",
                                      "pullup.wav",   "letgo.wav",       "bump.wav",         "amb_wind.ogg",
                                      "amb_drip.ogg", "amb_lava.ogg",    "amb_fire.ogg",     "amb_lap.ogg",
                                      "amb_gust.ogg", "music_title.ogg", "music_closing.ogg"};
    for (const std::string& m : kMaterials)
        for (const std::string& n : Family("step_" + m, 4, ".wav")) expected.insert(n);
    for (const std::string& n : Family("shimmy", 3, ".wav")) expected.insert(n);
    std::set<std::string> made;
    for (const RenderedSound& s : Sounds()) {
        made.insert(s.FileName);
        const double seconds = static_cast<double>(s.Samples.FrameCount()) / s.Samples.SampleRate;
        EXPECT_EQ(s.Samples.SampleRate, 48000) << s.FileName;
        EXPECT_EQ(s.Samples.Channels, s.Kind == SoundKind::Music ? 2 : 1) << s.FileName;
        if (s.Kind == SoundKind::Effect) {
            EXPECT_LE(seconds, 1.0) << s.FileName;
        } else if (s.Kind == SoundKind::Loop) {
            EXPECT_TRUE(seconds >= 8.0 && seconds <= 12.0) << s.FileName << " " << seconds;
        }
    }
    EXPECT_EQ(made, expected);
    EXPECT_NEAR(Samples("music_title.ogg").FrameCount() / 48000.0, 7.5, 0.25);
    EXPECT_NEAR(Samples("music_closing.ogg").FrameCount() / 48000.0, 5.5, 0.25);
}

TEST(SoundContent, NothingClipsClicksAtItsEndsOrCarriesDc) {
    for (const RenderedSound& s : Sounds()) {
        for (int c = 0; c < s.Samples.Channels; ++c) {
            std::vector<double> x;
            for (size_t f = 0; f < s.Samples.FrameCount(); ++f)
                x.push_back(s.Samples.Frames[f * static_cast<size_t>(s.Samples.Channels) + static_cast<size_t>(c)] /
                            32768.0);
            EXPECT_LT(Peak(x), 0.95) << s.FileName;
            EXPECT_GT(Peak(x), 0.2) << s.FileName;
            double mean = 0.0;
            for (const double v : x) mean += v / static_cast<double>(x.size());
            EXPECT_LT(std::abs(mean), 0.002) << s.FileName;
            if (s.Kind == SoundKind::Loop) continue;
            const size_t ms = 48;
            EXPECT_LT(std::abs(x.front()), 0.002) << s.FileName;
            EXPECT_LT(std::abs(x.back()), 0.002) << s.FileName;
            EXPECT_LT(Peak({x.end() - static_cast<std::ptrdiff_t>(ms), x.end()}), 0.05) << s.FileName;
        }
    }
}

// The game scales the hard landing by fall height against footsteps at running strength.
TEST(SoundContent, TheHardLandingIsLouderThanEveryFootstep) {
    const double land = Peak(Mono(Samples("land_hard.wav")));
    const std::vector<double> hard = Mono(Samples("land_hard.wav"));
    for (const std::string& m : kMaterials)
        for (const std::string& n : Family("step_" + m, 4, ".wav")) {
            const std::vector<double> step = Mono(Samples(n));
            EXPECT_GT(land, Peak(step) * 1.4) << n;
            EXPECT_GT(Rms(hard, 0, hard.size() / 2), Rms(step, 0, step.size() / 2)) << n;
        }
}

// A click is a step far larger than the sound's own fastest motion: in tonal sounds the
// largest step stays within a few times the 99.9th percentile.
TEST(SoundContent, TonalSoundsHaveNoJumps) {
    for (const char* name : {"music_title.ogg", "music_closing.ogg", "step_metal_1.wav", "step_wood_1.wav"}) {
        const std::vector<double> steps = Steps(Mono(Samples(name)));
        EXPECT_LT(steps.back(), 3.0 * Quantile(steps, 0.999)) << name;
        EXPECT_LT(steps.back(), 0.2) << name;
    }
}

TEST(SoundContent, LoopsRunOnFromTheirLastSampleIntoTheirFirst) {
    for (const char* name :
         {"amb_wind.ogg", "amb_drip.ogg", "amb_lava.ogg", "amb_fire.ogg", "amb_lap.ogg", "amb_gust.ogg"}) {
        const std::vector<double> x = Mono(Samples(name));
        const std::vector<double> steps = Steps(x);
        EXPECT_LE(std::abs(x.front() - x.back()), Quantile(steps, 0.99)) << name;
        // The cross-fade keeps the loudness: the first second is like the rest.
        const double ratio = Rms(x, 0, 48000) / Rms(x, 0, x.size());
        EXPECT_TRUE(ratio > 0.5 && ratio < 2.0) << name << " " << ratio;
    }
}

// Variations differ, but each begins at once: the game starts a step on the frame the foot lands.
TEST(SoundContent, FootstepVariationsDifferButAllStartAtOnce) {
    for (const std::string& m : kMaterials) {
        const std::vector<std::string> names = Family("step_" + m, 4, ".wav");
        for (const std::string& n : names) {
            const std::vector<double> x = Mono(Samples(n));
            EXPECT_GT(Peak({x.begin(), x.begin() + 144}), 0.1 * Peak(x)) << n;  // within 3 ms
        }
        for (size_t a = 0; a < names.size(); ++a)
            for (size_t b = a + 1; b < names.size(); ++b) {
                const std::vector<double> x = Mono(Samples(names[a])), y = Mono(Samples(names[b]));
                double xy = 0.0, xx = 0.0, yy = 0.0;
                for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
                    xy += x[i] * y[i];
                    xx += x[i] * x[i];
                    yy += y[i] * y[i];
                }
                EXPECT_LT(std::abs(xy) / std::sqrt(xx * yy), 0.9) << names[a] << " " << names[b];
            }
    }
}

TEST(SoundContent, StoneStepsAreBrighterThanGravelWaterAndWood) {
    double dullest = 1e9;
    for (const std::string& n : Family("step_stone", 4, ".wav"))
        dullest = std::min(dullest, Brightness(Mono(Samples(n))));
    for (const char* m : {"gravel", "water", "wood"})
        for (const std::string& n : Family(std::string("step_") + m, 4, ".wav"))
            EXPECT_GT(dullest, 1.5 * Brightness(Mono(Samples(n)))) << n;
}

TEST(SoundContent, TheLavaRumbleIsLowAndTheWindBandLimited) {
    EXPECT_LT(Brightness(Mono(Samples("amb_lava.ogg"))), Brightness(Mono(Samples("amb_wind.ogg"))));
    EXPECT_LT(Brightness(Mono(Samples("amb_wind.ogg"))), 0.05);
    EXPECT_LT(Brightness(Mono(Samples("amb_lap.ogg"))), Brightness(Mono(Samples("amb_fire.ogg"))));
    EXPECT_LT(Brightness(Mono(Samples("amb_gust.ogg"))), 0.05);
}

// Decodes Ogg Vorbis bytes through a file with libvorbisfile, as the game will.
bool DecodeOgg(const std::vector<uint8_t>& bytes, SoundSamples& out) {
    const fs::path path = fs::temp_directory_path() / ("dv_sound_decode_" + std::to_string(::getpid()) + ".ogg");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) return false;
    const vorbis_info* info = ov_info(&vf, -1);
    out.SampleRate = static_cast<int32_t>(info->rate);
    out.Channels = info->channels;
    out.Frames.clear();
    char buffer[8192];
    int section = 0;
    long got = 0;
    while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section)) > 0) {
        const int16_t* v = reinterpret_cast<const int16_t*>(buffer);
        out.Frames.insert(out.Frames.end(), v, v + got / 2);
    }
    ov_clear(&vf);
    fs::remove(path);
    return got == 0;
}

// The encoder's output repeats exactly and decodes to the sound: same length, loudness within
// 10 %, no clipping, loops still seamless within the coding noise.
TEST(SoundContent, OggFilesDecodeToTheirSoundsAndRepeatExactly) {
    for (const RenderedSound& s : Sounds()) {
        if (s.Kind == SoundKind::Effect) continue;
        std::vector<uint8_t> first, second;
        std::string error;
        ASSERT_TRUE(EncodeOggVorbis(s.Samples, 0.4f, 7, s.FileName, first, error)) << error;
        ASSERT_TRUE(EncodeOggVorbis(s.Samples, 0.4f, 7, s.FileName, second, error)) << error;
        EXPECT_EQ(first, second) << s.FileName;
        SoundSamples decoded;
        ASSERT_TRUE(DecodeOgg(first, decoded)) << s.FileName;
        EXPECT_EQ(decoded.SampleRate, 48000);
        EXPECT_EQ(decoded.Channels, s.Samples.Channels);
        EXPECT_EQ(decoded.FrameCount(), s.Samples.FrameCount()) << s.FileName;
        const std::vector<double> x = Mono(s.Samples), y = Mono(decoded);
        EXPECT_LT(Peak(y), 0.95) << s.FileName;
        EXPECT_NEAR(Rms(y, 0, y.size()) / Rms(x, 0, x.size()), 1.0, 0.1) << s.FileName;
        if (s.Kind == SoundKind::Music) {
            // Tones survive the encoder as waveforms; noise only as its spectrum.
            double err = 0.0;
            for (size_t i = 0; i < x.size(); ++i) err += (x[i] - y[i]) * (x[i] - y[i]);
            EXPECT_LT(std::sqrt(err / static_cast<double>(x.size())), 0.1 * Rms(x, 0, x.size())) << s.FileName;
        } else {
            EXPECT_LE(std::abs(y.front() - y.back()), 2.0 * Quantile(Steps(y), 0.99)) << s.FileName;
        }
    }
}

class BuildSoundsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("dv_sounds_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    int Run(const std::string& args, std::string& err) const {
        const test::RunResult r = test::RunCommand(test::kTool + " " + args);
        err = r.Stderr;
        return r.Status;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
};

// A fresh run writes byte for byte what the build wrote, and the WAV files read back.
TEST_F(BuildSoundsTest, EveryRunWritesTheSameBytes) {
    std::string err;
    ASSERT_EQ(Run("build-sounds " + kSources + " " + Path("out"), err), 0) << err;
    const fs::path built = fs::path(DV_BINARY_DIR) / "sounds";
    size_t count = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(Path("out"))) {
        ++count;
        const std::string name = e.path().filename().string();
        EXPECT_EQ(Read(e.path()), Read(built / name)) << name;
        if (e.path().extension() != ".wav") continue;
        SoundSamples wav;
        ASSERT_TRUE(LoadWavFile(e.path().string(), wav, err)) << err;
        EXPECT_EQ(wav.Frames, Samples(name).Frames) << name;
    }
    EXPECT_EQ(count, Sounds().size());
}

TEST_F(BuildSoundsTest, ABadSourceStopsWithOneLineAndWritesNothing) {
    fs::create_directories(Path("src"));
    fs::create_directories(Path("out"));
    std::ofstream(Path("src/a.txt")) << "sound good\n  length 0.1\n  layer sine freq 100\nend\n";
    std::ofstream(Path("src/b.txt")) << "sound bad\n  length 0.1\n  layer sine freq 100 gain -1\nend\n";
    std::ofstream(Path("out/good.wav")) << "old";
    std::string err;
    EXPECT_EQ(Run("build-sounds " + Path("src") + " " + Path("out"), err), 2);
    EXPECT_EQ(err, Path("src/b.txt") + ":3: gain -1 is out of range 0..16\n");
    EXPECT_EQ(Read(Path("out/good.wav")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("out")), fs::directory_iterator()), 1);

    EXPECT_EQ(Run("build-sounds " + Path("src"), err), 2);
    EXPECT_EQ(err.rfind("usage: dvtool build-sounds", 0), 0u) << err;
    EXPECT_EQ(Run("build-sounds " + Path("nowhere") + " " + Path("out"), err), 2);
    EXPECT_NE(err.find("nowhere: cannot read the folder"), std::string::npos) << err;
}

// Two sounds side by side: a 300 Hz tone, whose spectrogram is brightest on the 300 Hz row (two
// thirds of the way down the log scale from 24 kHz to 30 Hz), and band noise.
TEST_F(BuildSoundsTest, TheSheetShowsEachSoundWhereItsFrequenciesAre) {
    fs::create_directories(Path("src"));
    std::ofstream(Path("src/a.txt")) << "sound tone\n  length 0.5\n  peak 0.9\n  layer sine freq 300\nend\n"
                                        "sound hiss\n  length 0.5\n  layer noise band 4000 8000\nend\n";
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    std::string err;
    ASSERT_EQ(Run("sound-sheet " + Path("src") + " " + font + " " + Path("sheet.png"), err), 0) << err;
    Image sheet;
    ASSERT_TRUE(DecodeImageFile(Path("sheet.png"), sheet, err)) << err;
    ASSERT_EQ(sheet.width, 1696);
    ASSERT_EQ(sheet.height, 88);
    // The tone's spectrogram starts right of its label and waveform, 6 + 150 + 340 + 6 pixels in.
    const int x = 502 + 170;
    int brightest = 0, best = -1;
    for (int y = 6; y < 76; ++y) {
        const uint8_t* p = &sheet.rgba[(static_cast<size_t>(y) * sheet.width + x) * 4];
        if (p[0] + p[1] + p[2] > best) {
            best = p[0] + p[1] + p[2];
            brightest = y - 6;
        }
    }
    const double expected = (1.0 - std::log(300.0 / 30.0) / std::log(24000.0 / 30.0)) * 69.0;
    EXPECT_NEAR(brightest, expected, 2.0);

    EXPECT_EQ(Run("sound-sheet " + Path("src") + " " + Path("nofont.ttf") + " " + Path("other.png"), err), 2);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("nofont.ttf"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(Path("other.png")));
}

}  // namespace
}  // namespace dv
