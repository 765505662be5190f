// A frame of 20,000 triangles in 50 render states: sorted, batched into runs, uploaded with
// one vertex-buffer lock and drawn with one call per run. Counts heap allocations per frame.
#include <benchmark/benchmark.h>

#include <random>

#include "platform/gl_window.h"
#include "render/texture.h"
#include "render/viewport_internal.h"
#include "support/allocation_count.h"

namespace dv {
namespace {

constexpr int kTriangles = 20000;
constexpr int kStates = 50;

struct Scene {
    Viewport* viewport;
    TriangleBuffer list;
    static void Build(void* user) {
        auto* s = static_cast<Scene*>(user);
        s->viewport->ClearTriangles();
        s->viewport->AddTriangles(s->list.Triangles.data(), s->list.Vertices.data(), s->list.Count);
    }
};

struct Textures {
    std::vector<std::unique_ptr<Texture>> slots;
    static Texture* Lookup(void* user, int32_t slot) {
        auto& v = static_cast<Textures*>(user)->slots;
        return slot > 0 && slot <= static_cast<int32_t>(v.size()) ? v[slot - 1].get() : nullptr;
    }
};

void BM_ViewportFrame(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    std::string error;
    auto window = GLWindow::Create("bench", 800, 600, false, false, error);
    if (!window) {
        state.SkipWithError(("no OpenGL 3.3 context: " + error).c_str());
        return;
    }
    Camera camera;
    camera.Position = VecMake(0, 0, -50);
    camera.Target = VecMake(0, 0, 0);
    Textures textures;
    for (int i = 0; i < kStates; ++i) {
        auto t = std::make_unique<Texture>(64, 64, 0, D3DFMT_A1R5G5B5);
        textures.slots.push_back(std::move(t));
    }
    {
        Viewport viewport;
        viewport.SetCamera(&camera);
        if (!viewport.OpenGraphics() || !viewport.Setup(window->Window(), 800, 600, false)) {
            state.SkipWithError("no graphics device");
            return;
        }
        viewport.SetTextureSource(TextureSource{&textures, &Textures::Lookup});
        Scene scene{&viewport, {}};
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> pos(-20.0f, 20.0f);
        scene.list.Count = kTriangles;
        scene.list.Triangles.resize(kTriangles);
        scene.list.Vertices.resize(kTriangles);
        for (int i = 0; i < kTriangles; ++i) {
            TriangleHeader& h = scene.list.Triangles[i];
            h = TriangleHeader{};
            const int s = static_cast<int>(rng() % kStates);
            h.Texture = static_cast<uint16_t>(s + 1);
            h.Layers = static_cast<uint8_t>(s % 2);
            h.BlendType = BlendByte(s % 5 == 0 ? BlendMode::Additive : BlendMode::Opaque);
            TriangleVertices& v = scene.list.Vertices[i];
            const float x = pos(rng), y = pos(rng), z = pos(rng);
            v.V[0] = Vertex3D{VecMake(x, y, z), 0xFFFFFFFF, 0, 0, 0, 0, 0, 0, 0};
            v.V[1] = Vertex3D{VecMake(x + 1, y, z), 0xFFFFFFFF, 0, 1, 0, 0, 0, 0, 0};
            v.V[2] = Vertex3D{VecMake(x + 1, y - 1, z), 0xFFFFFFFF, 0, 1, 1, 0, 0, 0, 0};
        }
        viewport.SetScene3D(&Scene::Build, &scene);
        // Grows the lists and the vertex buffer, and lets the GL driver build its variants.
        for (int i = 0; i < 5; ++i) viewport.RenderFrame();
        viewport.ResetCounters();
        test::CountAllocations(true);
        const uint64_t allocationsBefore = test::AllocationCount();
        int64_t frames = 0;
        for (auto _ : state) {
            viewport.RenderFrame();
            ++frames;
        }
        const uint64_t allocations = test::AllocationCount() - allocationsBefore;
        test::CountAllocations(false);
        const double n = static_cast<double>(frames ? frames : 1);
        const DeviceStats& st = viewport.Counters();
        state.counters["runs/frame"] = static_cast<double>(ViewportInternals::BuildRuns(viewport));
        state.counters["draws/frame"] = static_cast<double>(st.DrawCalls) / n;
        state.counters["uploads/frame"] = static_cast<double>(st.VertexBufferUploads) / n;
        state.counters["allocs/frame"] = static_cast<double>(allocations) / n;
        state.counters["triangles/frame"] = static_cast<double>(st.Primitives) / n;
    }
}
BENCHMARK(BM_ViewportFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Sorting and run building alone, on the CPU.
void BM_SortAndBatch(benchmark::State& state) {
    Viewport viewport;
    TriangleBuffer list;
    list.Triangles.resize(kTriangles);
    list.Vertices.resize(kTriangles);
    std::mt19937 rng(11);
    for (int i = 0; i < kTriangles; ++i) {
        TriangleHeader& h = list.Triangles[i];
        h = TriangleHeader{};
        h.Texture = static_cast<uint16_t>(1 + rng() % kStates);
        h.SortKey = static_cast<float>(rng() % 4);
    }
    for (auto _ : state) {
        viewport.ClearTriangles();
        viewport.AddTriangles(list.Triangles.data(), list.Vertices.data(), kTriangles);
        ViewportInternals::SortTriangles(viewport);
        benchmark::DoNotOptimize(ViewportInternals::BuildRuns(viewport));
    }
}
BENCHMARK(BM_SortAndBatch)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dv
