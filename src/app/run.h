// The program's life: options, the window, the event pump and the idle-driven frame loop,
// with the testing aids of the command line (virtual clock, replays, screenshots, traces,
// statistics).
#pragma once

#include "app/options.h"

namespace dv {

// Runs the game with `options` until the window closes; returns the exit status.
int RunGame(const Options& options);

}  // namespace dv
