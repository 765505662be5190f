// The level's sound sidecar: written and read back, every kind of damage named with its
// offset, the fit to the level, and the level source statements that fill it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/level/level_compiler.h"
#include "tools/level/level_source.h"
#include "world/level_sounds.h"

namespace dv {
namespace {

LevelSounds Sample() {
    LevelSounds s;
    s.Rooms.push_back({2,
                       3,
                       {FloorSound::Stone, FloorSound::Wood, FloorSound::Metal, FloorSound::Gravel, FloorSound::Water,
                        FloorSound::Stone}});
    s.Rooms.push_back({1, 1, {FloorSound::Wood}});
    s.Emitters.push_back({1, {10, 20, 30}, 192, 0.5f, "lava"});
    s.Footfalls.push_back({2, {0, 11}});
    s.Footfalls.push_back({38, {6, 12}});
    return s;
}

std::vector<uint8_t> Bytes(const LevelSounds& s) {
    std::vector<uint8_t> b;
    std::string error;
    EXPECT_TRUE(SerializeLevelSounds(s, b, error)) << error;
    return b;
}

// Recomputes the checksum after a deliberate change, so the parser reaches the field itself.
void Reseal(std::vector<uint8_t>& b) {
    uint32_t h = 2166136261u;
    for (size_t i = sizeof(LevelSoundsHeader); i < b.size(); ++i) h = (h ^ b[i]) * 16777619u;
    std::memcpy(b.data() + offsetof(LevelSoundsHeader, Checksum), &h, 4);
}

std::string ErrorOf(const std::vector<uint8_t>& b) {
    LevelSounds s;
    std::string error;
    return ParseLevelSounds(b.data(), b.size(), "t.snd", s, error) ? "" : error;
}

TEST(LevelSounds, RoundTripAndLookups) {
    const std::vector<uint8_t> b = Bytes(Sample());
    LevelSounds s;
    std::string error;
    ASSERT_TRUE(ParseLevelSounds(b.data(), b.size(), "t.snd", s, error)) << error;
    ASSERT_EQ(s.Rooms.size(), 2u);
    EXPECT_EQ(s.FloorAt(0, 0, 1), FloorSound::Wood);
    EXPECT_EQ(s.FloorAt(0, 1, 1), FloorSound::Water);  // cell (x, z) at x * CellsZ + z
    EXPECT_EQ(s.FloorAt(1, 0, 0), FloorSound::Wood);
    EXPECT_EQ(s.FloorAt(0, 2, 0), FloorSound::Stone);  // outside the grid
    EXPECT_EQ(s.FloorAt(7, 0, 0), FloorSound::Stone);  // no such room
    ASSERT_EQ(s.Emitters.size(), 1u);
    EXPECT_EQ(s.Emitters[0].Sound, "lava");
    EXPECT_EQ(s.Emitters[0].Position.y, 20.0f);
    ASSERT_NE(s.FootfallsOf(38), nullptr);
    EXPECT_EQ(s.FootfallsOf(38)->Frames, (std::vector<int32_t>{6, 12}));
    EXPECT_EQ(s.FootfallsOf(3), nullptr);
    EXPECT_EQ(Bytes(s), b);

    EXPECT_EQ(LevelSoundsPath("data/test.lev"), "data/test.snd");
    EXPECT_EQ(LevelSoundsPath("a.b/level"), "a.b/level.snd");
    EXPECT_EQ(LevelSoundsPath("dir/.hidden"), "dir/.hidden.snd");
}

TEST(LevelSounds, DamagedFilesNameTheOffsetAndWhatWasWrong) {
    const std::vector<uint8_t> good = Bytes(Sample());
    EXPECT_EQ(ErrorOf({}), "t.snd: offset 0: file ends inside the header");
    std::vector<uint8_t> b = good;
    b[0] = 'X';
    EXPECT_EQ(ErrorOf(b), "t.snd: offset 0: not a level sound file");
    b = good;
    b[4] = 9;
    EXPECT_EQ(ErrorOf(b), "t.snd: offset 4: version 9, this game reads 1");
    b = good;
    b.pop_back();
    EXPECT_NE(ErrorOf(b).find("bytes after the header, the counts need"), std::string::npos) << ErrorOf(b);
    b = good;
    b[sizeof(LevelSoundsHeader) + 5] ^= 1;
    EXPECT_EQ(ErrorOf(b), "t.snd: offset 16: checksum mismatch, the file is damaged");

    // Fields out of range, each behind a valid checksum.
    const size_t cells = sizeof(LevelSoundsHeader) + sizeof(RoomFloorHeader);
    b = good;
    b[cells + 2] = 9;
    Reseal(b);
    EXPECT_EQ(ErrorOf(b), "t.snd: offset " + std::to_string(cells + 2) + ": floor sound 9 of 5");
    const size_t emitter = sizeof(LevelSoundsHeader) + 2 * sizeof(RoomFloorHeader) + 7;
    b = good;
    b[emitter] = 2;  // room 2 of 2
    Reseal(b);
    EXPECT_NE(ErrorOf(b).find("emitter in room 2 of 2"), std::string::npos) << ErrorOf(b);
    b = good;
    b[emitter + offsetof(AmbienceEmitterRecord, Sound)] = 'L';
    Reseal(b);
    EXPECT_NE(ErrorOf(b).find("sound name"), std::string::npos);
    b = good;
    std::memset(b.data() + emitter + offsetof(AmbienceEmitterRecord, Sound), 'a', kSoundNameBytes);
    Reseal(b);
    EXPECT_NE(ErrorOf(b).find("sound name"), std::string::npos) << "a name without its terminating zero";
    b = good;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(b.data() + emitter + offsetof(AmbienceEmitterRecord, Volume), &nan, 4);
    Reseal(b);
    EXPECT_NE(ErrorOf(b).find("volume outside 0..1"), std::string::npos);
    const size_t footfalls = emitter + sizeof(AmbienceEmitterRecord);
    b = good;
    b[footfalls + sizeof(FootfallRecord)] = 1;  // clip 1 after clip 2
    Reseal(b);
    EXPECT_NE(ErrorOf(b).find("out of ascending order"), std::string::npos) << ErrorOf(b);
    b = good;
    b[footfalls + offsetof(FootfallRecord, Count)] = 7;
    Reseal(b);
    EXPECT_NE(ErrorOf(b).find("7 footfalls"), std::string::npos) << ErrorOf(b);
    b = good;
    b[footfalls + offsetof(FootfallRecord, Frames) + 1] = 0;  // 0, 0
    Reseal(b);
    EXPECT_NE(ErrorOf(b).find("not ascending"), std::string::npos) << ErrorOf(b);

    // Nothing that cannot be read back is written.
    LevelSounds bad = Sample();
    bad.Emitters[0].Sound = "Lava Room";
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(SerializeLevelSounds(bad, out, error));
    bad = Sample();
    bad.Footfalls[0].Frames = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_FALSE(SerializeLevelSounds(bad, out, error));
    bad = Sample();
    bad.Rooms[0].Cells.pop_back();
    EXPECT_FALSE(SerializeLevelSounds(bad, out, error));
}

TEST(LevelSounds, FitsOnlyTheLevelItWasMadeFor) {
    LevelMap map;
    map.Rooms.resize(2);
    map.Rooms[0].Header.CellsX = 2;
    map.Rooms[0].Header.CellsZ = 3;
    map.Rooms[1].Header.CellsX = 1;
    map.Rooms[1].Header.CellsZ = 1;
    std::string error;
    EXPECT_TRUE(CheckLevelSoundsFit(Sample(), map, "t.snd", error)) << error;
    map.Rooms[1].Header.CellsZ = 2;
    EXPECT_FALSE(CheckLevelSoundsFit(Sample(), map, "t.snd", error));
    EXPECT_EQ(error, "t.snd: room 1 is 1 x 1 cells, in the level 1 x 2");
    map.Rooms.pop_back();
    EXPECT_FALSE(CheckLevelSoundsFit(Sample(), map, "t.snd", error));
    EXPECT_EQ(error, "t.snd: 2 rooms, the level has 1");
}

const char* const kRoom =
    "start a 1.5 1.5\n"
    "room a\n"
    "  floor planks\n"
    "  cell X solid\n"
    "  cell . floor 0\n"
    "  cell s floor 0 mat sand\n"
    "  map\n"
    "  XXXX\n"
    "  X.sX\n"
    "  X..X\n"
    "  XXXX\n"
    "  endmap\n";

std::string SourceErrorOf(const std::string& text) {
    try {
        ParseLevelSource(text, "l.txt");
    } catch (const SourceError& e) {
        return e.what();
    }
    return "";
}

TEST(LevelSounds, LevelSourceStatementsCompileIntoTheSidecar) {
    const std::string source = std::string("footstep sand water\n") + kRoom +
                               "  ambience drip 2 2 10 radius 4 volume 0.25\n"
                               "  light point 2 2 40 colour 255 255 255 range 16 64\nend\n";
    const CompiledLevel level = CompileLevel(ParseLevelSource(source, "l.txt"), ".", "/tmp/l.lev");
    const LevelSounds& s = level.Sounds;
    ASSERT_EQ(s.Rooms.size(), 1u);
    EXPECT_EQ(s.FloorAt(0, 1, 1), FloorSound::Wood);   // the room's planks
    EXPECT_EQ(s.FloorAt(0, 2, 2), FloorSound::Water);  // sand, made water by the statement
    std::string error;
    EXPECT_TRUE(CheckLevelSoundsFit(s, level.Data.Level.Map, "l.snd", error)) << error;
    ASSERT_EQ(s.Emitters.size(), 1u);
    EXPECT_EQ(s.Emitters[0].Sound, "drip");
    EXPECT_FLOAT_EQ(s.Emitters[0].Position.x, 64.0f);
    EXPECT_FLOAT_EQ(s.Emitters[0].Position.y, 16.0f);  // 10 clicks of 1.6 units
    EXPECT_FLOAT_EQ(s.Emitters[0].Radius, 128.0f);
    EXPECT_FLOAT_EQ(s.Emitters[0].Volume, 0.25f);

    EXPECT_EQ(SourceErrorOf(std::string("footstep sand mud\n") + kRoom + "end\n"),
              "l.txt:1: unknown footstep sound 'mud' (stone, wood, metal, gravel, water)");
    EXPECT_EQ(SourceErrorOf(std::string("footstep silk stone\n") + kRoom + "end\n"),
              "l.txt:1: unknown material 'silk'");
    EXPECT_EQ(SourceErrorOf(std::string(kRoom) + "  ambience Drip 2 2 10 radius 4\nend\n"),
              "l.txt:13: ambience sound 'Drip' is not 1..23 of a-z, 0-9, _");
    EXPECT_EQ(SourceErrorOf(std::string(kRoom) + "  ambience drip 2 2 10 radius 0\nend\n"),
              "l.txt:13: ambience radius outside 0..100 cells");
    EXPECT_EQ(SourceErrorOf(std::string(kRoom) + "  ambience drip 2 2 10 radius 4 volume 2\nend\n"),
              "l.txt:13: ambience volume outside 0..1");
    EXPECT_EQ(SourceErrorOf(std::string(kRoom) + "  ambience drip 9 2 10 radius 4\nend\n"),
              "l.txt:13: the ambience lies outside room 'a'");
}

}  // namespace
}  // namespace dv
