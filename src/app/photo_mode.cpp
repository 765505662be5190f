#include "app/photo_mode.h"

#include "app/game.h"
#include "app/shell.h"
#include "math/clock.h"

namespace dv {

void EnterPhotoMode(Shell& shell) {
    if (!shell.Game) return;
    PhotoMode& photo = shell.Photo;
    const LevelMap& map = shell.Level.Map;
    photo.SavedPosition = shell.ViewCamera.Position;
    photo.SavedTarget = shell.ViewCamera.Target;
    const int32_t now = ClockMs();
    const AuthorMode& author = shell.Author;
    const int32_t viewRoom = author.Flying ? author.Fly.Room : shell.Game->Follow->Room;
    StartFlyCamera(photo.Fly, shell.ViewCamera, viewRoom, now);
    int32_t room = OpenRoomAt(map, viewRoom, photo.Fly.Eye, kFlyClearance);
    if (room < 0) {
        // The follow camera may stand against a wall, the fly camera inside one: start from
        // the character's eyes, which are in the open.
        const FollowCamera& follow = *shell.Game->Follow;
        photo.Fly.Eye = VecAdd(shell.Game->Body.Movement.Position, VecMake(0, follow.Tuning.EyeHeight, 0));
        room = OpenRoomAt(map, shell.Game->Body.Room, photo.Fly.Eye, 0.0f);
        if (room < 0) room = shell.Game->Body.Room;
    }
    photo.Fly.Room = room;
    photo.Active = true;
    AimCamera(photo.Fly, shell.ViewCamera);
}

void LeavePhotoMode(Shell& shell) {
    PhotoMode& photo = shell.Photo;
    if (!photo.Active) return;
    photo.Active = false;
    shell.ViewCamera.Position = photo.SavedPosition;
    shell.ViewCamera.Target = photo.SavedTarget;
}

bool PhotoKey(Shell& shell, int code, bool down) {
    return shell.Photo.Active && SetFlyKey(shell.Photo.Fly, code, down);
}

void PhotoUpdate(Shell& shell) {
    PhotoMode& photo = shell.Photo;
    if (!photo.Active) return;
    const LevelMap& map = shell.Level.Map;
    // A --watch reload may have left fewer rooms.
    if (!RoomExists(map, photo.Fly.Room) && shell.Game) photo.Fly.Room = shell.Game->Body.Room;
    StepFlyCamera(photo.Fly, map, ClockMs(), true);
    AimCamera(photo.Fly, shell.ViewCamera);
}

}  // namespace dv
