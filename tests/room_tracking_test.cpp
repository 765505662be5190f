// Room tracking and cell lookup: the character's and the camera's room kept as they cross the
// links between rooms, on rooms written with the level writer and read back.
#include <gtest/gtest.h>

#include "character_harness.h"
#include "motion/room_tracking.h"

namespace dv::test {
namespace {

// Room 0: 4 x 4 cells at the origin, 4 cells high. Room 1: the same below it. Room 2: the same
// beside it in x; room 0's column 3 links to it.
std::vector<LevelRoom> ThreeRooms() {
    std::vector<LevelRoom> rooms;
    rooms.push_back(Room({0, 0, 0}, 4, 4, 4));
    rooms.push_back(Room({0, -128, 0}, 4, 4, 4));
    rooms.push_back(Room({128, 0, 0}, 4, 4, 4));
    for (int row = 0; row < 4; ++row) rooms[0].Cells[3][row].SideRoom = 3;
    rooms[0].Cells[1][1].RoomBelow = 2;
    rooms[1].Cells[1][1].RoomAbove = 1;
    return rooms;
}

TEST(RoomTracking, StaysInTheRoomAndClampsTheCellIntoItsGrid) {
    const LevelMap level = WrittenLevel(ThreeRooms());
    RoomCell at = TrackRoom(level, 0, 40, 10, 72);
    EXPECT_EQ(at.Room, 0);
    EXPECT_EQ(at.Cell.Column, 1);
    EXPECT_EQ(at.Cell.Row, 2);
    at = TrackRoom(level, 0, -50, 10, 500);  // outside: the nearest cell of the room
    EXPECT_EQ(at.Room, 0);
    EXPECT_EQ(at.Cell.Column, 0);
    EXPECT_EQ(at.Cell.Row, 3);
}

TEST(RoomTracking, FollowsASideLinkOnceIntoTheNeighbour) {
    const LevelMap level = WrittenLevel(ThreeRooms());
    const RoomCell at = TrackRoom(level, 0, 140, 10, 40);  // past room 0's edge, in room 2
    EXPECT_EQ(at.Room, 2);
    EXPECT_EQ(at.Cell.Column, 0);
    EXPECT_EQ(at.Cell.Row, 1);
}

TEST(RoomTracking, DescendsBelowTheFloorAndClimbsAboveTheCeiling) {
    const LevelMap level = WrittenLevel(ThreeRooms());
    EXPECT_EQ(TrackRoom(level, 0, 48, 0, 48).Room, 0);     // on the floor: stays
    EXPECT_EQ(TrackRoom(level, 0, 48, -1, 48).Room, 1);    // under it: the room below
    EXPECT_EQ(TrackRoom(level, 0, 16, -1, 16).Room, 0);    // no link under this cell
    EXPECT_EQ(TrackRoom(level, 1, 48, 0, 48).Room, 1);     // at the ceiling: stays
    EXPECT_EQ(TrackRoom(level, 1, 48, 0.5f, 48).Room, 0);  // over it: the room above
}

TEST(RoomTracking, AClosedFloorOrCeilingKeepsTheRoom) {
    std::vector<LevelRoom> rooms = ThreeRooms();
    rooms[0].Cells[1][1].FloorBlock = -1;
    rooms[1].Cells[1][1].CeilingBlock = -1;
    const LevelMap level = WrittenLevel(std::move(rooms));
    EXPECT_EQ(TrackRoom(level, 0, 48, -1, 48).Room, 0);
    EXPECT_EQ(TrackRoom(level, 1, 48, 0.5f, 48).Room, 1);
}

// Records the reader never gives (a link past the last room, a room without cells) stop the
// walk where it stands instead of reading outside the level.
TEST(RoomTracking, BadLinksAndRoomsWithoutCellsStopTheWalk) {
    LevelMap level = WrittenLevel(ThreeRooms());
    level.Rooms[0].Cells[1][1].RoomBelow = 9;
    level.Rooms[0].Cells[0][0].SideRoom = 200;
    EXPECT_EQ(TrackRoom(level, 0, 48, -1, 48).Room, 0);
    EXPECT_EQ(TrackRoom(level, 0, 8, 10, 8).Room, 0);
    level.Rooms[2].Cells.clear();
    level.Rooms[2].Header.CellsX = level.Rooms[2].Header.CellsZ = 0;
    const RoomCell at = TrackRoom(level, 2, 140, 10, 40);
    EXPECT_EQ(at.Room, 2);
    EXPECT_EQ(at.Cell.Column, 0);
    EXPECT_EQ(at.Cell.Row, 0);
}

TEST(CellLookup, CellAtChecksTheRoomAndTheGrid) {
    const LevelMap level = WrittenLevel(ThreeRooms());
    EXPECT_EQ(CellAt(level, 0, {1, 1}), &level.Rooms[0].Cells[1][1]);
    EXPECT_EQ(CellAt(level, 0, {4, 0}), nullptr);
    EXPECT_EQ(CellAt(level, 0, {0, -1}), nullptr);
    EXPECT_EQ(CellAt(level, 3, {0, 0}), nullptr);
    EXPECT_EQ(CellAt(level, -1, {0, 0}), nullptr);
    EXPECT_EQ(LinkedRoom(level, 0), -1);
    EXPECT_EQ(LinkedRoom(level, 3), 2);
    EXPECT_EQ(LinkedRoom(level, 4), -1);
    // Reference heights: the origin plus the first floor corner, the top less the first
    // ceiling corner (raw heights in twentieths of a cell).
    GridCell c = Cell(10, 20);
    EXPECT_FLOAT_EQ(CellFloorReference(level.Rooms[1], c), -128.0f + 16.0f);
    EXPECT_FLOAT_EQ(CellCeilingReference(level.Rooms[1], c), 0.0f - 32.0f);
}

}  // namespace
}  // namespace dv::test
