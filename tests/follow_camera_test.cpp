#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "input/keyboard.h"
#include "math/clock.h"
#include "motion/follow_camera.h"
#include "motion/follow_camera_internal.h"
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
    float Distance() const { return VecDistance(kept.Eye, EyePoint()); }

    MovementBody body;
    FollowCamera camera;
    FollowCameraState& kept = FollowCameraInternals::State(camera);  // what the camera keeps
    KeyboardState keys;
    LevelMap level;
};

}  // namespace

TEST_F(CameraTest, RestPoseLiesBehindAtFollowDistanceRaisedByFiveDegrees) {
    Ticks(1);
    EXPECT_EQ(kept.Mode, CameraMode::Follow);
    ExpectVec(kept.Eye, 176, 23.5f + 57.6f * kSin5, 176 - 57.6f * kCos5);
    EXPECT_NEAR(Distance(), 57.6f, 1e-3f);
    ExpectVec(kept.Target, 176, 23.5f, 179);
    ExpectVec(kept.BehindPoint, 176, 23.5f, 152);
    EXPECT_LT(kept.Target.y, kept.Eye.y);  // looking slightly down
}

TEST_F(CameraTest, ZoomIsCappedAndReturnsOneUnitPerTick) {
    keys.Press(kKeyCameraUp, 0);
    Ticks(10);
    EXPECT_FLOAT_EQ(kept.Zoom, 9.6f);
    EXPECT_NEAR(Distance(), 57.6f + 9.6f, 1e-3f);
    keys.Release(kKeyCameraUp, 0);
    Ticks(1);
    EXPECT_NEAR(kept.Zoom, 8.6f, 1e-5f);
    Ticks(8);
    EXPECT_NEAR(kept.Zoom, 0.6f, 1e-5f);
    Ticks(1);
    EXPECT_EQ(kept.Zoom, 0.0f);
    EXPECT_NEAR(Distance(), 57.6f, 1e-3f);
    keys.Press(kKeyCameraDown, 0);
    Ticks(1);
    EXPECT_EQ(kept.Zoom, 1.0f);
}

TEST_F(CameraTest, HeadingFollowsByTenPercentOrSevenWhileTurningAndSnaps) {
    Ticks(1);
    body.Movement.AngleY = 90;
    Ticks(1);
    EXPECT_NEAR(kept.SmoothAngles.y, 9.0f, 1e-5f);
    keys.Press(kKeyCameraLeft, 0);
    Ticks(1);
    EXPECT_NEAR(kept.SmoothAngles.y, 9.0f + 81 * 0.07f, 1e-4f);
    keys.Release(kKeyCameraLeft, 0);

    int ticks = 0;
    float previous = kept.SmoothAngles.y;
    while (kept.SmoothAngles.y != 90.0f && ticks < 200) {
        const float remaining = 90.0f - previous;
        Ticks(1);
        ++ticks;
        if (kept.SmoothAngles.y != 90.0f) {
            EXPECT_NEAR(kept.SmoothAngles.y - previous, remaining * 0.1f, 1e-4f);
        } else {
            EXPECT_LT(remaining * 0.1f, 0.01f);  // the last step took the whole difference
        }
        previous = kept.SmoothAngles.y;
    }
    EXPECT_EQ(kept.SmoothAngles.y, 90.0f);
    EXPECT_GT(ticks, 20);
    ExpectVec(kept.Target, 179, 23.5f, 176);  // now facing +x

    body.Movement.AngleY = 450;  // not wrapped: the camera swings a whole turn
    Ticks(1);
    EXPECT_NEAR(kept.SmoothAngles.y, 126.0f, 1e-4f);
}

TEST_F(CameraTest, SpotClearNeedsOpenSpaceAroundAndAMarginAboveTheFloor) {
    EXPECT_TRUE(FollowCameraInternals::SpotClear(camera, {176, 28, 120}));
    EXPECT_FALSE(FollowCameraInternals::SpotClear(camera, {176, 1, 120}));  // within 1.5 of the floor
    EXPECT_TRUE(FollowCameraInternals::SpotClear(camera, {176, 1.6f, 120}));
    EXPECT_FALSE(FollowCameraInternals::SpotClear(camera, {176, 127, 120}));  // within 1.5 of the ceiling
    EXPECT_FALSE(FollowCameraInternals::SpotClear(camera, {-1, 28, 120}));    // outside the room
    EXPECT_FALSE(FollowCameraInternals::SpotClear(camera, {176, 28, 320}));   // the upper edge is outside
    Wall(true);
    EXPECT_FALSE(FollowCameraInternals::SpotClear(camera, {176, 28, 124}));  // 6 units off the wall is inside it
    EXPECT_TRUE(FollowCameraInternals::SpotClear(camera, {176, 28, 121}));
    camera.Room = 3;
    EXPECT_FALSE(FollowCameraInternals::SpotClear(camera, {176, 28, 120}));
}

TEST_F(CameraTest, RaisedPointLiesAboveOnTheSideOfTheWantedEye) {
    const Vec3 e{0, 0, 0};
    for (const Vec3& c : {Vec3{0, 0, -40}, Vec3{40, 0, 0}, Vec3{-40, 0, 0}, Vec3{0, 0, 40}}) {
        const Vec3 h = RaisedPointToward(c, e);
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
    FollowCameraInternals::ComputePose(camera);
    const FollowCameraState& kept = camera.Kept();
    const Vec3 e{16, 23.5f, 16};
    EXPECT_FALSE(FollowCameraInternals::SpotClear(camera, kept.Eye));
    ExpectVec(FollowCameraInternals::FindSpot(camera, kept.Eye, e), 16, 23.5f, -8);
    ExpectVec(FollowCameraInternals::FindSpot(camera, kept.Eye, e), kept.BehindPoint.x, kept.BehindPoint.y,
              kept.BehindPoint.z, 0);
}

TEST_F(CameraTest, FindSpotTriesTheDiagonalsFirst) {
    Ticks(1);
    const Vec3 c = kept.Eye;
    const Vec3 found = FollowCameraInternals::FindSpot(camera, c, EyePoint());
    const Vec3 expected = RotateAboutPointByAngles(c, EyePoint(), 0, 315, 0);
    ExpectVec(found, expected.x, expected.y, expected.z, 0);
    EXPECT_GT(found.x, 176.0f);
}

TEST_F(CameraTest, WallBetweenEyeAndCharacterSendsTheCameraToAClearSpotAndBack) {
    Ticks(1);
    const Vec3 rest = kept.Eye;
    Wall(true);
    Ticks(1);
    EXPECT_EQ(kept.Mode, CameraMode::Search);
    ExpectVec(kept.Eye, rest.x, rest.y, rest.z, 0);  // restored until the search runs

    Ticks(1);  // both diagonals end in the wall; the next candidate, 270 degrees, is clear
    const Vec3 side = RotateAboutPointByAngles(rest, EyePoint(), 0, 270, 0);
    EXPECT_EQ(kept.Phase, CameraPhase::Holding);  // the way there is blocked: the eye jumped
    ExpectVec(kept.Eye, side.x, side.y, side.z);
    EXPECT_GT(kept.Eye.x, 230.0f);
    EXPECT_TRUE(FollowCameraInternals::SpotClear(camera, kept.Eye));
    EXPECT_FALSE(FollowCameraInternals::Blocked(camera, kept.Eye, EyePoint()));
    Ticks(5);
    EXPECT_EQ(kept.Mode, CameraMode::Search);
    EXPECT_EQ(kept.Phase, CameraPhase::Holding);

    Wall(false);  // the normal pose is clear again: ease back at Speed per tick
    Ticks(1);
    EXPECT_EQ(kept.Phase, CameraPhase::Returning);
    int ticks = 1;
    while (kept.Mode != CameraMode::Follow && ticks < 50) {
        Ticks(1);
        ++ticks;
    }
    EXPECT_EQ(kept.Mode, CameraMode::Follow);
    EXPECT_EQ(ticks, static_cast<int>(std::ceil(VecDistance(side, rest) / 6.0f)));
    ExpectVec(kept.Eye, rest.x, rest.y, rest.z, 0);
}

TEST_F(CameraTest, UnclearSpotReturnsWithZoomDropped) {
    keys.Press(kKeyCameraUp, 0);
    Ticks(3);
    keys.Release(kKeyCameraUp, 0);
    const Vec3 before = kept.Eye;
    body.Movement.Position = {176, 0, 40};  // the camera would end behind the room's edge
    Ticks(1);
    EXPECT_EQ(kept.Mode, CameraMode::Return);
    EXPECT_EQ(kept.Zoom, 0.0f);
    ExpectVec(kept.Eye, before.x, before.y, before.z, 0);
    Ticks(1);  // still no clear pose: the eye is pulled in to follow distance
    EXPECT_NEAR(Distance(), 57.6f, 1e-3f);
    EXPECT_EQ(kept.EaseSpeed, 4.0f);
}

TEST_F(CameraTest, OrbitKeysByBothLetterCodesAndHomeResets) {
    Ticks(1);
    for (int code : {'Q', 'q'}) {
        keys.Press(code, 0);
        Ticks(1);
        keys.Release(code, 0);
    }
    EXPECT_EQ(kept.OrbitOffset.x, 11.0f);
    keys.Press('Q', 0);
    Ticks(40);
    keys.Release('Q', 0);
    EXPECT_EQ(kept.OrbitOffset.x, 89.0f);
    keys.Press('a', 0);
    Ticks(60);
    keys.Release('a', 0);
    EXPECT_EQ(kept.OrbitOffset.x, -12.0f);  // the eye is still clear, 11.5 units above the floor
    keys.Press('A', 0);
    Ticks(1);
    keys.Release('A', 0);
    EXPECT_EQ(kept.OrbitOffset.x, -12.0f);

    keys.Press('x', 0);
    Ticks(70);
    keys.Release('x', 0);
    EXPECT_EQ(kept.OrbitOffset.y, -179.0f);
    keys.Press('z', 0);
    keys.Press('Z', 0);
    Ticks(1);
    EXPECT_EQ(kept.OrbitOffset.y, -176.0f);  // one key, however many codes are down
    Ticks(200);
    keys.Release('z', 0);
    keys.Release('Z', 0);
    EXPECT_EQ(kept.OrbitOffset.y, 179.0f);
    EXPECT_EQ(kept.Mode, CameraMode::Follow);

    const float awayFromRest = Distance();
    keys.Press(kVkHome, 0);
    Ticks(1);
    keys.Release(kVkHome, 0);
    EXPECT_EQ(kept.Mode, CameraMode::Return);
    EXPECT_EQ(kept.EaseSpeed, 9.0f);
    EXPECT_EQ(kept.OrbitOffset.x, 5.0f);
    EXPECT_EQ(kept.OrbitOffset.y, 0.0f);
    EXPECT_NEAR(awayFromRest, 57.6f, 1e-3f);

    const Vec3 rest{176, 23.5f + 57.6f * kSin5, 176 - 57.6f * kCos5};
    float gap = VecDistance(kept.Eye, rest);
    Ticks(1);
    EXPECT_NEAR(VecDistance(kept.Eye, rest), gap - 9.0f, 1e-3f);
    for (int i = 0; i < 30 && kept.Mode != CameraMode::Follow; ++i) Ticks(1);
    EXPECT_EQ(kept.Mode, CameraMode::Follow);
    EXPECT_EQ(kept.EaseSpeed, 6.0f);
    ExpectVec(kept.Eye, rest.x, rest.y, rest.z);
}

TEST_F(CameraTest, FreeLookIsEnteredTurnedAndLeft) {
    Ticks(1);
    const Vec3 home = kept.Eye;
    const Vec3 lookFrom = kept.Target;
    keys.Press(kKeyCameraFreeLook, 0);
    Ticks(1);
    EXPECT_EQ(kept.Mode, CameraMode::FreeLook);
    EXPECT_EQ(kept.LookPhase, FreeLookPhase::Entering);
    EXPECT_EQ(kept.LookLatch, 1);
    ExpectVec(kept.LookFar, 176, 23.5f, 176 + 320);
    EXPECT_NEAR(VecDistance(kept.Eye, home), 8.0f, 1e-3f);
    Ticks(3);  // still held: the latch keeps free look from ending
    EXPECT_EQ(kept.LookPhase, FreeLookPhase::Entering);
    keys.Release(kKeyCameraFreeLook, 0);
    for (int i = 0; i < 10 && kept.LookPhase == FreeLookPhase::Entering; ++i) Ticks(1);
    EXPECT_EQ(kept.LookPhase, FreeLookPhase::Looking);
    ExpectVec(kept.Eye, lookFrom.x, lookFrom.y, lookFrom.z, 0);

    keys.Press(kKeyCameraLeft, 0);
    Ticks(3);
    keys.Release(kKeyCameraLeft, 0);
    EXPECT_EQ(kept.LookAngles.y, -12.0f);
    EXPECT_EQ(kept.LookVelocity[1], -4.5f);
    Ticks(1);  // momentum
    EXPECT_EQ(kept.LookAngles.y, -12.0f - 3.375f);
    EXPECT_EQ(kept.LookVelocity[1], -3.375f);
    Quat q;
    QuatFromAnglesZYX(q, kept.SmoothAngles.x + kept.LookAngles.x, kept.LookAngles.y, 0);
    const Vec3 look = VecSub(kept.LookFrom, VecScale(QuatTransformVec({0, 0, -1}, q), 3));
    ExpectVec(kept.Target, look.x, look.y, look.z);
    keys.Press(kKeyCameraDown, 0);
    Ticks(40);
    keys.Release(kKeyCameraDown, 0);
    EXPECT_EQ(kept.LookAngles.x, 89.0f);

    keys.Press(kKeyCameraFreeLook, 0);  // pressed again: back home
    Ticks(1);
    keys.Release(kKeyCameraFreeLook, 0);
    EXPECT_EQ(kept.LookPhase, FreeLookPhase::Leaving);
    ExpectVec(kept.Target, lookFrom.x, lookFrom.y, lookFrom.z, 0);
    for (int i = 0; i < 10 && kept.Mode == CameraMode::FreeLook; ++i) Ticks(1);
    EXPECT_EQ(kept.Mode, CameraMode::Return);
    EXPECT_EQ(kept.LookPhase, FreeLookPhase::Start);
    ExpectVec(kept.Eye, home.x, home.y, home.z, 0);
    Ticks(1);
    EXPECT_EQ(kept.Mode, CameraMode::Follow);
}

TEST_F(CameraTest, FocusMoveReachesItsGoalAfterItsDurationAndHolds) {
    Ticks(1);
    const Vec3 start = kept.Eye;
    ClockSetVirtualMs(1000);
    camera.FocusOn({176, 0, 240}, 1000);
    Ticks(1);
    EXPECT_EQ(kept.Phase, CameraPhase::Moving);
    ExpectVec(kept.Eye, start.x, start.y, start.z, 0);
    const Vec3 goal{176, 23.5f + 57.6f * kSin5, 240 - 57.6f * kCos5};
    ExpectVec(kept.Goal, goal.x, goal.y, goal.z);
    ExpectVec(kept.GoalTarget, 176, 23.5f, 243);
    ExpectVec(body.Movement.Position, 176, 0, 176, 0);  // the character stays put

    ClockSetVirtualMs(1500);
    Ticks(1);
    ExpectVec(kept.Eye, start.x, start.y, (start.z + goal.z) / 2);
    ClockSetVirtualMs(2000);
    Ticks(1);
    EXPECT_EQ(kept.Phase, CameraPhase::Arrived);
    ExpectVec(kept.Eye, goal.x, goal.y, goal.z);
    ExpectVec(kept.Target, 176, 23.5f, 243);
    body.Movement.Position = {100, 0, 100};
    ClockSetVirtualMs(9000);
    Ticks(3);
    ExpectVec(kept.Eye, goal.x, goal.y, goal.z);

    camera.ResumeFollow();
    EXPECT_EQ(kept.Mode, CameraMode::Follow);
    EXPECT_EQ(kept.Phase, CameraPhase::Start);

    camera.FocusOn({176, 0, 240}, 0);  // no duration: there at once
    Ticks(1);
    EXPECT_EQ(kept.Phase, CameraPhase::Arrived);
    EXPECT_TRUE(std::isfinite(kept.Eye.x));
}
