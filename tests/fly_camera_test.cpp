// The fly camera on a small compiled level: the photo camera keeps to the open space of the
// rooms, sliding along walls and passing doorways; the authors' camera passes walls.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/fly_camera.h"
#include "support/game_run.h"
#include "tools/level/level_compiler.h"

namespace dv {
namespace {

// Two rooms side by side joined by a two-cell doorway in the west room's east wall; 128 units
// high, floors at 0.
const char* kTwoRooms = R"(start west 1.5 2.5
room west
  origin 0 0 0
  height 4
  cell X solid
  cell D door
  cell . floor 0
  map
  XXXXXX
  X....X
  X....D
  X....D
  XXXXXX
  endmap
end
room east
  origin 4 0 0
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
)";

class FlyCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string dir = test::TempPath("fly_camera");
        std::filesystem::create_directories(dir);
        test::WriteText(dir + "/rooms.txt", kTwoRooms);
        level_ = CompileLevelFile(dir + "/rooms.txt", dir + "/rooms.lev");
        std::filesystem::remove_all(dir);
    }

    const LevelMap& Map() const { return level_.Data.Level.Map; }

    // The camera at (x, y, z) in room 0 facing `yaw`, flown with `keys` held for `ms`, in
    // 40 ms frames; every position on the way kept inside is checked to be open.
    FlyCamera Fly(Vec3 at, float yaw, int ms, bool keepInside, void (*keys)(FlyCamera&)) const {
        FlyCamera fly;
        fly.Eye = at;
        fly.Yaw = yaw;
        keys(fly);
        for (int now = 40; now <= ms; now += 40) {
            StepFlyCamera(fly, Map(), now, keepInside);
            if (keepInside) {
                EXPECT_GE(OpenRoomAt(Map(), fly.Room, fly.Eye, 0.0f), 0) << now;
            }
        }
        return fly;
    }

    CompiledLevel level_;
};

void Ahead(FlyCamera& f) { f.Forward = f.Fast = true; }

TEST_F(FlyCameraTest, PhotoCameraStopsAtWallsAndSlidesAlongThem) {
    const Vec3 centre{2.5f * 32, 40, 2.5f * 32};
    // North into the wall (the west room's open cells end at z = 128).
    const FlyCamera north = Fly(centre, 0, 3000, true, Ahead);
    EXPECT_EQ(north.Room, 0);
    EXPECT_NEAR(north.Eye.z, 128 - kFlyClearance, 4.0f);
    EXPECT_FLOAT_EQ(north.Eye.x, centre.x);
    // North-west at a slant: it slides along the north wall into the corner.
    const FlyCamera slant = Fly(centre, -30, 3000, true, Ahead);
    EXPECT_NEAR(slant.Eye.z, 128 - kFlyClearance, 4.0f);
    EXPECT_NEAR(slant.Eye.x, 32 + kFlyClearance, 4.0f);
    // Up to the ceiling and down to the floor, no further.
    const FlyCamera up = Fly(centre, 0, 3000, true, [](FlyCamera& f) { f.Rise = true; });
    EXPECT_NEAR(up.Eye.y, 128 - kFlyClearance, 4.0f);
    const FlyCamera down = Fly(centre, 0, 3000, true, [](FlyCamera& f) { f.Sink = true; });
    EXPECT_NEAR(down.Eye.y, kFlyClearance, 4.0f);
}

TEST_F(FlyCameraTest, PhotoCameraPassesTheDoorwayIntoTheNextRoom) {
    // East through the doorway (rows 1 and 2) into the east room, up to its east wall (x 256).
    const FlyCamera east = Fly({2.5f * 32, 40, 2.0f * 32}, 90, 3000, true, Ahead);
    EXPECT_EQ(east.Room, 1);
    EXPECT_NEAR(east.Eye.x, 256 - kFlyClearance, 4.0f);
    // In the row beside the doorway the east wall stops it in the west room.
    const FlyCamera wall = Fly({2.5f * 32, 40, 3.5f * 32}, 90, 3000, true, Ahead);
    EXPECT_EQ(wall.Room, 0);
    EXPECT_NEAR(wall.Eye.x, 160 - kFlyClearance, 4.0f);
}

TEST_F(FlyCameraTest, AuthorsCameraPassesWalls) {
    const FlyCamera north = Fly({2.5f * 32, 40, 2.5f * 32}, 0, 3000, false, Ahead);
    EXPECT_GT(north.Eye.z, 5 * 32);  // beyond the north wall, out of the level
    EXPECT_EQ(north.Room, 0);        // the last room that held it
    // Nothing is open in a wall, and a point too close to one is not open with a clearance.
    EXPECT_LT(OpenRoomAt(Map(), 0, {16, 40, 80}, 0.0f), 0);
    EXPECT_GE(OpenRoomAt(Map(), 0, {35, 40, 80}, 0.0f), 0);
    EXPECT_LT(OpenRoomAt(Map(), 0, {35, 40, 80}, kFlyClearance), 0);
}

}  // namespace
}  // namespace dv
