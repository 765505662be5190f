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
#include <string>

#include "imaging/decode.h"
#include "math/geometry.h"
#include "world/level_file.h"

namespace dv {
namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(DV_BINARY_DIR) + "/dvtool";
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
        const std::string errPath = Path("stderr.txt");
        const int status = std::system((kTool + " " + args + " 2>" + errPath).c_str());
        if (err != nullptr) {
            std::ifstream in(errPath);
            std::stringstream s;
            s << in.rdbuf();
            *err = s.str();
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

const tcell& Cell(const Tqtroom& room, int x, int z) { return room.Cells[static_cast<size_t>(x)][static_cast<size_t>(z)]; }

TEST_F(ContentTest, RoomsPortalsAndLinksAgree) {
    const LevelFileData data = Compile(kTwoRooms);
    const Tmap_level& map = data.Level.Map;
    ASSERT_EQ(map.RoomCount, 3);
    const Tqtroom& west = map.Rooms[0];
    const Tqtroom& east = map.Rooms[1];
    const Tqtroom& cellar = map.Rooms[2];
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
    for (const Tqtroom* room : {&west, &east, &cellar}) {
        for (const tportal& p : room->Portals) {
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
    const Tqtroom& west = data.Level.Map.Rooms[0];
    // Slope 0 5 5 0 given as SW SE NE NW; the record holds NW, NE, SE, SW.
    const tcell& s = Cell(west, 2, 2);
    EXPECT_EQ(s.Floor[0], 0);
    EXPECT_EQ(s.Floor[1], 5);
    EXPECT_EQ(s.Floor[2], 5);
    EXPECT_EQ(s.Floor[3], 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.Ceiling[i], 0);  // ceiling at the room's top
    EXPECT_EQ(Cell(west, 4, 3).Exit, 1);
    EXPECT_EQ(Cell(west, 3, 3).Exit, 0);
    // Solid cells: floor and ceiling meet at the top, so every probe is blocked there.
    const tcell& wall = Cell(west, 0, 0);
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
    for (const Tqtroom& room : data.Level.Map.Rooms) {
        for (const tqtlevel1& n1 : room.Tree.Nodes) {
            int used = 0;
            for (const tqtlevel2& n2 : n1.Children) {
                used += n2.Sector.Count;
                ASSERT_EQ(n2.Sector.Triangles.size(), static_cast<size_t>(n2.Sector.Count));
                for (int i = 0; i < n2.Sector.Count; ++i) {
                    const ttriangle& t = n2.Sector.Triangles[static_cast<size_t>(i)];
                    const ttriangle_vertices& v = n2.Sector.Vertices[static_cast<size_t>(i)];
                    EXPECT_NEAR(VecLength(t.Normal), 1.0f, 1e-4f);
                    const Vec3 wound = TriangleNormal(v.V[0].Position, v.V[1].Position, v.V[2].Position);
                    EXPECT_GT(VecDot(wound, t.Normal), 0.999f);
                    EXPECT_EQ(t.Layers, 2);
                    EXPECT_GE(t.Lightmap, 3001);
                    for (const tvertex3d& p : v.V) {
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
    const tportal& p = data.Level.Map.Rooms[0].Portals[0];
    const Vec3 eye{80, 60, 64};
    Frustum f{};
    PortalFrustum(p.Corners[0], p.Corners[1], p.Corners[2], p.Corners[3], eye, 4224, f);
    Vec3 centre{0, 0, 0};
    for (const Vec3& c : p.Corners) centre = VecAdd(centre, VecScale(c, 0.25f));
    const Vec3 beyond = VecAdd(centre, VecScale(VecSub(centre, eye), 0.5f));
    for (int i = 0; i < 5; ++i) {
        const Plane& pl = f.planes[i];
        EXPECT_GT(pl.a * beyond.x + pl.b * beyond.y + pl.c * beyond.z + pl.d, 0.0f) << "plane " << i;
    }
    const Vec3 aside{beyond.x, beyond.y, beyond.z + 200};
    bool outside = false;
    for (int i = 0; i < 4; ++i) {
        const Plane& pl = f.planes[i];
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
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  map\n  XXX\n  X.X\n  XX\n  endmap\nend\n", 8, "row has 2 cells"},
        {"start a 1 1\nroom a\n  cell X solid\n  map\n  XXX\n  XqX\n  XXX\n  endmap\nend\n", 6, "no legend for 'q'"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0 bogus\n", 4, "unknown cell property"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  cell D door\n  map\n  XXX\n  X.D\n  XXX\n  endmap\nend\n", 8,
         "no other room"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  map\n  XXX\n  X..\n  XXX\n  endmap\nend\n", 7,
         "must be solid or a door"},
        {"start b 1 1\nroom a\n  cell X solid\n  cell . floor 0\n  map\n  XXX\n  X.X\n  XXX\n  endmap\nend\n", 1, "no room 'b'"},
        {"start a 1 1\nroom a\n  cell X solid\n  cell . floor 10 ceil 5\n  map\n  XXX\n  X.X\n  XXX\n  endmap\nend\n", 7,
         "ceiling below its floor"},
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
    tmv_model model;
    tmv_vertex v{};
    v.Bones[0] = 0;
    v.Bones[1] = v.Bones[2] = v.Bones[3] = -1;
    v.Weights[0] = 100;
    model.Vertices = {v, v, v};
    model.VertexCount = 3;
    tmv_face face{};
    face.Vertex[1] = 1;
    face.Vertex[2] = 2;
    model.Faces = {face};
    model.FaceCount = 1;
    pack.Level.Models = {model};
    pack.Level.ModelCount = 1;
    tmv_skeleton skeleton;
    skeleton.Bones = {tmv_bone{-1, {0, 0, 0}, {}}};
    skeleton.BoneCount = 1;
    pack.Level.Skeletons = {skeleton};
    pack.Level.SkeletonCount = 1;
    tmv_animation anim;
    anim.FrameCount = 1;
    anim.TrackCount = 1;
    Tabone track;
    track.Keys = {tmv_key{0, {0, 0, 0}, {0, 0, 0}}};
    track.KeyCount = 1;
    anim.Tracks = {track};
    pack.Level.Animations = {anim};
    pack.Level.AnimationCount = 1;
    tmv_movable mv;
    mv.Id = 7;
    mv.TextureSlot = 1001;
    tmv_clip clip{};
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
    const TLevFile& lev = data.Level;
    ASSERT_EQ(lev.MovableCount, 1);
    const tmv_movable& m = lev.Movables[0];
    EXPECT_EQ(m.Id, 7);
    EXPECT_EQ(m.TextureSlot, 1001 + lev.TextureCount - 1);
    EXPECT_EQ(m.ModelIndex, lev.ModelCount - 1);
    EXPECT_EQ(lev.Models[static_cast<size_t>(m.ModelIndex)].VertexCount, 3);
    EXPECT_EQ(m.SkeletonIndex, lev.SkeletonCount - 1);
    EXPECT_EQ(m.Clips[0].AnimationIndex, lev.AnimationCount - 1);
    EXPECT_EQ(data.Textures.back().Pixels, (std::vector<uint16_t>{1, 2, 3, 4}));
}

// Rooms reachable from the start through portals, and a bound on the portal walk: with the
// eye at the centre of each room, following only portals the eye is in front of never
// returns to a room already on the path.
void CheckPortalGraph(const Tmap_level& map) {
    std::set<int> seen{map.StartRoom};
    std::vector<int> todo{map.StartRoom};
    while (!todo.empty()) {
        const int r = todo.back();
        todo.pop_back();
        for (const tportal& p : map.Rooms[static_cast<size_t>(r)].Portals)
            if (seen.insert(p.TargetRoom).second) todo.push_back(p.TargetRoom);
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(map.RoomCount));
    for (int r = 0; r < map.RoomCount; ++r) {
        const Tqtroom& room = map.Rooms[static_cast<size_t>(r)];
        const Vec3 eye{room.Header.Origin.x + room.Header.CellsX * 16.0f, room.Header.Origin.y + 40.0f,
                       room.Header.Origin.z + room.Header.CellsZ * 16.0f};
        std::vector<int> path{r};
        std::function<void(int)> walk = [&](int at) {
            ASSERT_LE(path.size(), static_cast<size_t>(map.RoomCount));
            for (const tportal& p : map.Rooms[static_cast<size_t>(at)].Portals) {
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
    std::string err;
    // The source names its character pack beside itself, as the build arranges it.
    fs::copy_file(std::string(DV_SOURCE_DIR) + "/assets/levels/test.txt", Path("test.txt"));
    ASSERT_EQ(Run("build-character " + std::string(DV_SOURCE_DIR) + "/assets/character " + Path("character.lev"), &err), 0)
        << err;
    ASSERT_EQ(Run("build-level " + Path("test.txt") + " " + Path("test.lev"), &err), 0) << err;
    LevelFileData data;
    ParseLevelFile(Path("test.lev"), data);
    ASSERT_GE(data.Level.MovableCount, 1);
    EXPECT_EQ(data.Level.Movables[0].ClipCount, 52);
    const Tmap_level& map = data.Level.Map;
    EXPECT_GE(map.RoomCount, 8);
    for (int i = 0; i < data.Level.Lightmaps.EntryCount; ++i) EXPECT_TRUE(fs::exists(Path(LightmapFileName("test", i))));
    CheckPortalGraph(map);
    int exits = 0;
    for (const Tqtroom& room : map.Rooms)
        for (const auto& column : room.Cells)
            for (const tcell& c : column) exits += c.Exit;
    EXPECT_GT(exits, 0);
    // Every kind of light and both animated-texture tables are used.
    std::set<int> kinds;
    for (const Tqtroom& room : map.Rooms)
        for (const tlight_source& l : room.Lights) kinds.insert(l.Kind);
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3}));
    EXPECT_GE(data.Level.AnimSetA.SetCount, 1);
    EXPECT_GE(data.Level.AnimSetB.SetCount, 1);
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
    auto i32 = [&](size_t at) { return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24); };
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

TEST_F(ContentTest, TitlePicturesDecodeAt800By600) {
    ASSERT_EQ(Run("build-pictures " + kFont + " " + dir_.string()), 0);
    for (const char* name : {"title1.jpg", "title2.jpg"}) {
        Image img;
        std::string err;
        ASSERT_TRUE(DecodeImageFile(Path(name), img, err)) << err;
        EXPECT_EQ(img.width, 800);
        EXPECT_EQ(img.height, 600);
    }
}

}  // namespace
}  // namespace dv
