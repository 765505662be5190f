// The program's life: options, the window, the event pump and the idle-driven frame loop,
// with the testing aids of the command line (virtual clock, replays, screenshots, traces,
// statistics).
#pragma once

#include "app/options.h"
#include "app/replay.h"
#include "world/source_compile.h"

namespace dv {

class Shell;

// Feeds a replayed key through the same handlers as a real one; the shift state is what the
// keyboard state says once the key itself is applied. Escape closes the window.
void FeedReplayEvent(Shell& shell, const ReplayEvent& e);

// Runs the game with `options` until the window closes; returns the exit status. `compiler`
// compiles a level source given to --level (none: only compiled levels play).
int RunGame(const Options& options, const SourceCompiler& compiler);

}  // namespace dv
