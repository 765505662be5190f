// Keeping a moving point's room and cell current as it crosses the links between rooms: the
// character's and the camera's, once per tick.
#pragma once

#include <cstdint>

#include "motion/collision.h"

namespace dv {

struct RoomCell {
    int32_t Room;
    CellCoord Cell;
};

// The room and cell of (x, z), starting in `room`: the point's cell clamped into the room,
// then a side link followed once, then links below while `referenceY` is under the cell's
// floor reference and links above while it is over the ceiling reference (each only where
// that surface is open). A room without cells ends the walk where it stands.
RoomCell TrackRoom(const LevelMap& level, int32_t room, float x, float referenceY, float z);

}  // namespace dv
