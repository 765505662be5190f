#include "motion/room_tracking.h"

namespace dv {

namespace {

// Moves `at` into the room that `link` names, at the point's cell; false for no link.
bool Follow(const LevelMap& level, int link, float x, float z, RoomCell& at) {
    const int room = LinkedRoom(level, link);
    if (room < 0) return false;
    at = {room, WorldToCell(level, room, x, z)};
    return true;
}

}  // namespace

RoomCell TrackRoom(const LevelMap& level, int32_t room, float x, float referenceY, float z) {
    RoomCell at{room, WorldToCell(level, room, x, z)};
    const GridCell* start = CellAt(level, at.Room, at.Cell);
    if (start == nullptr) return at;
    Follow(level, start->SideRoom, x, z, at);

    // Each hop moves to another room; a level whose links form a loop cannot hold us here.
    for (int hop = 0; hop < kMaxRoomHops; ++hop) {
        const GridCell* c = CellAt(level, at.Room, at.Cell);
        if (c == nullptr) return at;
        const float floor = CellFloorReference(level.Rooms[at.Room], *c);
        if (CellSurfacesClosed(level, at.Room, x, z).Floor || referenceY >= floor) break;
        if (!Follow(level, c->RoomBelow, x, z, at)) break;
    }
    for (int hop = 0; hop < kMaxRoomHops; ++hop) {
        const GridCell* c = CellAt(level, at.Room, at.Cell);
        if (c == nullptr) return at;
        const float ceiling = CellCeilingReference(level.Rooms[at.Room], *c);
        if (CellSurfacesClosed(level, at.Room, x, z).Ceiling || !(referenceY > ceiling)) break;
        if (!Follow(level, c->RoomAbove, x, z, at)) break;
    }
    return at;
}

}  // namespace dv
