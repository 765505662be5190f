// The game half of the shell: its state, and the fixed-rate update step that runs the
// character actions, the animator, the camera and the room bookkeeping. The 3D callback that
// draws it is app/game_scene.cpp's; the trace of each tick app/trace.cpp's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/level_run.h"
#include "app/trace.h"
#include "character/action_record.h"
#include "character/character.h"
#include "character/settings.h"
#include "models/animator.h"
#include "motion/follow_camera.h"
#include "motion/movement_body.h"
#include "world/character_draw.h"
#include "world/character_shadow.h"
#include "world/level_draw.h"
#include "world/level_records.h"

namespace dv {

class MessageBoxes;
class Shell;

struct GameState {
    explicit GameState(const Vec3& startPosition) : Body(startPosition) {}

    MovementBody Body;
    std::unique_ptr<FollowCamera> Follow;
    Animator CharacterModel;  // the character's animated mesh
    LightList RoomLights;
    LightList VisibleLights;
    TriangleBuffer CharacterTriangles;
    ActionRecord Record{};   // the character's step record; keeps the camera offsets and the last transition asked for
    CharacterState Actions;  // the character's action state machine
    CharacterWorld World;    // the level and camera its actions use
    LevelDrawScratch Scratch;
    CharacterDrawScratch CharacterScratch;
    ShadowScratch ShadowWork;
    std::unique_ptr<FILE, TraceFileCloser> Trace;
    double LastSceneBuildUs = 0;
    LevelRun Run;  // the level's time and statistics
};

// Process start: reads the character's turn rates from the settings file (a bad file is
// fatal, with its one-line message shown in `boxes`).
TurnRates InitGameModules(const std::string& settingsPath, const MessageBoxes& boxes);
// A new game on the shell's level: the body at the start, the follow camera, the action state,
// the character's animator, the camera offsets and the start room's lights; sets shell.Game.
void CreateGameState(Shell& shell);
// The same with the character at `position` of room `startRoom`, facing `heading` (degrees)
// when given, else as a body starts.
void CreateGameStateAt(Shell& shell, int32_t startRoom, const Vec3& position, std::optional<float> heading);

// The 3D callback of the viewport during play (app/game_scene.cpp): the level from the
// camera's room through its portals, then the character.
void GameScene3D(void* shell);
// The character's part of the scene: poses it (when its pose changed), lights it with the
// lights that reach it and appends its triangles to the viewport.
void DrawGameCharacter(Shell& shell, const LevelDrawTarget& target);
// The character's shadow (on when the player's settings have it): its caster and the ground
// under it, handed to the viewport for this frame.
void DrawCharacterShadow(Shell& shell);
// The character's scale, heading and pitch.
Mat4 CharacterMatrix(const BodyPose& body);
// The lights that reach the character where it stands (world/visible_lights.h), into
// game.VisibleLights.
void CollectCharacterLights(const Shell& shell, GameState& game);
void GameUpdate(Shell& shell);
// The lights of the character's room, after its room was set from outside the update step.
void RebuildCharacterLights(Shell& shell);
// Play starts in the game's level at `now`: the level's time and statistics start from here.
void BeginLevelRun(GameState& game, int32_t now);
// Moves every clock reading the game keeps (the body's last tick, the character's step and
// timed-move times, the animator's frame start, the camera's move start, the level's time) on
// by `ms`, so that time passed outside the game (a pause, or the gap between a save and its
// load) is not seen.
void ShiftGameClocks(GameState& game, int32_t ms);
void UpdateStep(Shell& shell);
void ClampCameraToLevel(Shell& shell);
void ClampCharacterToLevel(Shell& shell);
double LastSceneBuildUs(const Shell& shell);

}  // namespace dv
