// A camera that flies free of the character, steered by the arrows (ahead, back, turn) and
// Page Up/Down (rise, sink), Shift for speed: the authors' fly camera, which passes through
// walls, and the players' photo camera, which keeps to the open space of the level's rooms.
#pragma once

#include <cstdint>

#include "math/vecmath.h"
#include "render/camera.h"
#include "world/level_records.h"

namespace dv {

// Kept inside, what the camera keeps between itself and the floors, ceilings and walls.
inline constexpr float kFlyClearance = 8.0f;

struct FlyCamera {
    Vec3 Eye{};
    float Yaw = 0;       // degrees, 0 looking north (+Z), 90 east
    int32_t Room = 0;    // the room the view is drawn from
    int32_t LastMs = 0;  // the clock of the last step
    bool Forward = false, Back = false, TurnLeft = false, TurnRight = false, Rise = false, Sink = false, Fast = false;
};

// The camera at `view`'s eye, looking its way, in `room`, its keys up.
void StartFlyCamera(FlyCamera& fly, const Camera& view, int32_t room, int32_t now);
// A steering key down or up; false for the keys it does not steer by.
bool SetFlyKey(FlyCamera& fly, int code, bool down);
// Moves the camera by the keys held since its last step (at most 100 ms of it). With
// `keepInside` it moves only through open space of the rooms, sliding along what it meets;
// else it passes walls, and its room is the last one whose box held it.
void StepFlyCamera(FlyCamera& fly, const LevelMap& level, int32_t now, bool keepInside);
// The scene camera looking from the fly camera, 20 degrees down.
void AimCamera(const FlyCamera& fly, Camera& view);
// The direction the fly camera looks at heading `yaw`.
Vec3 FlyViewDirection(float yaw);
// The heading (degrees) a scene camera looks at.
float CameraHeading(const Camera& view);

bool RoomExists(const LevelMap& level, int32_t room);
// The room whose box holds `p`, `current` first; -1 when none does (the point is in the rock
// between rooms, or outside the level).
int32_t RoomHolding(const LevelMap& level, int32_t current, const Vec3& p);
// The room in whose open space `p` lies, with `clearance` units to spare to its floor,
// ceiling and walls, found from `room` through the links; -1 when `p` is in a wall or too
// close to one.
int32_t OpenRoomAt(const LevelMap& level, int32_t room, const Vec3& p, float clearance);

}  // namespace dv
