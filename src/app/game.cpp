#include "app/game.h"

#include <chrono>
#include <cstring>

#include "app/shell.h"
#include "character/character_module.h"
#include "character/settings.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "platform/message_box.h"
#include "world/room_model.h"

namespace dv {

namespace {

constexpr int kVisibleLightSlots = 50;
constexpr float kCharacterScale = 3.2f;
constexpr float kLightProbeHeight = 16.0f;
constexpr float kLightProbeStep = 16.0f;
constexpr float kBodyReferenceHeight = 25.0f;

GameState& Game(TForm1& form) { return *form.Game; }

// The cell record, or null for a cell outside the room's grid (a room without cells).
const tcell* CellAt(const Tmap_level& map, int room, const CellCoord& c) {
    const Tqtroom& r = map.Rooms[room];
    if (c.Column < 0 || c.Row < 0 || c.Column >= r.Header.CellsX || c.Row >= r.Header.CellsZ) return nullptr;
    return &r.Cells[c.Column][c.Row];
}

void RebuildRoomLights(TForm1& form, int room) {
    const Vec3& o = form.Level.Map.Rooms[room].Header.Origin;
    BuildRoomLights(form.Level, room, Game(form).RoomLights, o.x, o.y, o.z);
}

// Walks `room` and its cell through side, below and above links so that they contain the
// point (x, y, z); `referenceY` is the height compared with floors and ceilings.
void TrackRoom(const Tmap_level& map, int32_t& room, CellCoord& cell, float x, float referenceY, float z) {
    // WorldToCell clamps the point into the room's grid.
    cell = WorldToCell(map, room, x, z);
    const tcell* start = CellAt(map, room, cell);
    if (start == nullptr) return;
    if (start->SideRoom != 0) {
        room = start->SideRoom - 1;
        cell = WorldToCell(map, room, x, z);
    }

    // Each hop moves to another room; a level whose links form a loop cannot hold us here.
    for (int hop = 0; hop < kMaxRoomHops; ++hop) {
        const tcell* c = CellAt(map, room, cell);
        if (c == nullptr) return;
        const float floor = c->Floor[0] / 20.0f * 32.0f + map.Rooms[room].Header.Origin.y;
        if (CellSurfacesClosed(map, room, x, z).Floor || c->RoomBelow == 0 || referenceY >= floor) break;
        room = c->RoomBelow - 1;
        cell = WorldToCell(map, room, x, z);
    }
    for (int hop = 0; hop < kMaxRoomHops; ++hop) {
        const tcell* c = CellAt(map, room, cell);
        if (c == nullptr) return;
        const Tqtroom& r = map.Rooms[room];
        const float ceiling = r.Header.HeightCells * 32.0f + r.Header.Origin.y - c->Ceiling[0] / 20.0f * 32.0f;
        if (CellSurfacesClosed(map, room, x, z).Ceiling || c->RoomAbove == 0 || !(referenceY > ceiling)) break;
        room = c->RoomAbove - 1;
        cell = WorldToCell(map, room, x, z);
    }
}

void WriteTraceLine(TForm1& form) {
    GameState& g = Game(form);
    if (!g.Trace) return;
    const Tmaromovement& m = g.Body.Movement;
    const TmaroCameracontrol& cam = *g.CameraControl;
    std::fprintf(g.Trace.get(), "%d,%d,%d,%d,%d,%.3f,%.3f,%.3f,%.3f,%d,%.3f,%.3f,%.3f\n", ClockMs(),
                 g.Body.Action, g.Character.CurrentClipId(), g.Character.Frame, g.Body.Room, m.Position.x,
                 m.Position.y, m.Position.z, m.AngleY, cam.Mode, cam.Eye.x, cam.Eye.y, cam.Eye.z);
}

}  // namespace

void InitGameModules(const std::string& basePath) {
    try {
        InitCharacterModule(basePath + "set.txt");
    } catch (const std::exception& e) {
        FatalError(e.what(), "Error");
    }
}

void CreateGameState(TForm1& form) {
    const Tmap_level& map = form.Level.Map;
    auto game = std::make_unique<GameState>(map.StartPosition);
    GameState& g = *game;
    Tmaromovement& body = g.Body.Movement;
    g.CameraControl = std::make_unique<TmaroCameracontrol>(body.Position, body.AngleX, body.AngleY, body.AngleZ);
    g.Body.Room = map.StartRoom;
    g.CameraControl->Level = &map;
    g.CameraControl->Room = map.StartRoom;
    g.CameraControl->CharacterRoom = g.Body.Room;
    g.ActionState = TActionState{};

    g.Character.Create(form.Level);
    g.Character.BindMovable(0);
    g.Character.SelectClip(0);
    g.Character.SetFrame(0);
    g.Character.Animating = true;
    g.Character.TimeScale = 1.0f;

    g.CameraEyeOffset = {0, 0, 0};
    g.CameraTargetOffset = {0, 0, 0};
    form.Game = std::move(game);
    RebuildRoomLights(form, form.Game->CameraControl->Room);
    form.Game->VisibleLights.Items.resize(kVisibleLightSlots);
    form.Game->VisibleLights.Count = kVisibleLightSlots;

    BindCharacterLevel(&map);
    CharacterCamera camera;
    camera.Context = form.Game->CameraControl.get();
    camera.FocusOn = [](void* c, const Vec3& point, float duration) {
        static_cast<TmaroCameracontrol*>(c)->FocusOn(point, duration);
    };
    camera.ResumeFollow = [](void* c) { static_cast<TmaroCameracontrol*>(c)->ResumeFollow(); };
    BindCharacterCamera(camera);
}

void CollectVisibleLights(const TLevFile& level, const TIdList& ids, const tlightobject_list& roomLights,
                          const Vec3& bodyPosition, int32_t bodyRoom, tlightobject_list& out) {
    out.Count = 0;
    if (roomLights.Count <= 0 || roomLights.Items.empty()) return;  // a list without its ambient entry
    auto append = [&out](const tlight_record& light) {
        if (static_cast<size_t>(out.Count) >= out.Items.size()) out.Items.push_back(light);
        else out.Items[static_cast<size_t>(out.Count)] = light;
        ++out.Count;
    };
    append(roomLights.Items[0]);
    const Vec3 probe = VecAdd(bodyPosition, Vec3{0, kLightProbeHeight, 0});
    for (int16_t i = 1; i < roomLights.Count; ++i) {
        const tlight_record& light = roomLights.Items[static_cast<size_t>(i)];
        if (light.NoModels != 0) continue;
        if (LightSegmentBlocked(light.Position, probe, bodyRoom, level.Map, kLightProbeStep)) continue;
        if (SegmentBlockedByObjects(light.Position, probe, bodyRoom, level, ids)) continue;
        append(light);
    }
}

void GameScene3D(void* user) {
    TForm1& form = *static_cast<TForm1*>(user);
    if (!form.Running) return;
    const auto start = std::chrono::steady_clock::now();
    GameState& g = Game(form);
    TGLViewport& vp = form.Viewport;
    const LevelDrawTarget target = ViewportDrawTarget(vp);

    vp.ClearTriangles();
    const int room = g.CameraControl->Room;
    const Vec3& origin = form.Level.Map.Rooms[room].Header.Origin;
    DrawLevelRoom(form.Level, room, form.ObjectIds, origin.x, origin.y, origin.z, target, vp.ViewFrustum, true,
                  &g.Scratch);
    DrawGameCharacter(form, target);
    g.LastSceneBuildUs =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

void DrawGameCharacter(TForm1& form, const LevelDrawTarget& target) {
    GameState& g = Game(form);
    TGLViewport& vp = form.Viewport;
    Mat4 m = MatIdentity();
    MatScale(m, kCharacterScale, kCharacterScale, kCharacterScale);
    MatRotateAngles(m, false, 0, g.Body.Movement.AngleY, 0);
    MatRotateAngles(m, false, g.Body.Movement.AngleX, 0, 0);

    g.CharacterTriangles.Count = 0;
    g.Character.Update();
    CollectVisibleLights(form.Level, form.ObjectIds, g.RoomLights, g.Body.Movement.Position, g.Body.Room,
                         g.VisibleLights);

    if (g.Character.Model != nullptr && g.Character.Movable != nullptr) {
        const Vec3& p = g.Body.Movement.Position;
        DrawMovableModel(g.Character.Movable->TextureSlot, -1, *g.Character.Model, p.x, p.y, p.z, m,
                         g.CharacterTriangles, target, vp.ViewFrustum, g.VisibleLights, &g.Character.SkinnedVertices,
                         &g.Scratch);
        vp.AddTriangles(g.CharacterTriangles.Triangles.data(), g.CharacterTriangles.Vertices.data(),
                        g.CharacterTriangles.Count);
    }
}

void GameUpdate(TForm1& form) { UpdateStep(form); }

void UpdateStep(TForm1& form) {
    GameState& g = Game(form);
    if (!g.Body.IsDue()) return;

    TActionState& s = g.ActionState;
    Tmaromovement& body = g.Body.Movement;
    TMovItem& ch = g.Character;
    s.TickDue = 1;
    s.Room = g.Body.Room;
    s.Position = body.Position;
    s.AngleX = body.AngleX;
    s.AngleY = body.AngleY;
    s.AngleZ = body.AngleZ;
    s.Action = g.Body.Action;
    s.ClipId = ch.CurrentClipId();
    s.Frame = ch.Frame;
    s.LastFrame = ch.LastFrame;
    s.FramePos = ch.FramePos;
    s.TimeScale = ch.TimeScale;
    s.EyeOffset = g.CameraEyeOffset;
    s.TargetOffset = g.CameraTargetOffset;
    s.TransitionRequested = 0;
    s.Settled = ch.Blending ? 0 : 1;

    if (g.CameraControl->Mode != 3) RunAction(s);
    else HoldRunnerClock();

    g.Body.Room = s.Room;
    body.Position = s.Position;
    body.AngleX = s.AngleX;
    body.AngleY = s.AngleY;
    body.AngleZ = s.AngleZ;
    g.Body.Action = s.Action;
    ch.TimeScale = s.TimeScale;
    g.CameraEyeOffset = s.EyeOffset;
    g.CameraTargetOffset = s.TargetOffset;

    if (s.ClipId != ch.CurrentClipId() || s.Frame != ch.Frame) {
        ch.SelectClip(s.ClipId);
        ch.SetFrame(s.Frame);
    }
    if (s.TransitionRequested != 0) ch.StartTransition(s.TransitionClip, s.TransitionTarget, s.TransitionLength);

    g.CameraControl->Update();
    g.Body.MarkTick();

    TGLCamera& camera = form.Camera;
    camera.Position = VecAdd(g.CameraControl->Eye, g.CameraEyeOffset);
    camera.Target = VecAdd(g.CameraControl->Target, g.CameraTargetOffset);

    ClampCameraToLevel(form);
    ClampCharacterToLevel(form);
    WriteTraceLine(form);
}

void ClampCameraToLevel(TForm1& form) {
    TmaroCameracontrol& cam = *Game(form).CameraControl;
    CellCoord cell{cam.CellColumn, cam.CellRow};
    int32_t room = cam.Room;
    TrackRoom(form.Level.Map, room, cell, cam.Eye.x, cam.Eye.y, cam.Eye.z);
    cam.Room = room;
    cam.CellColumn = cell.Column;
    cam.CellRow = cell.Row;
}

void ClampCharacterToLevel(TForm1& form) {
    GameState& g = Game(form);
    const Vec3& p = g.Body.Movement.Position;
    const int32_t before = g.Body.Room;
    CellCoord cell{g.Body.CellColumn, g.Body.CellRow};
    int32_t room = g.Body.Room;
    TrackRoom(form.Level.Map, room, cell, p.x, p.y + kBodyReferenceHeight, p.z);
    g.Body.Room = room;
    g.Body.CellColumn = cell.Column;
    g.Body.CellRow = cell.Row;
    g.CameraControl->CharacterRoom = room;
    if (room != before) RebuildRoomLights(form, room);

    const tcell* c = CellAt(form.Level.Map, room, cell);
    if (c != nullptr && c->Exit != 0) form.EnterClosingPicture();
}

bool OpenTrace(TForm1& form, const std::string& path, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": cannot create the trace file";
        return false;
    }
    // Line by line, so the trace up to a crash survives it and a watcher can follow it live.
    std::setvbuf(file, nullptr, _IOLBF, 0);
    std::fputs("clock,action,clip,frame,room,x,y,z,angle_y,cam_mode,eye_x,eye_y,eye_z\n", file);
    Game(form).Trace.reset(file);
    return true;
}

double LastSceneBuildUs(const TForm1& form) { return form.Game ? form.Game->LastSceneBuildUs : 0.0; }

}  // namespace dv
