// Entry points of dvtool's commands; each returns the process exit status
// (0 success, 2 bad input or usage). argv[0] is the command name.
#pragma once

namespace dvtool {

// image IN OUT.pam: decodes IN by its extension, writes RGBA as PAM (TUPLTYPE RGB_ALPHA).
int RunImage(int argc, char** argv);
// level-info FILE: JSON summary of a level file; a malformed file is one error line.
int RunLevelInfo(int argc, char** argv);

}  // namespace dvtool
