#include "app/fly_camera.h"

#include <algorithm>
#include <cmath>

#include "input/keyboard.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "motion/room_tracking.h"

namespace dv {

namespace {

constexpr float kFlySpeed = 0.25f;   // units per ms; Shift flies three times as fast
constexpr float kTurnSpeed = 0.09f;  // degrees per ms
constexpr float kPitch = -20.0f;     // the camera looks this far down, so the floor ahead is in view
constexpr int32_t kLongestStepMs = 100;
// Kept inside, the camera moves in steps no longer than this, so that no wall is skipped.
constexpr float kSubStep = 4.0f;

float Radians(float degrees) { return degrees * 3.14159265f / 180.0f; }

bool InsideRoomBox(const LevelMap& level, int32_t room, const Vec3& p) {
    const RoomHeader& h = level.Rooms[static_cast<size_t>(room)].Header;
    return p.x >= h.Origin.x && p.x < h.Origin.x + kCellSize * h.CellsX && p.z >= h.Origin.z &&
           p.z < h.Origin.z + kCellSize * h.CellsZ && p.y >= h.Origin.y &&
           p.y <= h.Origin.y + kCellSize * h.HeightCells;
}

// The room whose open space holds the point itself (no clearance), or -1.
int32_t OpenRoomOfPoint(const LevelMap& level, int32_t room, const Vec3& p, float vertical) {
    const RoomCell at = TrackRoom(level, room, p.x, p.y, p.z);
    if (!RoomExists(level, at.Room) || !InsideRoomBox(level, at.Room, p)) return -1;
    const GridCell* cell = CellAt(level, at.Room, at.Cell);
    if (cell == nullptr || cell->FloorBlock == -1) return -1;
    const SurfaceHit hit = SurfaceQuery(level, at.Room, p.x, p.z);
    if (p.y < hit.Floor + vertical || p.y > hit.Ceiling - vertical) return -1;
    return at.Room;
}

// One short move kept inside: the whole move, else the part of it along each axis that is
// open (the camera slides along a wall or a floor), else none. A camera that stands closer
// to a wall than the clearance (a crawlway) only needs the point itself to stay open.
void MoveInside(FlyCamera& fly, const LevelMap& level, const Vec3& delta) {
    const float clearance = OpenRoomAt(level, fly.Room, fly.Eye, kFlyClearance) >= 0 ? kFlyClearance : 0.0f;
    const Vec3 tries[] = {delta, {delta.x, 0, 0}, {0, 0, delta.z}, {0, delta.y, 0}};
    for (const Vec3& d : tries) {
        if (d.x == 0 && d.y == 0 && d.z == 0) continue;
        const Vec3 p = VecAdd(fly.Eye, d);
        const int32_t room = OpenRoomAt(level, fly.Room, p, clearance);
        if (room < 0) continue;
        fly.Eye = p;
        fly.Room = room;
        return;
    }
}

}  // namespace

void StartFlyCamera(FlyCamera& fly, const Camera& view, int32_t room, int32_t now) {
    fly = FlyCamera{};
    fly.Eye = view.Position;
    fly.Yaw = CameraHeading(view);
    fly.Room = room;
    fly.LastMs = now;
}

bool SetFlyKey(FlyCamera& fly, int code, bool down) {
    switch (code) {
        case kVkUp: fly.Forward = down; return true;
        case kVkDown: fly.Back = down; return true;
        case kVkLeft: fly.TurnLeft = down; return true;
        case kVkRight: fly.TurnRight = down; return true;
        case kVkPageUp: fly.Rise = down; return true;
        case kVkPageDown: fly.Sink = down; return true;
        case kVkShift: fly.Fast = down; return true;
        default: return false;
    }
}

void StepFlyCamera(FlyCamera& fly, const LevelMap& level, int32_t now, bool keepInside) {
    const float ms = static_cast<float>(std::clamp(ClockSince(now, fly.LastMs), 0, kLongestStepMs));
    fly.LastMs = now;
    const float speed = kFlySpeed * ms * (fly.Fast ? 3.0f : 1.0f);
    fly.Yaw += kTurnSpeed * ms * (static_cast<float>(fly.TurnRight) - static_cast<float>(fly.TurnLeft));
    const float y = Radians(fly.Yaw);
    const float ahead = speed * (static_cast<float>(fly.Forward) - static_cast<float>(fly.Back));
    const Vec3 delta = {std::sin(y) * ahead, speed * (static_cast<float>(fly.Rise) - static_cast<float>(fly.Sink)),
                        std::cos(y) * ahead};
    if (!keepInside) {
        fly.Eye = VecAdd(fly.Eye, delta);
        const int32_t room = RoomHolding(level, fly.Room, fly.Eye);
        if (room >= 0) fly.Room = room;
        return;
    }
    const float length = std::sqrt(delta.x * delta.x + delta.y * delta.y + delta.z * delta.z);
    const int steps = static_cast<int>(std::ceil(length / kSubStep));
    for (int i = 0; i < steps; ++i) MoveInside(fly, level, VecScale(delta, 1.0f / static_cast<float>(steps)));
}

void AimCamera(const FlyCamera& fly, Camera& view) {
    view.Position = fly.Eye;
    view.Target = VecAdd(fly.Eye, FlyViewDirection(fly.Yaw));
}

Vec3 FlyViewDirection(float yaw) {
    const float pitch = Radians(kPitch), y = Radians(yaw);
    return {std::sin(y) * std::cos(pitch), std::sin(pitch), std::cos(y) * std::cos(pitch)};
}

float CameraHeading(const Camera& view) {
    return std::atan2(view.Target.x - view.Position.x, view.Target.z - view.Position.z) * 180.0f / 3.14159265f;
}

bool RoomExists(const LevelMap& level, int32_t room) {
    return room >= 0 && static_cast<size_t>(room) < level.Rooms.size();
}

int32_t RoomHolding(const LevelMap& level, int32_t current, const Vec3& p) {
    if (RoomExists(level, current) && InsideRoomBox(level, current, p)) return current;
    for (size_t r = 0; r < level.Rooms.size(); ++r)
        if (InsideRoomBox(level, static_cast<int32_t>(r), p)) return static_cast<int32_t>(r);
    return -1;
}

int32_t OpenRoomAt(const LevelMap& level, int32_t room, const Vec3& p, float clearance) {
    if (!RoomExists(level, room)) return -1;
    const int32_t at = OpenRoomOfPoint(level, room, p, clearance);
    if (at < 0) return -1;
    // The walls: the points `clearance` away on either side along each axis are open too.
    const Vec3 sides[] = {{clearance, 0, 0}, {-clearance, 0, 0}, {0, 0, clearance}, {0, 0, -clearance}};
    for (const Vec3& side : sides)
        if (OpenRoomOfPoint(level, at, VecAdd(p, side), 0.0f) < 0) return -1;
    return at;
}

}  // namespace dv
