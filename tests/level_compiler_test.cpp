// The content tools, run as the build runs them: dvtool build-level, build-font and
// build-pictures, with their outputs read back by the engine's own readers.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>
#include <string>

#include "imaging/decode.h"
#include "math/geometry.h"
#include "motion/collision.h"
#include "support/game_run.h"
#include "tools/level/source_build.h"
#include "world/level_file.h"

namespace dv {
namespace {

namespace fs = std::filesystem;

const std::string kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

class ContentTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("dv_content_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }

    // Runs dvtool; returns its exit status and puts its stderr into `err`.
    int Run(const std::string& args, std::string* err = nullptr) const {
        const test::RunResult r = test::RunCommand(test::kTool + " " + args);
        if (err != nullptr) *err = r.Stderr;
        return r.Status;
    }

    // Compiles the demo course into test.lev, with its character pack built beside a copy of
    // the source as the build arranges it.
    void CompileDemo() const {
        std::string err;
        fs::copy_file(std::string(DV_SOURCE_DIR) + "/assets/levels/test.txt", Path("test.txt"),
                      fs::copy_options::overwrite_existing);
        ASSERT_EQ(
            Run("build-character " + std::string(DV_SOURCE_DIR) + "/assets/character " + Path("character.lev"), &err),
            0)
            << err;
        ASSERT_EQ(Run("build-level " + Path("test.txt") + " " + Path("test.lev"), &err), 0) << err;
    }

    LevelFileData Compile(const std::string& source) {
        Write("src.txt", source);
        std::string err;
        EXPECT_EQ(Run("build-level " + Path("src.txt") + " " + Path("out.lev"), &err), 0) << err;
        LevelFileData data;
        ParseLevelFile(Path("out.lev"), data);
        return data;
    }

    fs::path dir_;
};

// Two rooms side by side joined by a two-cell doorway, and a cellar under the first one
// reached through a hole.
const char* kTwoRooms = R"(start west 1.5 2.5
room west
  origin 0 0 20
  height 4
  cell X solid
  cell D door
  cell . floor 0
  cell s floor 0 5 5 0
  cell H hole floor 0
  cell E floor 0 exit
  map
  XXXXXX
  X...EX
  X.s..D
  X.H..D
  XXXXXX
  endmap
  light point 2 2 40 colour 255 255 255 range 32 200
end
room east
  origin 4 0 20
  height 4
  cell X solid
  cell D door
  cell . floor 0
  map
  XXXXX
  D...X
  D...X
  XXXXX
  endmap
end
room cellar
  origin 1 0 -40
  height 3
  cell X solid
  cell . floor 0
  cell o open floor 0
  map
  XXXX
  X..X
  Xo.X
  XXXX
  endmap
end
)";

const GridCell& Cell(const LevelRoom& room, int x, int z) {
    return room.Cells[static_cast<size_t>(x)][static_cast<size_t>(z)];
}

TEST_F(ContentTest, RoomsPortalsAndLinksAgree) {
    const LevelFileData data = Compile(kTwoRooms);
    const LevelMap& map = data.Level.Map;
    ASSERT_EQ(map.RoomCount, 3);
    const LevelRoom& west = map.Rooms[0];
    const LevelRoom& east = map.Rooms[1];
    const LevelRoom& cellar = map.Rooms[2];
    EXPECT_EQ(west.Header.CellsX, 6);
    EXPECT_EQ(west.Header.CellsZ, 5);
    EXPECT_FLOAT_EQ(west.Header.Origin.y, 20 * 1.6f);
    EXPECT_FLOAT_EQ(east.Header.Origin.x, 128.0f);

    // Door cells link sideways; the covered cells of the other room are plain.
    EXPECT_EQ(Cell(west, 5, 1).SideRoom, 2);
    EXPECT_EQ(Cell(west, 5, 2).SideRoom, 2);
    EXPECT_EQ(Cell(east, 0, 1).SideRoom, 1);
    EXPECT_EQ(Cell(east, 1, 1).SideRoom, 0);
    EXPECT_EQ(Cell(west, 4, 1).SideRoom, 0);
    // The hole and the open cell below it link both ways.
    EXPECT_EQ(Cell(west, 2, 1).RoomBelow, 3);
    EXPECT_EQ(Cell(cellar, 1, 1).RoomAbove, 1);

    // One doorway portal each way, plus the shaft.
    ASSERT_EQ(west.PortalCount, 2);
    ASSERT_EQ(east.PortalCount, 1);
    ASSERT_EQ(cellar.PortalCount, 1);
    EXPECT_EQ(west.Portals[0].TargetRoom, 1);
    EXPECT_EQ(east.Portals[0].TargetRoom, 0);
    EXPECT_EQ(west.Portals[1].TargetRoom, 2);
    EXPECT_EQ(cellar.Portals[0].TargetRoom, 0);
    EXPECT_FLOAT_EQ(west.Portals[0].TargetOrigin.x, east.Header.Origin.x);
    EXPECT_FLOAT_EQ(east.Portals[0].TargetOrigin.x, west.Header.Origin.x);
    // Facing points into the owning room; the corners wind so that their normal agrees.
    for (const LevelRoom* room : {&west, &east, &cellar}) {
        for (const Portal& p : room->Portals) {
            const Vec3 n = TriangleNormal(p.Corners[0], p.Corners[1], p.Corners[2]);
            EXPECT_GT(VecDot(n, p.Facing), 0.99f);
        }
    }
    EXPECT_EQ(west.Portals[0].Facing.x, -1.0f);
    EXPECT_EQ(east.Portals[0].Facing.x, 1.0f);
    EXPECT_EQ(west.Portals[1].Facing.y, 1.0f);
    EXPECT_EQ(cellar.Portals[0].Facing.y, -1.0f);
}

TEST_F(ContentTest, CellRecordsCarryHeightsExitsAndBlocking) {
    const LevelFileData data = Compile(kTwoRooms);
    const LevelRoom& west = data.Level.Map.Rooms[0];
    // Slope 0 5 5 0 given as SW SE NE NW; the record holds NW, NE, SE, SW.
    const GridCell& s = Cell(west, 2, 2);
    EXPECT_EQ(s.Floor[0], 0);
    EXPECT_EQ(s.Floor[1], 5);
    EXPECT_EQ(s.Floor[2], 5);
    EXPECT_EQ(s.Floor[3], 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.Ceiling[i], 0);  // ceiling at the room's top
    EXPECT_EQ(Cell(west, 4, 3).Exit, 1);
    EXPECT_EQ(Cell(west, 3, 3).Exit, 0);
    // Solid cells: floor and ceiling meet at the top, so every probe is blocked there.
    const GridCell& wall = Cell(west, 0, 0);
    EXPECT_EQ(wall.Floor[0], 80);
    EXPECT_EQ(wall.Ceiling[0], 0);
    EXPECT_EQ(wall.FloorBlock, -1);
    // The start stands on the floor of its cell.
    EXPECT_FLOAT_EQ(data.Level.Map.StartPosition.x, 48.0f);
    EXPECT_FLOAT_EQ(data.Level.Map.StartPosition.y, 32.0f);
    EXPECT_EQ(data.Level.Map.StartRoom, 0);
}

TEST_F(ContentTest, SectorsHoldTheirTrianglesWithUnitNormals) {
    const LevelFileData data = Compile(kTwoRooms);
    int total = 0;
    for (const LevelRoom& room : data.Level.Map.Rooms) {
        for (const QuadtreeNode& n1 : room.Tree.Nodes) {
            int used = 0;
            for (const QuadtreeLeaf& n2 : n1.Children) {
                used += n2.Sector.Count;
                ASSERT_EQ(n2.Sector.Triangles.size(), static_cast<size_t>(n2.Sector.Count));
                for (int i = 0; i < n2.Sector.Count; ++i) {
                    const TriangleHeader& t = n2.Sector.Triangles[static_cast<size_t>(i)];
                    const TriangleVertices& v = n2.Sector.Vertices[static_cast<size_t>(i)];
                    EXPECT_NEAR(VecLength(t.Normal), 1.0f, 1e-4f);
                    const Vec3 wound = TriangleNormal(v.V[0].Position, v.V[1].Position, v.V[2].Position);
                    EXPECT_GT(VecDot(wound, t.Normal), 0.999f);
                    EXPECT_EQ(t.Layers, 2);
                    EXPECT_GE(t.Lightmap, 3001);
                    for (const Vertex3D& p : v.V) {
                        EXPECT_GE(p.Position.x, n2.Box.MinX);
                        EXPECT_LE(p.Position.x, n2.Box.MaxX);
                        EXPECT_GE(p.Position.z, n2.Box.MinZ);
                        EXPECT_LE(p.Position.z, n2.Box.MaxZ);
                        EXPECT_GE(p.Position.y, room.Header.MinY);
                        EXPECT_LE(p.Position.y, room.Header.MaxY);
                        EXPECT_GE(p.Position.x, n1.Box.MinX);
                        EXPECT_LE(p.Position.x, n1.Box.MaxX);
                        EXPECT_GE(p.LightU, 0.0f);
                        EXPECT_LE(p.LightU, 1.0f);
                    }
                }
            }
            EXPECT_EQ(n1.Used != 0, used != 0);
            total += used;
        }
    }
    EXPECT_GT(total, 50);
}

TEST_F(ContentTest, LevelRoundTripsAndLightmapsExist) {
    Compile(kTwoRooms);
    std::ifstream in(Path("out.lev"), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LevelFileData data;
    ParseLevel(bytes.data(), bytes.size(), "out.lev", data);
    EXPECT_EQ(WriteLevel(data), bytes);
    ASSERT_GE(data.Level.Lightmaps.EntryCount, 1);
    for (int i = 0; i < data.Level.Lightmaps.EntryCount; ++i) {
        Image img;
        std::string err;
        ASSERT_TRUE(DecodeImageFile(Path(LightmapFileName("out", i)), img, err)) << err;
        EXPECT_EQ(img.width, 128);
        EXPECT_EQ(img.height % 128, 0);
    }
}

TEST_F(ContentTest, PortalCornersOpenAFrustumThroughTheDoorway) {
    const LevelFileData data = Compile(kTwoRooms);
    const Portal& p = data.Level.Map.Rooms[0].Portals[0];
    const Vec3 eye{80, 60, 64};
    Frustum f{};
    PortalFrustum(p.Corners[0], p.Corners[1], p.Corners[2], p.Corners[3], eye, 4224, f);
    Vec3 centre{0, 0, 0};
    for (const Vec3 c : p.Corners) centre = VecAdd(centre, VecScale(c, 0.25f));
    const Vec3 beyond = VecAdd(centre, VecScale(VecSub(centre, eye), 0.5f));
    for (int i = 0; i < 5; ++i) {
        const Plane& pl = f.Planes[i];
        EXPECT_GT(pl.a * beyond.x + pl.b * beyond.y + pl.c * beyond.z + pl.d, 0.0f) << "plane " << i;
    }
    const Vec3 aside{beyond.x, beyond.y, beyond.z + 200};
    bool outside = false;
    for (int i = 0; i < 4; ++i) {
        const Plane& pl = f.Planes[i];
        outside = outside || pl.a * aside.x + pl.b * aside.y + pl.c * aside.z + pl.d < 0.0f;
    }
    EXPECT_TRUE(outside);
}

TEST_F(ContentTest, SourceFaultsNameFileAndLine) {
    struct Case {
        const char* source;
        int line;
        const char* words;
    };
    const Case cases[] = {
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  map\n  XXX\n  X.X\n  XX\n  endmap\nend\n", 8,
         "row has 2 cells"},
        {"start a 1 1\nroom a\n  cell X solid\n  map\n  XXX\n  XqX\n  XXX\n  endmap\nend\n", 6, "no legend for 'q'"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0 bogus\n", 4, "unknown cell property"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  cell D door\n  map\n  XXX\n  X.D\n  XXX\n  "
         "endmap\nend\n",
         8, "no other room"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  map\n  XXX\n  X..\n  XXX\n  endmap\nend\n", 7,
         "must be solid or a door"},
        {"start b 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  map\n  XXX\n  X.X\n  XXX\n  endmap\nend\n", 1,
         "no room 'b'"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 10 ceil 5\n  map\n  XXX\n  X.X\n  XXX\n  endmap\nend\n",
         7, "ceiling below its floor"},
        {"start a 1 1\nroom a\n  light point 1 1 1 colour 255 0 0\n", 3, "needs 'range'"},
        {"start a 1 1\nroom a\n  height 4\n", 2, "has no 'end'"},
    };
    for (const Case& c : cases) {
        Write("bad.txt", c.source);
        std::string err;
        EXPECT_EQ(Run("build-level " + Path("bad.txt") + " " + Path("bad.lev"), &err), 2) << c.source;
        const std::string where = Path("bad.txt") + ":" + std::to_string(c.line) + ": ";
        EXPECT_EQ(err.rfind(where, 0), 0u) << err;
        EXPECT_NE(err.find(c.words), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_FALSE(fs::exists(Path("bad.lev")));
    }
}

TEST_F(ContentTest, CharacterPackBecomesMovableZero) {
    // A pack with one texture, one model, one skeleton, one animation and one movable.
    LevelFileData pack;
    pack.Textures.push_back({2, 2, {1, 2, 3, 4}});
    pack.Level.TextureCount = 1;
    ModelRecord model;
    ModelVertex v{};
    v.Bones[0] = 0;
    v.Bones[1] = v.Bones[2] = v.Bones[3] = -1;
    v.Weights[0] = 100;
    model.Vertices = {v, v, v};
    model.VertexCount = 3;
    ModelFace face{};
    face.Vertex[1] = 1;
    face.Vertex[2] = 2;
    model.Faces = {face};
    model.FaceCount = 1;
    pack.Level.Models = {model};
    pack.Level.ModelCount = 1;
    SkeletonRecord skeleton;
    skeleton.Bones = {SkeletonBone{-1, {0, 0, 0}, {}}};
    skeleton.BoneCount = 1;
    pack.Level.Skeletons = {skeleton};
    pack.Level.SkeletonCount = 1;
    AnimationRecord anim;
    anim.FrameCount = 1;
    anim.TrackCount = 1;
    BoneTrack track;
    track.Keys = {AnimationKey{0, {0, 0, 0}, {0, 0, 0}}};
    track.KeyCount = 1;
    anim.Tracks = {track};
    pack.Level.Animations = {anim};
    pack.Level.AnimationCount = 1;
    MovableRecord mv;
    mv.Id = 7;
    mv.TextureSlot = 1001;
    ClipRecord clip{};
    clip.ClipId = 0;
    clip.DurationMs = 100;
    mv.Clips = {clip};
    mv.ClipCount = 1;
    pack.Level.Movables = {mv};
    pack.Level.MovableCount = 1;
    pack.StripB = {2, 2, {0, 0, 0, 0}};
    pack.Level.StripBTileCount = 1;
    pack.Level.Map.RoomCount = 1;
    pack.Level.Map.Rooms.resize(1);
    WriteLevelFile(Path("hero.lev"), pack);

    const LevelFileData data = Compile(std::string("character hero.lev\n") + kTwoRooms);
    const LevelRecord& lev = data.Level;
    ASSERT_EQ(lev.MovableCount, 1);
    const MovableRecord& m = lev.Movables[0];
    EXPECT_EQ(m.Id, 7);
    EXPECT_EQ(m.TextureSlot, 1001 + lev.TextureCount - 1);
    EXPECT_EQ(m.ModelIndex, lev.ModelCount - 1);
    EXPECT_EQ(lev.Models[static_cast<size_t>(m.ModelIndex)].VertexCount, 3);
    EXPECT_EQ(m.SkeletonIndex, lev.SkeletonCount - 1);
    EXPECT_EQ(m.Clips[0].AnimationIndex, lev.AnimationCount - 1);
    EXPECT_EQ(data.Textures.back().Pixels, (std::vector<uint16_t>{1, 2, 3, 4}));
}

// A `character` the source's folder lacks is the data folder's pack; with neither there the
// compiler's error names the author's file, not the data folder's.
TEST_F(ContentTest, CharacterNotBesideTheSourceIsTheShippedPack) {
    fs::create_directories(Path("data"));
    Write("data/character.lev", "pack");
    Write("own.lev", "pack");
    const std::string data = Path("data") + "/";
    LevelSource source;
    source.CharacterPath = "own.lev";
    EXPECT_EQ(ResolveCharacterPack(source, Path("walk.txt"), data), Path("own.lev"));
    source.CharacterPath = "missing.lev";
    EXPECT_EQ(ResolveCharacterPack(source, Path("walk.txt"), data), Path("data/character.lev"));
    source.CharacterPath = "missing.lev";
    EXPECT_EQ(ResolveCharacterPack(source, Path("walk.txt"), Path("nowhere") + "/"), Path("missing.lev"));
    source.CharacterPath.clear();
    EXPECT_EQ(ResolveCharacterPack(source, Path("walk.txt"), data), "");

    // dvtool's data folder is its own, where the build puts the game's pack.
    Write("walk.txt", std::string("character character.lev\n") + kTwoRooms);
    std::string err;
    EXPECT_EQ(Run("build-level " + Path("walk.txt") + " " + Path("walk.lev"), &err), 0) << err;
    LevelFileData compiled;
    ParseLevelFile(Path("walk.lev"), compiled);
    EXPECT_GE(compiled.Level.MovableCount, 1);
}

// Floor triangles of a room whose centre lies in cell (x, z), with their vertex blocks.
std::vector<std::pair<TriangleHeader, TriangleVertices>> CellTriangles(const LevelRoom& room, int x, int z,
                                                                       bool floors) {
    std::vector<std::pair<TriangleHeader, TriangleVertices>> out;
    for (const QuadtreeNode& n1 : room.Tree.Nodes)
        for (const QuadtreeLeaf& n2 : n1.Children)
            for (int i = 0; i < n2.Sector.Count; ++i) {
                const TriangleHeader& t = n2.Sector.Triangles[static_cast<size_t>(i)];
                const TriangleVertices& v = n2.Sector.Vertices[static_cast<size_t>(i)];
                // A wall lies on a cell edge: it belongs to the cell it faces.
                const float cx = (v.V[0].Position.x + v.V[1].Position.x + v.V[2].Position.x) / 3 + t.Normal.x;
                const float cz = (v.V[0].Position.z + v.V[1].Position.z + v.V[2].Position.z) / 3 + t.Normal.z;
                if (static_cast<int>(cx / 32) != x || static_cast<int>(cz / 32) != z) continue;
                if (floors ? t.Normal.y > 0.99f : std::fabs(t.Normal.y) < 0.01f) out.emplace_back(t, v);
            }
    return out;
}

TEST_F(ContentTest, CurvedFloorsAndWallsFollowTheCells) {
    const LevelFileData data = Compile(R"(start a 1.5 1.5
room a
  height 4
  cell X solid
  cell . floor 0
  cell c floor 0 6 6 0 curve 1
  cell B floor 15
  map
  XXXXX
  X...X
  X.B.X
  X..cX
  XXXXX
  endmap
end
)");
    const LevelRoom& room = data.Level.Map.Rooms[0];
    const GridCell& c = Cell(room, 3, 1);
    EXPECT_EQ(c.FloorShape, 1);
    // Shape 1 keeps the south-east corner's height below its curved edge and the north-west
    // corner's above it; the collision query and the drawn floor agree.
    EXPECT_NEAR(SurfaceQuery(data.Level.Map, 0, 3 * 32 + 28, 1 * 32 + 2).Floor, 6 * 1.6f, 1e-4f);
    EXPECT_NEAR(SurfaceQuery(data.Level.Map, 0, 3 * 32 + 2, 1 * 32 + 30).Floor, 0.0f, 1e-4f);
    std::set<float> heights;
    for (const auto& [t, v] : CellTriangles(room, 3, 1, true))
        for (const Vertex3D& p : v.V) heights.insert(p.Position.y);
    EXPECT_EQ(heights, (std::set<float>{0.0f, 6 * 1.6f}));
    // The raised block's four sides face outwards, from the floor up to its top.
    int sides = 0;
    for (const auto& [dx, dz] : {std::pair{-1, 0}, std::pair{1, 0}, std::pair{0, -1}, std::pair{0, 1}}) {
        for (const auto& [t, v] : CellTriangles(room, 2 + dx, 2 + dz, false)) {
            if (std::fabs(t.Normal.x - dx) > 1e-4f || std::fabs(t.Normal.z - dz) > 1e-4f) continue;
            for (const Vertex3D& p : v.V) {
                EXPECT_GE(p.Position.y, 0.0f);
                EXPECT_LE(p.Position.y, 24.0f + 1e-4f);
            }
            ++sides;
        }
    }
    EXPECT_EQ(sides, 8);
}

TEST_F(ContentTest, LightsCastShadowsIntoTheLightmaps) {
    const LevelFileData data = Compile(R"(start a 1.5 1.5
room a
  height 4
  cell X solid
  cell . floor 0
  map
  XXXXXXX
  X.....X
  X..X..X
  X.....X
  XXXXXXX
  endmap
  light point 1.5 1.5 20 colour 255 255 255 range 32 320
end
)");
    Image lm;
    std::string err;
    ASSERT_TRUE(DecodeImageFile(Path("out_lm0.bmp"), lm, err)) << err;
    const LevelRoom& room = data.Level.Map.Rooms[0];
    // Brightness of the lightmap at the middle of a cell's floor.
    auto brightness = [&](int x, int z) {
        const auto tris = CellTriangles(room, x, z, true);
        EXPECT_FALSE(tris.empty());
        float u = 0, v = 0;
        for (const auto& [t, vs] : tris)
            for (const Vertex3D& p : vs.V) {
                u += p.LightU;
                v += p.LightV;
            }
        const size_t n = tris.size() * 3;
        const int px = static_cast<int>(u / n * lm.width), py = static_cast<int>(v / n * lm.height);
        const uint8_t* texel = &lm.rgba[(static_cast<size_t>(py) * lm.width + px) * 4];
        return texel[0] + texel[1] + texel[2];
    };
    // The pillar at (3, 2) stands between the light and (5, 3); (5, 1) is about as far but in
    // view. Ambient alone gives each channel 40 / 255 of the lightmap's range.
    const int shadowed = brightness(5, 3), lit = brightness(5, 1);
    EXPECT_NEAR(shadowed, 3 * 28, 3);
    EXPECT_GT(lit, shadowed + 30);
    EXPECT_GT(brightness(2, 2), lit);
}

TEST_F(ContentTest, MaterialsChooseSlotsAnimationsAndBlends) {
    const LevelFileData data = Compile(R"(start a 1.5 1.5
room a
  height 4
  cell X solid side brick
  cell . floor 0 mat tiles
  cell w floor 0 mat water
  cell l floor 0 mat lava
  cell g floor 0 mat glow
  cell F solid side falls
  map
  XXXXX
  X.wlX
  X.g.F
  XXXXX
  endmap
end
)");
    const LevelRoom& room = data.Level.Map.Rooms[0];
    auto floorOf = [&](int x, int z) { return CellTriangles(room, x, z, true).at(0).first; };
    EXPECT_EQ(floorOf(1, 1).Texture, 1001 + 6);  // tiles, the seventh material
    const TriangleHeader water = floorOf(2, 2), lava = floorOf(3, 2), glow = floorOf(2, 1);
    EXPECT_EQ(water.Texture & 0x8000, 0x8000);
    EXPECT_EQ(water.Texture & 1, 0);                // table A
    EXPECT_EQ((water.Texture >> 8 & 0x7F) - 1, 0);  // its first set
    EXPECT_EQ((lava.Texture >> 8 & 0x7F) - 1, 1);
    EXPECT_EQ(glow.BlendType, 2);
    ASSERT_EQ(data.Level.AnimSetA.Sets.size(), 2u);
    EXPECT_EQ(data.Level.AnimSetA.Sets[0].FrameCount * 2, data.Level.StripATileCount);
    // Walls: falling water scrolls through table B; brick comes from strip B with a bump map.
    bool falls = false, brick = false;
    for (int x = 1; x < 4; ++x)
        for (int z = 1; z < 3; ++z)
            for (const auto& [t, v] : CellTriangles(room, x, z, false)) {
                if (t.Texture == (0x8000 | 1 << 8 | 1)) falls = true;
                if (t.Texture == 2 && t.BumpTexture == 4003) brick = true;
            }
    EXPECT_TRUE(falls);
    EXPECT_TRUE(brick);
    EXPECT_EQ(data.Level.AnimSetB.Sets.at(0).Kind, 1);
    EXPECT_EQ(data.Level.BumpTileCount, data.Level.StripBTileCount);
    EXPECT_EQ(data.BumpStrip.Height / data.BumpStrip.Width, data.Level.BumpTileCount);
}

TEST_F(ContentTest, DoorsCopyTheOtherRoomsHeightsAndShaftsNeedMatchingLevels) {
    const LevelFileData data = Compile(R"(start a 1.5 1.5
room a
  origin 0 0 0
  height 4
  cell X solid
  cell . floor 0
  cell D door
  map
  XXXX
  X..D
  XXXX
  endmap
end
room b
  origin 2 0 10
  height 4
  cell X solid
  cell . floor 0 ceil 50
  cell D door
  map
  XXXX
  D..X
  XXXX
  endmap
end
)");
    // b's floor lies 10 clicks above a's: a's door cell carries that height in a's own frame.
    const GridCell& door = Cell(data.Level.Map.Rooms[0], 3, 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(door.Floor[i], 10);
    EXPECT_EQ(door.Ceiling[0], 80 - 60);
    // A step of 10 clicks at the doorway makes a wall in a below the portal.
    bool step = false;
    for (const auto& [t, v] : CellTriangles(data.Level.Map.Rooms[0], 2, 1, false))
        if (t.Normal.x < -0.99f) step = true;
    EXPECT_TRUE(step);

    Write("bad.txt", R"(start a 1.5 1.5
room a
  origin 0 0 0
  height 4
  cell X solid
  cell . floor 0
  cell H hole floor 0
  map
  XXXX
  X.HX
  XXXX
  endmap
end
room b
  origin 0 0 -50
  height 2
  cell X solid
  cell o open
  map
  XXXX
  XooX
  XXXX
  endmap
end
)");
    std::string err;
    EXPECT_EQ(Run("build-level " + Path("bad.txt") + " " + Path("bad.lev"), &err), 2);
    EXPECT_NE(err.find("bad.txt:10: cell (2, 1) of room 'a' is a hole"), std::string::npos) << err;
}

// Rooms reachable from the start through portals, and a bound on the portal walk: with the
// eye at the centre of each room, following only portals the eye is in front of never
// returns to a room already on the path.
void CheckPortalGraph(const LevelMap& map) {
    std::set<int> seen{map.StartRoom};
    std::vector<int> todo{map.StartRoom};
    while (!todo.empty()) {
        const int r = todo.back();
        todo.pop_back();
        for (const Portal& p : map.Rooms[static_cast<size_t>(r)].Portals)
            if (seen.insert(p.TargetRoom).second) todo.push_back(p.TargetRoom);
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(map.RoomCount));
    for (int r = 0; r < map.RoomCount; ++r) {
        const LevelRoom& room = map.Rooms[static_cast<size_t>(r)];
        const Vec3 eye{room.Header.Origin.x + room.Header.CellsX * 16.0f, room.Header.Origin.y + 40.0f,
                       room.Header.Origin.z + room.Header.CellsZ * 16.0f};
        std::vector<int> path{r};
        std::function<void(int)> walk = [&](int at) {
            ASSERT_LE(path.size(), static_cast<size_t>(map.RoomCount));
            for (const Portal& p : map.Rooms[static_cast<size_t>(at)].Portals) {
                if (PointSideOfPlaneThrough(p.Facing, p.Corners[0], eye) < 0) continue;
                ASSERT_EQ(std::count(path.begin(), path.end(), p.TargetRoom), 0) << "room " << r;
                path.push_back(p.TargetRoom);
                walk(p.TargetRoom);
                path.pop_back();
            }
        };
        walk(r);
    }
}

TEST_F(ContentTest, DemoLevelCompilesAndHangsTogether) {
    ASSERT_NO_FATAL_FAILURE(CompileDemo());
    LevelFileData data;
    ParseLevelFile(Path("test.lev"), data);
    ASSERT_GE(data.Level.MovableCount, 1);
    EXPECT_EQ(data.Level.Movables[0].ClipCount, 52);
    const LevelMap& map = data.Level.Map;
    EXPECT_GE(map.RoomCount, 8);
    for (int i = 0; i < data.Level.Lightmaps.EntryCount; ++i)
        EXPECT_TRUE(fs::exists(Path(LightmapFileName("test", i))));
    CheckPortalGraph(map);
    int exits = 0;
    for (const LevelRoom& room : map.Rooms)
        for (const auto& column : room.Cells)
            for (const GridCell& c : column) exits += c.Exit;
    EXPECT_GT(exits, 0);
    // Every kind of light and both animated-texture tables are used.
    std::set<int> kinds;
    for (const LevelRoom& room : map.Rooms)
        for (const LightSource& l : room.Lights) kinds.insert(l.Kind);
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3}));
    EXPECT_GE(data.Level.AnimSetA.SetCount, 1);
    EXPECT_GE(data.Level.AnimSetB.SetCount, 1);
    // level-info reads it whole and reports the same counts.
    std::string err;
    ASSERT_EQ(Run("level-info " + Path("test.lev") + " >" + Path("info.json"), &err), 0) << err;
    std::ifstream in(Path("info.json"));
    std::stringstream info;
    info << in.rdbuf();
    size_t rooms = 0;
    for (size_t at = info.str().find("\"cellsX\""); at != std::string::npos; at = info.str().find("\"cellsX\"", at + 1))
        ++rooms;
    EXPECT_EQ(rooms, static_cast<size_t>(map.RoomCount));
    EXPECT_NE(info.str().find("\"entries\":" + std::to_string(data.Level.Lightmaps.EntryCount)), std::string::npos);
}

// The collision queries at chosen points of the demo course give the heights its source says
// (1 click = 1.6 units; a cell is 32 units; each room's origin is in its header).
TEST_F(ContentTest, DemoCourseSurfacesMatchTheSource) {
    ASSERT_NO_FATAL_FAILURE(CompileDemo());
    LevelFileData data;
    ParseLevelFile(Path("test.lev"), data);
    const LevelMap& map = data.Level.Map;
    auto at = [&](int room, float cx, float cz) {
        const Vec3 o = map.Rooms[static_cast<size_t>(room)].Header.Origin;
        return SurfaceQuery(map, room, o.x + cx * 32, o.z + cz * 32);
    };
    // hall: the start, the steps on the way to the door, the door into the ramp
    EXPECT_FLOAT_EQ(at(0, 5.0f, 2.5f).Floor, 0.0f);
    EXPECT_NEAR(at(0, 4.5f, 5.5f).Floor, 3 * 1.6f, 1e-4f);
    EXPECT_NEAR(at(0, 4.5f, 6.5f).Floor, 6 * 1.6f, 1e-4f);
    EXPECT_EQ(at(0, 4.5f, 9.5f).Room, 1);
    // ramp: the slope, then the platform under the low ceiling
    EXPECT_LT(at(1, 2.5f, 4.5f).FloorNormal.z, 0.0f);  // rising northwards
    const SurfaceHit low = at(1, 2.5f, 6.5f);
    EXPECT_NEAR(low.Floor, 15 * 1.6f, 1e-4f);
    EXPECT_NEAR(low.Ceiling, 33 * 1.6f, 1e-4f);
    // chasm: the pit, the ledge under its low ceiling, and its climbable east end
    EXPECT_NEAR(at(2, 3.5f, 4.5f).Floor, -50 * 1.6f, 1e-4f);
    const SurfaceHit ledge = at(2, 3.5f, 7.5f);
    EXPECT_NEAR(ledge.Floor, 40.0f, 1e-4f);
    EXPECT_LT(ledge.Ceiling - ledge.Floor, 25.0f);
    EXPECT_GE(at(2, 8.5f, 7.5f).Ceiling - 40.0f, 25.0f);
    // climbs: one block of each climb class
    const float base = map.Rooms[3].Header.Origin.y;
    EXPECT_NEAR(at(3, 2.5f, 3.5f).Floor - base, 16.0f, 1e-3f);
    EXPECT_NEAR(at(3, 2.5f, 4.5f).Floor - at(3, 2.5f, 3.5f).Floor, 20.8f, 1e-3f);
    EXPECT_NEAR(at(3, 2.5f, 5.5f).Floor - at(3, 2.5f, 4.5f).Floor, 27.2f, 1e-3f);
    EXPECT_NEAR(at(3, 6.5f, 5.5f).Floor - at(3, 5.5f, 5.5f).Floor, 33.6f, 1e-3f);
    // landing: the hole drops to the cellar floor, more than 32 below
    const SurfaceHit hole = at(4, 5.5f, 4.5f);
    EXPECT_NEAR(hole.Floor, map.Rooms[5].Header.Origin.y, 1e-4f);
    EXPECT_GT(map.Rooms[4].Header.Origin.y - hole.Floor, 32.0f);
    // cellar: the shaft up opens into the tower's ceiling
    const SurfaceHit shaft = at(5, 7.5f, 4.5f);
    EXPECT_NEAR(shaft.Floor - map.Rooms[5].Header.Origin.y, 64.0f, 1e-3f);
    EXPECT_NEAR(shaft.Ceiling, map.Rooms[6].Header.Origin.y + 4 * 32, 1e-3f);
}

TEST_F(ContentTest, FontFileHasTheLoadersLayout) {
    ASSERT_EQ(Run("build-font " + kFont + " " + Path("font01.fnx") + " 16"), 0);
    std::ifstream in(Path("font01.fnx"), std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(b.size(), 32u);
    const int first = b[6], last = b[7];
    EXPECT_EQ(first, 32);
    EXPECT_EQ(last, 126);
    const size_t n = static_cast<size_t>(last - first + 1);
    auto i32 = [&](size_t at) {
        return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    };
    const int w = i32(8 + 10 * n), h = i32(12 + 10 * n);
    ASSERT_EQ(b.size(), 32 + 10 * n + static_cast<size_t>(w) * h * 3);
    int magenta = 0, dark = 0, light = 0;
    for (size_t p = 32 + 10 * n; p < b.size(); p += 3) {
        if (b[p] == 255 && b[p + 1] == 0 && b[p + 2] == 255) ++magenta;
        else if (b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 0) ++dark;
        else if (b[p] > 200 && b[p + 1] > 200 && b[p + 2] > 200) ++light;
        else ADD_FAILURE() << "a texel that is neither key, rim nor glyph";
    }
    EXPECT_GT(magenta, light);
    EXPECT_GT(light, 500);
    EXPECT_GT(dark, 500);
    for (size_t g = 0; g < n; ++g) {
        const size_t at = 8 + 10 * g;
        const int x = i32(at), y = i32(at + 4), gw = b[at + 8], gh = b[at + 9];
        EXPECT_GT(gw, 0);
        EXPECT_LE(x + gw, w);
        EXPECT_LE(y + gh, h);
        EXPECT_GE(gh, 16);
    }
    EXPECT_EQ(Run("build-font /nonexistent.ttf " + Path("f.fnx")), 2);
    EXPECT_FALSE(fs::exists(Path("f.fnx")));
}

// view-level makes a missing folder for its pictures (nested too) and draws a room into it; an
// output path that names a file is one line and status 2.
TEST_F(ContentTest, ViewLevelMakesItsFolderAndDrawsTheRooms) {
    Compile(kTwoRooms);
    std::string err;
    ASSERT_EQ(Run("view-level " + Path("out.lev") + " " + Path("views/nested"), &err), 0) << err;
    Image img;
    ASSERT_TRUE(DecodeImageFile(Path("views/nested/room0.png"), img, err)) << err;
    EXPECT_EQ(img.width, 800);
    Write("afile", "x");
    EXPECT_EQ(Run("view-level " + Path("out.lev") + " " + Path("afile"), &err), 2);
    EXPECT_NE(err.find("afile: cannot make the folder"), std::string::npos) << err;
}

// Mean brightness (0..255) of the rows y0..y1 of an RGBA image.
double MeanBrightness(const Image& img, int y0, int y1) {
    double sum = 0.0;
    for (size_t i = static_cast<size_t>(y0) * img.width * 4; i < static_cast<size_t>(y1) * img.width * 4; i += 4)
        sum += (img.rgba[i] + img.rgba[i + 1] + img.rgba[i + 2]) / 3.0;
    return sum / (static_cast<double>(y1 - y0) * img.width);
}

// The title, closing and level-card pictures: all decode at the layout's size; each card is a
// picture of its own, and its foot, where the game writes the level's name in white, is dark.
TEST_F(ContentTest, TitlePicturesAndLevelCardsDecodeAt800By600) {
    ASSERT_EQ(Run("build-pictures " + kFont + " " + dir_.string()), 0);
    std::vector<Image> cards;
    for (const char* name : {"title1.jpg", "title2.jpg", "card_hall.jpg", "card_cistern.jpg", "card_tower.jpg"}) {
        Image img;
        std::string err;
        ASSERT_TRUE(DecodeImageFile(Path(name), img, err)) << err;
        EXPECT_EQ(img.width, 800) << name;
        EXPECT_EQ(img.height, 600) << name;
        if (std::string(name).rfind("card_", 0) != 0) continue;
        EXPECT_GT(MeanBrightness(img, 0, 440), 20.0) << name << ": a picture, not a black card";
        EXPECT_LT(MeanBrightness(img, 515, 555), std::min(60.0, MeanBrightness(img, 100, 440)))
            << name << ": the foot is dark";
        cards.push_back(img);
    }
    for (size_t a = 0; a < cards.size(); ++a)
        for (size_t b = a + 1; b < cards.size(); ++b)
            EXPECT_GT(std::abs(MeanBrightness(cards[a], 0, 440) - MeanBrightness(cards[b], 0, 440)) +
                          std::abs(cards[a].rgba[4 * (300 * 800 + 100)] - cards[b].rgba[4 * (300 * 800 + 100)]),
                      5.0)
                << "cards " << a << " and " << b << " look alike";
}

}  // namespace
}  // namespace dv
