// Contact sheets of the character: a grid of software-rendered poses, written as PNG.
#pragma once

#include <string>
#include <vector>

#include "tools/character/character_build.h"

namespace dvtool {

// Renders `framesPerClip` evenly spaced frames of each clip (all clips when `clipIds` is
// empty) into one PNG at `path`, with the body moved as the actions move it during the clip.
// Cells are magnified by `zoom` (1-8) and seen from `yawDegrees` about the vertical (0 from
// the front, 90 from the character's right). Faint lines mark the body position's height
// and 16 and 24 units above it. Throws std::runtime_error when the file cannot be written.
void WriteCharacterSheet(const dv::BuiltCharacter& built, const std::vector<int>& clipIds, int framesPerClip, int zoom,
                         float yawDegrees, const std::string& path);

}  // namespace dvtool
