#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "input/keyboard.h"
#include "math/clock.h"
#include "motion/follow_camera.h"
#include "motion/collision.h"
#include "motion/movement_body.h"
#include "world/level_file.h"

using namespace dv;

namespace {

constexpr float kSin5 = 0.0871557427f;
constexpr float kCos5 = 0.9961946981f;
constexpr int16_t kWallRaw = 80;  // a floor up to the ceiling of a room 4 cells high

GridCell OpenCell() {
    GridCell c{};
    return c;
}

LevelRoom Room(Vec3 origin, int cellsX, int cellsZ, int heightCells) {
    LevelRoom r;
    r.Header.Origin = origin;
    r.Header.CellsX = static_cast<uint16_t>(cellsX);
    r.Header.CellsZ = static_cast<uint16_t>(cellsZ);
    r.Header.HeightCells = static_cast<uint16_t>(heightCells);
    r.Cells.assign(static_cast<size_t>(cellsX), std::vector<GridCell>(static_cast<size_t>(cellsZ), OpenCell()));
    return r;
}

// Writes the rooms as a level file and reads them back, as the game would load them.
LevelMap WrittenLevel(std::vector<LevelRoom> rooms) {
    LevelFileData data;
    data.StripB.Width = 4;
    data.StripB.Height = 4;
    data.StripB.Pixels.assign(16, 0);
    data.Level.StripBTileCount = 1;
    data.Level.Map.RoomCount = static_cast<int32_t>(rooms.size());
    data.Level.Map.Rooms = std::move(rooms);
    const std::vector<uint8_t> bytes = WriteLevel(data);
    LevelFileData back;
    ParseLevel(bytes.data(), bytes.size(), "camera.lev", back);
    return back.Level.Map;
}

void SetWall(LevelMap& level, int column, int row, bool on) {
    GridCell& c = level.Rooms[0].Cells[static_cast<size_t>(column)][static_cast<size_t>(row)];
    for (int16_t& h : c.Floor) h = on ? kWallRaw : 0;
}

void ExpectVec(const Vec3& v, float x, float y, float z, float tolerance = 1e-3f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

// A 10 x 10-cell hall, 128 units high, with the character in the middle of cell (5, 5)
// facing +z. Cells (4..6, 4) can be raised into a wall between the character and its
// camera.
class CameraTest : public ::testing::Test {
protected:
    CameraTest() : body(VecMake(176, 0, 176)) {}

    void SetUp() override {
        keys.Clear();
        ClockUseVirtual(true);
        level = WrittenLevel({Room({0, 0, 0}, 10, 10, 4)});
        camera.Level = &level;
        camera.Room = 0;
        camera.CharacterRoom = 0;
    }
    void TearDown() override {
        keys.Clear();
        ClockUseVirtual(false);
    }

    // Camera ticks with the keys held in `keys` and the character where `body` stands.
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) {
            camera.Input = CameraInputFrom(keys);
            camera.Subject = {body.Movement.Position, body.Movement.AngleY};
            camera.Update();
        }
    }
    void Wall(bool on) {
        for (int x = 4; x <= 6; ++x) SetWall(level, x, 4, on);
    }
    Vec3 EyePoint() const { return VecAdd(body.Movement.Position, VecMake(0, 23.5f, 0)); }
    float Distance() const { return VecDistance(camera.Eye, EyePoint()); }

    MovementBody body;
    FollowCamera camera;
    KeyboardState keys;
    LevelMap level;
};

}  // namespace

TEST_F(CameraTest, RestPoseLiesBehindAtFollowDistanceRaisedByFiveDegrees) {
    Ticks(1);
    EXPECT_EQ(camera.Mode, CameraMode::Follow);
    ExpectVec(camera.Eye, 176, 23.5f + 57.6f * kSin5, 176 - 57.6f * kCos5);
    EXPECT_NEAR(Distance(), 57.6f, 1e-3f);
    ExpectVec(camera.Target, 176, 23.5f, 179);
    ExpectVec(camera.BehindPoint, 176, 23.5f, 152);
    EXPECT_LT(camera.Target.y, camera.Eye.y);  // looking slightly down
}

TEST_F(CameraTest, ZoomIsCappedAndReturnsOneUnitPerTick) {
    keys.Press(kKeyCameraUp, 0);
    Ticks(10);
    EXPECT_FLOAT_EQ(camera.Zoom, 9.6f);
    EXPECT_NEAR(Distance(), 57.6f + 9.6f, 1e-3f);
    keys.Release(kKeyCameraUp, 0);
    Ticks(1);
    EXPECT_NEAR(camera.Zoom, 8.6f, 1e-5f);
    Ticks(8);
    EXPECT_NEAR(camera.Zoom, 0.6f, 1e-5f);
    Ticks(1);
    EXPECT_EQ(camera.Zoom, 0.0f);
    EXPECT_NEAR(Distance(), 57.6f, 1e-3f);
    keys.Press(kKeyCameraDown, 0);
    Ticks(1);
    EXPECT_EQ(camera.Zoom, 1.0f);
}

TEST_F(CameraTest, HeadingFollowsByTenPercentOrSevenWhileTurningAndSnaps) {
    Ticks(1);
    body.Movement.AngleY = 90;
    Ticks(1);
    EXPECT_NEAR(camera.SmoothAngles.y, 9.0f, 1e-5f);
    keys.Press(kKeyCameraLeft, 0);
    Ticks(1);
    EXPECT_NEAR(camera.SmoothAngles.y, 9.0f + 81 * 0.07f, 1e-4f);
    keys.Release(kKeyCameraLeft, 0);

    int ticks = 0;
    float previous = camera.SmoothAngles.y;
    while (camera.SmoothAngles.y != 90.0f && ticks < 200) {
        const float remaining = 90.0f - previous;
        Ticks(1);
        ++ticks;
        if (camera.SmoothAngles.y != 90.0f) {
            EXPECT_NEAR(camera.SmoothAngles.y - previous, remaining * 0.1f, 1e-4f);
        } else {
            EXPECT_LT(remaining * 0.1f, 0.01f);  // the last step took the whole difference
        }
        previous = camera.SmoothAngles.y;
    }
    EXPECT_EQ(camera.SmoothAngles.y, 90.0f);
    EXPECT_GT(ticks, 20);
    ExpectVec(camera.Target, 179, 23.5f, 176);  // now facing +x

    body.Movement.AngleY = 450;  // not wrapped: the camera swings a whole turn
    Ticks(1);
    EXPECT_NEAR(camera.SmoothAngles.y, 126.0f, 1e-4f);
}

TEST_F(CameraTest, SpotClearNeedsOpenSpaceAroundAndAMarginAboveTheFloor) {
    EXPECT_TRUE(camera.SpotClear({176, 28, 120}));
    EXPECT_FALSE(camera.SpotClear({176, 1, 120}));  // within 1.5 of the floor
    EXPECT_TRUE(camera.SpotClear({176, 1.6f, 120}));
    EXPECT_FALSE(camera.SpotClear({176, 127, 120}));  // within 1.5 of the ceiling
    EXPECT_FALSE(camera.SpotClear({-1, 28, 120}));    // outside the room
    EXPECT_FALSE(camera.SpotClear({176, 28, 320}));   // the upper edge is outside
    Wall(true);
    EXPECT_FALSE(camera.SpotClear({176, 28, 124}));  // 6 units off the wall is inside it
    EXPECT_TRUE(camera.SpotClear({176, 28, 121}));
    camera.Room = 3;
    EXPECT_FALSE(camera.SpotClear({176, 28, 120}));
}

TEST_F(CameraTest, RaisedPointLiesAboveOnTheSideOfTheWantedEye) {
    const Vec3 e{0, 0, 0};
    for (const Vec3& c : {Vec3{0, 0, -40}, Vec3{40, 0, 0}, Vec3{-40, 0, 0}, Vec3{0, 0, 40}}) {
        const Vec3 h = FollowCamera::RaisedPointToward(c, e);
        EXPECT_NEAR(VecLength(h), 20.0f, 1e-3f);
        EXPECT_NEAR(h.y, 20.0f * std::sin(75 * DegToRad), 1e-3f);
        EXPECT_GT(VecDot(h, c), 0.0f) << c.x << " " << c.z;
        EXPECT_NEAR(h.x * c.z - h.z * c.x, 0.0f, 1e-3f);  // in the vertical plane through c
    }
}

TEST(CameraFindSpot, EverythingBlockedGivesTheBehindPoint) {
    // One cell, one cell high: the orbit is outside the room and the raised point above it.
    LevelMap level = WrittenLevel({Room({0, 0, 0}, 1, 1, 1)});
    MovementBody body(VecMake(16, 0, 16));
    FollowCamera camera;
    camera.Subject = {body.Movement.Position, body.Movement.AngleY};
    camera.Level = &level;
    camera.ComputePose();
    const Vec3 e{16, 23.5f, 16};
    EXPECT_FALSE(camera.SpotClear(camera.Eye));
    ExpectVec(camera.FindSpot(camera.Eye, e), 16, 23.5f, -8);
    ExpectVec(camera.FindSpot(camera.Eye, e), camera.BehindPoint.x, camera.BehindPoint.y, camera.BehindPoint.z, 0);
}

TEST_F(CameraTest, FindSpotTriesTheDiagonalsFirst) {
    Ticks(1);
    const Vec3 c = camera.Eye;
    const Vec3 found = camera.FindSpot(c, EyePoint());
    const Vec3 expected = RotateAboutPointByAngles(c, EyePoint(), 0, 315, 0);
    ExpectVec(found, expected.x, expected.y, expected.z, 0);
    EXPECT_GT(found.x, 176.0f);
}

TEST_F(CameraTest, WallBetweenEyeAndCharacterSendsTheCameraToAClearSpotAndBack) {
    Ticks(1);
    const Vec3 rest = camera.Eye;
    Wall(true);
    Ticks(1);
    EXPECT_EQ(camera.Mode, CameraMode::Search);
    ExpectVec(camera.Eye, rest.x, rest.y, rest.z, 0);  // restored until the search runs

    Ticks(1);  // both diagonals end in the wall; the next candidate, 270 degrees, is clear
    const Vec3 side = RotateAboutPointByAngles(rest, EyePoint(), 0, 270, 0);
    EXPECT_EQ(camera.Phase, CameraPhase::Holding);  // the way there is blocked: the eye jumped
    ExpectVec(camera.Eye, side.x, side.y, side.z);
    EXPECT_GT(camera.Eye.x, 230.0f);
    EXPECT_TRUE(camera.SpotClear(camera.Eye));
    EXPECT_FALSE(camera.Blocked(camera.Eye, EyePoint()));
    Ticks(5);
    EXPECT_EQ(camera.Mode, CameraMode::Search);
    EXPECT_EQ(camera.Phase, CameraPhase::Holding);

    Wall(false);  // the normal pose is clear again: ease back at Speed per tick
    Ticks(1);
    EXPECT_EQ(camera.Phase, CameraPhase::Returning);
    int ticks = 1;
    while (camera.Mode != CameraMode::Follow && ticks < 50) {
        Ticks(1);
        ++ticks;
    }
    EXPECT_EQ(camera.Mode, CameraMode::Follow);
    EXPECT_EQ(ticks, static_cast<int>(std::ceil(VecDistance(side, rest) / 6.0f)));
    ExpectVec(camera.Eye, rest.x, rest.y, rest.z, 0);
}

TEST_F(CameraTest, UnclearSpotReturnsWithZoomDropped) {
    keys.Press(kKeyCameraUp, 0);
    Ticks(3);
    keys.Release(kKeyCameraUp, 0);
    const Vec3 before = camera.Eye;
    body.Movement.Position = {176, 0, 40};  // the camera would end behind the room's edge
    Ticks(1);
    EXPECT_EQ(camera.Mode, CameraMode::Return);
    EXPECT_EQ(camera.Zoom, 0.0f);
    ExpectVec(camera.Eye, before.x, before.y, before.z, 0);
    Ticks(1);  // still no clear pose: the eye is pulled in to follow distance
    EXPECT_NEAR(Distance(), 57.6f, 1e-3f);
    EXPECT_EQ(camera.Speed, 4.0f);
}

TEST_F(CameraTest, OrbitKeysByBothLetterCodesAndHomeResets) {
    Ticks(1);
    for (int code : {'Q', 'q'}) {
        keys.Press(code, 0);
        Ticks(1);
        keys.Release(code, 0);
    }
    EXPECT_EQ(camera.OrbitOffset.x, 11.0f);
    keys.Press('Q', 0);
    Ticks(40);
    keys.Release('Q', 0);
    EXPECT_EQ(camera.OrbitOffset.x, 89.0f);
    keys.Press('a', 0);
    Ticks(60);
    keys.Release('a', 0);
    EXPECT_EQ(camera.OrbitOffset.x, -12.0f);  // the eye is still clear, 11.5 units above the floor
    keys.Press('A', 0);
    Ticks(1);
    keys.Release('A', 0);
    EXPECT_EQ(camera.OrbitOffset.x, -12.0f);

    keys.Press('x', 0);
    Ticks(70);
    keys.Release('x', 0);
    EXPECT_EQ(camera.OrbitOffset.y, -179.0f);
    keys.Press('z', 0);
    keys.Press('Z', 0);
    Ticks(1);
    EXPECT_EQ(camera.OrbitOffset.y, -176.0f);  // one key, however many codes are down
    Ticks(200);
    keys.Release('z', 0);
    keys.Release('Z', 0);
    EXPECT_EQ(camera.OrbitOffset.y, 179.0f);
    EXPECT_EQ(camera.Mode, CameraMode::Follow);

    const float awayFromRest = Distance();
    keys.Press(kVkHome, 0);
    Ticks(1);
    keys.Release(kVkHome, 0);
    EXPECT_EQ(camera.Mode, CameraMode::Return);
    EXPECT_EQ(camera.Speed, 9.0f);
    EXPECT_EQ(camera.OrbitOffset.x, 5.0f);
    EXPECT_EQ(camera.OrbitOffset.y, 0.0f);
    EXPECT_NEAR(awayFromRest, 57.6f, 1e-3f);

    const Vec3 rest{176, 23.5f + 57.6f * kSin5, 176 - 57.6f * kCos5};
    float gap = VecDistance(camera.Eye, rest);
    Ticks(1);
    EXPECT_NEAR(VecDistance(camera.Eye, rest), gap - 9.0f, 1e-3f);
    for (int i = 0; i < 30 && camera.Mode != CameraMode::Follow; ++i) Ticks(1);
    EXPECT_EQ(camera.Mode, CameraMode::Follow);
    EXPECT_EQ(camera.Speed, 6.0f);
    ExpectVec(camera.Eye, rest.x, rest.y, rest.z);
}

TEST_F(CameraTest, FreeLookIsEnteredTurnedAndLeft) {
    Ticks(1);
    const Vec3 home = camera.Eye;
    const Vec3 lookFrom = camera.Target;
    keys.Press(kKeyCameraFreeLook, 0);
    Ticks(1);
    EXPECT_EQ(camera.Mode, CameraMode::FreeLook);
    EXPECT_EQ(camera.LookPhase, FreeLookPhase::Entering);
    EXPECT_EQ(camera.LookLatch, 1);
    ExpectVec(camera.LookFar, 176, 23.5f, 176 + 320);
    EXPECT_NEAR(VecDistance(camera.Eye, home), 8.0f, 1e-3f);
    Ticks(3);  // still held: the latch keeps free look from ending
    EXPECT_EQ(camera.LookPhase, FreeLookPhase::Entering);
    keys.Release(kKeyCameraFreeLook, 0);
    for (int i = 0; i < 10 && camera.LookPhase == FreeLookPhase::Entering; ++i) Ticks(1);
    EXPECT_EQ(camera.LookPhase, FreeLookPhase::Looking);
    ExpectVec(camera.Eye, lookFrom.x, lookFrom.y, lookFrom.z, 0);

    keys.Press(kKeyCameraLeft, 0);
    Ticks(3);
    keys.Release(kKeyCameraLeft, 0);
    EXPECT_EQ(camera.LookAngles.y, -12.0f);
    EXPECT_EQ(camera.LookVelocity[1], -4.5f);
    Ticks(1);  // momentum
    EXPECT_EQ(camera.LookAngles.y, -12.0f - 3.375f);
    EXPECT_EQ(camera.LookVelocity[1], -3.375f);
    Quat q;
    QuatFromAnglesZYX(q, camera.SmoothAngles.x + camera.LookAngles.x, camera.LookAngles.y, 0);
    const Vec3 look = VecSub(camera.LookFrom, VecScale(QuatTransformVec({0, 0, -1}, q), 3));
    ExpectVec(camera.Target, look.x, look.y, look.z);
    keys.Press(kKeyCameraDown, 0);
    Ticks(40);
    keys.Release(kKeyCameraDown, 0);
    EXPECT_EQ(camera.LookAngles.x, 89.0f);

    keys.Press(kKeyCameraFreeLook, 0);  // pressed again: back home
    Ticks(1);
    keys.Release(kKeyCameraFreeLook, 0);
    EXPECT_EQ(camera.LookPhase, FreeLookPhase::Leaving);
    ExpectVec(camera.Target, lookFrom.x, lookFrom.y, lookFrom.z, 0);
    for (int i = 0; i < 10 && camera.Mode == CameraMode::FreeLook; ++i) Ticks(1);
    EXPECT_EQ(camera.Mode, CameraMode::Return);
    EXPECT_EQ(camera.LookPhase, FreeLookPhase::Start);
    ExpectVec(camera.Eye, home.x, home.y, home.z, 0);
    Ticks(1);
    EXPECT_EQ(camera.Mode, CameraMode::Follow);
}

TEST_F(CameraTest, FocusMoveReachesItsGoalAfterItsDurationAndHolds) {
    Ticks(1);
    const Vec3 start = camera.Eye;
    ClockSetVirtualMs(1000);
    camera.FocusOn({176, 0, 240}, 1000);
    Ticks(1);
    EXPECT_EQ(camera.Phase, CameraPhase::Moving);
    ExpectVec(camera.Eye, start.x, start.y, start.z, 0);
    const Vec3 goal{176, 23.5f + 57.6f * kSin5, 240 - 57.6f * kCos5};
    ExpectVec(camera.Goal, goal.x, goal.y, goal.z);
    ExpectVec(camera.GoalTarget, 176, 23.5f, 243);
    ExpectVec(body.Movement.Position, 176, 0, 176, 0);  // the character stays put

    ClockSetVirtualMs(1500);
    Ticks(1);
    ExpectVec(camera.Eye, start.x, start.y, (start.z + goal.z) / 2);
    ClockSetVirtualMs(2000);
    Ticks(1);
    EXPECT_EQ(camera.Phase, CameraPhase::Arrived);
    ExpectVec(camera.Eye, goal.x, goal.y, goal.z);
    ExpectVec(camera.Target, 176, 23.5f, 243);
    body.Movement.Position = {100, 0, 100};
    ClockSetVirtualMs(9000);
    Ticks(3);
    ExpectVec(camera.Eye, goal.x, goal.y, goal.z);

    camera.ResumeFollow();
    EXPECT_EQ(camera.Mode, CameraMode::Follow);
    EXPECT_EQ(camera.Phase, CameraPhase::Start);

    camera.FocusOn({176, 0, 240}, 0);  // no duration: there at once
    Ticks(1);
    EXPECT_EQ(camera.Phase, CameraPhase::Arrived);
    EXPECT_TRUE(std::isfinite(camera.Eye.x));
}
