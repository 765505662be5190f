#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <map>
#include <string>

#include "input/keyboard.h"
#include "character/character.h"
#include "character/character_tick.h"
#include "math/clock.h"
#include "models/animator.h"
#include "motion/movement_body.h"
#include "tools/character/character_build.h"
#include "tools/character/character_rig.h"
#include "world/level_file.h"

namespace {

using C = dv::CharacterClip;
// The clip id of the character's movable for a named clip.
constexpr int Id(C clip) { return static_cast<int>(clip); }

using dv::Vec3;

const dv::CharacterSource& Source() {
    static const dv::CharacterSource src = dv::LoadCharacterSource(std::string(DV_SOURCE_DIR) + "/assets/character");
    return src;
}

const dv::BuiltCharacter& Built() {
    static const dv::BuiltCharacter built = dv::BuildCharacter(Source());
    return built;
}

// The character written into a level and read back through the level reader's checks.
const dv::LevelFileData& ReadBack() {
    static const dv::LevelFileData level = [] {
        const std::vector<uint8_t> bytes = dv::WriteLevel(dv::CharacterOnlyLevel(Built()));
        dv::LevelFileData out;
        dv::ParseLevel(bytes.data(), bytes.size(), "character.lev", out);
        return out;
    }();
    return level;
}

// Frames each clip must have: the last frame an action waits for, plus one.
const std::map<int, int>& MinimumFrames() {
    static const std::map<int, int> table = {{Id(C::Idle), 2},
                                             {Id(C::Turn), 2},
                                             {Id(C::Run), 21},
                                             {Id(C::Walk), 16},
                                             {Id(C::StepBack), 17},
                                             {Id(C::WalkBack), 2},
                                             {Id(C::SideStepLeft), 13},
                                             {Id(C::SideStepRight), 13},
                                             {Id(C::RunStopA), 10},
                                             {Id(C::RunStopB), 10},
                                             {Id(C::WalkStopLeft), 9},
                                             {Id(C::WalkStopRight), 9},
                                             {Id(C::JumpPrepare), 9},
                                             {Id(C::JumpUp), 7},
                                             {Id(C::Apex), 2},
                                             {Id(C::JumpForward), 21},
                                             {Id(C::JumpBack), 21},
                                             {Id(C::Spare1), 2},
                                             {Id(C::Spare2), 2},
                                             {Id(C::RunJumpLeft), 9},
                                             {Id(C::RunJumpRight), 9},
                                             {Id(C::RunJumpAir), 2},
                                             {Id(C::RunJumpLand), 5},
                                             {Id(C::LandStraight), 10},
                                             {Id(C::Land), 12},
                                             {Id(C::LandRun), 6},
                                             {Id(C::Fall), 2},
                                             {Id(C::Bump), 3},
                                             {Id(C::TurnAround), 13},
                                             {Id(C::BackFlip), 9},
                                             {Id(C::ClimbLow), 15},
                                             {Id(C::ClimbMid), 34},
                                             {Id(C::ClimbHigh), 29},
                                             {Id(C::ClimbTop), 31},
                                             {Id(C::Grab), 13},
                                             {Id(C::Hang), 2},
                                             {Id(C::HangDrop), 13},
                                             {Id(C::ClimbFromHang), 22},
                                             {Id(C::ShimmyLeft), 13},
                                             {Id(C::ShimmyRight), 13},
                                             {Id(C::LookDown), 16},
                                             {Id(C::LookDownHold), 2},
                                             {Id(C::LookDownEnd), 16},
                                             {Id(C::HangFall), 9},
                                             {Id(C::HighHang), 2},
                                             {Id(C::JumpPrepareHigh), 9},
                                             {Id(C::ClimbFromHighHang), 23},
                                             {Id(C::HighHangFall), 9},
                                             {Id(C::HighShimmyLeft), 16},
                                             {Id(C::HighShimmyRight), 16},
                                             {Id(C::TurnAndGrab), 21},
                                             {Id(C::LowerToHighHang), 16}};
    return table;
}

// Checks movable 0 of a level against everything the actions rely on.
void ExpectPlayableCharacter(const dv::LevelRecord& lev) {
    ASSERT_GE(lev.MovableCount, 1);
    const dv::MovableRecord& m = lev.Movables[0];
    const dv::SkeletonRecord& skel = lev.Skeletons.at(static_cast<size_t>(m.SkeletonIndex));
    // Every face's texture, relative to the movable's slot, is one of the level's textures.
    int16_t highest = 0;
    for (const dv::ModelFace& f : lev.Models.at(static_cast<size_t>(m.ModelIndex)).Faces)
        highest = std::max(highest, f.Texture);
    EXPECT_GE(m.TextureSlot, 1001);
    EXPECT_LE(m.TextureSlot + highest, 1000 + lev.TextureCount);
    for (size_t i = 1; i < m.Clips.size(); ++i) EXPECT_LT(m.Clips[i - 1].ClipId, m.Clips[i].ClipId);
    for (const auto& entry : MinimumFrames()) {
        const auto id = entry.first;  // a plain copy: lambdas cannot capture structured bindings in C++20
        const auto frames = entry.second;
        const auto it =
            std::find_if(m.Clips.begin(), m.Clips.end(), [&](const dv::ClipRecord& c) { return c.ClipId == id; });
        ASSERT_NE(it, m.Clips.end()) << "clip " << id;
        const dv::AnimationRecord& a = lev.Animations.at(static_cast<size_t>(it->AnimationIndex));
        EXPECT_GE(a.FrameCount, frames) << "clip " << id;
        EXPECT_GE(it->DurationMs, 40 * a.FrameCount) << "clip " << id << ": a frame lasts under 40 ms";
        ASSERT_GE(a.TrackCount, skel.BoneCount) << "clip " << id;
        for (const dv::BoneTrack& t : a.Tracks) {
            ASSERT_FALSE(t.Keys.empty()) << "clip " << id;
            EXPECT_EQ(t.Keys[0].Frame, 0) << "clip " << id;
        }
    }
}

TEST(CharacterContent, BuiltCharacterPassesTheLevelReaderAndHasEveryClip) {
    const dv::LevelRecord& lev = ReadBack().Level;
    ExpectPlayableCharacter(lev);
    const dv::MovableRecord& m = lev.Movables[0];
    EXPECT_EQ(m.ClipCount, 52);
    EXPECT_EQ(m.TextureSlot, 1001);  // its textures are the level's first ones here
    EXPECT_EQ(ReadBack().Textures.size(), Built().Textures.size());
    EXPECT_GE(Built().Textures.size(), 3u);
}

// The clip names the actions use are the clips of the character's sources, number for number.
// The game doubles every texel (modulate-2x) and the summed vertex light reaches 1 next to a
// bright lamp: no texel may be brighter than half, or that part burns out to white there. The
// skin keeps its hue (red above green above blue) and the darker cloth stays as authored.
TEST(CharacterContent, TexturesStayUnderHalfBrightnessSoFullLightDoesNotBurnThemOut) {
    int over = 0;
    for (const dv::PixelBlock& t : Built().Textures) {
        for (const uint16_t c : t.Pixels) {
            const float r = ((c >> 11) & 31) / 31.0f, g = ((c >> 5) & 63) / 63.0f, b = (c & 31) / 31.0f;
            if (2 * std::max({r, g, b}) >= 1.0f) ++over;
        }
    }
    EXPECT_EQ(over, 0) << "texels that a fully lit vertex doubles to 255";
    const uint16_t skin = Built().Textures[0].Pixels[0];
    EXPECT_GT((skin >> 11) & 31, ((skin >> 5) & 63) / 2);
    EXPECT_GT(((skin >> 5) & 63) / 2, skin & 31);
    EXPECT_GT((skin >> 11) & 31, 12) << "the skin dimmed to just under half, not darker";
}

TEST(CharacterContent, ClipNamesAreTheSourcesClips) {
    const std::vector<dv::CharacterClipSource>& clips = Source().Clips;
    ASSERT_EQ(clips.size(), static_cast<size_t>(dv::kClipCount));
    for (const dv::CharacterClipSource& clip : clips)
        EXPECT_STREQ(dv::ClipSourceName(static_cast<dv::CharacterClip>(clip.Id)), clip.Name.c_str())
            << "clip " << clip.Id;
    EXPECT_STREQ(dv::ClipSourceName(static_cast<dv::CharacterClip>(dv::kClipCount)), "?");
}

TEST(CharacterContent, AddingToALevelMakesItMovableZeroAndShiftsIndices) {
    dv::LevelFileData level = dv::CharacterOnlyLevel(Built());
    const size_t texturesBefore = level.Textures.size();
    dv::AddCharacterToLevel(level, Built());
    const std::vector<uint8_t> bytes = dv::WriteLevel(level);
    dv::LevelFileData out;
    dv::ParseLevel(bytes.data(), bytes.size(), "two.lev", out);
    ASSERT_EQ(out.Level.MovableCount, 2);
    const dv::MovableRecord& first = out.Level.Movables[0];
    EXPECT_EQ(first.TextureSlot, static_cast<int16_t>(1001 + texturesBefore));
    EXPECT_EQ(first.ModelIndex, 1);
    EXPECT_EQ(first.SkeletonIndex, 1);
    EXPECT_EQ(first.Clips[0].AnimationIndex, static_cast<int16_t>(Built().Animations.size()));
    ExpectPlayableCharacter(out.Level);
}

TEST(CharacterContent, TheDemoLevelCarriesThePlayableCharacter) {
    const std::string path = std::string(DV_BINARY_DIR) + "/test.lev";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "the demo level has not been built";
    dv::LevelFileData level;
    dv::ParseLevelFile(path, level);
    if (level.Level.MovableCount == 0) GTEST_SKIP() << "the demo level has no character yet";
    ExpectPlayableCharacter(level.Level);
}

TEST(CharacterContent, MeshWeightsSkeletonAndSize) {
    const dv::BuiltCharacter& b = Built();
    const dv::ModelRecord& m = b.Model;
    EXPECT_GE(m.VertexCount, 300);
    EXPECT_LE(m.VertexCount, 2500);
    for (size_t i = 0; i < m.Vertices.size(); ++i) {
        const dv::ModelVertex& v = m.Vertices[i];
        int sum = 0;
        for (int s = 0; s < 4; ++s) {
            if (v.Bones[s] < 0) {
                EXPECT_EQ(v.Weights[s], 0) << "vertex " << i;
                continue;
            }
            EXPECT_LT(v.Bones[s], b.Skeleton.BoneCount) << "vertex " << i;
            EXPECT_GT(v.Weights[s], 0) << "vertex " << i;
            sum += v.Weights[s];
        }
        ASSERT_EQ(sum, 100) << "vertex " << i;
        EXPECT_NEAR(dv::VecLength(v.Normal), 1.0f, 1e-3f) << "vertex " << i;
    }
    // Joints blend: some vertices are shared by two or more bones.
    const auto blended =
        std::count_if(m.Vertices.begin(), m.Vertices.end(), [](const dv::ModelVertex& v) { return v.Bones[1] >= 0; });
    EXPECT_GT(blended, m.VertexCount / 10);
    EXPECT_GT(std::count_if(m.Vertices.begin(), m.Vertices.end(), [](const dv::ModelVertex& v) { return v.Gloss > 0; }),
              0);

    for (size_t f = 0; f < m.Faces.size(); ++f) {
        for (int k = 0; k < 3; ++k) ASSERT_LT(m.Faces[f].Vertex[k], m.Vertices.size());
        EXPECT_GE(m.Faces[f].Texture, 0);
        EXPECT_LT(m.Faces[f].Texture, static_cast<int16_t>(b.Textures.size()));
    }
    ASSERT_GE(b.Skeleton.BoneCount, 15);
    EXPECT_EQ(b.Skeleton.Bones[0].Parent, -1);
    for (int i = 1; i < b.Skeleton.BoneCount; ++i) {
        EXPECT_GE(b.Skeleton.Bones[i].Parent, 0);
        EXPECT_LT(b.Skeleton.Bones[i].Parent, i);
    }
    // About 26 units tall once the shell scales it by 3.2, standing on the body position.
    const float scale = 3.2f;
    EXPECT_NEAR((m.BoundsMax.y - m.BoundsMin.y) * scale, 26.0f, 1.0f);
    EXPECT_NEAR(m.BoundsMin.y * scale, 0.0f, 0.3f);
    // Facing +z: the toes reach further forward than the heels reach back.
    EXPECT_GT(m.BoundsMax.z, -m.BoundsMin.z);
}

// The grip point of both hands (world units, relative to the body) at a frame of a clip.
Vec3 Grip(int clipId, int frame) {
    const dv::BuiltCharacter& b = Built();
    int index = -1;
    for (size_t i = 0; i < b.Movable.Clips.size(); ++i) {
        if (b.Movable.Clips[i].ClipId == clipId) index = static_cast<int>(i);
    }
    const auto pose = dv::PoseRig(b.Skeleton, dv::CharacterClipFrame(b, index, frame));
    Vec3 sum{0, 0, 0};
    for (const dv::CharacterMarker& mk : Source().Markers) {
        if (mk.Name == "l_grip" || mk.Name == "r_grip")
            sum = dv::VecAdd(sum, dv::RigPoint(b.Skeleton, pose, mk.Bone, mk.Point));
    }
    return dv::VecScale(sum, 0.5f * Source().Scale);
}

std::vector<dv::RigBonePose> ClipPose(int clipId, int frame) {
    return dv::PoseRig(Built().Skeleton, dv::CharacterClipFrame(Built(), clipId, frame));
}

float LowestSole(const std::vector<dv::RigBonePose>& pose) {
    float low = 1e9f;
    for (const dv::CharacterMarker& mk : Source().Markers) {
        if (mk.Name.find("heel") != std::string::npos || mk.Name.find("toe") != std::string::npos) {
            low = std::min(low, dv::RigPoint(Built().Skeleton, pose, mk.Bone, mk.Point).y * Source().Scale);
        }
    }
    return low;
}

TEST(CharacterContent, HangingClipsHoldTheHandsAtTheLedge) {
    struct Case {
        int clip;
        std::vector<int> frames;
        float height;
    };
    const Case cases[] = {{Id(C::Hang), {0, 5, 10, 15}, 16},        {Id(C::Grab), {12}, 16},
                          {Id(C::ShimmyLeft), {0, 6, 12}, 16},      {Id(C::ShimmyRight), {0, 6, 12}, 16},
                          {Id(C::LookDown), {0, 15}, 16},           {Id(C::LookDownHold), {0, 4}, 16},
                          {Id(C::LookDownEnd), {0, 15}, 16},        {Id(C::LowerToHighHang), {0, 8}, 16},
                          {Id(C::HighHang), {0, 8, 15}, 24},        {Id(C::HighShimmyLeft), {0, 8, 15}, 24},
                          {Id(C::HighShimmyRight), {0, 8, 15}, 24}, {Id(C::ClimbFromHang), {0}, 16},
                          {Id(C::ClimbFromHighHang), {0}, 24}};
    for (const Case& c : cases) {
        for (int f : c.frames) {
            const Vec3 g = Grip(c.clip, f);
            EXPECT_NEAR(g.y, c.height, 0.05f) << "clip " << c.clip << " frame " << f;
            EXPECT_GT(g.z, 1.0f) << "clip " << c.clip << " frame " << f << ": the hands are not over the ledge";
        }
    }
    // The lowering ends where the high hang begins once the body has dropped 8 units.
    const Vec3 end = Grip(Id(C::LowerToHighHang), 15), high = Grip(Id(C::HighHang), 0);
    EXPECT_NEAR(end.y - 8.0f, high.y - 16.0f, 0.05f);
}

Vec3 Facing(const std::vector<dv::RigBonePose>& pose) {
    Vec3 f{0, 0, 1};
    dv::QuatRotateVec(f, pose[0].Rotation);
    return f;
}

TEST(CharacterContent, TurnsEndFacingBackAndStartFacingForward) {
    for (int clip : {Id(C::TurnAround), Id(C::BackFlip), Id(C::TurnAndGrab)}) {
        const int last = Built().Animations[static_cast<size_t>(clip)].FrameCount - 1;
        EXPECT_GT(Facing(ClipPose(clip, 0)).z, 0.9f) << "clip " << clip;
        const int end = clip == Id(C::TurnAround) ? 12 : clip == Id(C::BackFlip) ? 8 : 20;
        ASSERT_LE(end, last);
        EXPECT_LT(Facing(ClipPose(clip, end)).z, -0.99f) << "clip " << clip;
    }
}

// Height in units the action lifts the body during a climb clip: rate x window x frame time.
float ActionRise(int clip) {
    struct Window {
        int first, last;
        float rate;
    };
    const std::map<int, Window> windows = {
        {30, {6, 8, 0.06f}}, {31, {6, 7, 0.035f}}, {32, {8, 10, 0.023f}}, {33, {8, 11, 0.015f}}};
    const auto it = windows.find(clip);
    if (it == windows.end()) return 0;
    const dv::ClipRecord& c = Built().Movable.Clips[static_cast<size_t>(clip)];
    const float frameMs = static_cast<float>(c.DurationMs) / Built().Animations[static_cast<size_t>(clip)].FrameCount;
    return it->second.rate * frameMs * static_cast<float>(it->second.last - it->second.first + 1);
}

TEST(CharacterContent, ClimbsEndStandingOnTheLedgeAtTheClimbTarget) {
    struct Case {
        int clip, end;
        float height, ahead;
    };
    // Ledge heights in the middle of each climb's band; targets 6 units ahead from standing,
    // 3 and 4.5 from the hangs (which start 16 and 24 below the ledge).
    const Case cases[] = {{Id(C::ClimbLow), 14, 13, 6},      {Id(C::ClimbMid), 33, 21, 6},
                          {Id(C::ClimbHigh), 28, 29, 6},     {Id(C::ClimbTop), 30, 34, 6},
                          {Id(C::ClimbFromHang), 21, 16, 3}, {Id(C::ClimbFromHighHang), 22, 24, 4.5f}};
    for (const Case& c : cases) {
        const auto pose = ClipPose(c.clip, c.end);
        const float rise = ActionRise(c.clip);
        EXPECT_NEAR(LowestSole(pose) + rise, c.height, 0.05f) << "clip " << c.clip;
        const Vec3 hips = dv::VecScale(dv::VecAdd(Built().Skeleton.Bones[0].Pivot, pose[0].Offset), Source().Scale);
        EXPECT_NEAR(hips.z, c.ahead, 0.3f) << "clip " << c.clip;
        if (c.clip <= Id(C::ClimbTop)) {
            EXPECT_NEAR(LowestSole(ClipPose(c.clip, 0)), 0.0f, 0.05f) << "clip " << c.clip;
        }
    }
    // The source's body moves are the lifts the actions apply.
    for (int clip : {Id(C::ClimbLow), Id(C::ClimbMid), Id(C::ClimbHigh), Id(C::ClimbTop)}) {
        float stated = 0;
        for (const dv::CharacterBodyMove& m : Source().Clips[static_cast<size_t>(clip)].Body) stated += m.Delta.y;
        EXPECT_NEAR(stated, ActionRise(clip), 0.05f) << "clip " << clip;
    }
}

TEST(CharacterContent, GroundedClipsStandOnTheBodyPosition) {
    for (int clip : {Id(C::Idle), Id(C::Turn), Id(C::Walk), Id(C::StepBack), Id(C::SideStepLeft), Id(C::SideStepRight),
                     Id(C::RunStopA), Id(C::WalkStopLeft), Id(C::WalkStopRight), Id(C::JumpPrepare),
                     Id(C::LandStraight), Id(C::Land), Id(C::TurnAround)}) {
        const int frames = Built().Animations[static_cast<size_t>(clip)].FrameCount;
        for (int f = 0; f < frames; ++f)
            EXPECT_NEAR(LowestSole(ClipPose(clip, f)), 0.0f, 0.01f) << "clip " << clip << " frame " << f;
    }
    // Clips that hand over to idle end in a pose close to idle's first frame.
    const auto idle = ClipPose(Id(C::Idle), 0);
    for (const auto& [clip, last] : std::map<int, int>{{Id(C::RunStopA), 8},
                                                       {Id(C::RunStopB), 8},
                                                       {Id(C::WalkStopLeft), 8},
                                                       {Id(C::WalkStopRight), 8},
                                                       {Id(C::LandStraight), 9},
                                                       {Id(C::Land), 11}}) {
        const auto end = ClipPose(clip, last);
        for (size_t b = 0; b < idle.size(); ++b) {
            const float dot =
                std::fabs(idle[b].Rotation.x * end[b].Rotation.x + idle[b].Rotation.y * end[b].Rotation.y +
                          idle[b].Rotation.z * end[b].Rotation.z + idle[b].Rotation.w * end[b].Rotation.w);
            EXPECT_GT(dot, 0.995f) << "clip " << clip << " bone " << b;
        }
    }
}

// Where the body's bones are, in world units relative to the body position.
std::vector<Vec3> Joints(int clip, int frame) {
    const auto pose = ClipPose(clip, frame);
    std::vector<Vec3> out;
    for (size_t b = 0; b < pose.size(); ++b) {
        const Vec3 p = dv::VecAdd(Built().Skeleton.Bones[b].Pivot, pose[b].Offset);
        out.push_back(dv::VecAdd(dv::VecScale(p, Source().Scale),
                                 Built().BodyMoves[static_cast<size_t>(clip)][static_cast<size_t>(frame)]));
    }
    return out;
}

// The hanging actions put the body one unit short of the ledge's edge, so the wall below the
// ledge is the plane z = 1. The torso (about 1.3 units deep each side of its bones) and the
// shoulders hang in front of it, the arms reaching forward to the hands on the ledge, so that
// the body is not drawn half inside the wall.
TEST(CharacterContent, HangingBodyStaysInFrontOfTheWall) {
    const std::map<int, std::vector<int>> hanging = {
        {Id(C::Hang), {0, 5, 10, 15}},          {Id(C::Grab), {12}},         {Id(C::ShimmyLeft), {0, 3, 6, 9, 12}},
        {Id(C::ShimmyRight), {0, 3, 6, 9, 12}}, {Id(C::LookDown), {0, 15}},  {Id(C::LookDownHold), {0, 4}},
        {Id(C::LookDownEnd), {0, 15}},          {Id(C::ClimbFromHang), {0}}, {Id(C::LowerToHighHang), {0}}};
    const size_t torso[] = {0, 1, 2, 3, 5, 8};  // hips, spine, chest, neck, both shoulders
    for (const auto& [clip, frames] : hanging) {
        for (int f : frames) {
            const std::vector<Vec3> j = Joints(clip, f);
            for (size_t b : torso) EXPECT_LT(j[b].z, -0.3f) << "clip " << clip << " frame " << f << " bone " << b;
        }
    }
}

TEST(CharacterContent, ClipChangesTheActionsMakeDirectlyDoNotJump) {
    // From clip, frame to clip, frame, with what the action does to the body in between
    // (heading turned by 180 degrees, body moved in world units along its own axes).
    struct Change {
        int fromClip, fromFrame, toClip, toFrame;
        bool turn;
        Vec3 bodyMove;
    };
    const Change changes[] = {
        {Id(C::JumpUp), 6, Id(C::Apex), 0, false, {0, 0, 0}},
        {Id(C::RunJumpRight), 8, Id(C::RunJumpAir), 0, false, {0, 0, 0}},
        {Id(C::RunJumpLeft), 8, Id(C::RunJumpAir), 0, false, {0, 0, 0}},
        {Id(C::LandRun), 5, Id(C::Run), 0, false, {0, 0, 0}},
        {Id(C::Grab), 12, Id(C::Hang), 0, false, {0, 0, 0}},
        {Id(C::ShimmyLeft), 12, Id(C::Hang), 0, false, {0, 0, 0}},
        {Id(C::ShimmyRight), 12, Id(C::Hang), 0, false, {0, 0, 0}},
        {Id(C::LookDown), 15, Id(C::LookDownHold), 0, false, {0, 0, 0}},
        {Id(C::LookDownEnd), 15, Id(C::Hang), 0, false, {0, 0, 0}},
        {Id(C::HangDrop), 12, Id(C::HangFall), 0, false, {0, -10.5f, 0}},
        {Id(C::HangFall), 8, Id(C::Fall), 0, false, {0, 0, -8}},
        {Id(C::HighHangFall), 8, Id(C::Fall), 0, false, {0, 0, -8}},
        {Id(C::LowerToHighHang), 15, Id(C::HighHang), 0, false, {0, -8, 0}},
        {Id(C::HighShimmyLeft), 15, Id(C::HighHang), 0, false, {0, 0, 0}},
        {Id(C::TurnAround), 12, Id(C::Idle), 0, true, {0, 0, 0}},
        {Id(C::StepBack), 16, Id(C::Idle), 0, false, {0, 0, 0}},
        {Id(C::SideStepLeft), 12, Id(C::Idle), 0, false, {0, 0, 0}},
        {Id(C::SideStepRight), 12, Id(C::Idle), 0, false, {0, 0, 0}},
        {Id(C::RunJumpLand), 4, Id(C::Land), 0, false, {0, 0, 0}},
        {Id(C::RunStopA), 8, Id(C::Idle), 0, false, {0, 0, 0}},
        {Id(C::Land), 11, Id(C::Idle), 0, false, {0, 0, 0}},
    };
    for (const Change& c : changes) {
        const auto from = Joints(c.fromClip, c.fromFrame), to = Joints(c.toClip, c.toFrame);
        for (size_t b = 0; b < from.size(); ++b) {
            Vec3 after = dv::VecAdd(to[b], c.bodyMove);
            if (c.turn) after = {-after.x, after.y, -after.z};
            EXPECT_LT(dv::VecDistance(from[b], after), 2.5f)
                << "clip " << c.fromClip << " -> " << c.toClip << " bone " << b;
        }
    }
}

// A level whose character has one more clip (id 100) with every key at rest.
dv::LevelFileData LevelWithRestClip() {
    dv::BuiltCharacter b = Built();
    dv::AnimationRecord rest = b.Animations[0];
    for (dv::BoneTrack& t : rest.Tracks) {
        for (dv::AnimationKey& k : t.Keys) k.Rotation = k.Translation = Vec3{0, 0, 0};
    }
    dv::ClipRecord clip = b.Movable.Clips[0];
    clip.ClipId = 100;
    clip.AnimationIndex = static_cast<int16_t>(b.Animations.size());
    b.Animations.push_back(rest);
    b.Movable.Clips.push_back(clip);
    b.Movable.ClipCount = static_cast<int16_t>(b.Movable.Clips.size());
    return dv::CharacterOnlyLevel(b);
}

TEST(CharacterContent, TheAnimatorSkinsTheRestPoseBackIntoTheMeshAndAgreesWithTheBuilder) {
    const dv::LevelFileData level = LevelWithRestClip();
    dv::Animator item;
    item.Create(level.Level);
    ASSERT_TRUE(item.BindMovable(0));
    auto show = [&](int clipId, int frame) {
        item.SelectClip(clipId);
        item.SetFrame(frame);
        item.Animating = false;
        item.Update();
    };
    show(100, 0);
    const dv::ModelRecord& model = level.Level.Models[0];
    ASSERT_EQ(item.SkinnedVertices().size(), model.Vertices.size());
    for (size_t i = 0; i < model.Vertices.size(); ++i) {
        const Vec3 a = item.SkinnedVertices()[i].Position, b = model.Vertices[i].Position;
        ASSERT_NEAR(dv::VecDistance(a, b), 0.0f, 1e-4f) << "vertex " << i;
    }
    // Posed frames: the contact sheets and the checks above use the builder's own posing.
    for (const auto& [clipId, frame] : std::vector<std::pair<int, int>>{
             {Id(C::Run), 5}, {Id(C::Hang), 3}, {Id(C::TurnAround), 12}, {Id(C::ClimbMid), 20}}) {
        show(clipId, frame);
        std::vector<Vec3> mine;
        dv::SkinRig(model, level.Level.Skeletons[0], ClipPose(clipId, frame), mine);
        for (size_t i = 0; i < mine.size(); ++i) {
            ASSERT_NEAR(dv::VecDistance(item.SkinnedVertices()[i].Position, mine[i]), 0.0f, 1e-3f)
                << "clip " << clipId << " vertex " << i;
        }
    }
}

std::string SourceError(const std::string& clips) {
    const std::string skeleton = "scale 3.2\nbone hips - 0 4 0\nbone l_leg hips -1 4 0\nbone r_leg hips 1 4 0\n";
    const std::string mesh = "texture skin skin 200 150 120\npart body hips skin from 0 3 0 0.5 0.5 to 0 5 0 0.5 0.5\n";
    try {
        dv::ParseCharacterSource("skeleton.txt", skeleton, "mesh.txt", mesh, "clips.txt", clips);
    } catch (const dv::CharacterSourceError& e) {
        return e.what();
    }
    return "";
}

TEST(CharacterContent, SourceMistakesNameTheFileAndLine) {
    EXPECT_EQ(SourceError("clip 0 a frames 2 ms 50\n  key 0\nend\n"), "");
    EXPECT_EQ(SourceError("clip 0 a frames 2 ms 50\n  key 0\n  l_leg 1 x 3\nend\n"),
              "clips.txt:3: 'x' is not a number");
    EXPECT_EQ(SourceError("clip 0 a frames 2 ms 50\n  key 1\nend\n"), "clips.txt:2: the first key must be at frame 0");
    EXPECT_EQ(SourceError("clip 0 a frames 2 ms 50\n  key 0\n  knee 1 2 3\nend\n"),
              "clips.txt:3: unknown bone or statement 'knee'");
    EXPECT_EQ(SourceError("clip 1 a frames 2 ms 50\n  key 0\nend\nclip 1 b frames 2 ms 50\n  key 0\nend\n"),
              "clips.txt:4: clip 1 does not follow clip 1 in ascending order");
    EXPECT_EQ(SourceError("clip 0 a frames 2 ms 50\n  key 0\n"), "clips.txt:2: clip 0 has no 'end'");
    EXPECT_EQ(SourceError("clip 0 a mirror 5\nend\n"), "clips.txt:1: clip 5 is not a keyed clip of this file");
    EXPECT_EQ(SourceError("clip 0 a frames 2 ms 50\n  key 0 = sit\nend\n"),
              "clips.txt:2: pose 'sit' is not defined above");

    EXPECT_EQ(SourceError("clip 0 a frames 4 ms 50\n  footfall 1 1\n  key 0\nend\n"),
              "clips.txt:2: footfall frames must ascend");
    EXPECT_EQ(SourceError("clip 0 a frames 4 ms 50\n  footfall 4\n  key 0\nend\n"),
              "clips.txt:2: '4' is not a whole number from 0 to 3");
    EXPECT_EQ(SourceError("clip 0 a frames 9 ms 50\n  footfall 0 1 2 3 4 5 6\n  key 0\nend\n"),
              "clips.txt:2: 'footfall' reads: footfall FRAME [FRAME ...], 1 to 6 frames");

    // A mirrored clip swaps left and right and negates the sideways turns.
    const dv::CharacterSource src = dv::ParseCharacterSource(
        "s", "bone hips - 0 4 0\nbone l_leg hips -1 4 0\nbone r_leg hips 1 4 0\n", "m",
        "texture skin skin 1 2 3\npart body hips skin from 0 3 0 0.5 0.5 to 0 5 0 0.5 0.5\n", "c",
        "clip 0 a frames 2 ms 50\n  footfall 1\n  key 0\n  l_leg 10 20 30\n  root 1 2 3\nend\nclip 1 b mirror "
        "0\nend\n");
    ASSERT_EQ(src.Clips.size(), 2u);
    EXPECT_EQ(src.Clips[1].Footfalls, std::vector<int>{1}) << "a mirrored clip keeps its original's footfalls";
    const dv::CharacterPose& p = src.Clips[1].Keys[0].Pose;
    EXPECT_EQ(p.Angles[2].x, 10);
    EXPECT_EQ(p.Angles[2].y, -20);
    EXPECT_EQ(p.Angles[2].z, -30);
    EXPECT_EQ(p.Angles[1].x, 0);
    EXPECT_EQ(p.Root.x, -1);
}

}  // namespace

namespace {

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CharacterContent, BuildCommandStopsAtABrokenSourceAndKeepsTheOldOutput) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("dv_character_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy(fs::path(DV_SOURCE_DIR) / "assets" / "character", dir / "src", fs::copy_options::recursive);
    const std::string clips = ReadFile(dir / "src" / "clips.txt");
    const int lines = static_cast<int>(std::count(clips.begin(), clips.end(), '\n'));
    std::ofstream(dir / "src" / "clips.txt", std::ios::app)
        << "clip 60 broken frames 2 ms 50\n  key 0\n  l_thigh 1 2\nend\n";
    std::ofstream(dir / "out.lev") << "old";
    const std::string cmd = std::string(DV_BINARY_DIR) + "/dvtool build-character " + (dir / "src").string() + " " +
                            (dir / "out.lev").string() + " 2>" + (dir / "err.txt").string();
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(ReadFile(dir / "err.txt"), (dir / "src" / "clips.txt").string() + ":" + std::to_string(lines + 3) +
                                             ": 'l_thigh' takes 3 values, not 2\n");
    EXPECT_EQ(ReadFile(dir / "out.lev"), "old");
    fs::remove_all(dir);
}

}  // namespace

namespace {

// Plays a script of the clip changes the actions make through the animator on a virtual
// clock, one update every 6 ms, and records the largest jump of any skinned vertex between
// two updates outside blends (world units, with the body moves the actions make).
class Playback {
public:
    Playback() : level_(dv::CharacterOnlyLevel(Built())) {
        dv::ClockUseVirtual(true);
        dv::ClockSetVirtualMs(1000);
        item_.Create(level_.Level);
        item_.BindMovable(0);
        Select(0, 0, {0, 0, 0});
        item_.Animating = true;
        item_.TimeScale = 1.0f;
    }
    ~Playback() { dv::ClockUseVirtual(false); }

    // What the update step does when an action sets a clip and frame; the body moves by `shift`.
    void Select(int clip, int frame, const Vec3& shift) {
        item_.SelectClip(clip);
        item_.SetFrame(frame);
        body_ = dv::VecAdd(body_, shift);
        Step();
    }
    void Transition(int clip, int target, int length) {
        item_.StartTransition(clip, target, length);
        Step();
    }
    void Until(const std::function<bool()>& done, int limitMs = 5000) {
        for (int t = 0; t < limitMs && !done(); t += 6) Step();
        ASSERT_TRUE(done()) << "the clip never reached the state waited for";
    }
    void Settle() {
        Until([&] { return !item_.Playback().Blending && item_.Playback().TransitionDone; });
    }
    void LastFrame(int n) {
        Until([&] { return item_.Playback().LastFrame == n; });
    }
    void For(int ms) {
        for (int t = 0; t < ms; t += 6) Step();
    }
    float Worst() const { return worst_; }
    const std::string& Where() const { return where_; }
    const dv::Animator& Item() const { return item_; }

private:
    void Step() {
        dv::ClockAdvanceVirtual(6);
        item_.Update();
        std::vector<Vec3> now(item_.SkinnedVertices().size());
        for (size_t i = 0; i < now.size(); ++i)
            now[i] = dv::VecAdd(dv::VecScale(item_.SkinnedVertices()[i].Position, 3.2f), body_);
        // A blend moves in whole steps of 1 / length of the way, which is the animator's to
        // decide; the pose changes this checks are the clips' own and the clip switches.
        const bool blended = item_.Playback().Blending || wasBlending_;
        wasBlending_ = item_.Playback().Blending;
        if (!last_.empty() && !blended) {
            for (size_t i = 0; i < now.size(); ++i) {
                const float d = dv::VecDistance(now[i], last_[i]);
                if (d > worst_) {
                    worst_ = d;
                    where_ = "clip " + std::to_string(item_.Clip() ? item_.Clip()->ClipId : -1) + " frame pos " +
                             std::to_string(item_.Playback().FramePos) + " blending " +
                             std::to_string(item_.Playback().Blending) + " previous " + previous_;
                }
            }
        }
        previous_ = "clip " + std::to_string(item_.Clip() ? item_.Clip()->ClipId : -1) + " frame pos " +
                    std::to_string(item_.Playback().FramePos);
        last_ = std::move(now);
    }

    dv::LevelFileData level_;
    dv::Animator item_;
    Vec3 body_{0, 0, 0};
    std::vector<Vec3> last_;
    float worst_ = 0;
    bool wasBlending_ = false;
    std::string where_, previous_;
};

TEST(CharacterContent, IdleRunAndStopPlayWithoutPops) {
    Playback p;
    p.For(400);
    p.Transition(2, 8, 4);  // idle: start running
    p.Settle();
    p.Select(2, 7, {0, 0, 0});  // run start settled
    p.For(1500);
    p.Until([&] { return p.Item().Playback().LastFrame == 21 || p.Item().Playback().LastFrame < 3; });
    p.Transition(8, 0, 5);  // release forward
    p.Settle();
    p.Select(8, 8, {0, 0, 0});
    p.LastFrame(8);
    p.Select(0, 0, {0, 0, 0});
    p.For(300);
    EXPECT_LT(p.Worst(), 4.0f) << p.Where();
}

TEST(CharacterContent, JumpGrabHangAndClimbPlayWithoutPops) {
    Playback p;
    p.Select(12, 0, {0, 0, 0});  // climb check: a standing jump
    p.LastFrame(8);
    p.Transition(13, 0, 4);
    p.Settle();
    p.Select(13, 0, {0, 0, 0});
    p.LastFrame(6);
    // The body flies in the game; here it stands, so only the pose changes are measured.
    p.Select(14, 0, {0, 0, 0});
    p.For(200);
    p.Select(34, 0, {0, 12, 0});  // grab: the body is put 16 below the ledge, 12 higher
    p.LastFrame(12);
    p.Select(35, 0, {0, 0, 0});
    p.For(600);
    p.Select(37, 0, {0, 0, 0});  // climb up from the hang
    p.LastFrame(21);
    p.Select(0, 0, {0, 16, 3});  // standing at the climb target
    p.For(300);
    EXPECT_LT(p.Worst(), 4.0f) << p.Where();
}

}  // namespace

namespace {

// The character stepped through the game's exchange with its body and animator, ticking every
// 24 ms on a virtual clock with the animator updated every 6 ms, on the built demo level.
TEST(CharacterContent, TheActionsRunAndStopTheCharacterOnTheDemoLevel) {
    const std::string path = std::string(DV_BINARY_DIR) + "/test.lev";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "the demo level has not been built";
    dv::LevelFileData data;
    dv::ParseLevelFile(path, data);
    if (data.Level.MovableCount == 0) GTEST_SKIP() << "the demo level has no character yet";
    const dv::LevelRecord& level = data.Level;

    dv::ClockUseVirtual(true);
    dv::ClockSetVirtualMs(1000);
    dv::CharacterState character = dv::NewCharacterState(0.15f, 0.12f, dv::ClockMs());
    dv::CharacterWorld world;
    world.Level = &level.Map;
    dv::CharacterInput input;
    dv::Animator item;
    item.Create(level);
    ASSERT_TRUE(item.BindMovable(0));
    item.SelectClip(Id(C::Idle));
    item.SetFrame(0);
    item.Animating = true;
    item.TimeScale = 1.0f;
    dv::MovementBody body(level.Map.StartPosition);
    body.Room = level.Map.StartRoom;
    dv::ActionRecord s{};
    const Vec3& position = body.Movement.Position;

    std::vector<int> clipsSeen;
    float worst = 0;
    std::vector<Vec3> last;
    bool wasBlending = false;
    for (int t = 0; t < 4500; t += 6) {
        input.Forward = t >= 300 && t < 1800;
        dv::ClockAdvanceVirtual(6);
        if (t % 24 == 0) {
            input.NowMs = dv::ClockMs();
            dv::StepCharacter(character, s, input, {body, item}, world);
            if (clipsSeen.empty() || clipsSeen.back() != item.CurrentClipId())
                clipsSeen.push_back(item.CurrentClipId());
        }
        item.Update();
        std::vector<Vec3> now(item.SkinnedVertices().size());
        for (size_t i = 0; i < now.size(); ++i) {
            now[i] = dv::VecAdd(dv::VecScale(item.SkinnedVertices()[i].Position, 3.2f), position);
        }
        const bool blended = item.Playback().Blending || wasBlending;
        wasBlending = item.Playback().Blending;
        if (!last.empty() && !blended) {
            for (size_t i = 0; i < now.size(); ++i) worst = std::max(worst, dv::VecDistance(now[i], last[i]));
        }
        last = std::move(now);
    }
    dv::ClockUseVirtual(false);

    EXPECT_EQ(s.Body.Action, dv::CharacterAction::Idle) << "the character did not come back to idle";
    EXPECT_EQ(item.CurrentClipId(), 0);
    EXPECT_GT(dv::VecDistance(position, level.Map.StartPosition), 40.0f);
    EXPECT_NE(std::find(clipsSeen.begin(), clipsSeen.end(), 2), clipsSeen.end()) << "it never ran";
    EXPECT_LT(worst, 5.0f);
    std::string seen;
    for (int c : clipsSeen) seen += std::to_string(c) + " ";
    RecordProperty("clips", seen);
    RecordProperty("worst", std::to_string(worst));
    RecordProperty("distance", std::to_string(dv::VecDistance(position, level.Map.StartPosition)));
}

}  // namespace
