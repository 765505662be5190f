// The game half of the shell: the 3D callback that fills the frame's triangle list with the
// level and the character, and the fixed-rate update step that runs the character actions,
// the animator, the camera and the room bookkeeping.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "character/action_state.h"
#include "models/animator.h"
#include "motion/camera_control.h"
#include "motion/movement.h"
#include "world/level_draw.h"
#include "world/level_records.h"

namespace dv {

class TForm1;

struct TraceFileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

struct GameState {
    explicit GameState(const Vec3& startPosition) : Body(startPosition) {}

    Tmovement Body;
    std::unique_ptr<TmaroCameracontrol> CameraControl;
    TMovItem Character;
    tlightobject_list RoomLights;
    tlightobject_list VisibleLights;
    ttriangles_buffer CharacterTriangles;
    Vec3 CameraEyeOffset{0, 0, 0};
    Vec3 CameraTargetOffset{0, 0, 0};
    TActionState ActionState{};
    LevelDrawScratch Scratch;
    std::unique_ptr<FILE, TraceFileCloser> Trace;
    double LastSceneBuildUs = 0;
};

// Process start: reads "set.txt" from the data folder `basePath` (with its trailing
// separator) and fills the action table. A bad settings file is fatal, with its one-line message.
void InitGameModules(const std::string& basePath);
// Start-up steps 14 to 21: body, camera control, action state, character, offsets, lights.
void CreateGameState(TForm1& form);  // sets form.Game

void GameScene3D(void* form);
// The character's part of the scene: poses it (when its pose changed), lights it with the
// lights that reach it and appends its triangles to the viewport.
void DrawGameCharacter(TForm1& form, const LevelDrawTarget& target);
void GameUpdate(TForm1& form);
void UpdateStep(TForm1& form);
void ClampCameraToLevel(TForm1& form);
void ClampCharacterToLevel(TForm1& form);

// Collects the lights that reach the character: entry 0 always, then every light not marked
// NoModels whose segment to the character is not blocked by the level or an object.
void CollectVisibleLights(const TLevFile& level, const TIdList& ids, const tlightobject_list& roomLights,
                          const Vec3& bodyPosition, int32_t bodyRoom, tlightobject_list& out);

// --trace: one CSV line per update tick, header first.
bool OpenTrace(TForm1& form, const std::string& path, std::string& error);
double LastSceneBuildUs(const TForm1& form);

}  // namespace dv
