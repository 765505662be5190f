// The game on the demo level: scene build per submitted triangle against a memcpy of the
// triangle's 202 bytes, the update step per tick, SurfaceQuery on the demo rooms, and the
// (key, index) sort against the record-moving one. The demo content is read from the build
// folder the build names.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "app/game.h"
#include "models/animator_internal.h"
#include "input/keyboard.h"
#include "app/replay.h"
#include "app/run.h"
#include "app/shell.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "platform/gl_window.h"
#include "render/triangle_sort.h"
#include "render/viewport_internal.h"
#include "world/level_loader.h"

namespace dv {
namespace {

// The build folder with the demo content, and the benchmark's own data in the source tree,
// as the build names them.
const std::string kBuildFolder = DV_BINARY_DIR "/";
const std::string kProfileReplay = DV_SOURCE_DIR "/bench/profile.replay";

// The game at `clockMs` of the frame profile, 800 x 600, headless.
class GameAt {
public:
    explicit GameAt(int32_t clockMs) {
        data_ = kBuildFolder;
        std::string error;
        if (!std::filesystem::exists(data_ + "test.lev")) {
            error_ = "no demo content in " + data_;
            return;
        }
        if (!LoadReplayFile(kProfileReplay, events_, error)) {
            error_ = error;
            return;
        }
        std::filesystem::current_path(data_);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        MessageBoxes boxes;
        boxes.SetHeadless(true);
        ClockUseVirtual(true);
        ClockSetVirtualMs(0);
        const TurnRates turnRates = InitGameModules(data_ + "set.txt", boxes);
        window_ = GLWindow::Create("bench", 800, 600, false, true, error);
        if (!window_) {
            error_ = "no OpenGL 3.3 context: " + error;
            return;
        }
        shell_ = std::make_unique<Shell>();
        shell_->Boxes.SetHeadless(true);
        ShellSetup setup;
        setup.BasePath = data_;
        setup.CharacterTurnRates = turnRates;
        setup.AudioSettings.Speakers = false;  // the scene alone is measured here
        shell_->Start(window_->Window(), setup);
        ReplayPlayer replay(events_);
        shell_->Idle(true);  // the title; its end is skipped
        ClockAdvanceVirtual(std::min(clockMs, 7400) - ClockMs());
        // Frames before the last build their scene (the animator advances there) but are not
        // rasterised: the software GL would make the set-up take minutes.
        while (ClockMs() < clockMs && !shell_->CloseRequested()) {
            ClockAdvanceVirtual(16);
            while (const ReplayEvent* e = replay.NextDue(ClockMs())) FeedReplayEvent(*shell_, *e);
            if (ClockMs() >= clockMs) {
                shell_->Idle(true);
                break;
            }
            if (shell_->UpdateCallback() != nullptr) shell_->UpdateCallback()(*shell_);
            Viewport& vp = shell_->View;
            ViewportInternals::BuildScene3D(vp);
        }
    }
    ~GameAt() {
        if (shell_) shell_->Shutdown();
        ClockUseVirtual(false);
    }
    const std::string& Error() const { return error_; }
    Shell& GetShell() { return *shell_; }

private:
    std::string data_;
    std::string error_;
    std::vector<ReplayEvent> events_;
    std::unique_ptr<GLWindow> window_;
    std::unique_ptr<Shell> shell_;
};

// False, with the benchmark skipped and the reason given, when the game could not start.
bool Started(const GameAt& game, benchmark::State& state) {
    if (game.Error().empty()) return true;
    state.SkipWithError(game.Error().c_str());
    return false;
}

// Texture animation, sort, runs and the vertex upload of the list drawn so far.
void FinishScene(Viewport& vp) {
    ViewportInternals::AnimateTextureReferences(vp, ClockMs());
    ViewportInternals::SortTriangles(vp);
    ViewportInternals::BuildRuns(vp);
    ViewportInternals::UploadTriangles(vp);
}

// Level draw, character, texture animation, sort, runs and the vertex upload of one frame.
void BuildScene(Viewport& vp) {
    ViewportInternals::BuildScene3D(vp);
    FinishScene(vp);
}

// Nanoseconds per triangle to memcpy `n` headers and vertex triples, best of a few runs.
double MemcpyNsPerTriangle(int32_t n) {
    std::vector<TriangleHeader> srcH(n), dstH(n);
    std::vector<TriangleVertices> srcV(n), dstV(n);
    double best = 1e30;
    for (int round = 0; round < 20; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int rep = 0; rep < 10; ++rep) {
            std::memcpy(dstH.data(), srcH.data(), sizeof(TriangleHeader) * n);
            std::memcpy(dstV.data(), srcV.data(), sizeof(TriangleVertices) * n);
            benchmark::ClobberMemory();
        }
        const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ns / 10.0 / n);
    }
    return best;
}

// Makes the next animator update pose and skin again, as after a tick that moved the clip.
void ForgetPose(Shell& shell) {
    if (shell.Game) dv::AnimatorInternals::ForgetPose(shell.Game->CharacterModel);
}

// Arguments: the profile clock, and 1 to pose and skin the character in every frame (a frame
// after a tick that moved the clip) or 0 to reuse the pose (a frame between ticks).
void BM_DemoSceneBuild(benchmark::State& state) {
    GameAt game(static_cast<int32_t>(state.range(0)));
    if (!Started(game, state)) return;
    Viewport& vp = game.GetShell().View;
    const bool repose = state.range(1) != 0;
    for (auto _ : state) {
        if (repose) ForgetPose(game.GetShell());
        BuildScene(vp);
    }
    const int32_t n = std::max(vp.TriangleCount(), 1);
    state.counters["triangles"] = n;
    state.counters["per_triangle"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["memcpy_ns_per_triangle"] = MemcpyNsPerTriangle(n);
}
BENCHMARK(BM_DemoSceneBuild)->ArgsProduct({{9000, 21000}, {0, 1}})->Unit(benchmark::kMicrosecond);

// This thread's CPU time: on the shared machines wall time mostly measures the other processes.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
    }
};
double Us(double a, double b) { return b - a; }

// The scene build split into its phases (CPU microseconds per frame), the character posed anew in
// every frame: the level alone, the 3D callback (level and character), texture animation,
// sort, runs and the vertex upload.
void BM_DemoScenePhases(benchmark::State& state) {
    GameAt game(static_cast<int32_t>(state.range(0)));
    if (!Started(game, state)) return;
    Shell& shell = game.GetShell();
    Viewport& vp = shell.View;
    double level = 0, scene = 0, animate = 0, sort = 0, runs = 0, upload = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        vp.ClearTriangles();
        const int room = shell.Game->Follow->Room;
        const Vec3& o = shell.Level.Map.Rooms[room].Header.Origin;
        DrawLevelRoom(shell.Level, room, shell.ObjectIds, o.x, o.y, o.z, vp, vp.ViewFrustum(), true,
                      &shell.Game->Scratch);
        const auto t1 = Clock::now();
        ForgetPose(shell);
        ViewportInternals::BuildScene3D(vp);
        const auto t2 = Clock::now();
        ViewportInternals::AnimateTextureReferences(vp, ClockMs());
        const auto t3 = Clock::now();
        ViewportInternals::SortTriangles(vp);
        const auto t4 = Clock::now();
        ViewportInternals::BuildRuns(vp);
        const auto t5 = Clock::now();
        ViewportInternals::UploadTriangles(vp);
        const auto t6 = Clock::now();
        level += Us(t0, t1);
        scene += Us(t1, t2);
        animate += Us(t2, t3);
        sort += Us(t3, t4);
        runs += Us(t4, t5);
        upload += Us(t5, t6);
    }
    const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["triangles"] = vp.TriangleCount();
    state.counters["level_us"] = level / n;
    state.counters["character_us"] = (scene - level) / n;
    state.counters["animate_us"] = animate / n;
    state.counters["sort_us"] = sort / n;
    state.counters["runs_us"] = runs / n;
    state.counters["upload_us"] = upload / n;
}
BENCHMARK(BM_DemoScenePhases)->Arg(9000)->Arg(21000)->Unit(benchmark::kMicrosecond);

// Appends copies 1 .. copies - 1 of the level's rooms, copy k moved by k * spacing along x,
// its portals and cell links leading within the copy. Each room's first portal is repeated
// into the same room of the next copy, so every copy is reachable through portals but lies
// beyond the view distance: a level of copies x the rooms that shows the same view.
void TileRooms(LevelMap& map, int copies, float spacing) {
    const size_t base = map.Rooms.size();
    map.Rooms.reserve(base * static_cast<size_t>(copies));
    for (int k = 1; k < copies; ++k) {
        const float dx = static_cast<float>(k) * spacing;
        const auto shift = static_cast<uint16_t>(static_cast<size_t>(k) * base);
        for (size_t r = 0; r < base; ++r) {
            LevelRoom room = map.Rooms[r];
            room.Header.Origin.x += dx;
            for (Portal& p : room.Portals) {
                p.TargetRoom = static_cast<uint16_t>(p.TargetRoom + shift);
                for (PackedVec3& c : p.Corners) c.x += dx;
                p.TargetOrigin.x += dx;
            }
            for (auto& column : room.Cells) {
                for (GridCell& c : column) {
                    for (uint8_t* link : {&c.RoomAbove, &c.RoomBelow, &c.SideRoom}) {
                        if (*link != 0) *link = static_cast<uint8_t>(*link + shift);
                    }
                }
            }
            map.Rooms.push_back(std::move(room));
        }
    }
    for (size_t i = 0; i + base < map.Rooms.size(); ++i) {
        LevelRoom& room = map.Rooms[i];
        if (room.Portals.empty()) continue;
        Portal p = room.Portals[0];
        p.TargetRoom = static_cast<uint16_t>(i + base);
        p.TargetOrigin = map.Rooms[i + base].Header.Origin;
        room.Portals.push_back(p);
        room.PortalCount = static_cast<uint8_t>(room.Portals.size());
    }
    map.RoomCount = static_cast<int32_t>(map.Rooms.size());
}

// One timed scene build with the character posed anew; microseconds.
double TimedSceneBuild(Shell& shell) {
    const auto start = Clock::now();
    ForgetPose(shell);
    BuildScene(shell.View);
    return Us(start, Clock::now());
}

// The demo level against a stress level of 20 x its rooms (TileRooms), same view, frames
// alternating between the two so that machine load affects both alike.
void BM_StressLevelScaling(benchmark::State& state) {
    GameAt game(static_cast<int32_t>(state.range(0)));
    if (!Started(game, state)) return;
    Shell& shell = game.GetShell();
    LevelMap& map = shell.Level.Map;
    LevelMap stress = map;
    TileRooms(stress, 20, 4096.0f);
    std::vector<LevelRoom> stressRooms = std::move(stress.Rooms);
    double demoUs = 0, stressUs = 0;
    int32_t demoTriangles = 0, stressTriangles = 0;
    for (auto _ : state) {
        demoUs += TimedSceneBuild(shell);
        demoTriangles = shell.View.TriangleCount();
        std::swap(map.Rooms, stressRooms);
        map.RoomCount = static_cast<int32_t>(map.Rooms.size());
        stressUs += TimedSceneBuild(shell);
        stressTriangles = shell.View.TriangleCount();
        std::swap(map.Rooms, stressRooms);
        map.RoomCount = static_cast<int32_t>(map.Rooms.size());
    }
    const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["rooms"] = static_cast<double>(stressRooms.size());
    state.counters["demo_us"] = demoUs / n;
    state.counters["stress_us"] = stressUs / n;
    state.counters["ratio"] = stressUs / std::max(demoUs, 1e-9);
    state.counters["demo_triangles"] = demoTriangles;
    state.counters["stress_triangles"] = stressTriangles;
}
BENCHMARK(BM_StressLevelScaling)->Arg(9000)->Arg(21000)->Unit(benchmark::kMicrosecond);

// The level and the character drawn `copies` times into one frame (a view with copies x the
// visible triangles), then texture animation, sort, runs and upload; the character is posed
// anew for each copy.
void BuildSceneCopies(Shell& shell, int copies) {
    Viewport& vp = shell.View;
    const LevelDrawTarget target = ViewportDrawTarget(vp);
    vp.ClearTriangles();
    const int room = shell.Game->Follow->Room;
    const Vec3& o = shell.Level.Map.Rooms[room].Header.Origin;
    for (int c = 0; c < copies; ++c) {
        DrawLevelRoom(shell.Level, room, shell.ObjectIds, o.x, o.y, o.z, target, vp.ViewFrustum(), true,
                      &shell.Game->Scratch);
        ForgetPose(shell);
        DrawGameCharacter(shell, target);
    }
    FinishScene(vp);
}

// One view against the same view with 10 x the visible triangles, frames alternating.
void BM_VisibleTriangleScaling(benchmark::State& state) {
    GameAt game(static_cast<int32_t>(state.range(0)));
    if (!Started(game, state)) return;
    Shell& shell = game.GetShell();
    double oneUs = 0, tenUs = 0;
    int32_t oneTriangles = 0, tenTriangles = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        BuildSceneCopies(shell, 1);
        auto t1 = Clock::now();
        oneTriangles = shell.View.TriangleCount();
        BuildSceneCopies(shell, 10);
        auto t2 = Clock::now();
        tenTriangles = shell.View.TriangleCount();
        oneUs += Us(t0, t1);
        tenUs += Us(t1, t2);
    }
    const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["one_us"] = oneUs / n;
    state.counters["ten_us"] = tenUs / n;
    state.counters["cost_ratio"] = tenUs / std::max(oneUs, 1e-9);
    state.counters["triangle_ratio"] = static_cast<double>(tenTriangles) / std::max(oneTriangles, 1);
}
BENCHMARK(BM_VisibleTriangleScaling)->Arg(9000)->Unit(benchmark::kMicrosecond);

// The character as the game drew it before per-bone matrices and the flat-array mesh drawing:
// the pose skinned into `skin` by quaternion products, then DrawMovableModel. The reference
// that BM_CharacterSceneBuild measures today's path against.
void DrawGameCharacterReference(Shell& shell, const LevelDrawTarget& target, ModelVertices& skin) {
    GameState& g = *shell.Game;
    Viewport& vp = shell.View;
    const Mat4 m = CharacterMatrix(g.Body.Movement);

    g.CharacterTriangles.Count = 0;
    if (g.CharacterModel.UpdatePose()) g.CharacterModel.SkinVerticesReference(skin);
    CollectCharacterLights(shell, g);

    if (g.CharacterModel.Model() != nullptr && g.CharacterModel.Movable() != nullptr &&
        skin.size() == g.CharacterModel.Model()->Vertices.size()) {
        const Vec3& p = g.Body.Movement.Position;
        DrawMovableModel(g.CharacterModel.Movable()->TextureSlot, -1, *g.CharacterModel.Model(), p.x, p.y, p.z, m,
                         g.CharacterTriangles, target, vp.ViewFrustum(), g.VisibleLights, &skin, &g.Scratch);
        vp.AddTriangles(g.CharacterTriangles.Triangles.data(), g.CharacterTriangles.Vertices.data(),
                        g.CharacterTriangles.Count);
    }
}

// The character alone, today's path against the reference (skinning by quaternion products,
// DrawMovableModel), alternating within each iteration: pose, skin, visible lights, placement,
// culling, lighting and the submission to the viewport. Arguments: the profile clock, and 1 to
// pose and skin in every frame (a frame after a tick) or 0 to reuse the pose. Counters: CPU
// microseconds of each path per frame and speedup = reference time / new time.
void BM_CharacterSceneBuild(benchmark::State& state) {
    GameAt game(static_cast<int32_t>(state.range(0)));
    if (!Started(game, state)) return;
    Shell& shell = game.GetShell();
    Viewport& vp = shell.View;
    const LevelDrawTarget target = ViewportDrawTarget(vp);
    const bool repose = state.range(1) != 0;
    ModelVertices referenceSkin;
    ForgetPose(shell);
    DrawGameCharacterReference(shell, target, referenceSkin);  // sizes the reference's skin
    double referenceUs = 0, newUs = 0;
    int32_t triangles = 0;
    for (auto _ : state) {
        vp.ClearTriangles();
        if (repose) ForgetPose(shell);
        const auto t0 = Clock::now();
        DrawGameCharacterReference(shell, target, referenceSkin);
        const auto t1 = Clock::now();
        vp.ClearTriangles();
        if (repose) ForgetPose(shell);
        const auto t2 = Clock::now();
        DrawGameCharacter(shell, target);
        const auto t3 = Clock::now();
        triangles = vp.TriangleCount();
        referenceUs += Us(t0, t1);
        newUs += Us(t2, t3);
    }
    const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["reference_us"] = referenceUs / n;
    state.counters["new_us"] = newUs / n;
    state.counters["speedup"] = referenceUs / std::max(newUs, 1e-9);
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_CharacterSceneBuild)->ArgsProduct({{9000, 21000}, {1, 0}})->Unit(benchmark::kMicrosecond);

// The demo level loaded end to end as at start-up: the file parsed and checked, every level
// texture with 4 mip levels and the lightmaps into a fresh store (CPU side; the GL upload
// happens at first use). Counters: the parse and the texture step of one separate load.
void BM_DemoLevelLoad(benchmark::State& state) {
    const std::string data = kBuildFolder;
    const std::string path = data + "test.lev";
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no demo content");
        return;
    }
    std::filesystem::current_path(data);
    {
        TextureStore store;
        store.MipCount = 4;
        LevelFileData file;
        const double t0 = Clock::now();
        ParseLevelFile(path, file);
        const double t1 = Clock::now();
        LoadLevelTextures(file, path, store);
        state.counters["parse_ms"] = (t1 - t0) / 1000.0;
        state.counters["textures_ms"] = (Clock::now() - t1) / 1000.0;
    }
    for (auto _ : state) {
        LevelRecord level;
        TextureStore store;
        store.MipCount = 4;
        LoadLevel(level, path, store);
        benchmark::DoNotOptimize(level.Map.Rooms.size());
    }
}
BENCHMARK(BM_DemoLevelLoad)->Unit(benchmark::kMillisecond);

// The update step on a tick that is due: actions, animator frame choice, camera, rooms.
void BM_DemoUpdateStep(benchmark::State& state) {
    GameAt game(9000);
    if (!Started(game, state)) return;
    Shell& shell = game.GetShell();
    shell.Keys.Down[kVkUp] = 1;  // run in circles
    shell.Keys.Down[kVkLeft] = 1;
    for (auto _ : state) {
        ClockAdvanceVirtual(19);
        UpdateStep(shell);
        if (shell.UpdateCallback() == &TitleSequence) {
            state.SkipWithError("the character reached the exit");
            break;
        }
    }
}
BENCHMARK(BM_DemoUpdateStep)->Unit(benchmark::kMicrosecond);

void BM_DemoSurfaceQuery(benchmark::State& state) {
    GameAt game(7400);
    if (!Started(game, state)) return;
    const LevelMap& map = game.GetShell().Level.Map;
    std::vector<Vec3> points;
    std::vector<int> rooms;
    std::mt19937 rng(5);
    for (int k = 0; k < 4096; ++k) {
        const int room = static_cast<int>(rng() % map.Rooms.size());
        const LevelRoom& r = map.Rooms[room];
        const float w = r.Header.CellsX * kCellSize, d = r.Header.CellsZ * kCellSize;
        points.push_back(
            {r.Header.Origin.x + w * (rng() % 1000) / 1000.0f, 0, r.Header.Origin.z + d * (rng() % 1000) / 1000.0f});
        rooms.push_back(room);
    }
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SurfaceQuery(map, rooms[k], points[k].x, points[k].z));
        k = (k + 1) & 4095;
    }
}
BENCHMARK(BM_DemoSurfaceQuery)->Repetitions(5)->ReportAggregatesOnly(true);

// 20,000 triangles, four sort keys and a few states: most records tie on the whole key.
struct SortInput {
    std::vector<TriangleHeader> headers;
    std::vector<TriangleVertices> vertices;
    SortInput() : headers(kCount), vertices(kCount) {
        std::mt19937 rng(3);
        for (int i = 0; i < kCount; ++i) {
            TriangleHeader& h = headers[i];
            h = TriangleHeader{};
            h.SortKey = -static_cast<float>(rng() % 4);
            h.Texture = static_cast<uint16_t>(1001 + rng() % 40);
            h.Lightmap = static_cast<uint16_t>(rng() % 3);
            h.Layers = 2;
            h.BlendType = BlendByte(rng() % 10 == 0 ? BlendMode::Additive : BlendMode::Opaque);
            vertices[i].V[0].Position.x = static_cast<float>(i);
        }
    }
    static constexpr int kCount = 20000;
};

void BM_SortMovingRecords(benchmark::State& state) {
    const SortInput in;
    std::vector<TriangleHeader> h = in.headers;
    std::vector<TriangleVertices> v = in.vertices;
    for (auto _ : state) {
        std::memcpy(h.data(), in.headers.data(), sizeof(TriangleHeader) * SortInput::kCount);
        std::memcpy(v.data(), in.vertices.data(), sizeof(TriangleVertices) * SortInput::kCount);
        SortTrianglesMovingRecords(h.data(), v.data(), SortInput::kCount);
    }
    state.SetItemsProcessed(state.iterations() * SortInput::kCount);
}
BENCHMARK(BM_SortMovingRecords)->Unit(benchmark::kMicrosecond);

void BM_SortKeyIndexPairs(benchmark::State& state) {
    const SortInput in;
    std::vector<TriangleHeader> h = in.headers;
    std::vector<TriangleVertices> v = in.vertices;
    TriangleSortScratch scratch;
    for (auto _ : state) {
        std::memcpy(h.data(), in.headers.data(), sizeof(TriangleHeader) * SortInput::kCount);
        std::memcpy(v.data(), in.vertices.data(), sizeof(TriangleVertices) * SortInput::kCount);
        SortTriangleList(h, v, SortInput::kCount, scratch);
    }
    state.SetItemsProcessed(state.iterations() * SortInput::kCount);
}
BENCHMARK(BM_SortKeyIndexPairs)->Unit(benchmark::kMicrosecond);

// The restoring copy both sort benchmarks make; subtract it to compare the sorts alone.
void BM_SortInputCopy(benchmark::State& state) {
    const SortInput in;
    std::vector<TriangleHeader> h = in.headers;
    std::vector<TriangleVertices> v = in.vertices;
    for (auto _ : state) {
        std::memcpy(h.data(), in.headers.data(), sizeof(TriangleHeader) * SortInput::kCount);
        std::memcpy(v.data(), in.vertices.data(), sizeof(TriangleVertices) * SortInput::kCount);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SortInputCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dv
