// Entry points of dvtool's commands; each returns the process exit status
// (0 success, 2 bad input or usage). argv[0] is the command name.
#pragma once

#include <string>

namespace dvtool {

// dvtool's own folder, with its separator: the build and the install put the game and its data
// folder there.
std::string ToolFolder();

int BuildLevel(int argc, char** argv);  // build-level SRC OUT.lev [--strict]
// check-level SRC: the level checker's warnings, FILE:LINE each; 1 when there are any.
int CheckLevelCommand(int argc, char** argv);
// check-route SRC REPLAY: the game plays the level with the replay; 0 when the exit is reached.
int CheckRouteCommand(int argc, char** argv);
int BuildFont(int argc, char** argv);      // build-font FONT.ttf OUT.fnx [PIXELS]
int BuildPictures(int argc, char** argv);  // build-pictures FONT.ttf OUTDIR
int BuildIcon(int argc, char** argv);      // build-icon FONT.ttf OUT.png [SIZE]
int ViewLevel(int argc, char** argv);      // view-level LEVEL OUTDIR
// image IN OUT.pam: decodes IN by its extension, writes RGBA as PAM (TUPLTYPE RGB_ALPHA).
int RunImage(int argc, char** argv);
// build-character SRCDIR OUT.lev [--level IN.lev] [--sheet OUT.png] ...
int BuildCharacterCommand(int argc, char** argv);
// view-character LEVEL OUTDIR CLIP:FRAME...: headless renders of movable 0 at the start.
int ViewCharacter(int argc, char** argv);
// level-info FILE: JSON summary of a level file; a malformed file is one error line.
int RunLevelInfo(int argc, char** argv);
// build-sounds SRCDIR OUTDIR: the game's sound files synthesised from their sources.
int BuildSounds(int argc, char** argv);
// sound-sheet SRCDIR FONT.ttf OUT.png: waveform and spectrogram of every sound in one PNG.
int SoundSheet(int argc, char** argv);

// surface FILE ROOM X Z: JSON of the floor and ceiling under (X, Z), starting in ROOM.
int RunSurface(int argc, char** argv);

}  // namespace dvtool
