#include "app/author_mode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/game.h"
#include "app/menu_overlay.h"
#include "app/shell.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "motion/start_place.h"

namespace dv {

namespace {

constexpr int kVkF3 = kVkF1 + 2;
constexpr int kVkF4 = kVkF1 + 3;
constexpr int kVkF6 = kVkF1 + 5;
// The fly camera's key. Not F2: the camera's tilt key Q also answers to code 113, which is F2's.
constexpr int kVkF7 = kVkF1 + 6;

constexpr float kRayStep = 4.0f;  // units between the samples of the teleport's view ray
constexpr float kRayReach = 4096.0f;

std::string RoomName(const Shell& shell, int32_t room) {
    if (room >= 0 && static_cast<size_t>(room) < shell.Setup().RoomNames.size())
        return shell.Setup().RoomNames[static_cast<size_t>(room)];
    return std::to_string(room);
}

void StartFlying(Shell& shell) {
    AuthorMode& a = shell.Author;
    a.Flying = true;
    StartFlyCamera(a.Fly, shell.ViewCamera, shell.Game->Follow->Room, ClockMs());
    // The character lets go of what it held: it stands while the camera flies.
    shell.Keys.Clear();
}

void StopFlying(Shell& shell) {
    shell.Author.Flying = false;
    shell.Author.Frozen = false;
}

// Follows the view ray from the fly camera (or the follow camera) to the first wall or floor
// it meets and puts the character down on the floor there, facing the way the camera looks.
void PutCharacterDown(Shell& shell) {
    AuthorMode& a = shell.Author;
    const LevelMap& map = shell.Level.Map;
    const Camera& view = shell.ViewCamera;
    const Vec3 from = a.Flying ? a.Fly.Eye : view.Position;
    const float yaw = a.Flying ? a.Fly.Yaw : CameraHeading(view);
    const Vec3 dir = FlyViewDirection(yaw);
    int32_t room = a.Flying ? a.Fly.Room : shell.Game->Follow->Room;
    bool found = false;
    PlaceResult place;
    for (float t = 0; t < kRayReach; t += kRayStep) {
        const Vec3 p = VecAdd(from, VecScale(dir, t));
        const int32_t at = RoomHolding(map, room, p);
        if (at < 0) continue;
        room = at;
        const Vec3& o = map.Rooms[static_cast<size_t>(room)].Header.Origin;
        const PlaceResult here = PlaceOnFloor(map, room, (p.x - o.x) / kCellSize, (p.z - o.z) / kCellSize);
        if (here.Fault == PlaceFault::Solid) break;
        if (here.Fault != PlaceFault::None) continue;
        place = here;
        found = true;
        if (p.y <= here.Start.Position.y + 1.0f) break;
    }
    if (!found) {
        shell.Notify("Nothing to stand on where the camera looks");
        return;
    }
    // A new game at the place, with the trace and the level's time going on.
    auto trace = std::move(shell.Game->Trace);
    const LevelRun run = shell.Game->Run;
    CreateGameStateAt(shell, place.Start.Room, place.Start.Position, yaw);
    shell.Game->Trace = std::move(trace);
    shell.Game->Run = run;
    const Vec3& o = map.Rooms[static_cast<size_t>(place.Start.Room)].Header.Origin;
    char line[160];
    std::snprintf(line, sizeof line, "Put down at --at %s %.2f %.2f %.0f", RoomName(shell, place.Start.Room).c_str(),
                  (place.Start.Position.x - o.x) / kCellSize, (place.Start.Position.z - o.z) / kCellSize, yaw);
    shell.Notify(line);
}

}  // namespace

bool AuthorKeyDown(Shell& shell, int code, bool repeat) {
    AuthorMode& a = shell.Author;
    if (!shell.Setup().AuthorKeys || !shell.Game) return false;
    if (a.Flying && SetFlyKey(a.Fly, code, true)) return true;
    if (code != kVkF7 && code != kVkF3 && code != kVkF4 && code != kVkF6) return false;
    if (repeat) return true;
    if (code == kVkF7) {
        if (a.Flying) StopFlying(shell);
        else StartFlying(shell);
    } else if (code == kVkF3) {
        PutCharacterDown(shell);
    } else if (code == kVkF4) {
        a.ShowPlace = !a.ShowPlace;
    } else if (a.Flying) {
        a.Frozen = !a.Frozen;
    }
    return true;
}

void AuthorKeyUp(Shell& shell, int code) {
    if (shell.Setup().AuthorKeys) SetFlyKey(shell.Author.Fly, code, false);
}

bool AuthorHoldsWorld(Shell& shell) {
    AuthorMode& a = shell.Author;
    if (!a.Flying || !a.Frozen || !shell.Game) return false;
    // Every clock the game keeps moves on with the real one, so nothing it times runs on.
    const int32_t now = ClockMs();
    ShiftGameClocks(*shell.Game, ClockSince(now, a.Fly.LastMs));
    return true;
}

void AuthorUpdate(Shell& shell) {
    AuthorMode& a = shell.Author;
    if (!a.Flying || !shell.Game) return;
    const LevelMap& map = shell.Level.Map;
    if (!RoomExists(map, a.Fly.Room)) a.Fly.Room = shell.Game->Follow->Room;  // a reload left fewer rooms
    StepFlyCamera(a.Fly, map, ClockMs(), false);
    AimCamera(a.Fly, shell.ViewCamera);
}

int32_t ViewRoom(const Shell& shell) {
    const LevelMap& map = shell.Level.Map;
    if (shell.Photo.Active && RoomExists(map, shell.Photo.Fly.Room)) return shell.Photo.Fly.Room;
    const AuthorMode& a = shell.Author;
    if (a.Flying && RoomExists(map, a.Fly.Room)) return a.Fly.Room;
    return shell.Game->Follow->Room;
}

void DrawAuthorOverlay(Shell& shell) {
    const AuthorMode& a = shell.Author;
    if (!a.ShowPlace || !shell.Game) return;
    const LevelMap& map = shell.Level.Map;
    const bool camera = a.Flying;
    const int32_t room = camera ? a.Fly.Room : shell.Game->Body.Room;
    if (!RoomExists(map, room)) return;
    const Vec3 p = camera ? a.Fly.Eye : shell.Game->Body.Movement.Position;
    const float heading = camera ? a.Fly.Yaw : shell.Game->Body.Movement.AngleY;
    const Vec3& o = map.Rooms[static_cast<size_t>(room)].Header.Origin;
    const CellCoord cell = WorldToCell(map, room, p.x, p.z);
    // Formatted on the stack: the overlay runs every frame and allocates nothing.
    const char* name = static_cast<size_t>(room) < shell.Setup().RoomNames.size()
                           ? shell.Setup().RoomNames[static_cast<size_t>(room)].c_str()
                           : nullptr;
    char line[160];
    const int size = name == nullptr ? std::snprintf(line, sizeof line, "%s room %d cell %d %d  --at %d %.2f %.2f %.0f",
                                                     camera ? "camera" : "character", room, cell.Column, cell.Row, room,
                                                     (p.x - o.x) / kCellSize, (p.z - o.z) / kCellSize, heading)
                                     : std::snprintf(line, sizeof line, "%s room %s cell %d %d  --at %s %.2f %.2f %.0f",
                                                     camera ? "camera" : "character", name, cell.Column, cell.Row, name,
                                                     (p.x - o.x) / kCellSize, (p.z - o.z) / kCellSize, heading);
    Viewport& vp = shell.View;
    const float scale = OverlayScale(vp);
    shell.Font.Red = 255;
    shell.Font.Green = 255;
    shell.Font.Blue = 160;
    const std::string_view text(line, static_cast<size_t>(std::clamp(size, 0, int(sizeof line) - 1)));
    vp.DrawText(text, BlendMode::AlphaTested, 0, 60 * scale, 0.75f * scale);
    char state[48];
    if (!camera) return;
    const int n = std::snprintf(state, sizeof state, "fly camera, world %s", a.Frozen ? "frozen" : "running");
    vp.DrawText(std::string_view(state, static_cast<size_t>(std::clamp(n, 0, int(sizeof state) - 1))),
                BlendMode::AlphaTested, 0, 80 * scale, 0.75f * scale);
}

}  // namespace dv
