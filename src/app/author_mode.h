// The author keys, bound only when the game is started with --author or --watch: a fly camera
// that passes through walls (the world running or frozen), a key that puts the character down
// where the camera looks, and a readout of the place as an --at an author can paste.
#pragma once

#include <cstdint>

#include "app/fly_camera.h"

namespace dv {

class Shell;

struct AuthorMode {
    bool Flying = false;     // the view is the fly camera's; the character's keys are held back
    bool Frozen = false;     // the world stands still while the camera flies
    bool ShowPlace = false;  // the place readout on the overlay
    FlyCamera Fly;           // passes through walls
};

// An author key pressed in play: F7 fly camera on and off, F3 put the character down where
// the camera looks, F4 the place readout, F6 freeze the world while flying; while flying, the
// arrows and Page Up/Down fly. True when the key was taken (then nothing else sees it).
bool AuthorKeyDown(Shell& shell, int code, bool repeat);
void AuthorKeyUp(Shell& shell, int code);
// Whether the update step is held back this frame (the world frozen under the fly camera);
// the game's clocks then stand still as under the pause menu.
bool AuthorHoldsWorld(Shell& shell);
// After the update step: flies the camera by the keys held and makes it the view's.
void AuthorUpdate(Shell& shell);
// The room the 3D view is drawn from: the photo camera's in photo mode, the fly camera's while
// it flies, else the follow camera's.
int32_t ViewRoom(const Shell& shell);
// The place readout, when shown: the fly camera's place while it flies, else the character's.
void DrawAuthorOverlay(Shell& shell);

}  // namespace dv
