#include "app/game.h"

#include "app/message_boxes.h"
#include "app/shell.h"
#include "app/shell_internal.h"
#include "character/character.h"
#include "character/character_tick.h"
#include "character/settings.h"
#include "math/clock.h"
#include "motion/room_tracking.h"
#include "world/room_model.h"

namespace dv {

namespace {

constexpr int kVisibleLightSlots = 50;
constexpr float kBodyReferenceHeight = 25.0f;

GameState& Game(Shell& shell) { return *shell.Game; }

void RebuildRoomLights(Shell& shell, int room) {
    const Vec3& o = shell.Level.Map.Rooms[room].Header.Origin;
    BuildRoomLights(shell.Level, room, Game(shell).RoomLights, o.x, o.y, o.z);
}

}  // namespace

TurnRates InitGameModules(const std::string& settingsPath, const MessageBoxes& boxes) {
    try {
        return ReadTurnRates(settingsPath);
    } catch (const std::exception& e) {
        boxes.Fatal(e.what(), "Error");
    }
}

void CreateGameState(Shell& shell) {
    const LevelMap& map = shell.Level.Map;
    // --at replaces the first level's start (also for a restart of it).
    const PlacedStart* const start = shell.LevelIndex() == 0 ? ShellInternals::StartOverride(shell) : nullptr;
    if (start != nullptr) CreateGameStateAt(shell, start->Room, start->Position, ShellInternals::StartHeading(shell));
    else CreateGameStateAt(shell, map.StartRoom, map.StartPosition, std::nullopt);
}

void CreateGameStateAt(Shell& shell, int32_t startRoom, const Vec3& position, std::optional<float> heading) {
    const LevelMap& map = shell.Level.Map;
    auto game = std::make_unique<GameState>(position);
    GameState& g = *game;
    BodyPose& body = g.Body.Movement;
    if (heading) body.AngleY = *heading;
    g.Follow = std::make_unique<FollowCamera>();
    g.Follow->Subject = {body.Position, body.AngleY};
    g.Body.Room = startRoom;
    g.Follow->Level = &map;
    g.Follow->Room = startRoom;
    g.Follow->CharacterRoom = g.Body.Room;
    g.Record = ActionRecord{};
    g.Actions = NewCharacterState(shell.Setup().CharacterTurnRates.Standing, shell.Setup().CharacterTurnRates.Running,
                                  ClockMs());

    g.CharacterModel.Create(shell.Level);
    g.CharacterModel.BindMovable(0);
    g.CharacterModel.SelectClip(static_cast<int32_t>(CharacterClip::Idle));
    g.CharacterModel.SetFrame(0);
    g.CharacterModel.Animating = true;
    g.CharacterModel.TimeScale = 1.0f;

    shell.Game = std::move(game);
    RebuildRoomLights(shell, shell.Game->Follow->Room);
    shell.Game->VisibleLights.Items.resize(kVisibleLightSlots);
    shell.Game->VisibleLights.Count = kVisibleLightSlots;
    shell.Game->World.Level = &map;
    shell.Game->World.Camera = CameraHooks(*shell.Game->Follow);
}

void GameUpdate(Shell& shell) {
    if (!AuthorHoldsWorld(shell)) UpdateStep(shell);
    AuthorUpdate(shell);
}

void RebuildCharacterLights(Shell& shell) { RebuildRoomLights(shell, Game(shell).Body.Room); }

void ShiftGameClocks(GameState& game, int32_t ms) {
    game.Body.LastTick = ClockAfter(game.Body.LastTick, ms);
    game.Actions.LastTickTime = ClockAfter(game.Actions.LastTickTime, ms);
    game.Actions.TimedStartTime = ClockAfter(game.Actions.TimedStartTime, ms);
    game.CharacterModel.ShiftClock(ms);
    game.Follow->ShiftClock(ms);
    game.Run.ShiftClock(ms);
}

void BeginLevelRun(GameState& game, int32_t now) { game.Run.Begin(now, game.Body.Movement.Position, game.Body.Action); }

void UpdateStep(Shell& shell) {
    GameState& g = Game(shell);
    if (!g.Body.IsDue()) return;

    // The keys of this tick; the character may move the camera during its step.
    const int32_t now = ClockMs();
    const KeyBindings& bindings = shell.Settings().Keys;
    g.Follow->Input = CameraInputFrom(shell.Keys, bindings);
    if (g.Follow->Mode() != CameraMode::FreeLook)
        StepCharacter(g.Actions, g.Record, CharacterInputFrom(shell.Keys, now, bindings), {g.Body, g.CharacterModel},
                      g.World);
    else HoldRunnerClock(g.Actions, now);

    const BodyPose& body = g.Body.Movement;
    g.Follow->Subject = {body.Position, body.AngleY};
    g.Follow->Update();
    g.Body.MarkTick();
    g.Run.CountTick(g.Body.Action, body.Position);

    Camera& camera = shell.ViewCamera;
    camera.Position = VecAdd(g.Follow->Eye(), g.Record.Camera.EyeOffset);
    camera.Target = VecAdd(g.Follow->Target(), g.Record.Camera.TargetOffset);

    ClampCameraToLevel(shell);
    ClampCharacterToLevel(shell);
    if (g.Trace) WriteTraceLine(g.Trace.get(), g);
    shell.Audio.AfterTick(g);
}

void ClampCameraToLevel(Shell& shell) {
    FollowCamera& cam = *Game(shell).Follow;
    const RoomCell at = TrackRoom(shell.Level.Map, cam.Room, cam.Eye().x, cam.Eye().y, cam.Eye().z);
    cam.Room = at.Room;
    cam.CellColumn = at.Cell.Column;
    cam.CellRow = at.Cell.Row;
}

void ClampCharacterToLevel(Shell& shell) {
    GameState& g = Game(shell);
    const Vec3& p = g.Body.Movement.Position;
    const int32_t before = g.Body.Room;
    const RoomCell at = TrackRoom(shell.Level.Map, g.Body.Room, p.x, p.y + kBodyReferenceHeight, p.z);
    g.Body.Room = at.Room;
    g.Body.CellColumn = at.Cell.Column;
    g.Body.CellRow = at.Cell.Row;
    g.Follow->CharacterRoom = at.Room;
    if (at.Room != before) RebuildRoomLights(shell, at.Room);

    const GridCell* c = CellAt(shell.Level.Map, at.Room, at.Cell);
    if (c == nullptr || c->Exit == 0) return;
    g.Run.Finish(ClockMs());
    shell.FinishLevel();
}

double LastSceneBuildUs(const Shell& shell) { return shell.Game ? shell.Game->LastSceneBuildUs : 0.0; }

}  // namespace dv
