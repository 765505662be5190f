// The pictures around play: the title before the first level, a level's card between levels,
// the closing picture after the last; and the switch into play when one ends.
#pragma once

#include <cstdint>

namespace dv {

class Shell;

// Where the title sequence stands. Each Show step loads its picture and moves on to the step
// that shows it; Title ends in play, LevelCard in the next level's play, Closing in the end
// of the program.
enum class TitleStep : uint8_t {
    ShowTitle,  // also where play leaves it
    Title,
    ShowClosing,
    Closing,
    ShowLevelCard,
    LevelCard,
};

// From a picture (or, with --no-title, from start-up) into the game: its scene and overlay,
// the update step, the level's sounds.
void BeginPlay(Shell& shell);

// The update callback while a picture is up: one step of the sequence.
void TitleSequence(Shell& shell);

}  // namespace dv
