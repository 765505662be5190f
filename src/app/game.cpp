#include "app/game.h"

#include <chrono>
#include <cstring>

#include "app/message_boxes.h"
#include "app/shell.h"
#include "character/character.h"
#include "character/settings.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "world/room_model.h"

namespace dv {

namespace {

constexpr int kVisibleLightSlots = 50;
constexpr float kCharacterScale = 3.2f;
constexpr float kLightProbeHeight = 16.0f;
constexpr float kLightProbeStep = 16.0f;
constexpr float kBodyReferenceHeight = 25.0f;

GameState& Game(Shell& shell) { return *shell.Game; }

// The cell record, or null for a cell outside the room's grid (a room without cells).
const GridCell* CellAt(const LevelMap& map, int room, const CellCoord& c) {
    const LevelRoom& r = map.Rooms[room];
    if (c.Column < 0 || c.Row < 0 || c.Column >= r.Header.CellsX || c.Row >= r.Header.CellsZ) return nullptr;
    return &r.Cells[c.Column][c.Row];
}

void RebuildRoomLights(Shell& shell, int room) {
    const Vec3& o = shell.Level.Map.Rooms[room].Header.Origin;
    BuildRoomLights(shell.Level, room, Game(shell).RoomLights, o.x, o.y, o.z);
}

// Walks `room` and its cell through side, below and above links so that they contain the
// point (x, y, z); `referenceY` is the height compared with floors and ceilings.
void TrackRoom(const LevelMap& map, int32_t& room, CellCoord& cell, float x, float referenceY, float z) {
    // WorldToCell clamps the point into the room's grid.
    cell = WorldToCell(map, room, x, z);
    const GridCell* start = CellAt(map, room, cell);
    if (start == nullptr) return;
    if (start->SideRoom != 0) {
        room = start->SideRoom - 1;
        cell = WorldToCell(map, room, x, z);
    }

    // Each hop moves to another room; a level whose links form a loop cannot hold us here.
    for (int hop = 0; hop < kMaxRoomHops; ++hop) {
        const GridCell* c = CellAt(map, room, cell);
        if (c == nullptr) return;
        const float floor = c->Floor[0] / kHeightStepsPerCell * kCellSize + map.Rooms[room].Header.Origin.y;
        if (CellSurfacesClosed(map, room, x, z).Floor || c->RoomBelow == 0 || referenceY >= floor) break;
        room = c->RoomBelow - 1;
        cell = WorldToCell(map, room, x, z);
    }
    for (int hop = 0; hop < kMaxRoomHops; ++hop) {
        const GridCell* c = CellAt(map, room, cell);
        if (c == nullptr) return;
        const LevelRoom& r = map.Rooms[room];
        const float ceiling =
            r.Header.HeightCells * kCellSize + r.Header.Origin.y - c->Ceiling[0] / kHeightStepsPerCell * kCellSize;
        if (CellSurfacesClosed(map, room, x, z).Ceiling || c->RoomAbove == 0 || !(referenceY > ceiling)) break;
        room = c->RoomAbove - 1;
        cell = WorldToCell(map, room, x, z);
    }
}

void WriteTraceLine(Shell& shell) {
    GameState& g = Game(shell);
    if (!g.Trace) return;
    const BodyPose& m = g.Body.Movement;
    const FollowCamera& cam = *g.Follow;
    std::fprintf(g.Trace.get(), "%d,%d,%d,%d,%d,%.3f,%.3f,%.3f,%.3f,%d,%.3f,%.3f,%.3f\n", ClockMs(), g.Body.Action,
                 g.CharacterModel.CurrentClipId(), g.CharacterModel.Frame, g.Body.Room, m.Position.x, m.Position.y,
                 m.Position.z, m.AngleY, static_cast<int>(cam.Mode), cam.Eye.x, cam.Eye.y, cam.Eye.z);
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
    auto game = std::make_unique<GameState>(map.StartPosition);
    GameState& g = *game;
    BodyPose& body = g.Body.Movement;
    g.Follow = std::make_unique<FollowCamera>();
    g.Follow->Subject = {body.Position, body.AngleY};
    g.Body.Room = map.StartRoom;
    g.Follow->Level = &map;
    g.Follow->Room = map.StartRoom;
    g.Follow->CharacterRoom = g.Body.Room;
    g.Record = ActionRecord{};
    g.Actions = NewCharacterState(shell.CharacterTurnRates.Standing, shell.CharacterTurnRates.Running);

    g.CharacterModel.Create(shell.Level);
    g.CharacterModel.BindMovable(0);
    g.CharacterModel.SelectClip(static_cast<int32_t>(CharacterClip::Idle));
    g.CharacterModel.SetFrame(0);
    g.CharacterModel.Animating = true;
    g.CharacterModel.TimeScale = 1.0f;

    g.CameraEyeOffset = {0, 0, 0};
    g.CameraTargetOffset = {0, 0, 0};
    shell.Game = std::move(game);
    RebuildRoomLights(shell, shell.Game->Follow->Room);
    shell.Game->VisibleLights.Items.resize(kVisibleLightSlots);
    shell.Game->VisibleLights.Count = kVisibleLightSlots;
    shell.Game->World.Level = &map;
    shell.Game->World.Camera = CameraHooks(*shell.Game->Follow);
}

void CollectVisibleLights(const LevelRecord& level, const IdList& ids, const LightList& roomLights,
                          const Vec3& bodyPosition, int32_t bodyRoom, LightList& out) {
    out.Count = 0;
    if (roomLights.Count <= 0 || roomLights.Items.empty()) return;  // a list without its ambient entry
    auto append = [&out](const LightRecord& light) {
        if (static_cast<size_t>(out.Count) >= out.Items.size()) out.Items.push_back(light);
        else out.Items[static_cast<size_t>(out.Count)] = light;
        ++out.Count;
    };
    append(roomLights.Items[0]);
    const Vec3 probe = VecAdd(bodyPosition, Vec3{0, kLightProbeHeight, 0});
    for (int16_t i = 1; i < roomLights.Count; ++i) {
        const LightRecord& light = roomLights.Items[static_cast<size_t>(i)];
        if (light.NoModels != 0) continue;
        if (LightSegmentBlocked(light.Position, probe, bodyRoom, level.Map, kLightProbeStep)) continue;
        if (SegmentBlockedByObjects(light.Position, probe, bodyRoom, level, ids)) continue;
        append(light);
    }
}

void GameScene3D(void* user) {
    Shell& shell = *static_cast<Shell*>(user);
    if (!shell.Running) return;
    const auto start = std::chrono::steady_clock::now();
    GameState& g = Game(shell);
    Viewport& vp = shell.View;
    const LevelDrawTarget target = ViewportDrawTarget(vp);

    vp.ClearTriangles();
    const int room = g.Follow->Room;
    const Vec3& origin = shell.Level.Map.Rooms[room].Header.Origin;
    DrawLevelRoom(shell.Level, room, shell.ObjectIds, origin.x, origin.y, origin.z, target, vp.ViewFrustum, true,
                  &g.Scratch);
    DrawGameCharacter(shell, target);
    g.LastSceneBuildUs = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

namespace {

// Scale, then the heading, then the pitch.
Mat4 CharacterMatrix(const BodyPose& body) {
    Mat4 m = MatIdentity();
    MatScale(m, kCharacterScale, kCharacterScale, kCharacterScale);
    MatRotateAngles(m, false, 0, body.AngleY, 0);
    MatRotateAngles(m, false, body.AngleX, 0, 0);
    return m;
}

}  // namespace

void DrawGameCharacter(Shell& shell, const LevelDrawTarget& target) {
    GameState& g = Game(shell);
    Viewport& vp = shell.View;
    const Mat4 m = CharacterMatrix(g.Body.Movement);

    g.CharacterTriangles.Count = 0;
    // The animation stands still under the pause menu: the pose is drawn as it is.
    if (!shell.Paused()) g.CharacterModel.UpdateSkinned();
    CollectVisibleLights(shell.Level, shell.ObjectIds, g.RoomLights, g.Body.Movement.Position, g.Body.Room,
                         g.VisibleLights);

    if (g.CharacterModel.Model != nullptr && g.CharacterModel.Movable != nullptr) {
        const ModelRecord& model = *g.CharacterModel.Model;
        const TriangleSpan room = vp.ReserveTriangles(static_cast<int32_t>(model.Faces.size()));
        const Animator& a = g.CharacterModel;
        vp.CommitTriangles(DrawCharacterMeshReusing(a.SkinnedSerial, a.Movable->TextureSlot, model, a.Skinned,
                                                    g.Body.Movement.Position, m, room.Headers, room.Vertices, target,
                                                    vp.ViewFrustum, g.VisibleLights, g.CharacterScratch));
    }
}

void DrawGameCharacterReference(Shell& shell, const LevelDrawTarget& target, ModelVertices& skin) {
    GameState& g = Game(shell);
    Viewport& vp = shell.View;
    const Mat4 m = CharacterMatrix(g.Body.Movement);

    g.CharacterTriangles.Count = 0;
    if (g.CharacterModel.UpdatePose()) g.CharacterModel.SkinVerticesReference(skin);
    CollectVisibleLights(shell.Level, shell.ObjectIds, g.RoomLights, g.Body.Movement.Position, g.Body.Room,
                         g.VisibleLights);

    if (g.CharacterModel.Model != nullptr && g.CharacterModel.Movable != nullptr &&
        skin.size() == g.CharacterModel.Model->Vertices.size()) {
        const Vec3& p = g.Body.Movement.Position;
        DrawMovableModel(g.CharacterModel.Movable->TextureSlot, -1, *g.CharacterModel.Model, p.x, p.y, p.z, m,
                         g.CharacterTriangles, target, vp.ViewFrustum, g.VisibleLights, &skin, &g.Scratch);
        vp.AddTriangles(g.CharacterTriangles.Triangles.data(), g.CharacterTriangles.Vertices.data(),
                        g.CharacterTriangles.Count);
    }
}

void GameUpdate(Shell& shell) { UpdateStep(shell); }

void RebuildCharacterLights(Shell& shell) { RebuildRoomLights(shell, Game(shell).Body.Room); }

void ShiftGameClocks(GameState& game, int32_t ms) {
    game.Body.LastTick += ms;
    game.Actions.LastTickTime += ms;
    game.Actions.TimedStartTime += ms;
    game.CharacterModel.FrameStart += ms;
    game.Follow->MoveStart += static_cast<float>(ms);
}

void UpdateStep(Shell& shell) {
    GameState& g = Game(shell);
    if (!g.Body.IsDue()) return;

    ActionRecord& s = g.Record;
    BodyPose& body = g.Body.Movement;
    Animator& ch = g.CharacterModel;
    s.TickDue = 1;
    s.Room = g.Body.Room;
    s.Position = body.Position;
    s.AngleX = body.AngleX;
    s.AngleY = body.AngleY;
    s.AngleZ = body.AngleZ;
    s.Action = static_cast<CharacterAction>(g.Body.Action);
    s.ClipId = static_cast<CharacterClip>(ch.CurrentClipId());
    s.Frame = ch.Frame;
    s.LastFrame = ch.LastFrame;
    s.FramePos = ch.FramePos;
    s.TimeScale = ch.TimeScale;
    s.EyeOffset = g.CameraEyeOffset;
    s.TargetOffset = g.CameraTargetOffset;
    s.TransitionRequested = 0;
    s.Settled = ch.Blending ? 0 : 1;

    // The keys of this tick; the character may move the camera during its step.
    const KeyBindings& bindings = shell.Settings.Keys;
    g.Follow->Input = CameraInputFrom(shell.Keys, bindings);
    if (g.Follow->Mode != CameraMode::FreeLook)
        RunAction(g.Actions, s, CharacterInputFrom(shell.Keys, bindings), g.World);
    else HoldRunnerClock(g.Actions);

    g.Body.Room = s.Room;
    body.Position = s.Position;
    body.AngleX = s.AngleX;
    body.AngleY = s.AngleY;
    body.AngleZ = s.AngleZ;
    g.Body.Action = static_cast<int32_t>(s.Action);
    ch.TimeScale = s.TimeScale;
    g.CameraEyeOffset = s.EyeOffset;
    g.CameraTargetOffset = s.TargetOffset;

    const auto clip = static_cast<int32_t>(s.ClipId);
    if (clip != ch.CurrentClipId() || s.Frame != ch.Frame) {
        ch.SelectClip(clip);
        ch.SetFrame(s.Frame);
    }
    if (s.TransitionRequested != 0)
        ch.StartTransition(static_cast<int32_t>(s.TransitionClip), s.TransitionTarget, s.TransitionLength);

    g.Follow->Subject = {body.Position, body.AngleY};
    g.Follow->Update();
    g.Body.MarkTick();

    Camera& camera = shell.ViewCamera;
    camera.Position = VecAdd(g.Follow->Eye, g.CameraEyeOffset);
    camera.Target = VecAdd(g.Follow->Target, g.CameraTargetOffset);

    ClampCameraToLevel(shell);
    ClampCharacterToLevel(shell);
    WriteTraceLine(shell);
    shell.Audio.AfterTick(g);
}

void ClampCameraToLevel(Shell& shell) {
    FollowCamera& cam = *Game(shell).Follow;
    CellCoord cell{cam.CellColumn, cam.CellRow};
    int32_t room = cam.Room;
    TrackRoom(shell.Level.Map, room, cell, cam.Eye.x, cam.Eye.y, cam.Eye.z);
    cam.Room = room;
    cam.CellColumn = cell.Column;
    cam.CellRow = cell.Row;
}

void ClampCharacterToLevel(Shell& shell) {
    GameState& g = Game(shell);
    const Vec3& p = g.Body.Movement.Position;
    const int32_t before = g.Body.Room;
    CellCoord cell{g.Body.CellColumn, g.Body.CellRow};
    int32_t room = g.Body.Room;
    TrackRoom(shell.Level.Map, room, cell, p.x, p.y + kBodyReferenceHeight, p.z);
    g.Body.Room = room;
    g.Body.CellColumn = cell.Column;
    g.Body.CellRow = cell.Row;
    g.Follow->CharacterRoom = room;
    if (room != before) RebuildRoomLights(shell, room);

    const GridCell* c = CellAt(shell.Level.Map, room, cell);
    if (c != nullptr && c->Exit != 0) shell.FinishLevel();
}

bool OpenTrace(Shell& shell, const std::string& path, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": cannot create the trace file";
        return false;
    }
    // Line by line, so the trace up to a crash survives it and a watcher can follow it live.
    std::setvbuf(file, nullptr, _IOLBF, 0);
    std::fputs("clock,action,clip,frame,room,x,y,z,angle_y,cam_mode,eye_x,eye_y,eye_z\n", file);
    Game(shell).Trace.reset(file);
    return true;
}

double LastSceneBuildUs(const Shell& shell) { return shell.Game ? shell.Game->LastSceneBuildUs : 0.0; }

}  // namespace dv
