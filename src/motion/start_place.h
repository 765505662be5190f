// Putting the character down at a place of the level given in cells: on the floor there, with
// room to stand. The game's --at and the level checker judge a start the same way.
#pragma once

#include <string>

#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

// Headroom the character needs to stand (units).
inline constexpr float kStandingHeadroom = 25.0f;

struct PlacedStart {
    int Room = 0;
    Vec3 Position{};
};

enum class PlaceFault : uint8_t {
    None,
    OutsideRoom,  // the cells lie outside the room's grid
    Solid,        // a wall block
    NoHeadroom,   // floor and ceiling closer than kStandingHeadroom
};

struct PlaceResult {
    PlaceFault Fault = PlaceFault::None;
    PlacedStart Start;
    float Headroom = 0;  // units, for the message of NoHeadroom
};

// The floor under (x, z) cells of room `room` (relative to its origin). A door cell resolves
// in the room it opens into; an open floor drops to the room below, as the character would.
PlaceResult PlaceOnFloor(const LevelMap& level, int room, float x, float z);

// What is wrong with the place, as the end of a message: "is solid", "has 12.8 units of
// headroom (the character needs 25)", "lies outside the room's 9 x 6 cells".
std::string PlaceFaultText(const LevelMap& level, int room, const PlaceResult& result);

}  // namespace dv
