// The players' photo mode, chosen from the pause menu in any game: the world stays frozen as
// the menu holds it, the overlay is hidden, and a camera flies through the open space of the
// level's rooms (never through a wall) for F12 to take the picture. Leaving it puts the view
// back exactly where it was.
#pragma once

#include "app/fly_camera.h"

namespace dv {

class Shell;

struct PhotoMode {
    bool Active = false;
    FlyCamera Fly;                        // kept inside the rooms
    Vec3 SavedPosition{}, SavedTarget{};  // the view as the game left it, put back on leaving
};

// Starts the photo camera at the view, or at the character's eye when the view stands too
// close to a wall to fly from.
void EnterPhotoMode(Shell& shell);
// Puts the view back as it was; nothing when photo mode is not on.
void LeavePhotoMode(Shell& shell);
// A key down or up in photo mode: true when it steers the camera.
bool PhotoKey(Shell& shell, int code, bool down);
// Each frame in photo mode: flies the camera by the keys held and makes it the view's.
void PhotoUpdate(Shell& shell);

}  // namespace dv
