// The 2D overlay's layout and the front end drawn over the frame: the pause menu over the
// dimmed game, and the notice line at the bottom.
#pragma once

namespace dv {

class Shell;
class Viewport;

// The 2D overlay is laid out for 800 x 600 and scaled by this, the same across and down, so
// that it fits any window without distortion.
float OverlayScale(const Viewport& view);

// The menu (when open) and the notice line, drawn by the game's 2D overlay.
void DrawFrontEnd(Shell& shell);

}  // namespace dv
