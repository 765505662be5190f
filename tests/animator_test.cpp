#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "math/clock.h"
#include "models/animator.h"
#include "models/animator_internal.h"
#include "world/level_file.h"

using namespace dv;

namespace {

constexpr float kHalfRoot2 = 7.0710678f;  // 10 * sin 45

AnimationKey Key(int32_t frame, Vec3 rotation, Vec3 translation = {0, 0, 0}) {
    return AnimationKey{frame, rotation, translation};
}

BoneTrack Track(std::initializer_list<AnimationKey> keys) {
    BoneTrack t;
    t.Keys.assign(keys);
    t.KeyCount = static_cast<int16_t>(t.Keys.size());
    return t;
}

AnimationRecord Anim(int16_t frames, std::initializer_list<BoneTrack> tracks) {
    AnimationRecord a;
    a.FrameCount = frames;
    a.Tracks.assign(tracks);
    a.TrackCount = static_cast<int16_t>(a.Tracks.size());
    return a;
}

ClipRecord Clip(int32_t id, int32_t durationMs, int16_t animation, int16_t steps) {
    ClipRecord c{};
    c.ClipId = id;
    c.DurationMs = durationMs;
    c.AnimationIndex = animation;
    c.StepsPerKey = steps;
    return c;
}

ModelVertex Vertex(Vec3 position, std::initializer_list<std::pair<int16_t, uint8_t>> slots, Vec3 normal = {1, 0, 0}) {
    ModelVertex v{};
    v.Position = position;
    v.Normal = normal;
    for (int s = 0; s < 4; ++s) v.Bones[s] = -1;
    int s = 0;
    for (const auto& [bone, weight] : slots) {
        v.Bones[s] = bone;
        v.Weights[s] = weight;
        ++s;
    }
    v.Gloss = 77;
    return v;
}

MovableRecord Movable(int32_t id, std::initializer_list<ClipRecord> clips) {
    MovableRecord m;
    m.Id = id;
    m.Clips.assign(clips);
    m.ClipCount = static_cast<int16_t>(m.Clips.size());
    return m;
}

// A three-bone chain standing on the y axis: root at the origin, bone 1 pivoting at y 10,
// bone 2 at y 20.
//
// Animation 0 (4 frames): the root's track has keys at frames 0 and 2 only (sliding by 4
// along x at frame 2), bone 1 turns 90 degrees about z at frame 1 and back at frame 2.
// Animation 1 (2 frames): the root lifted by 6, then by 8.
LevelRecord MakeLevel() {
    LevelRecord level;
    SkeletonRecord skeleton;
    skeleton.Bones = {SkeletonBone{-1, {0, 0, 0}, {}}, SkeletonBone{0, {0, 10, 0}, {}},
                      SkeletonBone{1, {0, 20, 0}, {}}};
    skeleton.BoneCount = 3;
    level.Skeletons = {skeleton};

    ModelRecord model;
    model.Vertices = {
        Vertex({0, 20, 0}, {{1, 100}}),                            // rigid on bone 1
        Vertex({0, 30, 0}, {{-1, 0}, {2, 50}}),                    // slot 0 unused
        Vertex({0, 20, 0}, {{0, 50}, {1, 50}}),                    // two bones
        Vertex({0, 30, 0}, {{0, 25}, {1, 25}, {2, 25}, {0, 25}}),  // four bones
    };
    model.VertexCount = 4;
    level.Models = {model};

    const Vec3 zero{0, 0, 0};
    level.Animations = {
        Anim(4, {Track({Key(0, zero), Key(2, zero, {4, 0, 0})}),
                 Track({Key(0, zero), Key(1, {0, 0, 90}), Key(2, zero)}), Track({Key(0, zero)})}),
        Anim(2,
             {Track({Key(0, zero, {0, 6, 0}), Key(1, zero, {0, 8, 0})}), Track({Key(0, zero)}), Track({Key(0, zero)})}),
    };

    level.Movables = {
        Movable(7, {Clip(0, 400, 0, 0), Clip(2, 400, 0, 1), Clip(4, 120000, 0, 29999), Clip(7, 200, 1, 0)}),
        Movable(8, {Clip(1, 100, 0, 0), Clip(3, 100, 0, 0), Clip(3, 100, 0, 0), Clip(3, 100, 0, 0), Clip(3, 100, 0, 0),
                    Clip(8, 100, 0, 0), Clip(9, 100, 0, 0)}),
        Movable(9, {Clip(1, 100, 0, 0), Clip(9, 100, 0, 0), Clip(4, 100, 0, 0)}),
        Movable(10, {Clip(0, 100, 0, 0), Clip(9, 100, 0, 0), Clip(3, 100, 0, 0), Clip(3, 100, 0, 0), Clip(4, 100, 0, 0),
                     Clip(5, 100, 0, 0), Clip(6, 100, 0, 0)}),
    };
    level.MovableCount = 4;
    return level;
}

void ExpectVec(const Vec3& v, float x, float y, float z, float tolerance = 1e-4f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

class AnimatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClockUseVirtual(true);
        level = MakeLevel();
        item.Create(level);
        ASSERT_TRUE(item.BindMovable(0));
    }
    void TearDown() override { ClockUseVirtual(false); }

    // The start-up sequence of the game with `clip` at `frame`, run once at `now`.
    void Start(int32_t clip, int32_t frame, int32_t now) {
        item.SelectClip(clip);
        item.SetFrame(frame);
        item.Animating = true;
        item.TimeScale = 1.0f;
        UpdateAt(now);
    }
    void UpdateAt(int32_t now) {
        ClockSetVirtualMs(now);
        item.Update();
    }
    Vec3 Pos(int v) const { return item.SkinnedVertices()[static_cast<size_t>(v)].Position; }

    LevelRecord level;
    Animator item;
};

}  // namespace

TEST(SampleKey, HoldsSparseKeysAndYieldsZeroOutsideTheAnimation) {
    const AnimationRecord a =
        Anim(7, {Track({Key(0, {1, 0, 0}, {1, 1, 1}), Key(2, {2, 0, 0}, {2, 2, 2}), Key(5, {5, 0, 0}, {5, 5, 5})})});
    const float expected[] = {1, 1, 2, 2, 2, 5, 5};
    for (int f = 0; f < 7; ++f) {
        const KeySample s = SampleKey(a, 0, f);
        EXPECT_EQ(s.Rotation.x, expected[f]) << "frame " << f;
        EXPECT_EQ(s.Translation.z, expected[f]) << "frame " << f;
    }
    for (const KeySample& s : {SampleKey(a, 0, 7), SampleKey(a, 0, -1), SampleKey(a, 1, 0), SampleKey(a, -1, 0)}) {
        ExpectVec(s.Rotation, 0, 0, 0, 0);
        ExpectVec(s.Translation, 0, 0, 0, 0);
    }
    const AnimationRecord empty = Anim(3, {Track({})});
    ExpectVec(SampleKey(empty, 0, 1).Translation, 0, 0, 0, 0);
}

TEST_F(AnimatorTest, FindClipReturnsTheLowestOfRepeatedIds) {
    ASSERT_TRUE(item.BindMovable(1));
    EXPECT_EQ(item.FindClip(3, 0, 6), 1);
    EXPECT_EQ(item.FindClip(3, 3, 6), 3);
    EXPECT_EQ(item.FindClip(1, 0, 6), 0);
    EXPECT_EQ(item.FindClip(8, 0, 6), 5);
    EXPECT_EQ(item.FindClip(9, 0, 6), 6);
    EXPECT_EQ(item.FindClip(2, 0, 6), -1);
    EXPECT_EQ(item.FindClip(10, 0, 6), -1);
    EXPECT_EQ(item.FindClip(1, 1, 6), -1);
    item.SelectClip(3);
    EXPECT_EQ(item.Playback().ClipIndex, 1);
    EXPECT_EQ(item.CurrentClipId(), 3);
}

TEST_F(AnimatorTest, ClipsOutOfOrderAreMissedAndSelectTheFirstClip) {
    ASSERT_TRUE(item.BindMovable(2));  // ids 1, 9, 4
    EXPECT_EQ(item.FindClip(4, 0, 2), -1);
    EXPECT_EQ(item.FindClip(9, 0, 2), 1);
    item.SelectClip(4);
    EXPECT_EQ(item.Playback().ClipIndex, 0);
    EXPECT_EQ(item.CurrentClipId(), 1);
    item.StartTransition(4, 0, 1);
    EXPECT_EQ(item.Playback().NextClipIndex, 0);

    // A hit whose left neighbour repeats the id stands even when the disordered entries to
    // its left hide the lower copy from the search.
    ASSERT_TRUE(item.BindMovable(3));  // ids 0, 9, 3, 3, 4, 5, 6
    EXPECT_EQ(item.FindClip(3, 0, 6), 3);
}

TEST_F(AnimatorTest, WholeFramesAdvanceOncePerFrameTimeAndWrap) {
    EXPECT_EQ(item.Playback().Frame, -1);
    UpdateAt(5);  // stopped: nothing happens, the vertices stay zero
    ExpectVec(Pos(0), 0, 0, 0, 0);

    Start(0, 0, 1000);  // start time 0: the first update advances at once
    EXPECT_EQ(item.Playback().Frame, 1);
    EXPECT_EQ(item.Playback().FramePos, 1.0f);
    EXPECT_EQ(item.Playback().LastFrame, 1);
    ExpectVec(Pos(0), -10, 10, 0);

    for (int32_t now : {1050, 1099}) {
        UpdateAt(now);
        EXPECT_EQ(item.Playback().Frame, 1);
        EXPECT_EQ(item.Playback().FramePos, 1.0f);  // no in-between steps: whole frames only
    }
    UpdateAt(1100);
    EXPECT_EQ(item.Playback().Frame, 2);
    ExpectVec(Pos(0), 4, 20, 0);
    UpdateAt(9000);  // however late, one frame per update
    EXPECT_EQ(item.Playback().Frame, 3);
    ExpectVec(Pos(0), 4, 20, 0);  // the root's key of frame 2 is held
    UpdateAt(9100);
    EXPECT_EQ(item.Playback().Frame, 0);
    ExpectVec(Pos(0), 0, 20, 0);

    // Half speed doubles the frame time.
    item.TimeScale = 2.0f;
    UpdateAt(9299);
    EXPECT_EQ(item.Playback().Frame, 0);
    UpdateAt(9300);
    EXPECT_EQ(item.Playback().Frame, 1);

    // A time scale not above zero becomes 1.0 and stays.
    item.TimeScale = 0.0f;
    UpdateAt(9400);
    EXPECT_EQ(item.TimeScale, 1.0f);
    EXPECT_EQ(item.Playback().Frame, 2);

    item.Animating = false;
    UpdateAt(20000);
    EXPECT_EQ(item.Playback().Frame, 2);
    EXPECT_EQ(item.Playback().FramePos, 2.0f);
}

TEST_F(AnimatorTest, OneInBetweenStepSlerpsHalfwayIncludingTheWrapToFrameZero) {
    Start(2, 3, 1000);  // clip 2: 1 in-between step; SetFrame(3) shows frame 0 next
    EXPECT_EQ(item.Playback().Frame, 0);
    UpdateAt(1049);
    EXPECT_EQ(item.Playback().FramePos, 0.0f);
    UpdateAt(1050);
    EXPECT_EQ(item.Playback().FramePos, 0.5f);
    ExpectVec(Pos(0), -kHalfRoot2, 10 + kHalfRoot2, 0);  // bone 1 halfway to 90 degrees
    UpdateAt(1100);
    EXPECT_EQ(item.Playback().Frame, 1);
    EXPECT_EQ(item.Playback().FramePos, 1.0f);

    UpdateAt(1200);
    UpdateAt(1300);
    EXPECT_EQ(item.Playback().Frame, 3);
    UpdateAt(1350);
    EXPECT_EQ(item.Playback().FramePos, 3.5f);
    ExpectVec(Pos(0), 2, 20, 0);  // the root slides halfway back to frame 0's key
}

TEST_F(AnimatorTest, FractionBelowHalfATenThousandthCountsAsZero) {
    Start(4, 3, 40000);  // clip 4: 30000 steps per frame of 30 s, so one step per ms
    ASSERT_EQ(item.Playback().Frame, 0);
    UpdateAt(40001);  // FramePos = 1 / 30000
    EXPECT_GT(item.Playback().FramePos, 0.0f);
    EXPECT_EQ(Pos(0).x, 0.0f);  // posed exactly at frame 0
    EXPECT_EQ(Pos(0).y, 20.0f);
    UpdateAt(40002);  // 2 / 30000 rounds to 0.0001: a slight turn towards frame 1
    EXPECT_LT(Pos(0).x, -0.001f);
    EXPECT_GT(Pos(0).x, -0.002f);
}

TEST_F(AnimatorTest, RepeatedUpdatesWithinOneStepLeaveTheVerticesUntouched) {
    Start(0, 0, 1000);
    const ModelVertex* storage = item.SkinnedVertices().data();
    AnimatorInternals::SkinnedVertices(item)[0].Position = {99, 99, 99};
    UpdateAt(1020);
    UpdateAt(1099);
    ExpectVec(Pos(0), 99, 99, 99, 0);
    UpdateAt(1100);
    ExpectVec(Pos(0), 4, 20, 0);
    EXPECT_EQ(item.SkinnedVertices().data(), storage);
}

TEST_F(AnimatorTest, SkinningWeighsUpToFourBonesFromTheRestPosition) {
    Start(0, 3, 1000);  // frame 0: every bone at rest
    ExpectVec(Pos(0), 0, 20, 0);
    ExpectVec(Pos(1), 0, 45, 0);  // rest + 50 % of the bone's result
    ExpectVec(Pos(2), 0, 20, 0);
    ExpectVec(Pos(3), 0, 30, 0);

    UpdateAt(1100);  // frame 1: bone 1 (and with it bone 2) turned 90 degrees about z at y 10
    ExpectVec(Pos(0), -10, 10, 0);
    ExpectVec(item.SkinnedVertices()[0].Normal, 0, 1, 0);
    ExpectVec(Pos(1), -10, 35, 0);                               // (0, 30, 0) + 0.5 * (-20, 10, 0)
    ExpectVec(Pos(2), -5, 15, 0);                                // 0.5 * (0, 20, 0) + 0.5 * (-10, 10, 0)
    ExpectVec(Pos(3), -10, 20, 0);                               // 0.25 * ((0,30) + (-20,10) + (-20,10) + (0,30))
    ExpectVec(item.SkinnedVertices()[3].Normal, 0.5f, 0.5f, 0);  // weighted, not renormalised
    EXPECT_EQ(item.SkinnedVertices()[3].Gloss, 77);

    UpdateAt(1200);  // frame 2: the root slid by 4, carrying the whole chain
    ExpectVec(Pos(0), 4, 20, 0);
    ExpectVec(Pos(1), 2, 45, 0);
    ExpectVec(AnimatorInternals::Pose(item)[2].Offset, 4, 0, 0);
}

TEST_F(AnimatorTest, TransitionWaitsForItsFrameBlendsAndSwitches) {
    Start(0, 0, 1000);
    ASSERT_EQ(item.Playback().Frame, 1);
    item.StartTransition(7, 1, 2);  // blend of 2 steps of 100 ms into clip 7 at frame 1
    EXPECT_TRUE(item.Playback().TransitionPending);
    EXPECT_EQ(item.Playback().TransitionFrame, 1);

    item.SetFrame(2);  // the frame moved on before the blend began
    UpdateAt(1010);
    EXPECT_EQ(item.Playback().Frame, 3);
    EXPECT_FALSE(item.Playback().Blending);
    UpdateAt(1110);
    EXPECT_EQ(item.Playback().Frame, 0);
    UpdateAt(1210);
    EXPECT_EQ(item.Playback().Frame, 1);
    EXPECT_FALSE(item.Playback().Blending);

    UpdateAt(1260);  // frame 1 again: the blend begins; half a step gives fraction 0
    EXPECT_TRUE(item.Playback().Blending);
    EXPECT_EQ(item.Playback().FramePos, 1.0f);
    UpdateAt(1310);
    EXPECT_EQ(item.Playback().Frame, 1);
    EXPECT_EQ(item.Playback().BlendFraction, 0.5f);
    EXPECT_EQ(item.Playback().FramePos, 1.5f);
    ExpectVec(Pos(0), -kHalfRoot2, 10 + kHalfRoot2 + 4, 0);  // 45 degrees, root lifted halfway to 8
    UpdateAt(1409);                                          // blending suspends frame stepping
    EXPECT_EQ(item.Playback().Frame, 1);
    EXPECT_TRUE(item.Playback().Blending);
    EXPECT_FALSE(item.Playback().TransitionDone);

    UpdateAt(1410);  // 200 ms after the frame began: the switch
    EXPECT_TRUE(item.Playback().TransitionDone);
    EXPECT_FALSE(item.Playback().Blending);
    EXPECT_EQ(item.Clip(), &level.Movables[0].Clips[3]);
    EXPECT_EQ(item.Animation(), &level.Animations[1]);
    EXPECT_EQ(item.Playback().Frame, 1);
    EXPECT_EQ(item.CurrentClipId(), 0);  // still the clip last selected
    ExpectVec(Pos(0), 0, 28, 0);

    UpdateAt(1510);  // clip 7 has two frames of 100 ms
    EXPECT_EQ(item.Playback().Frame, 0);
    ExpectVec(Pos(0), 0, 26, 0);
    UpdateAt(1610);
    EXPECT_EQ(item.Playback().Frame, 1);
    EXPECT_FALSE(item.Playback().Blending);  // done: the pending request does not run again

    item.SelectClip(0);
    EXPECT_FALSE(item.Playback().TransitionPending);
    EXPECT_FALSE(item.Playback().TransitionDone);
    EXPECT_EQ(item.Playback().Frame, -1);
}

TEST_F(AnimatorTest, BlendOfZeroStepsSwitchesAtOnce) {
    for (const auto& [length, scale] : {std::pair{0, 1.0f}, std::pair{1, 0.5f}}) {
        Start(0, 0, 1000);
        item.TimeScale = scale;
        item.StartTransition(7, 1, length);
        UpdateAt(1001);
        EXPECT_TRUE(item.Playback().TransitionDone) << length;
        EXPECT_EQ(item.Playback().Frame, 1);
        EXPECT_TRUE(std::isfinite(item.Playback().FramePos));
        EXPECT_EQ(item.Animation(), &level.Animations[1]);
        ExpectVec(Pos(0), 0, 28, 0);
    }
}

TEST_F(AnimatorTest, SwitchOntoTheCachedPoseDoesNotFreezePlayback) {
    Start(0, 0, 1000);              // clip 0 at frame 1, posed
    item.StartTransition(0, 1, 0);  // the same clip at the same frame, at once
    UpdateAt(1001);
    EXPECT_TRUE(item.Playback().TransitionDone);
    EXPECT_FALSE(item.Playback().Blending);
    UpdateAt(1101);
    EXPECT_EQ(item.Playback().Frame, 2);
}

TEST_F(AnimatorTest, BindingChecksTheMovableAndSizesTheArrays) {
    EXPECT_EQ(item.SkinnedVertices().size(), 4u);
    EXPECT_EQ(AnimatorInternals::Pose(item).size(), 3u);
    EXPECT_FALSE(item.BindMovable(4));
    EXPECT_EQ(item.Movable(), nullptr);
    EXPECT_EQ(item.CurrentClipId(), -1);
    item.SelectClip(0);
    item.SetFrame(0);
    item.Animating = true;
    UpdateAt(100);  // nothing bound: nothing to do
    EXPECT_EQ(item.Playback().Frame, 0);
    item.Destroy();
    EXPECT_TRUE(item.SkinnedVertices().empty());
}

TEST(AnimatorWrittenLevel, MovableReadBackFromALevelFileAnimatesAlike) {
    LevelFileData data;
    data.StripB.Width = 4;
    data.StripB.Height = 4;
    data.StripB.Pixels.assign(16, 0);
    data.Level = MakeLevel();
    data.Level.StripBTileCount = 1;
    data.Level.ModelCount = 1;
    data.Level.SkeletonCount = 1;
    data.Level.AnimationCount = 2;
    LevelRoom room;
    room.Header.CellsX = room.Header.CellsZ = room.Header.HeightCells = 1;
    room.Cells.assign(1, std::vector<GridCell>(1, GridCell{}));
    data.Level.Map.Rooms = {room};
    data.Level.Map.RoomCount = 1;
    const std::vector<uint8_t> bytes = WriteLevel(data);
    LevelFileData back;
    ParseLevel(bytes.data(), bytes.size(), "anim.lev", back);  // disordered clip ids load too

    ClockUseVirtual(true);
    Animator item;
    item.Create(back.Level);
    ASSERT_TRUE(item.BindMovable(0));
    item.SelectClip(0);
    item.SetFrame(0);
    item.Animating = true;
    ClockSetVirtualMs(1000);
    item.Update();
    ExpectVec(item.SkinnedVertices()[0].Position, -10, 10, 0);
    ExpectVec(item.SkinnedVertices()[1].Position, -10, 35, 0);
    EXPECT_EQ(item.SkinnedVertices()[1].Gloss, 77);
    ClockUseVirtual(false);
}

TEST_F(AnimatorTest, DrawingArraysFollowThePoseAndTheVertexRecordsCatchUp) {
    Start(0, 3, 1000);
    const auto skinnedPos = [this](size_t v) {
        const size_t e = item.Skinned().SlotOf(v);
        return Vec3{item.Skinned().X[e], item.Skinned().Y[e], item.Skinned().Z[e]};
    };
    ExpectVec(skinnedPos(0), 0, 20, 0);
    const uint64_t serial = item.SkinnedSerial();

    ClockSetVirtualMs(1100);
    EXPECT_TRUE(item.UpdateSkinned());  // frame 1: the arrays move, the records wait
    EXPECT_NE(item.SkinnedSerial(), serial);
    ExpectVec(skinnedPos(0), -10, 10, 0);
    ExpectVec(skinnedPos(3), -10, 20, 0);
    ExpectVec(Pos(0), 0, 20, 0);
    EXPECT_FALSE(item.UpdateSkinned());  // same step: nothing to do

    item.Update();  // the pose is unchanged, yet the records take it now
    ExpectVec(Pos(0), -10, 10, 0);
    ExpectVec(Pos(3), -10, 20, 0);
    EXPECT_EQ(item.SkinnedVertices()[3].Gloss, 77);

    ClockSetVirtualMs(1200);
    EXPECT_TRUE(item.UpdatePose());  // posed without skinning (the benchmark's reference path)
    item.Update();                   // still skins that pose
    ExpectVec(Pos(0), 4, 20, 0);
    ExpectVec(skinnedPos(1), 2, 45, 0);
}

TEST(SkinGroups, VerticesSharingTheirBonesAreConsecutiveAndSkinAsOne) {
    ModelVertices rest(6);
    const int16_t bones[6][4] = {{1, -1, -1, -1}, {0, 2, -1, -1}, {1, -1, -1, -1},
                                 {-1, 0, -1, -1}, {0, 2, -1, -1}, {2, 0, -1, -1}};
    const uint8_t weights[6][4] = {{100}, {30, 70}, {100}, {0, 50}, {60, 40}, {50, 50}};
    for (size_t v = 0; v < rest.size(); ++v) {
        rest[v] = ModelVertex{};
        rest[v].Position = Vec3{static_cast<float>(v), 2.0f * v, -1.0f};
        rest[v].Normal = Vec3{0, 1, 0};
        std::copy(bones[v], bones[v] + 4, rest[v].Bones);
        std::copy(weights[v], weights[v] + 4, rest[v].Weights);
    }
    std::vector<VertexInfluences> influences;
    for (const ModelVertex& v : rest) influences.push_back(ResolveInfluences(v, 3));
    SkinnedMesh out;
    const SkinGroups groups = GroupVertices(rest, influences, out);

    // Groups by count, then bones: {1} x 2, {0, 2} x 2, {2, 0}, {3, 0} (3: the identity that
    // stands for vertex 3's missing slot 0).
    ASSERT_EQ(groups.Groups.size(), 4u);
    std::vector<int> seen(rest.size(), 0);
    for (const SkinGroup& g : groups.Groups) {
        for (uint32_t e = g.First; e < g.First + g.Count; ++e) {
            const uint32_t v = groups.Vertex[e];
            ++seen[v];
            EXPECT_EQ(out.Slot[v], e);
            EXPECT_EQ(g.Bones, influences[v].Count);
            EXPECT_TRUE(std::equal(g.Bone, g.Bone + g.Bones, influences[v].Bone));
        }
    }
    EXPECT_EQ(seen, std::vector<int>(rest.size(), 1));
    EXPECT_EQ(groups.Groups[1].Count, 2u);  // vertices 1 and 4 share bones 0 and 2

    // Bone b moves by (b + 1, 0, 0) and turns the normal to x for bone 2; the identity stays.
    BoneTransform transforms[4];
    for (int b = 0; b < 4; ++b) {
        transforms[b] = BoneTransform{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {b < 3 ? b + 1.0f : 0.0f, 0, 0}};
    }
    transforms[2] = BoneTransform{{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}, {3, 0, 0}};
    SkinGroupedVertices(groups, transforms, out);
    for (size_t v = 0; v < rest.size(); ++v) {
        const VertexInfluences& in = influences[v];
        float px = 0, py = 0, nx = 0, ny = 0;
        for (int s = 0; s < in.Count; ++s) {
            const BoneTransform& t = transforms[in.Bone[s]];
            const Vec3 p = rest[v].Position, n = rest[v].Normal;
            const float w = in.Weight[s];
            const auto row = [&t](int i, const Vec3& q) {
                return t.Rotation[i][0] * q.x + t.Rotation[i][1] * q.y + t.Rotation[i][2] * q.z;
            };
            px += w * (row(0, p) + t.Translation[0]);
            py += w * (row(1, p) + t.Translation[1]);
            nx += w * row(0, n);
            ny += w * row(1, n);
        }
        const size_t e = out.Slot[v];
        EXPECT_FLOAT_EQ(out.X[e], px) << "vertex " << v;
        EXPECT_FLOAT_EQ(out.Y[e], py) << "vertex " << v;
        EXPECT_FLOAT_EQ(out.NX[e], nx) << "vertex " << v;
        EXPECT_FLOAT_EQ(out.NY[e], ny) << "vertex " << v;
    }
}
