// The game half of the shell: the 3D callback that fills the frame's triangle list with the
// level and the character, and the fixed-rate update step that runs the character actions,
// the animator, the camera and the room bookkeeping.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "character/action_record.h"
#include "character/character.h"
#include "character/settings.h"
#include "models/animator.h"
#include "motion/follow_camera.h"
#include "motion/movement_body.h"
#include "world/character_draw.h"
#include "world/level_draw.h"
#include "world/level_records.h"

namespace dv {

class MessageBoxes;
class Shell;

struct TraceFileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

struct GameState {
    explicit GameState(const Vec3& startPosition) : Body(startPosition) {}

    MovementBody Body;
    std::unique_ptr<FollowCamera> Follow;
    Animator CharacterModel;  // the character's animated mesh
    LightList RoomLights;
    LightList VisibleLights;
    TriangleBuffer CharacterTriangles;
    Vec3 CameraEyeOffset{0, 0, 0};
    Vec3 CameraTargetOffset{0, 0, 0};
    ActionRecord Record{};   // exchanged with the character each tick
    CharacterState Actions;  // the character's action state machine
    CharacterWorld World;    // the level and camera its actions use
    LevelDrawScratch Scratch;
    CharacterDrawScratch CharacterScratch;
    std::unique_ptr<FILE, TraceFileCloser> Trace;
    double LastSceneBuildUs = 0;
};

// Process start: reads the character's turn rates from the settings file (a bad file is
// fatal, with its one-line message shown in `boxes`).
TurnRates InitGameModules(const std::string& settingsPath, const MessageBoxes& boxes);
// Start-up steps 14 to 21: body, camera control, action state, character, offsets, lights.
void CreateGameState(Shell& shell);  // sets shell.Game

void GameScene3D(void* shell);
// The character's part of the scene: poses it (when its pose changed), lights it with the
// lights that reach it and appends its triangles to the viewport.
void DrawGameCharacter(Shell& shell, const LevelDrawTarget& target);
// The character as the game drew it before per-bone matrices and the flat-array mesh drawing:
// the pose skinned into `skin` by quaternion products, then DrawMovableModel. Kept only as the
// reference of the character benchmark and the equivalence test.
void DrawGameCharacterReference(Shell& shell, const LevelDrawTarget& target, ModelVertices& skin);
void GameUpdate(Shell& shell);
// The lights of the character's room, after its room was set from outside the update step.
void RebuildCharacterLights(Shell& shell);
// Moves every clock reading the game keeps (the body's last tick, the character's step and
// timed-move times, the animator's frame start, the camera's move start) on by `ms`, so that
// time passed outside the game (a pause, or the gap between a save and its load) is not seen.
void ShiftGameClocks(GameState& game, int32_t ms);
void UpdateStep(Shell& shell);
void ClampCameraToLevel(Shell& shell);
void ClampCharacterToLevel(Shell& shell);

// Collects the lights that reach the character: entry 0 always, then every light not marked
// NoModels whose segment to the character is not blocked by the level or an object.
void CollectVisibleLights(const LevelRecord& level, const IdList& ids, const LightList& roomLights,
                          const Vec3& bodyPosition, int32_t bodyRoom, LightList& out);

// --trace: one CSV line per update tick, header first.
bool OpenTrace(Shell& shell, const std::string& path, std::string& error);
double LastSceneBuildUs(const Shell& shell);

}  // namespace dv
