#include "motion/collision.h"

#include <cmath>

#include "math/geometry.h"
#include "world/cell_geometry.h"
#include "world/room_model.h"
#include "world/sorted_array.h"

namespace dv {

namespace {

// The level's record layout, read in one place.
Vec3 RoomOrigin(const LevelRoom& r) { return r.Header.Origin; }
int RoomCellsX(const LevelRoom& r) { return r.Header.CellsX; }
int RoomCellsZ(const LevelRoom& r) { return r.Header.CellsZ; }
int RoomHeightCells(const LevelRoom& r) { return r.Header.HeightCells; }
bool RoomHasCells(const LevelRoom& r) { return RoomCellsX(r) > 0 && RoomCellsZ(r) > 0; }
const GridCell& CellOf(const LevelRoom& r, int column, int row) { return r.Cells[column][row]; }
int RoomCount(const LevelMap& level) { return static_cast<int>(level.Rooms.size()); }

float RoomTop(const LevelRoom& r) {
    return static_cast<float>(static_cast<double>(RoomOrigin(r).y) +
                              RoomHeightCells(r) * static_cast<double>(kCellSize));
}

// One coordinate clamped into [lo, lo + cells * 32); clears `inside` when it had to move.
float ClampAxis(float v, float lo, int cells, uint8_t& inside) {
    const float hi = lo + static_cast<float>(cells) * kCellSize;
    if (v < lo) {
        inside = 0;
        return lo;
    }
    if (v >= hi) {
        inside = 0;
        return hi - 1.0f;
    }
    return v;
}

// A point resolved to one cell of one room.
struct CellPoint {
    const GridCell* Cell;  // null when the room has no cells
    int Column;
    int Row;
    float Lx;  // cell-local, in [0, 32)
    float Lz;
};

CellPoint Locate(const LevelRoom& r, float x, float z, uint8_t& inside) {
    CellPoint p{nullptr, 0, 0, 0.0f, 0.0f};
    if (!RoomHasCells(r)) {
        inside = 0;
        return p;
    }
    const Vec3& o = RoomOrigin(r);
    const float rx = ClampAxis(x, o.x, RoomCellsX(r), inside) - o.x;
    const float rz = ClampAxis(z, o.z, RoomCellsZ(r), inside) - o.z;
    p.Column = static_cast<int>(TruncToInt64(rx / kCellSize));
    p.Row = static_cast<int>(TruncToInt64(rz / kCellSize));
    // Rounding of a coordinate just below the upper edge can give the index one past the end.
    if (p.Column >= RoomCellsX(r)) p.Column = RoomCellsX(r) - 1;
    if (p.Row >= RoomCellsZ(r)) p.Row = RoomCellsZ(r) - 1;
    p.Lx = rx - static_cast<float>(p.Column) * kCellSize;
    p.Lz = rz - static_cast<float>(p.Row) * kCellSize;
    p.Cell = &CellOf(r, p.Column, p.Row);
    return p;
}

// Half-closure by a blocking code; -1 (the whole cell) is judged by the caller.
bool HalfClosed(int half, int32_t code) {
    if (half == 1) return code == 1 || code == 3;
    return code == 2 || code == 4;
}

bool FloorHalfClosed(const LevelMap& level, int room, const CellPoint& p) {
    return HalfClosed(CellFloorHalf(p.Column, p.Row, room, level, p.Lx, p.Lz), p.Cell->FloorBlock);
}

bool CeilingHalfClosed(const LevelMap& level, int room, const CellPoint& p) {
    return HalfClosed(CellCeilingHalf(p.Column, p.Row, room, level, p.Lx, p.Lz), p.Cell->CeilingBlock);
}

// Height of the plane through a, b, c at (lx, lz); writes the rounded normal. `up` is the
// normal used when the three heights are equal.
float PlaneHeight(const Vec3& a, const Vec3& b, const Vec3& c, float lx, float lz, float upY, Vec3& normal) {
    if (a.y == b.y && b.y == c.y) {
        normal = VecMake(0.0f, upY, 0.0f);
        return a.y;
    }
    const Vec3 n = TriangleNormal(a, b, c);
    const float d = PlaneOffset(n, a);
    const double h = -(static_cast<double>(n.x) * lx + static_cast<double>(n.z) * lz + d) / n.y;
    normal = VecMake(RoundToHundredth(n.x), RoundToHundredth(n.y), RoundToHundredth(n.z));
    return static_cast<float>(h);
}

float Corner(int16_t h) { return static_cast<float>(h); }

}  // namespace

float RoundToHundredth(float v) { return static_cast<float>(std::nearbyint(static_cast<double>(v) * 100.0) / 100.0); }

float CellFloorRaw(uint8_t shape, uint8_t flags, const int16_t corners[4], float lx, float lz, Vec3& normal) {
    const float h0_31 = Corner(corners[0]);
    const float h31_31 = Corner(corners[1]);
    const float h31_0 = Corner(corners[2]);
    const float h0_0 = Corner(corners[3]);
    const bool level = FloorEdgeLevelled(flags);
    if (shape == kFloorShapePlane) {
        Vec3 a, b, c;
        if (FloorOnMainDiagonal(flags)) {
            if (lz <= 31.0f - lx) {
                a = {0, h0_0, 0};
                b = {0, h0_31, 31};
                c = {31, h31_0, 0};
                if (level) b.y = c.y;
            } else {
                a = {0, h0_31, 31};
                b = {31, h31_31, 31};
                c = {31, h31_0, 0};
                if (level) c.y = a.y;
            }
        } else if (lz > lx) {
            a = {0, h0_31, 31};
            b = {31, h31_31, 31};
            c = {0, h0_0, 0};
            if (level) c.y = b.y;
        } else {
            a = {31, h31_31, 31};
            b = {31, h31_0, 0};
            c = {0, h0_0, 0};
            if (level) a.y = c.y;
        }
        return PlaneHeight(a, b, c, lx, lz, 1.0f, normal);
    }
    normal = VecMake(0.0f, 1.0f, 0.0f);
    if (shape > kLastCurvedFloorShape) return h0_31;
    // Two flat areas split by a quadratic curve; shapes 5..8 repeat 1..4.
    const int kind = FloorCurveOf(shape);
    const float t = lx / 31.0f;
    switch (kind) {
        case 1: {
            const Vec3 q = VecBezier({0, 0, 0}, {0, 0, 31}, {31, 0, 31}, t);
            return q.z + 10.0f >= lz ? h31_0 : h0_31;
        }
        case 2: {
            const Vec3 q = VecBezier({0, 0, 31}, {31, 0, 31}, {31, 0, 0}, t);
            return q.z + 10.0f >= lz ? h0_0 : h31_31;
        }
        case 3: {
            const Vec3 q = VecBezier({0, 0, 31}, {0, 0, 0}, {31, 0, 0}, t);
            return q.z - 10.0f > lz ? h0_0 : h31_31;
        }
        default: {
            const Vec3 q = VecBezier({0, 0, 0}, {31, 0, 0}, {31, 0, 31}, t);
            return q.z - 10.0f > lz ? h31_0 : h0_31;
        }
    }
}

float CellCeilingRaw(uint8_t flags, const int16_t depths[4], float lx, float lz, Vec3& normal) {
    const float c0_0 = Corner(depths[0]);
    const float c31_0 = Corner(depths[1]);
    const float c31_31 = Corner(depths[2]);
    const float c0_31 = Corner(depths[3]);
    Vec3 a, b, c;
    if (CeilingOnMainDiagonal(flags)) {
        if (lz <= 31.0f - lx) {
            a = {0, c0_0, 0};
            b = {31, c31_0, 0};
            c = {0, c0_31, 31};
        } else {
            a = {31, c31_0, 0};
            b = {31, c31_31, 31};
            c = {0, c0_31, 31};
        }
    } else if (lz > lx) {
        a = {0, c0_31, 31};
        b = {0, c0_0, 0};
        c = {31, c31_31, 31};
    } else {
        a = {0, c0_0, 0};
        b = {31, c31_0, 0};
        c = {31, c31_31, 31};
    }
    return PlaneHeight(a, b, c, lx, lz, -1.0f, normal);
}

CellCoord WorldToCell(const LevelMap& level, int room, float x, float z) {
    uint8_t inside = 1;
    const CellPoint p = Locate(level.Rooms[room], x, z, inside);
    return {p.Column, p.Row};
}

int32_t CellIndexAt(const LevelMap& level, int room, float x, float z) {
    const CellCoord c = WorldToCell(level, room, x, z);
    return c.Column * RoomCellsZ(level.Rooms[room]) + c.Row;
}

const GridCell* CellAt(const LevelMap& level, int room, const CellCoord& cell) {
    if (room < 0 || room >= RoomCount(level)) return nullptr;
    const LevelRoom& r = level.Rooms[room];
    if (cell.Column < 0 || cell.Row < 0 || cell.Column >= RoomCellsX(r) || cell.Row >= RoomCellsZ(r)) return nullptr;
    return &CellOf(r, cell.Column, cell.Row);
}

float CellFloorReference(const LevelRoom& r, const GridCell& c) {
    return static_cast<float>(RoomOrigin(r).y + static_cast<double>(HeightToUnits(c.Floor[0])));
}

float CellCeilingReference(const LevelRoom& r, const GridCell& c) {
    return static_cast<float>(static_cast<double>(RoomTop(r)) - HeightToUnits(c.Ceiling[0]));
}

int LinkedRoom(const LevelMap& level, int link) {
    if (link <= 0 || link > RoomCount(level)) return -1;
    return link - 1;
}

CellInfo CellInfoAt(const LevelMap& level, int room, float x, float z) {
    const LevelRoom& r = level.Rooms[room];
    uint8_t inside = 1;
    const CellPoint p = Locate(r, x, z, inside);
    CellInfo info{};
    info.FloorReference = RoomOrigin(r).y;
    info.CeilingReference = RoomTop(r);
    info.FloorHalf = 1;
    info.CeilingHalf = 1;
    if (p.Cell == nullptr) return info;
    const GridCell& c = *p.Cell;
    info.FloorFlags = c.FloorFlags;
    info.CeilingFlags = c.CeilingFlags;
    info.FloorReference = CellFloorReference(r, c);
    info.CeilingReference = CellCeilingReference(r, c);
    info.SideLink = c.SideRoom;
    info.LinkBelow = c.RoomBelow;
    info.LinkAbove = c.RoomAbove;
    info.FloorCode = c.FloorBlock;
    info.CeilingCode = c.CeilingBlock;
    info.FloorHalf = CellFloorHalf(p.Column, p.Row, room, level, p.Lx, p.Lz);
    info.CeilingHalf = CellCeilingHalf(p.Column, p.Row, room, level, p.Lx, p.Lz);
    return info;
}

SurfacesClosed CellSurfacesClosed(const LevelMap& level, int room, float x, float z) {
    uint8_t inside = 1;
    const CellPoint p = Locate(level.Rooms[room], x, z, inside);
    if (p.Cell == nullptr) return {false, false};
    const GridCell& c = *p.Cell;
    return {c.FloorBlock == -1 || FloorHalfClosed(level, room, p),
            c.CeilingBlock == -1 || CeilingHalfClosed(level, room, p)};
}

SurfaceHit SurfaceQuery(const LevelMap& level, int room, float x, float z) {
    SurfaceHit hit{};
    hit.Inside = 1;
    int current = room;
    CellPoint p{};
    for (int hops = 0;; ++hops) {
        p = Locate(level.Rooms[current], x, z, hit.Inside);
        if (p.Cell == nullptr || hops >= kMaxRoomHops) break;
        const int side = LinkedRoom(level, p.Cell->SideRoom);
        if (side >= 0) {
            current = side;
            continue;
        }
        const int below = LinkedRoom(level, p.Cell->RoomBelow);
        if (below < 0 || FloorHalfClosed(level, current, p)) break;
        current = below;
    }

    const LevelRoom& floorRoom = level.Rooms[current];
    hit.Border =
        (p.Column == 0 || p.Row == 0 || p.Column == RoomCellsX(floorRoom) - 1 || p.Row == RoomCellsZ(floorRoom) - 1)
            ? 1
            : 0;
    double floorRaw = 0.0;
    hit.FloorNormal = VecMake(0.0f, 1.0f, 0.0f);
    if (p.Cell != nullptr) {
        const GridCell& c = *p.Cell;
        const int16_t corners[4] = {c.Floor[0], c.Floor[1], c.Floor[2], c.Floor[3]};
        floorRaw = CellFloorRaw(c.FloorShape, c.FloorFlags, corners, p.Lx, p.Lz, hit.FloorNormal);
    }
    hit.Floor = static_cast<float>(RoomOrigin(floorRoom).y + static_cast<double>(HeightToUnits(floorRaw)));

    for (int hops = 0; p.Cell != nullptr && hops < kMaxRoomHops; ++hops) {
        const int above = LinkedRoom(level, p.Cell->RoomAbove);
        if (above < 0 || CeilingHalfClosed(level, current, p)) break;
        current = above;
        p = Locate(level.Rooms[current], x, z, hit.Inside);
    }

    const LevelRoom& ceilingRoom = level.Rooms[current];
    double ceilingRaw = 0.0;
    hit.CeilingNormal = VecMake(0.0f, -1.0f, 0.0f);
    if (p.Cell != nullptr) {
        const GridCell& c = *p.Cell;
        const int16_t depths[4] = {c.Ceiling[0], c.Ceiling[1], c.Ceiling[2], c.Ceiling[3]};
        ceilingRaw = CellCeilingRaw(c.CeilingFlags, depths, p.Lx, p.Lz, hit.CeilingNormal);
    }
    hit.Ceiling = static_cast<float>(static_cast<double>(RoomTop(ceilingRoom)) - HeightToUnits(ceilingRaw));
    hit.Column = p.Column;
    hit.Row = p.Row;
    hit.Room = current;
    return hit;
}

namespace {

// Walks from `from` towards `to` in steps of `step` units, calling sample(P) at distances
// 0, step, 2 step, ... up to the length of the segment, until it returns true.
template <typename Sample>
bool March(const Vec3& from, const Vec3& to, float step, float& travelled, Vec3& p, Sample sample) {
    const Vec3 dir = VecScale(VecDirection(from, to), step);
    const float total = VecDistance(from, to);
    for (int n = 0; travelled <= total && n < kMaxSegmentSamples; ++n) {
        if (sample(p)) return true;
        p = VecAdd(p, dir);
        travelled += step;
    }
    return false;
}

// A step that would never advance is taken as one unit.
float UsableStep(float step) { return step > 0.0f && std::isfinite(step) ? step : 1.0f; }

}  // namespace

bool SegmentBlockedByLevel(const Vec3& from, const Vec3& to, int room, const LevelMap& level, float step) {
    step = UsableStep(step);
    int current = room;
    float travelled = 0.0f;
    Vec3 p = from;
    return March(from, to, step, travelled, p, [&](const Vec3& at) {
        const CellInfo info = CellInfoAt(level, current, at.x, at.z);
        const int side = LinkedRoom(level, info.SideLink);
        if (side >= 0) current = side;
        const int below = LinkedRoom(level, info.LinkBelow);
        if (below >= 0 && at.y < info.FloorReference) current = below;
        const int above = LinkedRoom(level, info.LinkAbove);
        if (above >= 0 && at.y > info.CeilingReference) current = above;
        const SurfaceHit s = SurfaceQuery(level, current, at.x, at.z);
        return at.y <= s.Floor || at.y >= s.Ceiling;
    });
}

bool LightSegmentBlocked(const Vec3& from, const Vec3& to, int room, const LevelMap& level, float step) {
    step = UsableStep(step);
    const SurfaceHit target = SurfaceQuery(level, room, to.x, to.z);
    if (to.y < target.Floor || to.y > target.Ceiling) return false;
    const float total = VecDistance(from, to);
    if (!(total > step)) return false;

    const Vec3 dir = VecScale(VecDirection(from, to), step);
    float travelled = 0.0f;
    Vec3 p = from;
    // Skip the part of the ray that runs outside the room's open space (the light may sit in
    // a wall or beyond the grid).
    for (int n = 0; travelled <= total && n < kMaxSegmentSamples; ++n) {
        const SurfaceHit s = SurfaceQuery(level, room, p.x, p.z);
        if (s.Inside == 1 && s.Border == 0 && s.Floor <= p.y && p.y <= s.Ceiling) break;
        p = VecAdd(p, dir);
        travelled += step;
    }
    return March(from, to, step, travelled, p, [&](const Vec3& at) {
        const SurfaceHit s = SurfaceQuery(level, room, at.x, at.z);
        return at.y < s.Floor || at.y > s.Ceiling;
    });
}

bool SegmentBlockedByObjects(const Vec3& from, const Vec3& to, int room, const LevelRecord& file, const IdList& ids) {
    if (VecEqual(from, to)) return false;  // a point has no direction to test faces with
    const LevelRoom& r = file.Map.Rooms[room];
    const Vec3& o = RoomOrigin(r);
    const size_t count = r.InstanceCount > 0 ? static_cast<size_t>(r.InstanceCount) : 0;
    for (size_t i = 0; i < count && i < r.Instances.size(); ++i) {
        const ObjectInstance& inst = r.Instances[i];
        const int32_t t = ids.IndexOf(inst.ObjectId);
        if (t < 0 || t >= static_cast<int32_t>(file.Objects.size())) continue;
        const int m = file.Objects[t].ModelIndex;
        if (m < 0 || m >= static_cast<int>(file.Models.size())) continue;
        const ModelRecord& model = file.Models[m];
        const Vec3 at = VecAdd(o, VecScale(inst.Position, kCellSize));
        const Vec3 lo = VecAdd(VecScale(model.BoundsMin, 3.2f), at);
        const Vec3 hi = VecAdd(VecScale(model.BoundsMax, 3.2f), at);
        if (SegmentHitsBox(lo, hi, from, to)) return true;
    }
    return false;
}

LightOccluder LevelLightOccluder(const LevelSight& sight) {
    constexpr float kLightProbeStep = 16.0f;
    const auto blocked = [](const void* context, const Vec3& light, const Vec3& point) {
        const LevelSight& s = *static_cast<const LevelSight*>(context);
        return LightSegmentBlocked(light, point, s.Room, s.Level->Map, kLightProbeStep) ||
               SegmentBlockedByObjects(light, point, s.Room, *s.Level, *s.Ids);
    };
    return {blocked, &sight};
}

}  // namespace dv
