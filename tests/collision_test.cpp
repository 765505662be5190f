#include "motion/collision.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

#include "world/level_file.h"
#include "world/sorted_array.h"

namespace dv {
namespace {

constexpr float kTol = 1e-3f;

// A cell with a flat floor at raw height `floor` and a flat ceiling `depth` below the top.
GridCell FlatCell(int16_t floor = 0, int16_t depth = 0) {
    GridCell c{};
    for (int i = 0; i < 4; ++i) {
        c.Floor[i] = floor;
        c.Ceiling[i] = depth;
    }
    return c;
}

LevelRoom MakeRoom(Vec3 origin, int cellsX, int cellsZ, int heightCells, const GridCell& fill = FlatCell()) {
    LevelRoom r;
    r.Header.Origin = origin;
    r.Header.CellsX = static_cast<uint16_t>(cellsX);
    r.Header.CellsZ = static_cast<uint16_t>(cellsZ);
    r.Header.HeightCells = static_cast<uint16_t>(heightCells);
    r.Cells.assign(cellsX, std::vector<GridCell>(cellsZ, fill));
    return r;
}

LevelMap MakeLevel(std::vector<LevelRoom> rooms) {
    LevelMap level;
    level.RoomCount = static_cast<int32_t>(rooms.size());
    level.Rooms = std::move(rooms);
    return level;
}

// Floor corners in record order: (0,31), (31,31), (31,0), (0,0).
GridCell FloorCell(uint8_t shape, uint8_t flags, int16_t h0_31, int16_t h31_31, int16_t h31_0, int16_t h0_0) {
    GridCell c = FlatCell();
    c.FloorShape = shape;
    c.FloorFlags = flags;
    c.Floor[0] = h0_31;
    c.Floor[1] = h31_31;
    c.Floor[2] = h31_0;
    c.Floor[3] = h0_0;
    return c;
}

// Ceiling depths in record order: (0,0), (31,0), (31,31), (0,31).
GridCell CeilingCell(uint8_t flags, int16_t c0_0, int16_t c31_0, int16_t c31_31, int16_t c0_31) {
    GridCell c = FlatCell();
    c.CeilingFlags = flags;
    c.Ceiling[0] = c0_0;
    c.Ceiling[1] = c31_0;
    c.Ceiling[2] = c31_31;
    c.Ceiling[3] = c0_31;
    return c;
}

// Floor of a one-cell room at the origin, raw units (the room origin is at y = 0).
SurfaceHit QueryCell(const GridCell& cell, float lx, float lz) {
    const LevelMap level = MakeLevel({MakeRoom({0, 0, 0}, 1, 1, 10, cell)});
    return SurfaceQuery(level, 0, lx, lz);
}

float RawFloor(const GridCell& cell, float lx, float lz) { return QueryCell(cell, lx, lz).Floor / 1.6f; }
float RawCeilingDepth(const GridCell& cell, float lx, float lz) {
    return (320.0f - QueryCell(cell, lx, lz).Ceiling) / 1.6f;
}

void ExpectVec(const Vec3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, kTol);
    EXPECT_NEAR(v.y, y, kTol);
    EXPECT_NEAR(v.z, z, kTol);
}

TEST(CollisionFloor, PlanarTrianglesPickTheHalfByDiagonal) {
    // Diagonal from (0,31) to (31,0): corner (31,0) raised, so the lower half rises along x
    // and the upper half falls along z.
    const GridCell c = FloorCell(0, 0, 0, 0, 31, 0);
    EXPECT_NEAR(RawFloor(c, 10, 5), 10.0f, kTol);
    ExpectVec(QueryCell(c, 10, 5).FloorNormal, -0.71f, 0.71f, 0.0f);
    EXPECT_NEAR(RawFloor(c, 20, 20), 11.0f, kTol);
    ExpectVec(QueryCell(c, 20, 20).FloorNormal, 0.0f, 0.71f, 0.71f);
    EXPECT_NEAR(QueryCell(c, 10, 5).Floor, 16.0f, kTol);  // raw 10 is 10/20 of a cell

    // Diagonal from (0,0) to (31,31): corner (31,0) raised lifts only the half with lz <= lx.
    const GridCell d = FloorCell(0, 1, 0, 0, 31, 0);
    EXPECT_NEAR(RawFloor(d, 25, 5), 20.0f, kTol);
    ExpectVec(QueryCell(d, 25, 5).FloorNormal, -0.58f, 0.58f, 0.58f);
    EXPECT_NEAR(RawFloor(d, 5, 25), 0.0f, kTol);
    ExpectVec(QueryCell(d, 5, 25).FloorNormal, 0.0f, 1.0f, 0.0f);
}

TEST(CollisionFloor, LevelledDiagonalEdgeTakesTheNamedCorner) {
    struct Case {
        uint8_t flags;
        int16_t h[4];
        float lx, lz, plain, levelled;
    };
    const Case cases[] = {
        {0, {0, 0, 31, 0}, 10, 5, 10, 15},   // lower half: (0,31) takes (31,0)'s height
        {0, {31, 0, 0, 0}, 20, 20, 11, 22},  // upper half: (31,0) takes (0,31)'s height
        {1, {0, 31, 0, 0}, 5, 25, 5, 11},    // lz > lx: (0,0) takes (31,31)'s height
        {1, {0, 0, 0, 31}, 25, 5, 6, 11},    // lz <= lx: (31,31) takes (0,0)'s height
    };
    for (const Case& k : cases) {
        const GridCell plain = FloorCell(0, k.flags, k.h[0], k.h[1], k.h[2], k.h[3]);
        const GridCell levelled = FloorCell(0, k.flags | 4, k.h[0], k.h[1], k.h[2], k.h[3]);
        EXPECT_NEAR(RawFloor(plain, k.lx, k.lz), k.plain, kTol) << int(k.flags) << " " << k.lx;
        EXPECT_NEAR(RawFloor(levelled, k.lx, k.lz), k.levelled, kTol) << int(k.flags) << " " << k.lx;
    }
}

TEST(CollisionFloor, EqualCornersGiveAnExactUpNormal) {
    // After levelling the three chosen corners are equal although the fourth differs.
    const GridCell c = FloorCell(0, 4, 7, 99, 7, 7);
    const SurfaceHit h = QueryCell(c, 3, 3);
    EXPECT_EQ(h.FloorNormal.x, 0.0f);
    EXPECT_EQ(h.FloorNormal.y, 1.0f);
    EXPECT_EQ(h.FloorNormal.z, 0.0f);
    EXPECT_NEAR(h.Floor, 7 * 1.6f, kTol);
}

TEST(CollisionFloor, RoundingToHundredthsTiesToEven) {
    EXPECT_FLOAT_EQ(RoundToHundredth(0.125f), 0.12f);
    EXPECT_FLOAT_EQ(RoundToHundredth(0.375f), 0.38f);
    EXPECT_FLOAT_EQ(RoundToHundredth(-0.125f), -0.12f);
    EXPECT_FLOAT_EQ(RoundToHundredth(0.707107f), 0.71f);
    EXPECT_FLOAT_EQ(RoundToHundredth(-0.004f), 0.0f);
}

TEST(CollisionFloor, CurvedShapesSplitAlongTheirCurve) {
    // Corners: (0,31) = 10, (31,31) = 20, (31,0) = 30, (0,0) = 40.
    struct Case {
        uint8_t shape;
        float lx, lz, raw;
    };
    const Case cases[] = {
        {1, 0, 10, 30},     {1, 0, 10.5f, 10}, {1, 15.5f, 31.9f, 30},  // curve z = 31(2t - t^2)
        {5, 0, 10, 30},     {5, 0, 10.5f, 10}, {2, 31, 10, 40},
        {2, 31, 11, 20},    {2, 0, 31.5f, 40},  // z = 31(1 - t^2)
        {6, 31, 10, 40},    {6, 31, 11, 20},   {3, 0, 20.9f, 40},
        {3, 0, 21, 20},     {3, 31, 0, 20},  // z = 31(1 - t)^2
        {7, 0, 20.9f, 40},  {7, 0, 21, 20},    {4, 31, 20.9f, 30},
        {4, 31, 21, 10},    {4, 0, 0, 10},  // z = 31 t^2
        {8, 31, 20.9f, 30}, {8, 31, 21, 10},
    };
    for (const Case& k : cases) {
        const GridCell c = FloorCell(k.shape, 0, 10, 20, 30, 40);
        const SurfaceHit h = QueryCell(c, k.lx, k.lz);
        EXPECT_NEAR(h.Floor / 1.6f, k.raw, kTol) << "shape " << int(k.shape) << " at " << k.lx << "," << k.lz;
        ExpectVec(h.FloorNormal, 0, 1, 0);
    }
}

TEST(CollisionFloor, UnknownShapeTakesTheFirstCorner) {
    for (uint8_t shape : {9, 42, 255}) {
        const SurfaceHit h = QueryCell(FloorCell(shape, 0, 10, 20, 30, 40), 20, 20);
        EXPECT_NEAR(h.Floor, 16.0f, kTol);
        ExpectVec(h.FloorNormal, 0, 1, 0);
    }
}

TEST(CollisionCeiling, PlanarTrianglesMeasureDownFromTheTop) {
    struct Case {
        uint8_t flags;
        int16_t c[4];
        float lx, lz, depth;
    };
    const Case cases[] = {
        {1, {0, 31, 0, 0}, 10, 5, 10},   // lz <= 31 - lx: depth grows along x
        {1, {0, 0, 31, 0}, 25, 20, 14},  // other half: depth = x + z - 31
        {0, {0, 0, 31, 0}, 5, 20, 5},    // lz > lx: depth = x
        {0, {0, 0, 31, 0}, 20, 5, 5},    // lz <= lx: depth = z
    };
    for (const Case& k : cases) {
        const GridCell c = CeilingCell(k.flags, k.c[0], k.c[1], k.c[2], k.c[3]);
        EXPECT_NEAR(RawCeilingDepth(c, k.lx, k.lz), k.depth, kTol) << int(k.flags) << " " << k.lx;
    }
    ExpectVec(QueryCell(CeilingCell(1, 0, 31, 0, 0), 10, 5).CeilingNormal, 0.71f, -0.71f, 0.0f);
    const SurfaceHit flat = QueryCell(CeilingCell(0, 20, 20, 20, 20), 3, 3);
    EXPECT_NEAR(flat.Ceiling, 320.0f - 32.0f, kTol);
    EXPECT_EQ(flat.CeilingNormal.y, -1.0f);
}

class CollisionGrid : public ::testing::Test {
protected:
    // Room 0: origin (100, 10, 200), 3 x 4 cells, 5 cells high, floor raw 20 everywhere.
    LevelMap level = MakeLevel({MakeRoom({100, 10, 200}, 3, 4, 5, FlatCell(20, 0))});
};

TEST_F(CollisionGrid, ClampsIntoTheRoomWithExclusiveUpperEdges) {
    CellCoord c = WorldToCell(level, 0, 100 + 96, 200 + 128);
    EXPECT_EQ(c.Column, 2);
    EXPECT_EQ(c.Row, 3);
    c = WorldToCell(level, 0, -1e6f, 1e6f);
    EXPECT_EQ(c.Column, 0);
    EXPECT_EQ(c.Row, 3);
    EXPECT_EQ(CellIndexAt(level, 0, 100 + 40, 200 + 70), 1 * 4 + 2);

    SurfaceHit h = SurfaceQuery(level, 0, 100 + 96, 200 + 40);
    EXPECT_EQ(h.Inside, 0);
    EXPECT_EQ(h.Column, 2);
    EXPECT_EQ(h.Row, 1);
    h = SurfaceQuery(level, 0, 100, 200);  // the lower edge is inside
    EXPECT_EQ(h.Inside, 1);
    h = SurfaceQuery(level, 0, 100 + 95.99f, 200 + 127.99f);
    EXPECT_EQ(h.Inside, 1);
    EXPECT_NEAR(h.Floor, 10 + 32.0f, kTol);
    EXPECT_NEAR(h.Ceiling, 10 + 160.0f, kTol);
}

TEST_F(CollisionGrid, ClampedCoordinateLandsOneUnitInsideTheLastCell) {
    // A slope rising along x in the last column shows where the clamped point landed.
    level.Rooms[0].Cells[2][1] = FloorCell(0, 0, 0, 31, 31, 0);
    const SurfaceHit h = SurfaceQuery(level, 0, 100 + 96, 200 + 32 + 2);
    EXPECT_NEAR(h.Floor, 10 + 31 * 1.6f, kTol);  // lx = 31
}

TEST_F(CollisionGrid, BorderMarksTheOuterRing) {
    EXPECT_EQ(SurfaceQuery(level, 0, 100 + 48, 200 + 48).Border, 0);
    EXPECT_EQ(SurfaceQuery(level, 0, 100 + 48, 200 + 80).Border, 0);
    EXPECT_EQ(SurfaceQuery(level, 0, 100 + 16, 200 + 48).Border, 1);
    EXPECT_EQ(SurfaceQuery(level, 0, 100 + 80, 200 + 48).Border, 1);
    EXPECT_EQ(SurfaceQuery(level, 0, 100 + 48, 200 + 16).Border, 1);
    EXPECT_EQ(SurfaceQuery(level, 0, 100 + 48, 200 + 112).Border, 1);
}

TEST_F(CollisionGrid, CellInfoReportsReferencesAndHalves) {
    GridCell& c = level.Rooms[0].Cells[1][1];
    c = FloorCell(0, 1, 5, 0, 0, 0);
    c.Ceiling[0] = 10;
    c.CeilingFlags = 1;
    c.FloorBlock = 3;
    c.CeilingBlock = 4;
    c.RoomAbove = 7;
    c.RoomBelow = 8;
    c.SideRoom = 9;
    const CellInfo info = CellInfoAt(level, 0, 100 + 32 + 5, 200 + 32 + 28);
    EXPECT_EQ(info.FloorFlags, 1);
    EXPECT_EQ(info.CeilingFlags, 1);
    EXPECT_NEAR(info.FloorReference, 10 + 8.0f, kTol);
    EXPECT_NEAR(info.CeilingReference, 10 + 160 - 16.0f, kTol);
    EXPECT_EQ(info.SideLink, 9);
    EXPECT_EQ(info.LinkBelow, 8);
    EXPECT_EQ(info.LinkAbove, 7);
    EXPECT_EQ(info.FloorCode, 3);
    EXPECT_EQ(info.CeilingCode, 4);
    EXPECT_EQ(info.FloorHalf, 1);    // lz > lx with bit 0 set
    EXPECT_EQ(info.CeilingHalf, 2);  // lz > 31 - lx with bit 0 set
    EXPECT_EQ(CellInfoAt(level, 0, 100 + 32 + 5, 200 + 32 + 20).CeilingHalf, 1);
}

TEST_F(CollisionGrid, SurfacesClosedByCodeAndHalf) {
    GridCell& c = level.Rooms[0].Cells[0][0];
    // Floor bit 0 clear: half 1 is lz <= 31 - lx. Ceiling bit 0 clear: half 1 is lz > lx.
    const float x1 = 100 + 5, z1 = 200 + 2;    // floor half 1, ceiling half 2
    const float x2 = 100 + 20, z2 = 200 + 25;  // floor half 2, ceiling half 1
    c.FloorBlock = -1;
    EXPECT_TRUE(CellSurfacesClosed(level, 0, x1, z1).Floor);
    EXPECT_TRUE(CellSurfacesClosed(level, 0, x2, z2).Floor);
    for (int code : {1, 3}) {
        c.FloorBlock = code;
        EXPECT_TRUE(CellSurfacesClosed(level, 0, x1, z1).Floor);
        EXPECT_FALSE(CellSurfacesClosed(level, 0, x2, z2).Floor);
    }
    for (int code : {2, 4}) {
        c.FloorBlock = 0;
        c.CeilingBlock = code;
        EXPECT_TRUE(CellSurfacesClosed(level, 0, x1, z1).Ceiling);
        EXPECT_FALSE(CellSurfacesClosed(level, 0, x2, z2).Ceiling);
        EXPECT_FALSE(CellSurfacesClosed(level, 0, x1, z1).Floor);
    }
    c.CeilingBlock = 5;
    EXPECT_FALSE(CellSurfacesClosed(level, 0, x1, z1).Ceiling);
    EXPECT_FALSE(CellSurfacesClosed(level, 0, x2, z2).Ceiling);
}

// Room 0: 3 x 3 cells at the origin, 4 cells high, flat floor at 0. Room 1 lies below its
// middle cell (one cell, 4 high, top at 0), room 2 above it, room 3 beside it (same space).
class CollisionLinks : public ::testing::Test {
protected:
    void SetUp() override {
        level = MakeLevel({MakeRoom({0, 0, 0}, 3, 3, 4), MakeRoom({32, -128, 32}, 1, 1, 4, FlatCell(10, 0)),
                           MakeRoom({32, 128, 32}, 1, 1, 4, FlatCell(0, 20)),
                           MakeRoom({32, 0, 32}, 1, 1, 4, FlatCell(40, 0))});
    }
    GridCell& Middle() { return level.Rooms[0].Cells[1][1]; }
    LevelMap level;
};

TEST_F(CollisionLinks, SideLinkMovesTheQueryToTheLinkedRoom) {
    Middle().SideRoom = 4;
    const SurfaceHit h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_EQ(h.Room, 3);
    EXPECT_NEAR(h.Floor, 64.0f, kTol);
    EXPECT_EQ(h.Column, 0);
    EXPECT_EQ(h.Row, 0);
    EXPECT_EQ(h.Inside, 1);
    EXPECT_EQ(h.Border, 1);  // the single cell of room 3 is its own border
}

TEST_F(CollisionLinks, FloorWalkDescendsUnlessTheHalfIsClosed) {
    Middle().RoomBelow = 2;
    level.Rooms[1].Cells[0][0].RoomAbove = 1;
    SurfaceHit h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_EQ(h.Room, 0);  // the ceiling walk climbed back into room 0
    EXPECT_NEAR(h.Floor, -128 + 16.0f, kTol);
    EXPECT_NEAR(h.Ceiling, 128.0f, kTol);
    EXPECT_EQ(h.Column, 1);
    EXPECT_EQ(h.Row, 1);

    // (lx, lz) = (16, 16) lies in floor half 2 (bit 0 clear).
    Middle().FloorBlock = 2;
    EXPECT_NEAR(SurfaceQuery(level, 0, 48, 48).Floor, 0.0f, kTol);
    Middle().FloorBlock = 1;
    EXPECT_NEAR(SurfaceQuery(level, 0, 48, 48).Floor, -112.0f, kTol);
    // The whole-cell code closes the cell for CellSurfacesClosed but not for this walk.
    Middle().FloorBlock = -1;
    EXPECT_TRUE(CellSurfacesClosed(level, 0, 48, 48).Floor);
    EXPECT_NEAR(SurfaceQuery(level, 0, 48, 48).Floor, -112.0f, kTol);
}

TEST_F(CollisionLinks, CeilingWalkClimbsUnlessTheHalfIsClosed) {
    Middle().RoomAbove = 3;
    SurfaceHit h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_EQ(h.Room, 2);
    EXPECT_NEAR(h.Floor, 0.0f, kTol);  // the floor stays with room 0
    EXPECT_NEAR(h.Ceiling, 256 - 32.0f, kTol);
    EXPECT_EQ(h.Column, 0);

    // (16, 16) with ceiling bit 0 clear: lz > lx fails, so half 2.
    Middle().CeilingBlock = 4;
    h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_EQ(h.Room, 0);
    EXPECT_NEAR(h.Ceiling, 128.0f, kTol);
    Middle().CeilingBlock = -1;  // not a half code: the walk climbs
    EXPECT_EQ(SurfaceQuery(level, 0, 48, 48).Room, 2);
}

TEST_F(CollisionLinks, ClimbingIntoASmallerRoomClampsAndClearsInside) {
    for (auto& column : level.Rooms[0].Cells)
        for (GridCell& c : column) c.RoomAbove = 3;
    const SurfaceHit h = SurfaceQuery(level, 0, 80, 16);  // room 2 covers only x, z in [32, 64)
    EXPECT_EQ(h.Room, 2);
    EXPECT_EQ(h.Inside, 0);
    EXPECT_NEAR(h.Floor, 0.0f, kTol);
}

TEST_F(CollisionLinks, LinkCyclesEndAtTheLastRoomReached) {
    Middle().SideRoom = 4;
    level.Rooms[3].Cells[0][0].SideRoom = 1;
    SurfaceHit h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_TRUE(h.Room == 0 || h.Room == 3);

    Middle().SideRoom = 0;
    Middle().RoomBelow = 2;
    level.Rooms[1].Cells[0][0].RoomBelow = 1;
    h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_TRUE(h.Room == 0 || h.Room == 1);

    Middle().RoomAbove = 3;
    level.Rooms[2].Cells[0][0].RoomAbove = 1;
    h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_GE(h.Room, 0);
}

TEST_F(CollisionLinks, LinksToMissingRoomsAreIgnored) {
    Middle().SideRoom = 200;
    Middle().RoomBelow = 5;
    Middle().RoomAbove = 255;
    const SurfaceHit h = SurfaceQuery(level, 0, 48, 48);
    EXPECT_EQ(h.Room, 0);
    EXPECT_NEAR(h.Floor, 0.0f, kTol);
    EXPECT_NEAR(h.Ceiling, 128.0f, kTol);
    EXPECT_FALSE(SegmentBlockedByLevel({48, 64, 48}, {48, 32, 48}, 0, level, 8));
}

TEST(CollisionEmptyRoom, RoomWithoutCellsAnswersFromItsBox) {
    const LevelMap level = MakeLevel({MakeRoom({5, 10, 5}, 0, 3, 2)});
    const SurfaceHit h = SurfaceQuery(level, 0, 7, 7);
    EXPECT_NEAR(h.Floor, 10.0f, kTol);
    EXPECT_NEAR(h.Ceiling, 74.0f, kTol);
    EXPECT_EQ(h.Inside, 0);
    EXPECT_EQ(WorldToCell(level, 0, 7, 7).Column, 0);
    EXPECT_FALSE(CellSurfacesClosed(level, 0, 7, 7).Floor);
    EXPECT_EQ(CellInfoAt(level, 0, 7, 7).SideLink, 0);
}

// Room 0: 6 x 3 cells, 4 high (ceiling 128), flat floor at 0. Cell (3, 1) has its floor at
// 80 (raw 50); cell (4, 1) is a wall (floor up to the ceiling).
class CollisionSegments : public ::testing::Test {
protected:
    void SetUp() override {
        level = MakeLevel({MakeRoom({0, 0, 0}, 6, 3, 4)});
        level.Rooms[0].Cells[3][1] = FlatCell(50, 0);
        level.Rooms[0].Cells[4][1] = FlatCell(80, 0);
    }
    LevelMap level;
};

TEST_F(CollisionSegments, LevelTestBlocksOnARaisedFloor) {
    EXPECT_TRUE(SegmentBlockedByLevel({40, 64, 48}, {120, 64, 48}, 0, level, 8));
    EXPECT_FALSE(SegmentBlockedByLevel({40, 100, 48}, {120, 100, 48}, 0, level, 8));
    EXPECT_FALSE(SegmentBlockedByLevel({40, 64, 16}, {120, 64, 16}, 0, level, 8));  // row 0 is flat
    EXPECT_TRUE(LightSegmentBlocked({40, 64, 48}, {176, 64, 48}, 0, level, 16));
}

TEST_F(CollisionSegments, SamplesExactlyOnASurfaceDifferBetweenTheTwoTests) {
    // y = 80 touches the raised floor; y = 128 touches the ceiling everywhere.
    EXPECT_TRUE(SegmentBlockedByLevel({40, 80, 48}, {120, 80, 48}, 0, level, 8));
    EXPECT_FALSE(LightSegmentBlocked({40, 80, 48}, {120, 80, 48}, 0, level, 8));
    EXPECT_TRUE(SegmentBlockedByLevel({40, 128, 48}, {80, 128, 48}, 0, level, 8));
    EXPECT_FALSE(LightSegmentBlocked({40, 128, 48}, {80, 128, 48}, 0, level, 8));
    EXPECT_TRUE(SegmentBlockedByLevel({40, 0, 48}, {80, 0, 48}, 0, level, 8));
    EXPECT_FALSE(LightSegmentBlocked({40, 0, 48}, {80, 0, 48}, 0, level, 8));
}

TEST_F(CollisionSegments, SamplingStopsShortOfTheEndUnlessTheLengthIsAMultiple) {
    // The end point (97, 64) is inside the raised cell, which starts at x = 96.
    EXPECT_TRUE(SegmentBlockedByLevel({41, 64, 48}, {97, 64, 48}, 0, level, 8));   // 56: end sampled
    EXPECT_FALSE(SegmentBlockedByLevel({42, 64, 48}, {97, 64, 48}, 0, level, 8));  // 55: last at 90
    EXPECT_FALSE(SegmentBlockedByLevel({42, 64, 48}, {97, 64, 48}, 0, level, 60));
    EXPECT_TRUE(SegmentBlockedByLevel({42, 64, 48}, {97, 64, 48}, 0, level, 55));
}

TEST_F(CollisionSegments, LightTargetOutsideTheOpenSpaceIsNeverBlocked) {
    // The target lies under the raised floor, behind which the level test sees a blocker.
    EXPECT_TRUE(SegmentBlockedByLevel({40, 64, 48}, {112, 64, 48}, 0, level, 16));
    EXPECT_FALSE(LightSegmentBlocked({40, 64, 48}, {112, 64, 48}, 0, level, 16));
    EXPECT_FALSE(LightSegmentBlocked({40, 64, 48}, {60, 130, 48}, 0, level, 16));  // above the ceiling
}

TEST_F(CollisionSegments, LightRayNoLongerThanTheStepIsNeverBlocked) {
    // From inside the wall to open space beside it.
    const Vec3 inWall{136, 64, 48}, open{176, 64, 48};
    EXPECT_TRUE(SegmentBlockedByLevel(inWall, open, 0, level, 64));
    EXPECT_FALSE(LightSegmentBlocked(inWall, open, 0, level, 64));
    EXPECT_FALSE(LightSegmentBlocked(inWall, open, 0, level, 40));  // exactly the step
}

TEST_F(CollisionSegments, LightSkipsLeadingSamplesOutsideTheRoomsSpace) {
    // A light buried in the wall shines out of it; one across the wall is blocked.
    EXPECT_FALSE(LightSegmentBlocked({130, 64, 48}, {176, 64, 48}, 0, level, 8));
    EXPECT_TRUE(LightSegmentBlocked({40, 64, 48}, {176, 64, 48}, 0, level, 8));
    // Border cells are skipped too: a ramp in the border cell (0, 1) rises above the ray.
    level.Rooms[0].Cells[0][1] = FloorCell(0, 0, 0, 62, 62, 0);
    EXPECT_TRUE(SegmentBlockedByLevel({2, 20, 48}, {60, 20, 48}, 0, level, 8));
    EXPECT_FALSE(LightSegmentBlocked({2, 20, 48}, {60, 20, 48}, 0, level, 8));
    // Outside the grid the samples are clamped and skipped until they enter it.
    EXPECT_FALSE(LightSegmentBlocked({-60, 20, 48}, {60, 20, 48}, 0, level, 8));
}

TEST_F(CollisionSegments, LevelTestFollowsLinksAsTheRayPasses) {
    // Room 1 lies below the middle of row 1 (cell (2, 1)); its one cell links back up.
    level.Rooms.push_back(MakeRoom({64, -128, 32}, 1, 1, 4));
    level.RoomCount = 2;
    level.Rooms[0].Cells[2][1].RoomBelow = 2;
    level.Rooms[1].Cells[0][0].RoomAbove = 1;
    EXPECT_FALSE(SegmentBlockedByLevel({80, 64, 48}, {80, -100, 48}, 0, level, 8));
    // Closing the half under the ray (half 2 at (16, 16)) turns the floor at 0 into a blocker.
    level.Rooms[0].Cells[2][1].FloorBlock = 2;
    EXPECT_TRUE(SegmentBlockedByLevel({80, 64, 48}, {80, -100, 48}, 0, level, 8));
}

TEST_F(CollisionSegments, DegenerateStepsAndSegmentsTerminate) {
    EXPECT_FALSE(SegmentBlockedByLevel({40, 64, 48}, {40, 64, 48}, 0, level, 8));
    EXPECT_TRUE(SegmentBlockedByLevel({40, 64, 48}, {120, 64, 48}, 0, level, 0));
    EXPECT_TRUE(SegmentBlockedByLevel({40, 64, 48}, {120, 64, 48}, 0, level, -3));
    EXPECT_FALSE(LightSegmentBlocked({40, 64, 48}, {40, 64, 48}, 0, level, 0));
}

class CollisionObjects : public ::testing::Test {
protected:
    void SetUp() override {
        file.Map = MakeLevel({MakeRoom({0, 0, 0}, 4, 4, 4)});
        ModelRecord box;
        box.BoundsMin = {-5, 0, -5};  // scaled by 3.2: 16 units each side, 32 high
        box.BoundsMax = {5, 10, 5};
        ModelRecord slab;
        slab.BoundsMin = {0, 0, -1};
        slab.BoundsMax = {10, 10, 1};
        file.Models = {box, slab};
        file.Objects = {ObjectTemplate{77, 0, 1001, 0, 0}, ObjectTemplate{78, 0, 1001, 0, 1}};
        ids.Add(0, 77);
        ids.Add(1, 78);
    }
    void Place(int32_t id, Vec3 cells, int16_t turn = 0) {
        ObjectInstance inst{};
        inst.ObjectId = id;
        inst.Turn = turn;
        inst.Position = cells;
        LevelRoom& r = file.Map.Rooms[0];
        r.Instances.push_back(inst);
        r.InstanceCount = static_cast<int32_t>(r.Instances.size());
    }
    LevelRecord file;
    IdList ids;
};

TEST_F(CollisionObjects, ScaledBoundsAtTheInstancePositionBlock) {
    EXPECT_FALSE(SegmentBlockedByObjects({20, 10, 32}, {120, 10, 32}, 0, file, ids));  // no objects
    Place(77, {2, 0, 1});                                                              // box (48, 0, 16) - (80, 32, 48)
    EXPECT_TRUE(SegmentBlockedByObjects({20, 10, 32}, {120, 10, 32}, 0, file, ids));
    EXPECT_FALSE(SegmentBlockedByObjects({20, 40, 32}, {120, 40, 32}, 0, file, ids));
    EXPECT_FALSE(SegmentBlockedByObjects({20, 10, 50}, {120, 10, 50}, 0, file, ids));
    EXPECT_FALSE(SegmentBlockedByObjects({20, 10, 32}, {40, 10, 32}, 0, file, ids));  // stops short
    file.Map.Rooms[0].InstanceCount = 0;
    EXPECT_FALSE(SegmentBlockedByObjects({20, 10, 32}, {120, 10, 32}, 0, file, ids));
}

TEST_F(CollisionObjects, TurnIsNotAppliedToTheBox) {
    Place(78, {2, 0, 1}, 2);  // x 64 - 96, z 28.8 - 35.2 whatever the turn
    EXPECT_TRUE(SegmentBlockedByObjects({90, 5, 0}, {90, 5, 60}, 0, file, ids));
    EXPECT_FALSE(SegmentBlockedByObjects({60, 5, 45}, {60, 5, 60}, 0, file, ids));
}

TEST_F(CollisionObjects, UnknownIdsAndTemplatesAreSkipped) {
    Place(99, {2, 0, 1});
    file.Objects.push_back(ObjectTemplate{80, 0, 1001, 0, 17});  // model index out of range
    ids.Add(2, 80);
    ids.Add(5, 81);  // template index out of range
    Place(80, {2, 0, 1});
    Place(81, {2, 0, 1});
    EXPECT_FALSE(SegmentBlockedByObjects({20, 10, 32}, {120, 10, 32}, 0, file, ids));
    Place(77, {2, 0, 1});
    EXPECT_TRUE(SegmentBlockedByObjects({20, 10, 32}, {120, 10, 32}, 0, file, ids));
    EXPECT_FALSE(SegmentBlockedByObjects({64, 10, 32}, {64, 10, 32}, 0, file, ids));
}

TEST(CollisionWrittenLevel, QueriesAgreeAfterAWriteAndReadBack) {
    LevelFileData data;
    data.StripB.Width = 4;
    data.StripB.Height = 4;
    data.StripB.Pixels.assign(16, 0);
    data.Level.StripBTileCount = 1;
    LevelMap& map = data.Level.Map;
    map = MakeLevel({MakeRoom({0, 0, 0}, 2, 2, 4), MakeRoom({32, -128, 0}, 1, 2, 4, FlatCell(10, 0))});
    map.Rooms[0].Cells[1][0] = FloorCell(0, 4, 0, 0, 31, 0);  // levelled slope, (x + z) raw
    map.Rooms[0].Cells[1][1].RoomBelow = 2;
    map.Rooms[1].Cells[0][1].RoomAbove = 1;

    LevelFileData back;
    const std::vector<uint8_t> bytes = WriteLevel(data);
    ParseLevel(bytes.data(), bytes.size(), "written.lev", back);
    const LevelMap& m = back.Level.Map;

    SurfaceHit h = SurfaceQuery(m, 0, 32 + 10, 5);
    EXPECT_NEAR(h.Floor, 15 * 1.6f, kTol);
    EXPECT_EQ(h.Border, 1);
    h = SurfaceQuery(m, 0, 48, 48);
    EXPECT_NEAR(h.Floor, -112.0f, kTol);
    EXPECT_NEAR(h.Ceiling, 128.0f, kTol);
    EXPECT_EQ(h.Room, 0);
    EXPECT_FALSE(SegmentBlockedByLevel({48, 64, 48}, {48, -100, 48}, 0, m, 8));
    EXPECT_TRUE(SegmentBlockedByLevel({16, 64, 48}, {16, -100, 48}, 0, m, 8));
}

// Runs a shell command; returns its exit status and standard output.
int RunCommand(const std::string& cmd, std::string& out) {
    out.clear();
    FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) return -1;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CollisionTool, SurfaceCommandPrintsTheQueryAsJson) {
    const std::filesystem::path tool = std::filesystem::path(DV_BINARY_DIR) / "dvtool";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "dvtool not built";
    LevelFileData data;
    data.StripB.Width = 4;
    data.StripB.Height = 4;
    data.StripB.Pixels.assign(16, 0);
    data.Level.StripBTileCount = 1;
    data.Level.Map = MakeLevel({MakeRoom({0, 0, 0}, 2, 2, 4)});
    data.Level.Map.Rooms[0].Cells[1][0] = FloorCell(0, 0, 0, 31, 31, 0);  // raw = lx
    const std::filesystem::path file = std::filesystem::path(DV_BINARY_DIR) / "collision_tool_test.lev";
    WriteLevelFile(file.string(), data);

    std::string out;
    ASSERT_EQ(RunCommand(tool.string() + " surface " + file.string() + " 0 64 -3", out), 0);
    EXPECT_NE(out.find("\"floor\": 49.6,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"floorNormal\": [-0.71, 0.71, 0],"), std::string::npos) << out;
    EXPECT_NE(out.find("\"ceiling\": 128,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"inside\": false,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"column\": 1,"), std::string::npos) << out;
    EXPECT_EQ(RunCommand(tool.string() + " surface " + file.string() + " 1 0 0", out), 2);
    EXPECT_EQ(RunCommand(tool.string() + " surface " + file.string() + " 0 x 0", out), 2);
    EXPECT_EQ(RunCommand(tool.string() + " surface " + file.string() + ".missing 0 0 0", out), 2);
    EXPECT_TRUE(out.empty());
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace dv
