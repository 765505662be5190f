// Entry points of dvtool's commands; each returns the process exit status
// (0 success, 2 bad input or usage). argv[0] is the command name.
#pragma once

namespace dvtool {

// build-character SRCDIR OUT.lev [--level IN.lev] [--sheet OUT.png] ...
int BuildCharacterCommand(int argc, char** argv);

}  // namespace dvtool
