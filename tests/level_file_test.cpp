#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "level_builder.h"
#include "world/level_file.h"

namespace {

using dv::LevelFileData;

std::vector<uint8_t> Bytes(const LevelFileData& d) { return dv::WriteLevel(d); }

LevelFileData Parse(const std::vector<uint8_t>& bytes) {
    LevelFileData out;
    dv::ParseLevel(bytes.data(), bytes.size(), "test.lev", out);
    return out;
}

std::string ParseError(const std::vector<uint8_t>& bytes) {
    LevelFileData out;
    std::string error;
    if (dv::ParseLevel(bytes.data(), bytes.size(), "test.lev", out, error)) return "";
    return error;
}

// The parsed level writes back to the same bytes, and the fields the file does not carry
// get their loaded values.
void ExpectRoundTrip(const LevelFileData& level) {
    const std::vector<uint8_t> bytes = Bytes(level);
    const LevelFileData back = Parse(bytes);
    EXPECT_EQ(Bytes(back), bytes);
    EXPECT_EQ(back.Level.AnimSetA.SlotBase, 2000);
    EXPECT_EQ(back.Level.AnimSetB.SlotBase, 0);
    EXPECT_EQ(back.Level.TextureCount, level.Level.TextureCount);
    EXPECT_EQ(back.Level.StripATileCount, level.Level.StripATileCount);
    EXPECT_EQ(back.Level.StripBTileCount, level.Level.StripBTileCount);
    EXPECT_EQ(back.Level.BumpTileCount, level.Level.BumpTileCount);
    EXPECT_EQ(back.BumpStrip.Height, level.BumpStrip.Height);
    EXPECT_EQ(std::memcmp(back.Level.HeaderBlock, level.Level.HeaderBlock, 52), 0);
    EXPECT_EQ(std::memcmp(back.Ident, level.Ident, 8), 0);
    EXPECT_EQ(back.FormatWord, level.FormatWord);
}

TEST(LevelFile, SampleRoundTripsAndKeepsEveryField) {
    const LevelFileData level = dvtest::SampleLevel();
    ExpectRoundTrip(level);
    const LevelFileData back = Parse(Bytes(level));
    const dv::LevelRecord& lev = back.Level;
    ASSERT_EQ(lev.Movables.size(), 1u);
    EXPECT_EQ(lev.Movables[0].TextureSlot, 1001);
    EXPECT_EQ(lev.Objects[0].TextureSlot, 1003);
    EXPECT_EQ(lev.Objects[0].BumpSlotBase, 0);
    const dv::ClipRecord& clip = lev.Movables[0].Clips[1];
    EXPECT_EQ(clip.ClipId, 11);
    EXPECT_EQ(clip.Unused2[5], 9);
    EXPECT_EQ(clip.Pad[0] | clip.Pad[1], 0);
    EXPECT_EQ(lev.Models[1].Vertices[3].Position.x, 3.0f);
    EXPECT_EQ(lev.Models[1].Extra[35], 1);
    EXPECT_EQ(lev.Animations[0].Tracks[1].Keys[1].Rotation.y, 90.0f);
    ASSERT_EQ(lev.Map.Rooms.size(), 2u);
    EXPECT_EQ(lev.Map.Rooms[0].Cells[1][2].SideRoom, 2);
    EXPECT_EQ(lev.Map.Rooms[0].Tree.Nodes[0].Children[0].Sector.Count, 2);
    EXPECT_EQ(lev.Map.Rooms[0].Tree.Nodes[0].Children[1].Sector.Triangles.size(), 0u);
    EXPECT_EQ(lev.Map.Rooms[1].Cells.size(), 0u);
    EXPECT_EQ(lev.Map.Boxes.Words[2], 65535);
    EXPECT_EQ(back.StripA.Pixels.size(), 36u);  // the spare row is read and kept
}

TEST(LevelFile, EdgeCasesRoundTrip) {
    const std::vector<std::pair<const char*, std::function<void(LevelFileData&)>>> cases = {
        {"no textures",
         [](LevelFileData& d) {
             d.Textures.clear();
             d.Level.TextureCount = 0;
         }},
        {"negative texture count means none",
         [](LevelFileData& d) {
             d.Textures.clear();
             d.Level.TextureCount = -5;
         }},
        {"strip A of width 0",
         [](LevelFileData& d) {
             d.StripA = {0, 7, {}};
             d.Level.StripATileCount = 0;
         }},
        {"strip A of height 0",
         [](LevelFileData& d) {
             d.StripA = {4, 0, {}};
             d.Level.StripATileCount = 0;
         }},
        {"bump strip of width 0 keeps its height",
         [](LevelFileData& d) {
             d.BumpStrip = {0, 9, {}};
             d.Level.BumpTileCount = 0;
         }},
        {"strip B height not a multiple",
         [](LevelFileData& d) {
             d.StripB = dvtest::Pixels(4, 11, 2);
             d.Level.StripBTileCount = 2;
         }},
        {"strip B narrower than tall",
         [](LevelFileData& d) {
             d.StripB = dvtest::Pixels(8, 4, 2);
             d.Level.StripBTileCount = 0;
         }},
        {"skip bitmaps", [](LevelFileData& d) { d.Level.Lightmaps.SkipBitmaps = 1; }},
        {"clips out of order",
         [](LevelFileData& d) { std::swap(d.Level.Movables[0].Clips[0], d.Level.Movables[0].Clips[1]); }},
        {"room with CellsZ 0",
         [](LevelFileData& d) {
             dv::LevelRoom& r = d.Level.Map.Rooms[0];
             r.Header.CellsZ = 0;
             r.Cells.assign(2, {});
         }},
        {"no movables or objects",
         [](LevelFileData& d) {
             d.Level.Movables.clear();
             d.Level.MovableCount = 0;
             d.Level.Objects.clear();
             d.Level.ObjectCount = 0;
             d.Level.Map.Rooms[0].Instances.clear();
             d.Level.Map.Rooms[0].InstanceCount = 0;
         }},
        {"empty boxes", [](LevelFileData& d) { d.Level.Map.Boxes = {}; }},
    };
    for (const auto& [name, mutate] : cases) {
        SCOPED_TRACE(name);
        LevelFileData level = dvtest::SampleLevel();
        mutate(level);
        ExpectRoundTrip(level);
    }
}

TEST(LevelFile, TrailingBytesAreIgnored) {
    std::vector<uint8_t> bytes = Bytes(dvtest::SampleLevel());
    const std::vector<uint8_t> original = bytes;
    bytes.push_back(0xAB);
    EXPECT_EQ(Bytes(Parse(bytes)), original);
}

TEST(LevelFile, EveryTruncationFailsWithItsOffset) {
    const std::vector<uint8_t> bytes = Bytes(dvtest::SampleLevel());
    for (size_t len = 0; len < bytes.size(); ++len) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(len));
        const std::string error = ParseError(cut);
        ASSERT_EQ(error.rfind("test.lev: offset ", 0), 0u) << "length " << len << ": " << error;
        const size_t offset = std::stoul(error.substr(17));
        EXPECT_LE(offset, len) << error;
    }
    EXPECT_EQ(ParseError({}), "test.lev: offset 0: file ends inside identification bytes (8 bytes needed, 0 left)");
}

// Offsets of the sections of a written level, computed from its records.
struct Sections {
    size_t stripA, animA, movables, objects, models, skeletons, animations, stripB, bump, animB, lightmaps, map, room0;
};

size_t PixelBytes(const dv::PixelBlock& b, bool present) { return present ? b.Pixels.size() * 2 : 0; }

size_t AnimSetBytes(const dv::AnimatedTextureTable& s) {
    size_t n = 2;
    for (const dv::AnimatedTexture& a : s.Sets) n += 5 + 36 * a.Frames.size();
    return n;
}

Sections Locate(const LevelFileData& d) {
    Sections s{};
    size_t o = 64;
    for (const auto& t : d.Textures) o += 8 + PixelBytes(t, true);
    s.stripA = o;
    o += 8 + PixelBytes(d.StripA, true);
    s.animA = o;
    o += AnimSetBytes(d.Level.AnimSetA);
    s.movables = o;
    o += 2;
    for (const auto& m : d.Level.Movables) o += 14 + 50 * m.Clips.size();
    s.objects = o;
    o += 2 + 10 * d.Level.Objects.size();
    s.models = o;
    o += 2;
    for (const auto& m : d.Level.Models) o += 4 + 76 * m.Vertices.size() + 68 * m.Faces.size() + 80;
    s.skeletons = o;
    o += 2;
    for (const auto& k : d.Level.Skeletons) o += 2 + 26 * k.Bones.size();
    s.animations = o;
    o += 2;
    for (const auto& a : d.Level.Animations) {
        o += 8;
        for (const auto& t : a.Tracks) o += 2 + 28 * t.Keys.size();
    }
    s.stripB = o;
    o += 8 + PixelBytes(d.StripB, true);
    s.bump = o;
    o += 8 + PixelBytes(d.BumpStrip, d.BumpStrip.Width != 0);
    s.animB = o;
    o += AnimSetBytes(d.Level.AnimSetB);
    s.lightmaps = o;
    o += 9 + 11 * d.Level.Lightmaps.Entries.size();
    s.map = o;
    s.room0 = o + 18;
    return s;
}

template <class T>
void Patch(std::vector<uint8_t>& bytes, size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

struct Malformed {
    const char* name;
    std::function<void(LevelFileData&)> mutate;                         // on the records
    std::function<void(std::vector<uint8_t>&, const Sections&)> patch;  // on the bytes
    std::function<size_t(const Sections&)> offset;
    const char* message;
};

TEST(LevelFile, MalformedFilesGiveClearErrors) {
    const auto none = [](LevelFileData&) {};
    const auto keep = [](std::vector<uint8_t>&, const Sections&) {};
    const std::vector<Malformed> cases = {
        {"oversized texture count", none, [](auto& b, auto&) { Patch<int16_t>(b, 62, 30000); },
         [](auto&) { return 62; }, "30000 textures need at least 240000 bytes"},
        {"negative texture size", none,
         [](auto& b, auto&) {
             Patch<int32_t>(b, 64, -4);
             Patch<int32_t>(b, 68, -4);
         },
         [](auto&) { return 64; }, "texture 0: the texture has a negative size -4 x -4"},
        {"negative strip A size", none, [](auto& b, auto& s) { Patch<int32_t>(b, s.stripA, -4); },
         [](auto& s) { return s.stripA; }, "strip A: the strip has a negative size -4 x 9"},
        {"huge strip A", none, [](auto& b, auto& s) { Patch<int32_t>(b, s.stripA + 4, 0x7FFFFFFF); },
         [](auto& s) { return s.stripA; }, "strip A: 8589934588 pixels need at least"},
        {"oversized animated set count", none, [](auto& b, auto& s) { Patch<uint16_t>(b, s.animA, 60000); },
         [](auto& s) { return s.animA; }, "animated set A: 60000 animated textures need"},
        {"negative movable count", none, [](auto& b, auto& s) { Patch<int16_t>(b, s.movables, -1); },
         [](auto& s) { return s.movables; }, "negative movables count -1"},
        {"negative clip count", none, [](auto& b, auto& s) { Patch<int16_t>(b, s.movables + 14, -2); },
         [](auto& s) { return s.movables + 14; }, "movable 0: negative clips count -2"},
        {"oversized model count", none, [](auto& b, auto& s) { Patch<int16_t>(b, s.models, 32767); },
         [](auto& s) { return s.models; }, "32767 models need at least"},
        {"oversized vertex count", none, [](auto& b, auto& s) { Patch<int16_t>(b, s.models + 2, 32767); },
         [](auto& s) { return s.models + 2; }, "model 0: 32767 vertices need at least"},
        {"negative bone count", none, [](auto& b, auto& s) { Patch<int16_t>(b, s.skeletons + 2, -7); },
         [](auto& s) { return s.skeletons + 2; }, "skeleton 0: negative bones count -7"},
        {"negative track count", none, [](auto& b, auto& s) { Patch<int16_t>(b, s.animations + 8, -1); },
         [](auto& s) { return s.animations + 8; }, "animation 0: negative tracks count -1"},
        {"strip B width 0",
         [](LevelFileData& d) {
             d.StripB = {0, 8, {}};
         },
         keep, [](auto& s) { return s.stripB; }, "strip B: the strip has width 0"},
        {"oversized strip B", none,
         [](auto& b, auto& s) {
             Patch<int32_t>(b, s.stripB, 1);
             Patch<int32_t>(b, s.stripB + 4, 40000);
         },
         [](auto& s) { return s.stripB; }, "strip B: 40000 pixels need at least 80000 bytes"},
        {"strip B with more tiles than slots", [](LevelFileData& d) { d.StripB = dvtest::Pixels(1, 32768, 0); }, keep,
         [](auto& s) { return s.stripB; }, "strip B: the strip of 1 x 32768 has 32768 tiles, more than 32767"},
        {"negative bump size", none, [](auto& b, auto& s) { Patch<int32_t>(b, s.bump + 4, -1); },
         [](auto& s) { return s.bump; }, "bump strip: the strip has a negative size 2 x -1"},
        {"negative lightmap entry count", none, [](auto& b, auto& s) { Patch<int32_t>(b, s.lightmaps + 5, -3); },
         [](auto& s) { return s.lightmaps + 5; }, "lightmap table: negative lightmap entries count -3"},
        {"oversized lightmap entry count", none,
         [](auto& b, auto& s) { Patch<int32_t>(b, s.lightmaps + 5, 0x7FFFFFFF); },
         [](auto& s) { return s.lightmaps + 5; }, "2147483647 lightmap entries need at least 23622320117 bytes"},
        {"oversized room count", none, [](auto& b, auto& s) { Patch<uint16_t>(b, s.map + 16, 65535); },
         [](auto& s) { return s.map + 16; }, "map: 65535 rooms need at least"},
        {"oversized triangle count", none, [](auto& b, auto& s) { Patch<int32_t>(b, s.room0 + 38 + 17 + 16, 1 << 30); },
         [](auto& s) { return s.room0 + 38 + 17 + 16; }, "room 0: sector 0.0: 1073741824 triangles need"},
        {"negative triangle count", none, [](auto& b, auto& s) { Patch<int32_t>(b, s.room0 + 38 + 17 + 16, -1); },
         [](auto& s) { return s.room0 + 38 + 17 + 16; }, "room 0: sector 0.0: negative triangles count -1"},
        {"oversized cell grid", none,
         [](auto& b, auto& s) {
             Patch<uint16_t>(b, s.room0 + 12, 65535);
             Patch<uint16_t>(b, s.room0 + 14, 65535);
         },
         nullptr, "room 0: 4294836225 cells need at least"},
        {"too many lights", none,
         [](auto& b, auto& s) {
             // the light count of room 0 follows its two lights' instance
             const size_t at = s.room0 + 38 + 994 + 1 + 74 + 6 * 33 + 4 + 29;
             Patch<int32_t>(b, at, 40000);
         },
         nullptr, "room 0: 40000 lights, more than a light list holds (32766)"},
        {"negative box count", none, [](auto& b, auto&) { Patch<int32_t>(b, b.size() - 4 - 6 - 36 - 4, -1); }, nullptr,
         "boxes: negative boxes count -1"},
        {"movable model", [](LevelFileData& d) { d.Level.Movables[0].ModelIndex = 2; }, keep,
         [](auto& s) { return s.movables + 2 + 8; }, "movable 0: model 2 does not exist (the level has 2 models)"},
        {"movable skeleton", [](LevelFileData& d) { d.Level.Movables[0].SkeletonIndex = -1; }, keep,
         [](auto& s) { return s.movables + 2 + 10; },
         "movable 0: skeleton -1 does not exist (the level has 1 skeletons)"},
        {"clip animation", [](LevelFileData& d) { d.Level.Movables[0].Clips[1].AnimationIndex = 1; }, keep,
         [](auto& s) { return s.movables + 2 + 14 + 50 + 8; },
         "movable 0: clip 1: animation 1 does not exist (the level has 1 animations)"},
        {"animation with fewer tracks than bones",
         [](LevelFileData& d) {
             d.Level.Animations[0].Tracks.resize(1);
             d.Level.Animations[0].TrackCount = 1;
         },
         keep, [](auto& s) { return s.movables + 2 + 14 + 8; },
         "movable 0: clip 0: animation 0 has 1 tracks, but skeleton 0 has 2 bones"},
        {"vertex bone beyond the skeleton", [](LevelFileData& d) { d.Level.Models[0].Vertices[2].Bones[1] = 2; }, keep,
         [](auto& s) { return s.models + 4 + 2 * 76 + 26; },
         "movable 0: vertex 2 of model 0 names bone 2, but skeleton 0 has 2 bones"},
        {"object model", [](LevelFileData& d) { d.Level.Objects[0].ModelIndex = -1; }, keep,
         [](auto& s) { return s.objects + 2 + 8; }, "object 0: model -1 does not exist (the level has 2 models)"},
        {"face runs beyond the faces of a placed model", [](LevelFileData& d) { d.Level.Models[1].FaceRuns[9] = 1; },
         keep, [](auto& s) { return s.objects + 2 + 8; },
         "object 0: the face runs of model 1 add up to 2 faces, but it has 1"},
        {"instance of an unknown object", [](LevelFileData& d) { d.Level.Map.Rooms[0].Instances[0].ObjectId = 501; },
         keep, [](auto& s) { return s.room0 + 38 + 994 + 1 + 74 + 6 * 33 + 4; },
         "room 0: object instance 0 names object id 501, which no object template has"},
        {"face vertex", [](LevelFileData& d) { d.Level.Models[0].Faces[0].Vertex[2] = 3; }, keep,
         [](auto& s) { return s.models + 2 + 2 + 3 * 76 + 2 + 4; },
         "model 0: face 0 names vertex 3, but the model has 3 vertices"},
        {"bone parent not lower", [](LevelFileData& d) { d.Level.Skeletons[0].Bones[1].Parent = 1; }, keep,
         [](auto& s) { return s.skeletons + 4 + 26; },
         "skeleton 0: bone 1 has parent 1, but a parent must be -1 or a lower bone"},
        {"bone parent below -1", [](LevelFileData& d) { d.Level.Skeletons[0].Bones[0].Parent = -2; }, keep,
         [](auto& s) { return s.skeletons + 4; }, "bone 0 has parent -2"},
        {"first key not at frame 0", [](LevelFileData& d) { d.Level.Animations[0].Tracks[1].Keys[0].Frame = 2; }, keep,
         [](auto& s) { return s.animations + 10 + 2 + 56 + 2; },
         "animation 0: track 1: the first key is at frame 2, not 0"},
        {"track without keys",
         [](LevelFileData& d) {
             d.Level.Animations[0].Tracks[0].Keys.clear();
             d.Level.Animations[0].Tracks[0].KeyCount = 0;
         },
         keep, [](auto& s) { return s.animations + 10; }, "animation 0: track 0: the track has no keys"},
        {"start room beyond", [](LevelFileData& d) { d.Level.Map.StartRoom = 2; }, keep, [](auto& s) { return s.map; },
         "map: the start room is 2, but the level has 2 rooms"},
        {"negative start room", [](LevelFileData& d) { d.Level.Map.StartRoom = -1; }, keep,
         [](auto& s) { return s.map; }, "the start room is -1"},
        {"no rooms",
         [](LevelFileData& d) {
             d.Level.Map.Rooms.clear();
             d.Level.Map.RoomCount = 0;
         },
         keep, [](auto& s) { return s.map; }, "the start room is 0, but the level has 0 rooms"},
        {"portal target", [](LevelFileData& d) { d.Level.Map.Rooms[0].Portals[0].TargetRoom = 9; }, keep,
         [](auto& s) { return s.room0 + 38 + 994 + 1; }, "room 0: portal 0 names room 9, but the level has 2 rooms"},
        {"cell above", [](LevelFileData& d) { d.Level.Map.Rooms[0].Cells[0][1].RoomAbove = 3; }, keep,
         [](auto& s) { return s.room0 + 38 + 994 + 1 + 74 + 33 + 28; },
         "room 0: cell [0][1] room above names room 2, but the level has 2 rooms"},
        {"cell below", [](LevelFileData& d) { d.Level.Map.Rooms[0].Cells[1][0].RoomBelow = 255; }, keep,
         [](auto& s) { return s.room0 + 38 + 994 + 1 + 74 + 3 * 33 + 29; }, "cell [1][0] room below names room 254"},
        {"side room", [](LevelFileData& d) { d.Level.Map.Rooms[0].Cells[1][2].SideRoom = 3; }, keep,
         [](auto& s) { return s.room0 + 38 + 994 + 1 + 74 + 5 * 33 + 30; }, "cell [1][2] side room names room 2"},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        LevelFileData level = dvtest::SampleLevel();
        c.mutate(level);
        std::vector<uint8_t> bytes = Bytes(level);
        const Sections s = Locate(level);
        c.patch(bytes, s);
        const std::string error = ParseError(bytes);
        ASSERT_EQ(error.rfind("test.lev: offset ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        if (c.offset) {
            EXPECT_EQ(error.rfind("test.lev: offset " + std::to_string(c.offset(s)) + ": ", 0), 0u) << error;
        }
    }
}

TEST(LevelFile, WriterRejectsCountsThatDisagreeWithArrays) {
    LevelFileData level = dvtest::SampleLevel();
    level.Level.Map.Rooms[0].LightCount = 3;
    EXPECT_THROW(dv::WriteLevel(level), dv::LevelError);
}

TEST(LevelFile, LightmapNames) {
    EXPECT_EQ(dv::LightmapBaseName("test.lev"), "test");
    EXPECT_EQ(dv::LightmapBaseName("C:\\game\\test.lev"), "test");
    EXPECT_EQ(dv::LightmapBaseName("/data/levels/test.v2.lev"), "test");
    EXPECT_EQ(dv::LightmapBaseName("/data.d/level"), "");
    EXPECT_EQ(dv::LightmapFileName("test", 12), "test_lm12.bmp");
    EXPECT_EQ(dv::LightmapFileName("", 0), "_lm0.bmp");
}

}  // namespace

namespace {

// Writes the fuzzer's seed levels into $DV_WRITE_LEVEL_SEEDS (fuzz/corpus/level holds them).
TEST(LevelFile, WriteFuzzSeeds) {
    const char* dir = std::getenv("DV_WRITE_LEVEL_SEEDS");
    if (dir == nullptr) GTEST_SKIP() << "set DV_WRITE_LEVEL_SEEDS to write the seeds";
    LevelFileData level = dvtest::SampleLevel();
    dv::WriteLevelFile(std::string(dir) + "/sample.lev", level);
    level.Textures.clear();
    level.Level.TextureCount = 0;
    level.StripA = {0, 3, {}};
    level.BumpStrip = {0, 9, {}};
    level.Level.Lightmaps.SkipBitmaps = 1;
    dv::WriteLevelFile(std::string(dir) + "/no_textures.lev", level);
    level.Level.Movables.clear();
    level.Level.MovableCount = 0;
    level.Level.Map.Rooms.resize(1);
    level.Level.Map.RoomCount = 1;
    level.Level.Map.Rooms[0].Portals.clear();
    level.Level.Map.Rooms[0].PortalCount = 0;
    for (auto& column : level.Level.Map.Rooms[0].Cells) {
        for (auto& cell : column) cell = dv::GridCell{};
    }
    dv::WriteLevelFile(std::string(dir) + "/one_room.lev", level);
}

}  // namespace
