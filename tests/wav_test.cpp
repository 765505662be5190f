// The WAV reader on files written here byte by byte: what it reads, and the line it gives for
// every kind of damage.
#include "audio/wav.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace dv {
namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutChunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& body) {
    b.insert(b.end(), id, id + 4);
    Put32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) b.push_back(0);
}
std::vector<uint8_t> FormatChunk(uint16_t channels, uint32_t rate, uint16_t bits = 16, uint16_t tag = 1) {
    std::vector<uint8_t> f;
    Put16(f, tag);
    Put16(f, channels);
    Put32(f, rate);
    Put32(f, rate * channels * bits / 8);
    Put16(f, static_cast<uint16_t>(channels * bits / 8));
    Put16(f, bits);
    return f;
}
std::vector<uint8_t> Samples(std::initializer_list<int16_t> values) {
    std::vector<uint8_t> d;
    for (int16_t v : values) Put16(d, static_cast<uint16_t>(v));
    return d;
}
// RIFF/WAVE around the given chunks (written in order).
std::vector<uint8_t> Wav(const std::vector<std::pair<const char*, std::vector<uint8_t>>>& chunks) {
    std::vector<uint8_t> body;
    for (const auto& [id, bytes] : chunks) PutChunk(body, id, bytes);
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    Put32(file, static_cast<uint32_t>(body.size() + 4));
    file.insert(file.end(), {'W', 'A', 'V', 'E'});
    file.insert(file.end(), body.begin(), body.end());
    return file;
}
std::string ErrorOf(const std::vector<uint8_t>& bytes) {
    SoundSamples s;
    std::string error;
    return ParseWav(bytes.data(), bytes.size(), "s.wav", s, error) ? "" : error;
}

TEST(Wav, ReadsMonoAndStereoSkippingOtherChunks) {
    SoundSamples s;
    std::string error;
    const auto mono = Wav({{"fmt ", FormatChunk(1, 48000)}, {"LIST", {1, 2, 3}}, {"data", Samples({1, -2, 32767})}});
    ASSERT_TRUE(ParseWav(mono.data(), mono.size(), "m.wav", s, error)) << error;
    EXPECT_EQ(s.SampleRate, 48000);
    EXPECT_EQ(s.Channels, 1);
    EXPECT_EQ(s.Frames, (std::vector<int16_t>{1, -2, 32767}));

    std::vector<uint8_t> extensible = FormatChunk(2, 22050, 16, 0xFFFE);
    Put16(extensible, 22);  // extension size
    Put16(extensible, 16);  // valid bits
    Put32(extensible, 3);   // channel mask
    Put16(extensible, 1);   // sub-format: PCM
    extensible.resize(40, 0);
    const auto stereo = Wav({{"fmt ", extensible}, {"data", Samples({-32768, 5, 6, 7})}});
    ASSERT_TRUE(ParseWav(stereo.data(), stereo.size(), "s.wav", s, error)) << error;
    EXPECT_EQ(s.Channels, 2);
    EXPECT_EQ(s.SampleRate, 22050);
    EXPECT_EQ(s.FrameCount(), 2u);
    EXPECT_EQ(s.Frames[0], -32768);
}

TEST(Wav, DamagedFilesNameTheOffsetAndWhatWasWrong) {
    const auto good = Wav({{"fmt ", FormatChunk(1, 44100)}, {"data", Samples({1, 2, 3, 4})}});
    EXPECT_EQ(ErrorOf({}), "s.wav: offset 0: file ends inside the RIFF header");
    EXPECT_EQ(ErrorOf(std::vector<uint8_t>(good.begin(), good.begin() + 4)),
              "s.wav: offset 4: file ends inside the RIFF header");
    std::vector<uint8_t> notWave = good;
    notWave[8] = 'A';
    EXPECT_EQ(ErrorOf(notWave), "s.wav: offset 0: not a RIFF/WAVE file");
    EXPECT_EQ(ErrorOf(Wav({{"fmt ", FormatChunk(1, 44100, 8)}, {"data", {1, 2}}})),
              "s.wav: offset 20: 8 bits per sample, only 16 are read");
    EXPECT_EQ(ErrorOf(Wav({{"fmt ", FormatChunk(1, 44100, 16, 3)}, {"data", {}}})),
              "s.wav: offset 20: format 3, only PCM is read");
    EXPECT_EQ(ErrorOf(Wav({{"fmt ", FormatChunk(6, 44100)}, {"data", {}}})),
              "s.wav: offset 20: 6 channels, 1 or 2 are read");
    EXPECT_EQ(ErrorOf(Wav({{"fmt ", FormatChunk(1, 1000)}, {"data", {}}})),
              "s.wav: offset 20: sample rate 1000 outside 8000..192000");
    EXPECT_EQ(ErrorOf(Wav({{"data", Samples({1})}, {"fmt ", FormatChunk(1, 44100)}})),
              "s.wav: offset 12: data before the format chunk");
    EXPECT_EQ(ErrorOf(Wav({{"fmt ", FormatChunk(2, 44100)}, {"data", Samples({1, 2, 3})}})),
              "s.wav: offset 50: the samples end inside a frame");
    EXPECT_EQ(ErrorOf(Wav({{"fmt ", FormatChunk(1, 44100)}})), "s.wav: offset 36: no data chunk");
    EXPECT_EQ(ErrorOf(Wav({{"LIST", {}}})), "s.wav: offset 20: no format chunk");
    // A chunk claiming more than the file holds, at every cut of a good file.
    for (size_t cut = 12; cut < good.size(); ++cut) {
        const std::string e = ErrorOf(std::vector<uint8_t>(good.begin(), good.begin() + cut));
        EXPECT_FALSE(e.empty()) << "cut at " << cut;
        EXPECT_EQ(e.rfind("s.wav: offset ", 0), 0u) << e;
    }
    std::vector<uint8_t> huge = good;
    huge[40] = huge[41] = huge[42] = huge[43] = 0xFF;  // data size 4 GB
    EXPECT_EQ(ErrorOf(huge), "s.wav: offset 36: chunk of 4294967295 bytes runs past the end of the file");
    SoundSamples s;
    std::string error;
    EXPECT_FALSE(LoadWavFile("/nonexistent/x.wav", s, error));
    EXPECT_EQ(error, "/nonexistent/x.wav: cannot open the sound file");
}

TEST(Wav, WriterRoundTripsInBlocksAndLeavesNothingBehindWhenAbandoned) {
    const std::string dir = ::testing::TempDir();
    const std::string path = dir + "/written.wav";
    std::remove(path.c_str());
    std::string error;
    {
        WavWriter w;
        ASSERT_TRUE(w.Open(path, 48000, 2, error)) << error;
        const int16_t a[] = {1, -1, 32767, -32768};
        const int16_t b[] = {7, 8};
        ASSERT_TRUE(w.Append(a, 2, error)) << error;
        ASSERT_TRUE(w.Append(b, 1, error)) << error;
        ASSERT_TRUE(w.Finish(error)) << error;
    }
    SoundSamples read;
    ASSERT_TRUE(LoadWavFile(path, read, error)) << error;
    EXPECT_EQ(read.SampleRate, 48000);
    EXPECT_EQ(read.Channels, 2);
    EXPECT_EQ(read.Frames, (std::vector<int16_t>{1, -1, 32767, -32768, 7, 8}));

    const std::string abandoned = dir + "/abandoned.wav";
    std::remove(abandoned.c_str());
    {
        WavWriter w;
        ASSERT_TRUE(w.Open(abandoned, 48000, 1, error)) << error;
        const int16_t c[] = {3};
        ASSERT_TRUE(w.Append(c, 1, error));
    }
    EXPECT_FALSE(LoadWavFile(abandoned, read, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

    WavWriter nowhere;
    EXPECT_FALSE(nowhere.Open(dir + "/no/such/folder/x.wav", 48000, 1, error));
    EXPECT_NE(error.find("x.wav: cannot create"), std::string::npos) << error;
}

}  // namespace
}  // namespace dv
