// --trace: one CSV line per update tick (clock, action, clip, frame, room, position, heading,
// camera mode and eye), the header line first, written line by line.
#pragma once

#include <cstdio>
#include <string>

namespace dv {

class Shell;
struct GameState;

struct TraceFileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

// Creates the trace file at `path` for the shell's game; false with `error` when it cannot.
bool OpenTrace(Shell& shell, const std::string& path, std::string& error);
// The line of the tick that just ran.
void WriteTraceLine(FILE* trace, const GameState& game);
// Closes the game's trace, if one is open; false with one line naming `path` when any of it
// could not be written (a full disk, a device that refuses it).
bool CloseTrace(GameState& game, const std::string& path, std::string& error);

}  // namespace dv
