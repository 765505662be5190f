#include <benchmark/benchmark.h>

#include "input/keyboard.h"
#include "math/clock.h"
#include "models/animator.h"
#include "motion/follow_camera.h"

namespace {

// A character-sized movable: 24 bones in a tree, 1500 vertices on two bones each, one
// 30-frame clip of 1 s with 3 in-between steps, every bone keyed on every other frame.
dv::LevelRecord BenchLevel() {
    constexpr int kBones = 24, kVertices = 1500, kFrames = 30;
    dv::LevelRecord level;
    dv::SkeletonRecord skeleton;
    for (int b = 0; b < kBones; ++b) {
        skeleton.Bones.push_back(dv::SkeletonBone{static_cast<int16_t>(b == 0 ? -1 : (b - 1) / 2),
                                                  {static_cast<float>(b % 5), static_cast<float>(b * 3), 0.0f},
                                                  {}});
    }
    skeleton.BoneCount = kBones;
    level.Skeletons = {skeleton};

    dv::ModelRecord model;
    for (int v = 0; v < kVertices; ++v) {
        dv::ModelVertex x{};
        x.Position = {static_cast<float>(v % 7), static_cast<float>(v % 70), static_cast<float>(v % 3)};
        x.Normal = {0, 1, 0};
        x.Bones[0] = static_cast<int16_t>(v % kBones);
        x.Bones[1] = static_cast<int16_t>((v + 1) % kBones);
        x.Bones[2] = x.Bones[3] = -1;
        x.Weights[0] = 70;
        x.Weights[1] = 30;
        model.Vertices.push_back(x);
    }
    model.VertexCount = kVertices;
    level.Models = {model};

    dv::AnimationRecord anim;
    anim.FrameCount = kFrames;
    for (int b = 0; b < kBones; ++b) {
        dv::BoneTrack track;
        for (int f = 0; f < kFrames; f += 2) {
            track.Keys.push_back(dv::AnimationKey{f, {static_cast<float>(f), static_cast<float>(b), 0}, {0, 0, 0}});
        }
        track.KeyCount = static_cast<int16_t>(track.Keys.size());
        anim.Tracks.push_back(track);
    }
    anim.TrackCount = kBones;
    level.Animations = {anim};

    dv::MovableRecord movable;
    dv::ClipRecord clip{};
    clip.DurationMs = 1000;
    clip.StepsPerKey = 3;
    movable.Clips = {clip};
    movable.ClipCount = 1;
    level.Movables = {movable};
    return level;
}

// One pose and skin per iteration: the clock moves by one in-between step each time.
void BM_AnimatorUpdatePoseAndSkin(benchmark::State& state) {
    const dv::LevelRecord level = BenchLevel();
    dv::Animator item;
    item.Create(level);
    item.BindMovable(0);
    item.SelectClip(0);
    item.SetFrame(0);
    item.Animating = true;
    dv::ClockUseVirtual(true);
    int32_t now = 100000;
    for (auto _ : state) {
        now += 9;  // a step is 1000 / 120 ms
        dv::ClockSetVirtualMs(now);
        item.Update();
        benchmark::DoNotOptimize(item.SkinnedVertices().data());
    }
    dv::ClockUseVirtual(false);
}
BENCHMARK(BM_AnimatorUpdatePoseAndSkin);

// The pose-unchanged path: updates within one step.
void BM_AnimatorUpdateUnchanged(benchmark::State& state) {
    const dv::LevelRecord level = BenchLevel();
    dv::Animator item;
    item.Create(level);
    item.BindMovable(0);
    item.SelectClip(0);
    item.SetFrame(0);
    item.Animating = true;
    dv::ClockUseVirtual(true);
    dv::ClockSetVirtualMs(100000);
    item.Update();
    for (auto _ : state) {
        item.Update();
        benchmark::DoNotOptimize(item.Playback().FramePos);
    }
    dv::ClockUseVirtual(false);
}
BENCHMARK(BM_AnimatorUpdateUnchanged);

// One follow tick of the camera in a 16 x 16-cell hall while the character turns.
void BM_CameraFollowTick(benchmark::State& state) {
    dv::LevelMap level;
    dv::LevelRoom room;
    room.Header.CellsX = 16;
    room.Header.CellsZ = 16;
    room.Header.HeightCells = 4;
    room.Cells.assign(16, std::vector<dv::GridCell>(16, dv::GridCell{}));
    level.Rooms.push_back(std::move(room));
    level.RoomCount = 1;
    dv::FollowCamera camera;
    camera.Subject.Position = {256, 0, 256};
    camera.Level = &level;
    for (auto _ : state) {
        camera.Subject.Heading += 1.0f;
        camera.Update();
        benchmark::DoNotOptimize(camera.Eye());
    }
}
BENCHMARK(BM_CameraFollowTick);

}  // namespace
