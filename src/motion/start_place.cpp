#include "motion/start_place.h"

#include <cstdio>

#include "motion/collision.h"

namespace dv {

namespace {

std::string Units(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(v));
    return text;
}

}  // namespace

PlaceResult PlaceOnFloor(const LevelMap& level, int room, float x, float z) {
    PlaceResult out;
    const LevelRoom& r = level.Rooms[static_cast<size_t>(room)];
    const int cellsX = r.Header.CellsX, cellsZ = r.Header.CellsZ;
    if (!(x >= 0 && z >= 0 && x < static_cast<float>(cellsX) && z < static_cast<float>(cellsZ))) {
        out.Fault = PlaceFault::OutsideRoom;
        return out;
    }
    const Vec3 origin = r.Header.Origin;
    const float wx = origin.x + x * kCellSize, wz = origin.z + z * kCellSize;
    int at = room;
    const GridCell* cell = CellAt(level, at, WorldToCell(level, at, wx, wz));
    // A door cell lies inside the room it opens into; an open floor falls through to the room below.
    if (cell != nullptr && LinkedRoom(level, cell->SideRoom) >= 0) {
        at = LinkedRoom(level, cell->SideRoom);
        cell = CellAt(level, at, WorldToCell(level, at, wx, wz));
    }
    for (int hops = 0; cell != nullptr && hops < kMaxRoomHops; ++hops) {
        const int below = LinkedRoom(level, cell->RoomBelow);
        if (below < 0 || CellSurfacesClosed(level, at, wx, wz).Floor) break;
        at = below;
        cell = CellAt(level, at, WorldToCell(level, at, wx, wz));
    }
    if (cell == nullptr || cell->FloorBlock == -1) {
        out.Fault = PlaceFault::Solid;
        return out;
    }
    const SurfaceHit hit = SurfaceQuery(level, at, wx, wz);
    out.Headroom = hit.Ceiling - hit.Floor;
    out.Start = {at, {wx, hit.Floor, wz}};
    if (out.Headroom <= 0) out.Fault = PlaceFault::Solid;
    else if (out.Headroom < kStandingHeadroom) out.Fault = PlaceFault::NoHeadroom;
    return out;
}

std::string PlaceFaultText(const LevelMap& level, int room, const PlaceResult& result) {
    switch (result.Fault) {
        case PlaceFault::None: return "is open";
        case PlaceFault::Solid: return "is solid";
        case PlaceFault::NoHeadroom:
            return "has " + Units(result.Headroom) + " units of headroom (the character needs " +
                   Units(kStandingHeadroom) + ")";
        case PlaceFault::OutsideRoom: {
            const RoomHeader& h = level.Rooms[static_cast<size_t>(room)].Header;
            return "lies outside the room's " + std::to_string(h.CellsX) + " x " + std::to_string(h.CellsZ) + " cells";
        }
    }
    return "";
}

}  // namespace dv
