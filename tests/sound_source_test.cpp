#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/sound/sound_source.h"

namespace dv {
namespace {

namespace fs = std::filesystem;

TEST(SoundSource, ReadsEveryKindOfBlock) {
    const std::string text =
        "# footsteps\n"
        "sound step\n"
        "  length 0.3\n  peak 0.4\n  seed 7\n"
        "  variations 3 pitch 0.1 time 0.01\n"
        "  layer noise gain 0.5 band 500 3000 repeat 100 0.1 spread 0.4 decay 0.01\n"
        "  layer fm freq 200 100 ratio 2 index 3 decay 0.2\n"
        "end\n"
        "loop hum\n  length 9\n  crossfade 0.5\n  layer sine freq 60 wander 0.5 0.3\nend\n"
        "music tune\n  length 4\n  tempo 120\n  fadeout 1\n  reverb 0.2 0.5\n"
        "  instrument keys pluck gain 0.2 decay 1 pan -0.5\n"
        "  play keys 0 1 C4 E4 G4\n  play keys 7.5 0.5 Bb3\n"
        "end\n";
    std::vector<SoundDef> sounds;
    std::string error;
    ASSERT_TRUE(ParseSoundSource(text, "a.txt", sounds, error)) << error;
    ASSERT_EQ(sounds.size(), 3u);
    const SoundDef& step = sounds[0];
    EXPECT_EQ(step.OutputNames(), (std::vector<std::string>{"step_1.wav", "step_2.wav", "step_3.wav"}));
    EXPECT_EQ(step.Line, 2);
    ASSERT_EQ(step.Layers.size(), 2u);
    EXPECT_EQ(step.Layers[0].Highpass, 500.0);
    EXPECT_EQ(step.Layers[0].Lowpass, 3000.0);
    EXPECT_EQ(step.Layers[0].Within, 0.1);
    EXPECT_EQ(step.Layers[1].FreqEnd, 100.0);
    EXPECT_EQ(sounds[1].OutputNames(), std::vector<std::string>{"hum.ogg"});
    EXPECT_EQ(sounds[2].Channels(), 2);
    ASSERT_EQ(sounds[2].Notes.size(), 2u);
    EXPECT_EQ(sounds[2].Notes[0].Frequencies.size(), 3u);
    EXPECT_NEAR(sounds[2].Notes[1].Frequencies[0], 233.08, 0.01);
}

TEST(SoundSource, NoteNamesAreEqualTemperedFromA440) {
    EXPECT_DOUBLE_EQ(NoteFrequency("A4"), 440.0);
    EXPECT_DOUBLE_EQ(NoteFrequency("A5"), 880.0);
    EXPECT_NEAR(NoteFrequency("C4"), 261.626, 0.001);
    EXPECT_DOUBLE_EQ(NoteFrequency("C#4"), NoteFrequency("Db4"));
    EXPECT_NEAR(NoteFrequency("B8") / NoteFrequency("C0"), std::pow(2.0, 107.0 / 12.0), 1e-6);
    for (const char* bad : {"H4", "A9", "A", "A#", "Ax4", "a4", "A44", ""}) EXPECT_EQ(NoteFrequency(bad), 0.0) << bad;
}

// Each bad source gives one line naming the file and the line, with the reason in it.
TEST(SoundSource, BadLinesNameFileAndLine) {
    struct Case {
        std::string text;
        int line;
        const char* words;
    };
    const std::string sound = "sound s\n  length 0.3\n";
    const std::string music = "music m\n  length 4\n  instrument p pluck\n";
    std::string longChords;
    for (int i = 0; i < 20; ++i) longChords += "  play p 0 100 C4 D4 E4 F4 G4 A4 B4 C5\n";
    const Case cases[] = {
        // statements and blocks
        {"bogus s\n", 1, "expected 'sound', 'loop' or 'music'"},
        {"sound\n", 1, "missing sound name"},
        {"sound Step\n", 1, "lower-case"},
        {"sound s extra\n", 1, "unexpected 'extra'"},
        {"sound s\n  length 0.3\n  layer sine freq 100\n", 1, "has no 'end'"},
        {"sound s\n  peak 0.3\n", 2, "'length' must come first"},
        {"sound s\n  length 0.3\nend\n", 3, "has no layers"},
        {"sound s\n  length 0.3\n  length 0.4\n", 3, "given twice"},
        {"sound s\n  length 0.3\n  layer sine freq 100\nend\nsound s\n", 5, "defined twice"},
        {"sound s\n  length 0.3\n  tempo 90\n", 3, "not a statement of a sound"},
        {"loop s\n  length 9\n  variations 2\n", 3, "not a statement of a loop"},
        {"music s\n  length 4\n  layer sine freq 100\n", 3, "not a statement of music"},
        {"music s\n  length 4\nend\n", 3, "plays no notes"},
        {"sound s\n  length 30\n  variations 16\n  layer noise repeat 2000 decay 30\nend\n", 1, "samples of work"},
        // numbers
        {"sound s\n  length 0\n", 2, "out of range"},
        {"sound s\n  length 31\n", 2, "out of range"},
        {"sound s\n  length nan\n", 2, "not a number"},
        {"sound s\n  length 1e999\n", 2, "not a number"},
        {"sound s\n  length 0.3x\n", 2, "not a number"},
        {"sound s\n  length\n", 2, "missing length"},
        {"sound s\n  length 0.3\n  peak 0.95\n", 3, "out of range"},
        {"sound s\n  length 0.3\n  seed -1\n", 3, "out of range"},
        {"sound s\n  length 0.3\n  seed 1.5\n", 3, "not a whole number"},
        {"sound s\n  length 0.3\n  variations 17\n", 3, "out of range"},
        {"sound s\n  length 0.3\n  variations 2 pitch 0.1 pitch 0.2\n", 3, "'pitch' is given twice"},
        {"loop s\n  length 9\n  crossfade 5\n", 3, "out of range"},
        // layers
        {sound + "  layer saw freq 100\n", 3, "unknown layer source"},
        {sound + "  layer sine\n", 3, "needs 'freq'"},
        {sound + "  layer noise freq 100\n", 3, "has no 'freq'"},
        {sound + "  layer sine freq 30000\n", 3, "out of range"},
        {sound + "  layer sine freq 100 gain 1 gain 2\n", 3, "'gain' is given twice"},
        {sound + "  layer sine freq 100 shimmer 2\n", 3, "unknown layer property 'shimmer'"},
        {sound + "  layer sine freq 100 ratio 2\n", 3, "only fm layers"},
        {sound + "  layer noise band 3000 500\n", 3, "above its low frequency"},
        {sound + "  layer noise band 300 900 lowpass 500\n", 3, "not both"},
        {sound + "  layer noise lowpass 500 highpass 800\n", 3, "below the low-pass"},
        {sound + "  layer noise wobble 1 1\n", 3, "'wobble' moves the low-pass"},
        {sound + "  layer noise at 0.5\n", 3, "out of range"},
        {sound + "  layer noise repeat 5000\n", 3, "out of range"},
        {sound + "  layer noise tremolo 5\n", 3, "missing tremolo depth"},
        // music
        {music + "  instrument p pad\n", 4, "defined twice"},
        {music + "  instrument q organ\n", 4, "unknown instrument tone"},
        {music + "  instrument q pad pan 2\n", 4, "out of range"},
        {music + "  play x 0 1 C4\n", 4, "no instrument 'x'"},
        {music + "  play p 0 1 H4\n", 4, "'H4' is not a note"},
        {music + "  play p 0 1\n", 4, "missing note"},
        {music + "  play p 9 1 C4\n", 4, "beat 9 is out of range"},
        {music + "  play p 0 1 C4\n  tempo 120\n", 5, "before the first 'play'"},
        {music + "  play p 0 1 C4 D4 E4 F4 G4 A4 B4 C5 D5\n", 4, "more than 8 notes"},
        {"music m\n  length 30\n  instrument p pad\n" + longChords + "end\n", 1, "samples of work"},
    };
    for (const Case& c : cases) {
        std::vector<SoundDef> sounds;
        std::string error;
        ASSERT_FALSE(ParseSoundSource(c.text, "bad.txt", sounds, error)) << c.text;
        const std::string where = "bad.txt:" + std::to_string(c.line) + ": ";
        EXPECT_EQ(error.rfind(where, 0), 0u) << c.text << "\n" << error;
        EXPECT_NE(error.find(c.words), std::string::npos) << c.text << "\n" << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(SoundSource, FoldersAreReadInNameOrderAndOutputsMustBeUnique) {
    const fs::path dir = fs::temp_directory_path() / ("dv_sound_source_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::vector<SoundDef> sounds;
    std::string error;
    EXPECT_FALSE(LoadSoundSources(dir.string(), sounds, error));
    EXPECT_NE(error.find("no sound sources"), std::string::npos) << error;
    EXPECT_FALSE(LoadSoundSources((dir / "missing").string(), sounds, error));
    EXPECT_NE(error.find("cannot read the folder"), std::string::npos) << error;

    std::ofstream(dir / "b.txt") << "sound hit_1\n  length 0.1\n  layer sine freq 100\nend\n";
    std::ofstream(dir / "a.txt") << "sound hit\n  length 0.1\n  layer sine freq 100\nend\n";
    std::ofstream(dir / "notes.md") << "not a source\n";
    ASSERT_TRUE(LoadSoundSources(dir.string(), sounds, error)) << error;
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_EQ(sounds[0].Name, "hit");
    EXPECT_EQ(sounds[1].Name, "hit_1");

    // "hit" with variations makes hit_1.wav, which b.txt makes too.
    std::ofstream(dir / "a.txt") << "sound hit\n  length 0.1\n  variations 2\n  layer sine freq 100\nend\n";
    EXPECT_FALSE(LoadSoundSources(dir.string(), sounds, error));
    EXPECT_EQ(error, (dir / "b.txt").string() + ":1: 'hit_1.wav' is also made by " + (dir / "a.txt").string() + ":1");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dv
