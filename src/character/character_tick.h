// One tick of the character: the whole exchange between the game, the character's actions and
// its animator. The game's update step and the tests both step the character through it.
#pragma once

#include "character/action_record.h"
#include "character/character.h"

namespace dv {

class Animator;
class MovementBody;

// What the character moves and plays besides its own state: the body it moves and the
// animator it drives. Both are the owners of what they hold; the record only carries it for
// one step.
struct CharacterParts {
    MovementBody& Body;
    Animator& Animation;
};

// One step of the character at `command` (its keys and its clock):
// 1. the record's state is filled from the body (room, position, angles, action) and the
//    animator (clip, frame, time scale), what the animator reports (last frame, frame
//    position, settled) beside it, the command taken and the transition request cleared;
// 2. the action runs (RunAction);
// 3. the body's room, position, angles and action and the animator's time scale are written
//    back; a clip or frame other than the animator's is selected and set; a requested
//    transition is started.
// The camera offsets stay in the record between steps (record.Camera).
void StepCharacter(CharacterState& state, ActionRecord& record, const CharacterInput& command, CharacterParts parts,
                   const CharacterWorld& world);
// Step 3 alone: hands the record to the body and the animator. StepCharacter ends with it; the
// tests call it after driving a primitive directly, so the next step starts from its result.
void ApplyActionRecord(const ActionRecord& record, CharacterParts parts);

}  // namespace dv
