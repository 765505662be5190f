// The level checker: what a level source may say without the compiler refusing it, but which
// leaves the level broken or odd to play. Every warning is one line "FILE:LINE: message".
#pragma once

#include <string>
#include <vector>

#include "tools/level/level_source.h"
#include "world/level_file.h"

namespace dv {

// Checks `source` against `compiled`, the level the compiler made of it:
//  - the start without headroom, or not on the floor of its room;
//  - rooms that no portal path reaches from the start;
//  - a level without an exit, and exits that no chain of the character's moves reaches from
//    the start (ExitReachable below says how exact that is);
//  - lights and ambience emitters outside their room, or whose range reaches into another
//    room through a wall;
//  - objects walled into solid cells, or outside their room;
//  - door cells whose opposite room has no door cell over the opening.
std::vector<std::string> CheckLevel(const LevelSource& source, const LevelFileData& compiled);

// The walk over the cells that the character can stand in, from the start: the cells are
// sampled at their centres; a neighbour is reached by walking or stepping (up to 8 units),
// climbing (up to 36 units with 25 units of room on top), a standing jump to a ledge (up to
// kGrabReach above), dropping any depth, or a running jump over one or two cells to a floor
// no higher than the ledge reach. It leaves out what would make it stricter than the
// character (low ceilings over a jump, the exact take-off point, slopes between centres), so a
// reachable answer may still need the author's replay, while an unreachable one is certain
// at cell-centre precision. True for each exit cell reached, in the compiled map's rooms.
struct ExitReach {
    int Room = 0, Column = 0, Row = 0;
    bool Reached = false;
};
std::vector<ExitReach> ExitReachable(const LevelMap& map);

inline constexpr float kGrabReach = 56.0f;  // highest ledge above the floor a standing jump grabs (units)

}  // namespace dv
