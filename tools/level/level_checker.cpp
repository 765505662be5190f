#include "tools/level/level_checker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <set>

#include "motion/collision.h"
#include "motion/start_place.h"

namespace dv {

namespace {

constexpr float kStep = 8.0f;         // walked or stepped without climbing (units)
constexpr float kClimb = 36.0f;       // the highest climb
constexpr int kRunningJumpCells = 2;  // cells of gap a running jump crosses

struct Warning {
    int Line;
    std::string Text;
};

std::string Number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
}

std::string CellText(int x, int z) { return "(" + std::to_string(x) + ", " + std::to_string(z) + ")"; }

// Where a character standing at (x, z) over room `room` stands: through a door cell into the
// room it opens into, down open floors, and up into the room above when the floor lies there.
struct Spot {
    int Room = 0;
    CellCoord Cell{0, 0};
    float Floor = 0, Ceiling = 0;
    bool Standable = false;
    bool Hangable = false;  // open, if too low to stand in: its edge can be held and shimmied along
    bool Exit = false;
    bool Hanging = false;  // reached hanging from its edge rather than standing
};

Spot Resolve(const LevelMap& map, int room, float x, float z) {
    Spot s;
    const GridCell* cell = CellAt(map, room, WorldToCell(map, room, x, z));
    if (cell != nullptr && LinkedRoom(map, cell->SideRoom) >= 0) room = LinkedRoom(map, cell->SideRoom);
    for (int hops = 0; hops < kMaxRoomHops; ++hops) {
        cell = CellAt(map, room, WorldToCell(map, room, x, z));
        const int below = cell != nullptr ? LinkedRoom(map, cell->RoomBelow) : -1;
        if (below < 0 || CellSurfacesClosed(map, room, x, z).Floor) break;
        room = below;
    }
    const SurfaceHit hit = SurfaceQuery(map, room, x, z);
    for (int hops = 0; hops < kMaxRoomHops; ++hops) {
        const CellInfo info = CellInfoAt(map, room, x, z);
        const int above = LinkedRoom(map, info.LinkAbove);
        if (above < 0 || CellSurfacesClosed(map, room, x, z).Ceiling ||
            hit.Floor + kStandingHeadroom <= info.CeilingReference)
            break;
        room = above;
    }
    s.Room = room;
    s.Cell = WorldToCell(map, room, x, z);
    cell = CellAt(map, room, s.Cell);
    s.Floor = hit.Floor;
    s.Ceiling = hit.Ceiling;
    s.Hangable = cell != nullptr && cell->FloorBlock != -1 && hit.Ceiling > hit.Floor;
    s.Standable = s.Hangable && hit.Ceiling - hit.Floor >= kStandingHeadroom;
    s.Exit = cell != nullptr && cell->Exit != 0;
    return s;
}

bool InsideGrid(const LevelRoom& r, float x, float z) {
    const Vec3 o = r.Header.Origin;
    return x >= o.x && z >= o.z && x < o.x + r.Header.CellsX * kCellSize && z < o.z + r.Header.CellsZ * kCellSize;
}

float RoomTop(const LevelRoom& r) { return r.Header.Origin.y + r.Header.HeightCells * kCellSize; }

Vec3 CellCentre(const LevelMap& map, int room, const CellCoord& c) {
    const Vec3 o = map.Rooms[static_cast<size_t>(room)].Header.Origin;
    return {o.x + (static_cast<float>(c.Column) + 0.5f) * kCellSize, 0,
            o.z + (static_cast<float>(c.Row) + 0.5f) * kCellSize};
}

// Rooms a portal path reaches from `start`.
std::vector<bool> RoomsSeen(const LevelMap& map, int start) {
    std::vector<bool> seen(map.Rooms.size(), false);
    std::deque<int> open{start};
    seen[static_cast<size_t>(start)] = true;
    while (!open.empty()) {
        const LevelRoom& r = map.Rooms[static_cast<size_t>(open.front())];
        open.pop_front();
        for (const Portal& p : r.Portals) {
            if (p.TargetRoom >= map.Rooms.size() || seen[p.TargetRoom]) continue;
            seen[p.TargetRoom] = true;
            open.push_back(p.TargetRoom);
        }
    }
    return seen;
}

// Rooms joined to `room` by a door or a shaft of its cells, and the room itself.
std::set<int> JoinedRooms(const LevelMap& map, int room) {
    std::set<int> joined{room};
    for (const auto& column : map.Rooms[static_cast<size_t>(room)].Cells) {
        for (const GridCell& c : column) {
            for (const uint8_t link : {c.SideRoom, c.RoomAbove, c.RoomBelow})
                if (LinkedRoom(map, link) >= 0) joined.insert(LinkedRoom(map, link));
        }
    }
    return joined;
}

// Whether rooms `a` and `b` lie side by side or one over the other: their boxes, grown by a
// cell, overlap.
bool RoomsTouch(const LevelRoom& a, const LevelRoom& b) {
    auto span = [](float lo, float size, float lo2, float size2) {
        return lo - kCellSize < lo2 + size2 && lo2 < lo + size + kCellSize;
    };
    const Vec3 oa = a.Header.Origin, ob = b.Header.Origin;
    return span(oa.x, a.Header.CellsX * kCellSize, ob.x, b.Header.CellsX * kCellSize) &&
           span(oa.z, a.Header.CellsZ * kCellSize, ob.z, b.Header.CellsZ * kCellSize) &&
           span(oa.y, a.Header.HeightCells * kCellSize, ob.y, b.Header.HeightCells * kCellSize);
}

// The first room beside `room` but not joined to it whose open space lies within `radius` of
// `p`, so that what reaches it passes a wall; -1 for none.
int RoomReachedThroughWall(const LevelMap& map, int room, const Vec3& p, float radius) {
    const std::set<int> joined = JoinedRooms(map, room);
    for (size_t b = 0; b < map.Rooms.size(); ++b) {
        if (joined.count(static_cast<int>(b)) != 0) continue;
        const LevelRoom& r = map.Rooms[b];
        if (!RoomsTouch(map.Rooms[static_cast<size_t>(room)], r)) continue;
        const Vec3 o = r.Header.Origin;
        for (int x = 1; x + 1 < r.Header.CellsX; ++x) {
            for (int z = 1; z + 1 < r.Header.CellsZ; ++z) {
                const GridCell& c = r.Cells[static_cast<size_t>(x)][static_cast<size_t>(z)];
                if (c.FloorBlock == -1) continue;
                const float x0 = o.x + static_cast<float>(x) * kCellSize, z0 = o.z + static_cast<float>(z) * kCellSize;
                const float y0 = CellFloorReference(r, c), y1 = CellCeilingReference(r, c);
                const float dx = std::max({x0 - p.x, 0.0f, p.x - (x0 + kCellSize)});
                const float dz = std::max({z0 - p.z, 0.0f, p.z - (z0 + kCellSize)});
                const float dy = std::max({y0 - p.y, 0.0f, p.y - y1});
                if (dx * dx + dy * dy + dz * dz < radius * radius) return static_cast<int>(b);
            }
        }
    }
    return -1;
}

class Checker {
public:
    Checker(const LevelSource& src, const LevelMap& map) : src_(src), map_(map) {}

    std::vector<std::string> Run() {
        CheckStart();
        CheckRoomsReached();
        CheckExits();
        for (size_t r = 0; r < src_.Rooms.size() && r < map_.Rooms.size(); ++r) {
            CheckPlacedThings(static_cast<int>(r));
            CheckDoors(static_cast<int>(r));
        }
        std::stable_sort(warnings_.begin(), warnings_.end(),
                         [](const Warning& a, const Warning& b) { return a.Line < b.Line; });
        std::vector<std::string> out;
        for (const Warning& w : warnings_) out.push_back(src_.FileName + ":" + std::to_string(w.Line) + ": " + w.Text);
        return out;
    }

private:
    void Warn(int line, const std::string& text) { warnings_.push_back({line, text}); }
    const std::string& Name(int room) const { return src_.Rooms[static_cast<size_t>(room)].Name; }
    int CellLine(int room, int x, int z) const {
        const RoomDef& d = src_.Rooms[static_cast<size_t>(room)];
        return d.CellLines[static_cast<size_t>(x * d.CellsZ + z)];
    }

    void CheckStart() {
        const int room = map_.StartRoom;
        const RoomDef& d = src_.Rooms[static_cast<size_t>(room)];
        const PlaceResult placed = PlaceOnFloor(map_, room, src_.StartX, src_.StartZ);
        if (placed.Fault != PlaceFault::None) {
            Warn(src_.StartLine, "the start " + PlaceFaultText(map_, room, placed));
            return;
        }
        const float y = map_.StartPosition.y;
        if (placed.Start.Room != room || std::fabs(placed.Start.Position.y - y) > 1.0f)
            Warn(src_.StartLine, "the start is not on the floor of room '" + d.Name + "': the character lands at " +
                                     Number(placed.Start.Position.y) + " in room '" + Name(placed.Start.Room) + "'");
    }

    void CheckRoomsReached() {
        const std::vector<bool> seen = RoomsSeen(map_, map_.StartRoom);
        for (size_t r = 0; r < seen.size() && r < src_.Rooms.size(); ++r)
            if (!seen[r])
                Warn(src_.Rooms[r].Line,
                     "room '" + src_.Rooms[r].Name + "' is reached by no portal path from the start");
    }

    void CheckExits() {
        const std::vector<ExitReach> exits = ExitReachable(map_);
        if (exits.empty()) {
            Warn(src_.StartLine > 0 ? src_.StartLine : 1, "the level has no exit cell");
            return;
        }
        for (const ExitReach& e : exits) {
            if (e.Reached) continue;
            Warn(CellLine(e.Room, e.Column, e.Row), "the exit cell " + CellText(e.Column, e.Row) + " of room '" +
                                                        Name(e.Room) +
                                                        "' is reached by no chain of moves from the start");
        }
    }

    // Lights, ambience emitters and objects in their room; the ranges of the first two within
    // the rooms they may reach.
    void CheckPlacedThings(int room) {
        const RoomDef& d = src_.Rooms[static_cast<size_t>(room)];
        const Vec3 o = map_.Rooms[static_cast<size_t>(room)].Header.Origin;
        auto world = [&](float x, float z, float h) {
            return Vec3{o.x + x * kCellSize, o.y + h * kCellSize / 20.0f, o.z + z * kCellSize};
        };
        // Where a point lies when it is not in the room's open space ("" when it is): outside the
        // room's box, or in a wall block.
        auto misplaced = [&](const Vec3& p) -> std::string {
            const LevelRoom& r = map_.Rooms[static_cast<size_t>(room)];
            const float low = std::min(o.y + r.Header.MinY, o.y), high = std::max(o.y + r.Header.MaxY, RoomTop(r));
            if (!InsideGrid(r, p.x, p.z) || p.y < low || p.y > high) return "outside room '" + d.Name + "'";
            const CellCoord cell = WorldToCell(map_, room, p.x, p.z);
            const GridCell* c = CellAt(map_, room, cell);
            if (c == nullptr || c->FloorBlock == -1)
                return "in the solid cell " + CellText(cell.Column, cell.Row) + " of room '" + d.Name + "'";
            return "";
        };
        auto checkRange = [&](int line, const char* what, const Vec3& p, float radius) {
            const int reached = RoomReachedThroughWall(map_, room, p, radius);
            if (reached >= 0)
                Warn(line, std::string(what) + " (" + Number(radius) + " units) reaches room '" + Name(reached) +
                               "' through a wall");
        };
        for (const LightDef& l : d.Lights) {
            const Vec3 p = world(l.X, l.Z, l.H);
            // Light stops at the room's own walls (the baker and the game light a room with its
            // own lights only), so only its place is checked.
            const std::string where = misplaced(p);
            if (!where.empty()) Warn(l.Line, "the light lies " + where);
        }
        for (const AmbienceDef& a : d.Ambience) {
            const Vec3 p = world(a.X, a.Z, a.H);
            const std::string where = misplaced(p);
            if (!where.empty()) Warn(a.Line, "the ambience '" + a.Sound + "' lies " + where);
            else
                checkRange(a.Line, ("the ambience '" + a.Sound + "' at full loudness").c_str(), p,
                           a.Radius * kCellSize / 4);
        }
        for (const ObjectDef& obj : d.Objects) {
            const int x = static_cast<int>(std::floor(obj.X)), z = static_cast<int>(std::floor(obj.Z));
            if (x < 0 || z < 0 || x >= d.CellsX || z >= d.CellsZ)
                Warn(obj.Line,
                     std::string("the ") + ObjectKindName(obj.Kind) + " stands outside room '" + d.Name + "'");
            else if (Buried(d, x, z))
                Warn(obj.Line, std::string("the ") + ObjectKindName(obj.Kind) + " stands in the solid cell " +
                                   CellText(x, z) + " of room '" + d.Name + "', walled in on every side");
        }
    }

    // A solid cell with no open neighbour: what stands in it cannot be seen. (Pillars and crates
    // fill solid cells and torches hang in walls beside open ones.)
    static bool Buried(const RoomDef& d, int x, int z) {
        if (!d.At(x, z).Solid) return false;
        static const int kSides[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (const auto& side : kSides) {
            const int nx = x + side[0], nz = z + side[1];
            if (nx >= 0 && nz >= 0 && nx < d.CellsX && nz < d.CellsZ && !d.At(nx, nz).Solid) return false;
        }
        return true;
    }

    // A doorway is two door cells, each room's border cell over the other's inner cell.
    void CheckDoors(int room) {
        const RoomDef& d = src_.Rooms[static_cast<size_t>(room)];
        const LevelRoom& r = map_.Rooms[static_cast<size_t>(room)];
        for (int x = 0; x < d.CellsX; ++x) {
            for (int z = 0; z < d.CellsZ; ++z) {
                if (!d.At(x, z).Door) continue;
                const bool westOrEast = x == 0 || x == d.CellsX - 1, southOrNorth = z == 0 || z == d.CellsZ - 1;
                if (westOrEast == southOrNorth) continue;  // a corner, or not on the border
                const int ix = x == 0 ? 1 : x == d.CellsX - 1 ? x - 1 : x;
                const int iz = z == 0 ? 1 : z == d.CellsZ - 1 ? z - 1 : z;
                const int other = LinkedRoom(map_, r.Cells[static_cast<size_t>(x)][static_cast<size_t>(z)].SideRoom);
                if (other < 0 || static_cast<size_t>(other) >= src_.Rooms.size()) continue;
                const RoomDef& b = src_.Rooms[static_cast<size_t>(other)];
                const int bx = d.OriginX + ix - b.OriginX, bz = d.OriginZ + iz - b.OriginZ;
                const bool inB = bx >= 0 && bz >= 0 && bx < b.CellsX && bz < b.CellsZ;
                if (inB && b.At(bx, bz).Door) continue;
                Warn(CellLine(room, x, z), "the door cell " + CellText(x, z) + " of room '" + d.Name +
                                               "' opens into room '" + b.Name + "', which has no door cell at " +
                                               CellText(bx, bz) + " to match it");
            }
        }
    }

    const LevelSource& src_;
    const LevelMap& map_;
    std::vector<Warning> warnings_;
};

}  // namespace

std::vector<ExitReach> ExitReachable(const LevelMap& map) {
    // Each cell is reached standing (bit 1) or hanging from its edge (bit 2).
    std::vector<std::vector<uint8_t>> seen(map.Rooms.size());
    for (size_t r = 0; r < map.Rooms.size(); ++r)
        seen[r].assign(static_cast<size_t>(map.Rooms[r].Header.CellsX) * map.Rooms[r].Header.CellsZ, 0);
    auto cellIndex = [&](const Spot& s) {
        return static_cast<size_t>(s.Cell.Column) * map.Rooms[static_cast<size_t>(s.Room)].Header.CellsZ +
               static_cast<size_t>(s.Cell.Row);
    };
    std::deque<Spot> open;
    auto reach = [&](Spot s, bool hanging) {
        s.Hanging = hanging;
        uint8_t& bits = seen[static_cast<size_t>(s.Room)][cellIndex(s)];
        const uint8_t bit = hanging ? 2 : 1;
        if ((bits & bit) != 0) return;
        bits = static_cast<uint8_t>(bits | bit);
        open.push_back(s);
    };
    const Spot start = Resolve(map, map.StartRoom, map.StartPosition.x, map.StartPosition.z);
    if (start.Hangable) reach(start, false);
    static const int kDirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    while (!open.empty()) {
        const Spot here = open.front();
        open.pop_front();
        const Vec3 c = CellCentre(map, here.Room, here.Cell);
        const LevelRoom& r = map.Rooms[static_cast<size_t>(here.Room)];
        for (const auto& dir : kDirs) {
            for (int k = 1; k <= 1 + kRunningJumpCells; ++k) {
                const float x = c.x + static_cast<float>(dir[0] * k) * kCellSize;
                const float z = c.z + static_cast<float>(dir[1] * k) * kCellSize;
                if (!InsideGrid(r, x, z)) break;
                const Spot there = Resolve(map, here.Room, x, z);
                const float rise = there.Floor - here.Floor;
                if (here.Hanging) {
                    // Shimmy along a ledge at the same height, pull up onto it, or let go.
                    if (there.Hangable && std::fabs(rise) <= kStep) reach(there, !there.Standable);
                    else if (there.Standable && rise < 0) reach(there, false);
                    break;
                }
                // A step, climb or grab from standing; a running jump lands at most a climb higher.
                if (there.Standable && rise <= (k == 1 ? kGrabReach : kClimb)) reach(there, false);
                else if (there.Hangable && rise > kStep && rise <= kGrabReach) reach(there, true);
                // Jumps pass over gaps only: anything above a step in the way blocks them.
                if (there.Hangable && rise > kStep) break;
                if (!there.Hangable) break;
            }
        }
    }
    std::vector<ExitReach> exits;
    for (size_t room = 0; room < map.Rooms.size(); ++room) {
        const LevelRoom& r = map.Rooms[room];
        for (int x = 0; x < r.Header.CellsX; ++x) {
            for (int z = 0; z < r.Header.CellsZ; ++z) {
                if (r.Cells[static_cast<size_t>(x)][static_cast<size_t>(z)].Exit == 0) continue;
                const Spot s = Resolve(map, static_cast<int>(room), CellCentre(map, static_cast<int>(room), {x, z}).x,
                                       CellCentre(map, static_cast<int>(room), {x, z}).z);
                exits.push_back(
                    {static_cast<int>(room), x, z, (seen[static_cast<size_t>(s.Room)][cellIndex(s)] & 1) != 0});
            }
        }
    }
    return exits;
}

std::vector<std::string> CheckLevel(const LevelSource& source, const LevelFileData& compiled) {
    return Checker(source, compiled.Level.Map).Run();
}

}  // namespace dv
