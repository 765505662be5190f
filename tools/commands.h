// Entry points of dvtool's commands; each returns the process exit status
// (0 success, 2 bad input or usage). argv[0] is the command name.
#pragma once

namespace dvtool {

// surface FILE ROOM X Z: JSON of the floor and ceiling under (X, Z), starting in ROOM.
int RunSurface(int argc, char** argv);

}  // namespace dvtool
