#include "character/primitives.h"

#include <cmath>

#include "character_harness.h"

namespace dv::test {
namespace {

using Primitives = CharacterBench;

TEST(CharacterAngles, NormalizeSetAndSnap) {
    EXPECT_EQ(NormalizeAngle(0), 0);
    EXPECT_EQ(NormalizeAngle(359), 359);
    EXPECT_FLOAT_EQ(NormalizeAngle(359.5f), 359.5f);
    EXPECT_FLOAT_EQ(NormalizeAngle(360), 0);
    EXPECT_FLOAT_EQ(NormalizeAngle(-1), 359);
    EXPECT_FLOAT_EQ(NormalizeAngle(-90), 270);
    EXPECT_NEAR(NormalizeAngle(725), 5, 1e-4);
    EXPECT_NEAR(NormalizeAngle(-450), 270, 1e-4);

    float angle = 725;
    SetHeading(angle, 90);
    EXPECT_NEAR(angle, 810, 1e-3);  // the two whole turns are kept

    EXPECT_EQ(SnapAngle(15, 80), 90);
    EXPECT_EQ(SnapAngle(15, 10), 0);
    EXPECT_EQ(SnapAngle(15, 350), 360);
    EXPECT_EQ(SnapAngle(15, 195), 180);
    EXPECT_EQ(SnapAngle(15, 285), 270);
    // Between the bands the heading is kept as it is.
    EXPECT_EQ(SnapAngle(15, 45), 45);
    EXPECT_EQ(SnapAngle(15, 300), 300);
}

TEST_F(Primitives, HeadingVectorsAndMovesAlongThem) {
    Use({Room({0, 0, 0}, 3, 3, 4)});
    Place({48, 0, 48});
    EXPECT_NEAR(MoveForward(Now(), {0, 0, 0}, 1, 0).z, 3, 1e-6);  // the look-ahead alone
    EXPECT_NEAR(MoveLeft(Now(), {0, 0, 0}, 1, 0).x, -6, 1e-6);
    EXPECT_NEAR(MoveBack(Now(), {0, 0, 0}, 0, 2).z, -2, 1e-6);

    state.Body.AngleY = 90;
    UpdateHeadingVectors(Now());
    const Vec3 f = MoveForward(Now(), {0, 0, 0}, 0, 1);
    EXPECT_NEAR(f.x, 1, 1e-5);  // a right turn of 90 degrees faces +X
    EXPECT_NEAR(f.z, 0, 1e-5);
    EXPECT_NEAR(MoveRight(Now(), {0, 0, 0}, 0, 1).z, -1, 1e-5);

    state.Clip.TimeScale = 2;  // every distance is divided by the time scale, look-aheads are not
    const Vec3 g = MoveForward(Now(), {0, 0, 0}, 1, 4);
    EXPECT_NEAR(g.x, 5, 1e-5);
}

TEST_F(Primitives, ProbeReportsDeltasAndBlocking) {
    std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 3, 3, 4)};
    rooms[0].Cells[1][2] = Cell(8, 40);  // 12.8 up, ceiling at 64
    rooms[0].Cells[2][1] = Cell(80, 0);  // floor at the ceiling: no space
    Use(rooms);
    Place({48, 0, 48});
    GroundProbe p;
    EXPECT_TRUE(ProbeGround(Now(), {48, 2, 80}, p));
    EXPECT_NEAR(p.FloorDelta, 12.8f - 2, 1e-4);
    EXPECT_NEAR(p.CeilingDelta, 62, 1e-4);
    EXPECT_NEAR(p.Clearance, 51.2f, 1e-4);
    EXPECT_FALSE(ProbeOk(p));
    EXPECT_FALSE(ProbeGround(Now(), {80, 0, 48}, p));
    EXPECT_EQ(p.Blocked, 1);
    EXPECT_EQ(CellLink(Now(), {48, 0, 48}), -1);
}

TEST_F(Primitives, PathSearchesFindTheEdgeAndTheCellBoundary) {
    std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 3, 3, 4)};
    rooms[0].Cells[1][2] = Cell(10);  // 16 up from z = 64
    rooms[0].Cells[1][1] = Cell(2);   // 3.2 up: within the 4-unit tolerance
    Use(rooms);
    Place({48, 0, 20});

    Vec3 edge = FindLedgeEdge(Now(), 0, {48, 0, 20}, {48, 0, 90}, 0);
    EXPECT_NEAR(edge.z, 64, 0.01);
    EXPECT_LT(edge.z, 64);
    edge = FindLedgeEdge(Now(), 0, {48, 0, 20}, {48, 0, 90}, 1);
    EXPECT_NEAR(edge.z, 63, 0.01);
    edge = FindLedgeEdge(Now(), 0, {48, 0, 20}, {48, 0, 90}, -1);
    EXPECT_NEAR(edge.z, 65, 0.01);
    // A path whose floor never changes by more than 4 ends within 0.005 of its end.
    edge = FindLedgeEdge(Now(), 0, {48, 0, 20}, {48, 0, 50}, 0);
    EXPECT_NEAR(edge.z, 50, 0.005);
    edge = FindLedgeEdge(Now(), 0, {48, 0, 20}, {48, 0, 20}, 0);
    EXPECT_EQ(edge.z, 20);
    // A corrupt position ends the search instead of halving forever.
    edge = FindLedgeEdge(Now(), 0, {NAN, 0, 20}, {48, 0, 90}, 0);
    EXPECT_TRUE(std::isnan(edge.x));

    // The cell boundary stops at z = 32 although the floor beyond differs only by 3.2.
    Vec3 b = FindCellBoundary(Now(), 0, {48, 0, 20}, {48, 0, 50}, 0);
    EXPECT_NEAR(b.z, 32, 0.01);
    EXPECT_LT(b.z, 32);
    b = FindCellBoundary(Now(), 0, {48, 0, 34}, {48, 0, 60}, 2);  // one cell: the ledge search
    const Vec3 l = FindLedgeEdge(Now(), 0, {48, 0, 34}, {48, 0, 60}, 2);
    EXPECT_EQ(b.z, l.z);
}

TEST_F(Primitives, EdgeHeadingDeltaWithinOneCellUsesTheDiagonal) {
    std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 3, 3, 4)};
    Use(rooms);
    Place({48, 0, 48});
    // Across a cell boundary: the cell step is +Z, the path is +Z.
    EXPECT_NEAR(EdgeHeadingDelta(Now(), 0, {48, 0, 60}, {48, 0, 70}), 0, 1e-4);
    EXPECT_NEAR(EdgeHeadingDelta(Now(), 0, {48, 0, 60}, {40, 0, 68}), 45, 1e-3);
    // Inside one cell the diagonal stands in for the zero cell step: always a finite turn.
    const float d = EdgeHeadingDelta(Now(), 0, {40, 0, 40}, {40, 0, 44});
    EXPECT_TRUE(std::isfinite(d));
    EXPECT_NEAR(std::fabs(d), 45, 1e-3);
    const float same = EdgeHeadingDelta(Now(), 0, {40, 0, 40}, {40, 0, 40});
    EXPECT_TRUE(std::isfinite(same));
}

TEST_F(Primitives, AvoidSideWallsPushesAwayFromTheNearWall) {
    std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 3, 3, 4)};
    for (int row = 0; row < 3; ++row) {
        rooms[0].Cells[0][row] = Cell(80);  // walls either side of column 1
        rooms[0].Cells[2][row] = Cell(80);
    }
    Use(rooms);
    Place({48, 0, 48});
    Vec3 p = {34, 0, 48};  // wall 2 units to the left (and the right one 30 away)
    AvoidSideWalls(Now(), p, 0.5f);
    EXPECT_NEAR(p.x, 34.5f, 1e-5);
    p = {62, 0, 48};
    AvoidSideWalls(Now(), p, 0.5f);
    EXPECT_NEAR(p.x, 61.5f, 1e-5);
    p = {48, 0, 48};
    AvoidSideWalls(Now(), p, 0.5f);
    EXPECT_EQ(p.x, 48);
    // A step of more than 8 or a low ceiling beside the point counts as a wall too.
    rooms[0].Cells[0][1] = Cell(6);
    rooms[0].Cells[2][1] = Cell(0, 70);  // ceiling 16 above the floor
    Use(rooms);
    p = {34, 0, 48};
    AvoidSideWalls(Now(), p, 0.5f);
    EXPECT_NEAR(p.x, 34.5f, 1e-5);
    p = {62, 0, 48};
    state.Clip.TimeScale = 2;  // moving away from a right wall is not divided by the time scale
    AvoidSideWalls(Now(), p, 0.5f);
    EXPECT_NEAR(p.x, 61.5f, 1e-5);
}

TEST_F(Primitives, AvoidSideWallsBetweenTwoNearWallsMovesRight) {
    std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 3, 3, 4)};
    rooms[0].Cells[1][0] = Cell(80);  // a wall on the low-z side of cell [1][1]
    GridCell curved = Cell(0);
    curved.FloorShape = 1;  // near x = 32 the floor rises to the ceiling beyond z = 32 + 11
    curved.Floor[0] = 80;
    rooms[0].Cells[1][1] = curved;
    Use(rooms);
    Place({32.5f, 0, 37.5f}, 90);  // facing +X: left is +Z, right is -Z
    GroundProbe p;
    ProbeGround(Now(), {32.5f, 0, 43.5f}, p);
    ASSERT_FALSE(ProbeOk(p));
    ProbeGround(Now(), {32.5f, 0, 31.5f}, p);
    ASSERT_FALSE(ProbeOk(p));
    Vec3 point = {32.5f, 0, 37.5f};
    AvoidSideWalls(Now(), point, 0.5f);
    EXPECT_NEAR(point.z, 37.0f, 1e-4);
    EXPECT_NEAR(point.x, 32.5f, 1e-4);
}

TEST_F(Primitives, ClimbCheckChoosesTheClimbByLedgeHeight) {
    struct Case {
        int16_t raw;  // ledge floor, raw
        CharacterAction action;
        CharacterClip clip;
    } cases[] = {{8, CharacterAction::ClimbLow, CharacterClip::ClimbLow},
                 {13, CharacterAction::ClimbMid, CharacterClip::ClimbMid},
                 {17, CharacterAction::ClimbHigh, CharacterClip::ClimbHigh},
                 {21, CharacterAction::ClimbTop, CharacterClip::ClimbTop},
                 {3, CharacterAction::JumpStart, CharacterClip::JumpPrepare},
                 {25, CharacterAction::JumpStart, CharacterClip::JumpPrepareHigh}};
    for (const Case& c : cases) {
        std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 3, 4, 4)};
        for (int col = 0; col < 3; ++col) rooms[0].Cells[col][3] = Cell(c.raw);
        Use(rooms);
        Place({48, 0, 93});
        state.Body.Action = CharacterAction::Idle;
        ClimbCheck(Now());
        EXPECT_EQ(state.Body.Action, c.action) << "ledge raw " << c.raw;
        EXPECT_EQ(state.Clip.Id, c.clip) << "ledge raw " << c.raw;
        EXPECT_EQ(state.Clip.Frame, 0);
        EXPECT_NEAR(character.ClimbTarget.z, 99, 1e-4);
        EXPECT_NEAR(character.ClimbTarget.y, c.raw * kRawUnit, 1e-4);
    }
    // A 20.8 ledge with 30.4 of clearance is climbed; with 24 it is out of reach.
    std::vector<LevelRoom> rooms = {Room({0, 0, 0}, 3, 4, 4)};
    rooms[0].Cells[1][3] = Cell(13, 48);
    Use(rooms);
    Place({48, 0, 93});
    ClimbCheck(Now());
    EXPECT_EQ(state.Body.Action, CharacterAction::ClimbMid);
    rooms[0].Cells[1][3] = Cell(13, 52);
    Use(rooms);
    Place({48, 0, 93});
    state.Body.Action = CharacterAction::Idle;
    ClimbCheck(Now());
    EXPECT_EQ(state.Body.Action, CharacterAction::JumpStart);
    EXPECT_EQ(state.Clip.Id, CharacterClip::JumpPrepareHigh);
    EXPECT_EQ(character.JumpMode, JumpDirection::Up);
}

}  // namespace
}  // namespace dv::test
