// The Ogg Vorbis reader on our own small encoded tones: decoded whole and piece by piece alike,
// rewound, and damaged streams named in one line.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/ogg.h"

namespace dv {
namespace {

const std::string kTones = DV_SOURCE_DIR "/tests/data/sounds/";

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Ogg, DecodesWholeAndInPiecesAlike) {
    SoundSamples mono, stereo;
    std::string error;
    ASSERT_TRUE(LoadOggFile(kTones + "tone_mono.ogg", mono, error)) << error;
    ASSERT_TRUE(LoadOggFile(kTones + "tone_stereo.ogg", stereo, error)) << error;
    EXPECT_EQ(mono.Channels, 1);
    EXPECT_EQ(stereo.Channels, 2);
    EXPECT_EQ(mono.SampleRate, 48000);
    EXPECT_EQ(mono.FrameCount(), 24000u);  // half a second, as encoded
    EXPECT_EQ(stereo.FrameCount(), 24000u);
    // The 440 Hz tone survives: its loudness about 12000 / sqrt(2), its period about 109 frames.
    double sum = 0;
    int crossings = 0;
    for (size_t i = 2400; i < 21600; ++i) {
        sum += double(mono.Frames[i]) * mono.Frames[i];
        crossings += (mono.Frames[i - 1] < 0) != (mono.Frames[i] < 0);
    }
    EXPECT_NEAR(std::sqrt(sum / 19200), 12000 / std::sqrt(2.0), 600);
    EXPECT_NEAR(crossings, 2 * 440 * 0.4, 6);

    OggStream stream;
    ASSERT_TRUE(stream.OpenFile(kTones + "tone_stereo.ogg", error)) << error;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<int16_t> pieces;
        int16_t block[2 * 1000];
        for (size_t got; (got = stream.Read(block, 1000, error)) > 0;)
            pieces.insert(pieces.end(), block, block + 2 * got);
        EXPECT_TRUE(error.empty()) << error;
        EXPECT_EQ(pieces, stereo.Frames) << "pass " << pass;
        ASSERT_TRUE(stream.Rewind());
    }
}

TEST(Ogg, DamagedStreamsAreOneLineNamingTheFile) {
    SoundSamples s;
    std::string error;
    EXPECT_FALSE(LoadOggFile(kTones + "missing.ogg", s, error));
    EXPECT_EQ(error, kTones + "missing.ogg: cannot open the sound file");

    const std::vector<uint8_t> good = ReadBytes(kTones + "tone_mono.ogg");
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'o', 'g', 'g'};
    EXPECT_FALSE(ParseOgg(text.data(), text.size(), "a.ogg", s, error));
    EXPECT_EQ(error.rfind("a.ogg: ", 0), 0u) << error;
    EXPECT_FALSE(ParseOgg(good.data(), 0, "a.ogg", s, error));
    for (const size_t keep : {size_t{28}, size_t{200}, good.size() / 2}) {
        const bool ok = ParseOgg(good.data(), keep, "a.ogg", s, error);
        if (ok) {
            EXPECT_LT(s.FrameCount(), 24000u) << "a truncated stream decodes only what it holds";
        } else {
            EXPECT_EQ(error.rfind("a.ogg: ", 0), 0u) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos);
        }
    }
    // Bytes flipped inside the audio packets: either a shorter decode or an error, never a crash.
    std::vector<uint8_t> flipped = good;
    for (size_t i = good.size() / 2; i < good.size(); i += 97) flipped[i] ^= 0x5A;
    if (!ParseOgg(flipped.data(), flipped.size(), "a.ogg", s, error)) {
        EXPECT_EQ(error.rfind("a.ogg: ", 0), 0u) << error;
    }
}

}  // namespace
}  // namespace dv
