#include <benchmark/benchmark.h>

#include "world/level_draw.h"
#include "world/sorted_array.h"

namespace {

// One 256 x 256 room: 16 sectors of 8 x 8 floor quads (128 triangles each), a grey ambient
// light and one point light; every triangle faces the camera above the room's middle.
dv::LevelRecord BenchLevel() {
    dv::LevelRecord level;
    dv::LevelRoom r;
    r.Header.MinY = 0;
    r.Header.MaxY = 64;
    r.Header.AmbientHls = static_cast<int32_t>(0x78000000u);
    r.Header.AmbientLuminance = -1;
    for (int j = 0; j < 4; ++j) {
        dv::QuadtreeNode& n = r.Tree.Nodes[j];
        n.Used = 1;
        const float x0 = (j & 1) * 128.0f, z0 = (j >> 1) * 128.0f;
        n.Box = {x0, z0, x0 + 128, z0 + 128};
        for (int k = 0; k < 4; ++k) {
            dv::QuadtreeLeaf& c = n.Children[k];
            const float cx = x0 + (k & 1) * 64.0f, cz = z0 + (k >> 1) * 64.0f;
            c.Box = {cx, cz, cx + 64, cz + 64};
            for (int q = 0; q < 64; ++q) {
                const float x = cx + (q % 8) * 8.0f, z = cz + (q / 8) * 8.0f;
                for (int h = 0; h < 2; ++h) {
                    dv::TriangleHeader t{};
                    t.Texture = static_cast<uint16_t>(1001 + q % 5);
                    t.Layers = 2;
                    t.Normal = {0, 1, 0};
                    dv::TriangleVertices v{};
                    v.V[0].Position = {x, 0, z};
                    v.V[1].Position = h ? dv::Vec3{x + 8, 0, z + 8} : dv::Vec3{x, 0, z + 8};
                    v.V[2].Position = h ? dv::Vec3{x + 8, 0, z} : dv::Vec3{x + 8, 0, z + 8};
                    for (auto& vx : v.V) vx.Diffuse = 0xFF808080u;
                    c.Sector.Triangles.push_back(t);
                    c.Sector.Vertices.push_back(v);
                }
            }
            c.Sector.Count = static_cast<int32_t>(c.Sector.Triangles.size());
        }
    }
    level.Map.Rooms.push_back(std::move(r));
    level.Map.RoomCount = 1;
    return level;
}

void Discard(void* user, const dv::TriangleHeader*, const dv::TriangleVertices*, int32_t count) {
    *static_cast<int64_t*>(user) += count;
}

void BM_DrawLevelRoom(benchmark::State& state) {
    const dv::LevelRecord level = BenchLevel();
    dv::IdList ids;
    dv::Frustum open{};
    for (dv::Plane& p : open.Planes) p = dv::Plane{0, 0, 0, 1};
    int64_t drawn = 0;
    dv::LevelDrawTarget t;
    t.Eye = {128, 100, 128};
    t.ViewDirection = {0, -1, 0};
    t.HardwareFog = false;
    t.LevelLimit = 1002;
    t.ViewFrustum = open;
    t.User = &drawn;
    t.Append = Discard;
    dv::LevelDrawScratch scratch;
    for (auto _ : state) {
        dv::DrawLevelRoom(level, 0, ids, 0, 0, 0, t, open, true, &scratch);
    }
    const double perFrame = static_cast<double>(drawn) / static_cast<double>(state.iterations());
    state.counters["triangles"] = perFrame;
    state.counters["per_triangle"] =
        benchmark::Counter(perFrame, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DrawLevelRoom);

}  // namespace
