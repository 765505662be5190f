#include <benchmark/benchmark.h>

#include "motion/collision.h"

namespace {

// Two 16 x 16 rooms: the first slopes in every cell and links to the second below its middle.
dv::LevelMap BenchLevel() {
    dv::LevelMap level;
    for (int k = 0; k < 2; ++k) {
        dv::LevelRoom r;
        r.Header.Origin = {0.0f, k == 0 ? 0.0f : -256.0f, 0.0f};
        r.Header.CellsX = 16;
        r.Header.CellsZ = 16;
        r.Header.HeightCells = 8;
        r.Cells.assign(16, std::vector<dv::GridCell>(16, dv::GridCell{}));
        for (int x = 0; x < 16; ++x) {
            for (int z = 0; z < 16; ++z) {
                dv::GridCell& c = r.Cells[x][z];
                c.FloorShape = static_cast<uint8_t>((x + z) % 5);
                c.FloorFlags = static_cast<uint8_t>(x & 1);
                for (int i = 0; i < 4; ++i) {
                    c.Floor[i] = static_cast<int16_t>((x * 3 + z * 5 + i * 7) % 20);
                    c.Ceiling[i] = static_cast<int16_t>((x + z + i) % 10);
                }
                if (k == 0 && x >= 6 && x < 10 && z >= 6 && z < 10) c.RoomBelow = 2;
                if (k == 1) c.RoomAbove = 1;
            }
        }
        level.Rooms.push_back(std::move(r));
    }
    level.RoomCount = 2;
    return level;
}

void BM_SurfaceQuery(benchmark::State& state) {
    const dv::LevelMap level = BenchLevel();
    float x = 0.5f, z = 0.25f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dv::SurfaceQuery(level, 0, x, z));
        x += 7.31f;
        z += 3.17f;
        if (x >= 512.0f) x -= 512.0f;
        if (z >= 512.0f) z -= 512.0f;
    }
}
BENCHMARK(BM_SurfaceQuery)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_SegmentBlockedByLevel(benchmark::State& state) {
    const dv::LevelMap level = BenchLevel();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            dv::SegmentBlockedByLevel({20.0f, 200.0f, 20.0f}, {500.0f, 200.0f, 490.0f}, 0, level, 8.0f));
    }
}
BENCHMARK(BM_SegmentBlockedByLevel);

}  // namespace
