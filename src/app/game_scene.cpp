// The game's 3D callback: the level through its portals from the camera's room, then the
// character, posed, lit by the lights that reach it and appended to the frame's triangles.
#include <chrono>
#include <cmath>

#include "app/game.h"
#include "app/shell.h"
#include "motion/collision.h"
#include "world/visible_lights.h"

namespace dv {

namespace {

constexpr float kCharacterScale = 3.2f;

}  // namespace

void GameScene3D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running()) return;
    const auto start = std::chrono::steady_clock::now();
    GameState& g = *shell.Game;
    Viewport& vp = shell.View;
    const LevelDrawTarget target = ViewportDrawTarget(vp);

    vp.ClearTriangles();
    const int room = ViewRoom(shell);
    const Vec3& origin = shell.Level.Map.Rooms[room].Header.Origin;
    DrawLevelRoom(shell.Level, room, shell.ObjectIds, origin.x, origin.y, origin.z, target, vp.ViewFrustum(), true,
                  &g.Scratch);
    DrawGameCharacter(shell, target);
    if (shell.Settings().Shadows) DrawCharacterShadow(shell);
    g.LastSceneBuildUs = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

Mat4 CharacterMatrix(const BodyPose& body) {
    Mat4 m = MatIdentity();
    MatScale(m, kCharacterScale, kCharacterScale, kCharacterScale);
    MatRotateAngles(m, false, 0, body.AngleY, 0);
    MatRotateAngles(m, false, body.AngleX, 0, 0);
    return m;
}

void CollectCharacterLights(const Shell& shell, GameState& g) {
    const LevelSight sight{&shell.Level, &shell.ObjectIds, g.Body.Room};
    CollectVisibleLights(g.RoomLights, g.Body.Movement.Position, LevelLightOccluder(sight), g.VisibleLights);
}

void DrawGameCharacter(Shell& shell, const LevelDrawTarget& target) {
    GameState& g = *shell.Game;
    Viewport& vp = shell.View;
    const Mat4 m = CharacterMatrix(g.Body.Movement);

    g.CharacterTriangles.Count = 0;
    // The animation stands still under the pause menu: the pose is drawn as it is.
    if (!shell.Paused()) g.CharacterModel.UpdateSkinned();
    CollectCharacterLights(shell, g);

    if (g.CharacterModel.Model() != nullptr && g.CharacterModel.Movable() != nullptr) {
        const ModelRecord& model = *g.CharacterModel.Model();
        const TriangleSpan room = vp.ReserveTriangles(static_cast<int32_t>(model.Faces.size()));
        const Animator& a = g.CharacterModel;
        vp.CommitTriangles(DrawCharacterMeshReusing(a.SkinnedSerial(), a.Movable()->TextureSlot, model, a.Skinned(),
                                                    g.Body.Movement.Position, m, room.Headers, room.Vertices, target,
                                                    vp.ViewFrustum(), g.VisibleLights, g.CharacterScratch));
    }
}

void DrawCharacterShadow(Shell& shell) {
    GameState& g = *shell.Game;
    ProjectedShadow& shadow = shell.View.Shadow;
    shadow.Clear();
    const Animator& a = g.CharacterModel;
    if (a.Model() == nullptr || a.Movable() == nullptr) return;
    const Vec3& feet = g.Body.Movement.Position;
    const SurfaceHit below = SurfaceQuery(shell.Level.Map, g.Body.Room, feet.x, feet.z);
    const float drop = std::isfinite(below.Floor) ? feet.y - below.Floor : 0.0f;
    if (!CastCharacterShadow(*a.Model(), a.Skinned(), feet, CharacterMatrix(g.Body.Movement), drop, shadow,
                             g.ShadowWork)) {
        return;
    }
    CollectShadowReceivers(shell.Level, shell.ObjectIds, feet.y, shadow, g.ShadowWork);
}

}  // namespace dv
