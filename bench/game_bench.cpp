// The game on the demo level: scene build per submitted triangle against a memcpy of the
// triangle's 202 bytes, the update step per tick, SurfaceQuery on the demo rooms, and the
// (key, index) sort against the record-moving one. The demo content is read from the build
// folder (the one above this executable's).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "app/game.h"
#include "app/keyboard.h"
#include "app/replay.h"
#include "app/run.h"
#include "app/shell.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "platform/gl_window.h"
#include "platform/message_box.h"
#include "render/triangle_sort.h"

namespace dv {
namespace {

std::string BuildFolder() {
    char* base = SDL_GetBasePath();
    std::string path = base != nullptr ? base : "./";
    SDL_free(base);
    return (std::filesystem::path(path) / "..").lexically_normal().string();
}

// The game at `clockMs` of the frame profile, 800 x 600, headless.
class GameAt {
public:
    explicit GameAt(int32_t clockMs) {
        data_ = BuildFolder();
        std::string error;
        if (!std::filesystem::exists(data_ + "test.lev")) {
            error_ = "no demo content in " + data_;
            return;
        }
        if (!LoadReplayFile(data_ + "../bench/profile.replay", events_, error)) {
            error_ = error;
            return;
        }
        std::filesystem::current_path(data_);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        SetMessagesHeadless(true);
        ClockUseVirtual(true);
        ClockSetVirtualMs(0);
        KeyTableClear();
        InitGameModules();
        window_ = GLWindow::Create("bench", 800, 600, false, true, error);
        if (!window_) {
            error_ = "no OpenGL 3.3 context: " + error;
            return;
        }
        form_ = std::make_unique<TForm1>();
        form_->FormCreate(window_->Window(), data_);
        ReplayPlayer replay(events_);
        form_->AppOnIdle(true);  // the title; its end is skipped
        ClockAdvanceVirtual(std::min(clockMs, 7400) - ClockMs());
        while (ClockMs() < clockMs && !form_->CloseRequested) {
            ClockAdvanceVirtual(16);
            while (const ReplayEvent* e = replay.NextDue(ClockMs())) FeedReplayEvent(*form_, *e);
            form_->AppOnIdle(true);
        }
    }
    ~GameAt() {
        if (form_) form_->FormDestroy();
        KeyTableClear();
        ClockUseVirtual(false);
    }
    const std::string& Error() const { return error_; }
    TForm1& Form() { return *form_; }

private:
    std::string data_;
    std::string error_;
    std::vector<ReplayEvent> events_;
    std::unique_ptr<GLWindow> window_;
    std::unique_ptr<TForm1> form_;
};

// Level draw, character, texture animation, sort, runs and the vertex upload of one frame.
void BuildScene(TGLViewport& vp) {
    vp.Scene3D(vp.Scene3DUser);
    vp.AnimateTextureReferences(ClockMs());
    vp.SortTriangles();
    vp.BuildRuns();
    uint8_t* p = nullptr;
    const uint32_t bytes = static_cast<uint32_t>(vp.TriangleCount) * sizeof(ttriangle_vertices);
    if (vp.VertexBuffer3D && !Failed(vp.VertexBuffer3D->Lock(0, bytes, &p, D3DLOCK_DISCARD))) {
        std::memcpy(p, vp.Vertices.data(), bytes);
        vp.VertexBuffer3D->Unlock();
    }
}

// Nanoseconds per triangle to memcpy `n` headers and vertex triples, best of a few runs.
double MemcpyNsPerTriangle(int32_t n) {
    std::vector<ttriangle> srcH(n), dstH(n);
    std::vector<ttriangle_vertices> srcV(n), dstV(n);
    double best = 1e30;
    for (int round = 0; round < 20; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int rep = 0; rep < 10; ++rep) {
            std::memcpy(dstH.data(), srcH.data(), sizeof(ttriangle) * n);
            std::memcpy(dstV.data(), srcV.data(), sizeof(ttriangle_vertices) * n);
            benchmark::ClobberMemory();
        }
        const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ns / 10.0 / n);
    }
    return best;
}

// Makes the next animator update pose and skin again, as after a tick that moved the clip.
void ForgetPose(TForm1& form) {
    if (form.Game) form.Game->Character.CachedFramePos = -1.0f;
}

// Arguments: the profile clock, and 1 to pose and skin the character in every frame (a frame
// after a tick that moved the clip) or 0 to reuse the pose (a frame between ticks).
void BM_DemoSceneBuild(benchmark::State& state) {
    GameAt game(static_cast<int32_t>(state.range(0)));
    if (!game.Error().empty()) {
        state.SkipWithError(game.Error().c_str());
        return;
    }
    TGLViewport& vp = game.Form().Viewport;
    const bool repose = state.range(1) != 0;
    for (auto _ : state) {
        if (repose) ForgetPose(game.Form());
        BuildScene(vp);
    }
    const int32_t n = std::max(vp.TriangleCount, 1);
    state.counters["triangles"] = n;
    state.counters["per_triangle"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["memcpy_ns_per_triangle"] = MemcpyNsPerTriangle(n);
}
BENCHMARK(BM_DemoSceneBuild)->ArgsProduct({{9000, 21000}, {0, 1}})->Unit(benchmark::kMicrosecond);

using Clock = std::chrono::steady_clock;
double Us(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::micro>(b - a).count(); }

// The scene build split into its phases (microseconds per frame), the character posed anew in
// every frame: the level alone, the 3D callback (level and character), texture animation,
// sort, runs and the vertex upload.
void BM_DemoScenePhases(benchmark::State& state) {
    GameAt game(static_cast<int32_t>(state.range(0)));
    if (!game.Error().empty()) {
        state.SkipWithError(game.Error().c_str());
        return;
    }
    TForm1& form = game.Form();
    TGLViewport& vp = form.Viewport;
    double level = 0, scene = 0, animate = 0, sort = 0, runs = 0, upload = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        vp.ClearTriangles();
        const int room = form.Game->CameraControl->Room;
        const Vec3& o = form.Level.Map.Rooms[room].Header.Origin;
        DrawLevelRoom(form.Level, room, form.ObjectIds, o.x, o.y, o.z, vp, vp.ViewFrustum, true, &form.Game->Scratch);
        const auto t1 = Clock::now();
        ForgetPose(form);
        vp.Scene3D(vp.Scene3DUser);
        const auto t2 = Clock::now();
        vp.AnimateTextureReferences(ClockMs());
        const auto t3 = Clock::now();
        vp.SortTriangles();
        const auto t4 = Clock::now();
        vp.BuildRuns();
        const auto t5 = Clock::now();
        uint8_t* p = nullptr;
        const uint32_t bytes = static_cast<uint32_t>(vp.TriangleCount) * sizeof(ttriangle_vertices);
        if (vp.VertexBuffer3D && !Failed(vp.VertexBuffer3D->Lock(0, bytes, &p, D3DLOCK_DISCARD))) {
            std::memcpy(p, vp.Vertices.data(), bytes);
            vp.VertexBuffer3D->Unlock();
        }
        const auto t6 = Clock::now();
        level += Us(t0, t1);
        scene += Us(t1, t2);
        animate += Us(t2, t3);
        sort += Us(t3, t4);
        runs += Us(t4, t5);
        upload += Us(t5, t6);
    }
    const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["triangles"] = vp.TriangleCount;
    state.counters["level_us"] = level / n;
    state.counters["character_us"] = (scene - level) / n;
    state.counters["animate_us"] = animate / n;
    state.counters["sort_us"] = sort / n;
    state.counters["runs_us"] = runs / n;
    state.counters["upload_us"] = upload / n;
}
BENCHMARK(BM_DemoScenePhases)->Arg(9000)->Arg(21000)->Unit(benchmark::kMicrosecond);

// The update step on a tick that is due: actions, animator frame choice, camera, rooms.
void BM_DemoUpdateStep(benchmark::State& state) {
    GameAt game(9000);
    if (!game.Error().empty()) {
        state.SkipWithError(game.Error().c_str());
        return;
    }
    TForm1& form = game.Form();
    KeyTable[kVkUp] = 1;  // run in circles
    KeyTable[kVkLeft] = 1;
    for (auto _ : state) {
        ClockAdvanceVirtual(19);
        UpdateStep(form);
        if (form.UpdateCallback == &TitleSequence) {
            state.SkipWithError("the character reached the exit");
            break;
        }
    }
}
BENCHMARK(BM_DemoUpdateStep)->Unit(benchmark::kMicrosecond);

void BM_DemoSurfaceQuery(benchmark::State& state) {
    GameAt game(7400);
    if (!game.Error().empty()) {
        state.SkipWithError(game.Error().c_str());
        return;
    }
    const Tmap_level& map = game.Form().Level.Map;
    std::vector<Vec3> points;
    std::vector<int> rooms;
    std::mt19937 rng(5);
    for (int k = 0; k < 4096; ++k) {
        const int room = static_cast<int>(rng() % map.Rooms.size());
        const Tqtroom& r = map.Rooms[room];
        const float w = r.Header.CellsX * 32.0f, d = r.Header.CellsZ * 32.0f;
        points.push_back({r.Header.Origin.x + w * (rng() % 1000) / 1000.0f, 0,
                          r.Header.Origin.z + d * (rng() % 1000) / 1000.0f});
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
    std::vector<ttriangle> headers;
    std::vector<ttriangle_vertices> vertices;
    SortInput() : headers(kCount), vertices(kCount) {
        std::mt19937 rng(3);
        for (int i = 0; i < kCount; ++i) {
            ttriangle& h = headers[i];
            h = ttriangle{};
            h.SortKey = -static_cast<float>(rng() % 4);
            h.Texture = static_cast<uint16_t>(1001 + rng() % 40);
            h.Lightmap = static_cast<uint16_t>(rng() % 3);
            h.Layers = 2;
            h.BlendType = static_cast<uint8_t>(rng() % 10 == 0 ? 2 : 0);
            vertices[i].V[0].Position.x = static_cast<float>(i);
        }
    }
    static constexpr int kCount = 20000;
};

void BM_SortMovingRecords(benchmark::State& state) {
    const SortInput in;
    std::vector<ttriangle> h = in.headers;
    std::vector<ttriangle_vertices> v = in.vertices;
    for (auto _ : state) {
        std::memcpy(h.data(), in.headers.data(), sizeof(ttriangle) * SortInput::kCount);
        std::memcpy(v.data(), in.vertices.data(), sizeof(ttriangle_vertices) * SortInput::kCount);
        SortTrianglesMovingRecords(h.data(), v.data(), SortInput::kCount);
    }
    state.SetItemsProcessed(state.iterations() * SortInput::kCount);
}
BENCHMARK(BM_SortMovingRecords)->Unit(benchmark::kMicrosecond);

void BM_SortKeyIndexPairs(benchmark::State& state) {
    const SortInput in;
    std::vector<ttriangle> h = in.headers;
    std::vector<ttriangle_vertices> v = in.vertices;
    TriangleSortScratch scratch;
    for (auto _ : state) {
        std::memcpy(h.data(), in.headers.data(), sizeof(ttriangle) * SortInput::kCount);
        std::memcpy(v.data(), in.vertices.data(), sizeof(ttriangle_vertices) * SortInput::kCount);
        SortTriangleList(h, v, SortInput::kCount, scratch);
    }
    state.SetItemsProcessed(state.iterations() * SortInput::kCount);
}
BENCHMARK(BM_SortKeyIndexPairs)->Unit(benchmark::kMicrosecond);

// The restoring copy both sort benchmarks make; subtract it to compare the sorts alone.
void BM_SortInputCopy(benchmark::State& state) {
    const SortInput in;
    std::vector<ttriangle> h = in.headers;
    std::vector<ttriangle_vertices> v = in.vertices;
    for (auto _ : state) {
        std::memcpy(h.data(), in.headers.data(), sizeof(ttriangle) * SortInput::kCount);
        std::memcpy(v.data(), in.vertices.data(), sizeof(ttriangle_vertices) * SortInput::kCount);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SortInputCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dv
