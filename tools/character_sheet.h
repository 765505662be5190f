// Contact sheets of the character: a grid of software-rendered poses, written as PNG.
#pragma once

#include <string>
#include <vector>

#include "models/character_build.h"

namespace dvtool {

// Renders `framesPerClip` evenly spaced frames of each clip (all clips when `clipIds` is
// empty) into one PNG at `path`, each cell magnified by `zoom` (1-8). Faint lines mark the body position's height and 16 and 24
// units above it. Throws std::runtime_error when the file cannot be written.
void WriteCharacterSheet(const dv::BuiltCharacter& built, const std::vector<int>& clipIds, int framesPerClip,
                         int zoom, const std::string& path);

}  // namespace dvtool
