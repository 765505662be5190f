// Test bench for the character actions: rooms written with the level writer and read back,
// the character animator playing a small test movable and a movement body, stepped through
// the game's own exchange (StepCharacter), one 18 ms body tick at a time on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "input/keyboard.h"
#include "character/character.h"
#include "character/character_tick.h"
#include "character/primitives.h"
#include "math/clock.h"
#include "models/animator.h"
#include "motion/movement_body.h"
#include "world/level_file.h"

namespace dv::test {

inline constexpr int kTickMs = 18;
inline constexpr float kRawUnit = 1.6f;  // one raw height step in units

inline GridCell Cell(int16_t floorRaw, int16_t ceilingDepthRaw = 0) {
    GridCell c{};
    for (int i = 0; i < 4; ++i) {
        c.Floor[i] = floorRaw;
        c.Ceiling[i] = ceilingDepthRaw;
    }
    return c;
}

inline LevelRoom Room(Vec3 origin, int cellsX, int cellsZ, int heightCells, const GridCell& fill = Cell(0)) {
    LevelRoom r;
    r.Header.Origin = origin;
    r.Header.CellsX = static_cast<uint16_t>(cellsX);
    r.Header.CellsZ = static_cast<uint16_t>(cellsZ);
    r.Header.HeightCells = static_cast<uint16_t>(heightCells);
    r.Cells.assign(cellsX, std::vector<GridCell>(cellsZ, fill));
    return r;
}

// Writes the rooms as a level file and reads it back, so the actions see what a stored
// level gives.
inline LevelMap WrittenLevel(std::vector<LevelRoom> rooms) {
    LevelFileData data;
    data.StripB.Width = 4;
    data.StripB.Height = 4;
    data.StripB.Pixels.assign(16, 0);
    data.Level.StripBTileCount = 1;
    data.Level.Map.RoomCount = static_cast<int32_t>(rooms.size());
    data.Level.Map.Rooms = std::move(rooms);
    const std::vector<uint8_t> bytes = WriteLevel(data);
    LevelFileData back;
    ParseLevel(bytes.data(), bytes.size(), "actions.lev", back);
    return back.Level.Map;
}

// Frame counts of the test movable's clips: every clip is long enough for the frames the
// actions test, and plays one frame per tick.
inline int ClipFrames(int clip) {
    static const std::map<int, int> frames = {
        {0, 10},  {1, 10},  {2, 22},  {3, 20},  {4, 17},  {5, 10},  {6, 13},  {7, 13},  {8, 10},  {9, 10},
        {10, 9},  {11, 9},  {12, 10}, {13, 7},  {14, 10}, {15, 21}, {16, 21}, {19, 9},  {20, 9},  {21, 10},
        {22, 6},  {23, 10}, {24, 12}, {25, 6},  {26, 10}, {27, 3},  {28, 13}, {29, 9},  {30, 15}, {31, 34},
        {32, 29}, {33, 31}, {34, 13}, {35, 10}, {36, 13}, {37, 22}, {38, 13}, {39, 13}, {40, 16}, {41, 10},
        {42, 16}, {43, 9},  {44, 10}, {45, 10}, {46, 23}, {47, 9},  {48, 16}, {49, 16}, {50, 21}, {51, 16}};
    const auto it = frames.find(clip);
    return it == frames.end() ? 10 : it->second;
}

// The test movable: one bone, no vertices, and for every clip id an animation with the
// frame count above, played at one frame per 18 ms tick.
inline LevelRecord MovableLevel() {
    LevelRecord file;
    file.Models.resize(1);
    file.ModelCount = 1;
    SkeletonRecord skeleton;
    skeleton.BoneCount = 1;
    skeleton.Bones.push_back(SkeletonBone{-1, {0, 0, 0}, {}});
    file.Skeletons.push_back(skeleton);
    file.SkeletonCount = 1;
    MovableRecord movable;
    for (int id = 0; id <= 51; ++id) {
        const int frames = ClipFrames(id);
        AnimationRecord animation;
        animation.FrameCount = static_cast<int16_t>(frames);
        animation.TrackCount = 1;
        BoneTrack track;
        track.KeyCount = 1;
        track.Keys.push_back(AnimationKey{0, {0, 0, 0}, {0, 0, 0}});
        animation.Tracks.push_back(track);
        ClipRecord clip{};
        clip.ClipId = id;
        clip.DurationMs = frames * kTickMs;
        clip.AnimationIndex = static_cast<int16_t>(file.Animations.size());
        file.Animations.push_back(animation);
        movable.Clips.push_back(clip);
    }
    movable.ClipCount = static_cast<int16_t>(movable.Clips.size());
    file.AnimationCount = static_cast<int16_t>(file.Animations.size());
    file.Movables.push_back(movable);
    file.MovableCount = 1;
    return file;
}

class CharacterBench : public ::testing::Test {
protected:
    static constexpr float kStanding = 0.1f, kRunning = 0.05f;

    LevelMap level;
    ActionRecord state{};  // the record of the last step
    MovementBody body{{0, 0, 0}};
    CharacterState character;  // the state machine under test
    CharacterWorld world;
    KeyboardState keys;
    CharacterInput input;  // the keys of the current tick
    CharacterStep step{character, state, input, world};
    LevelRecord movables = MovableLevel();
    Animator anim;
    std::vector<CharacterAction> actions;  // action after each tick
    int focusCalls = 0, resumeCalls = 0;

    void SetUp() override {
        ClockUseVirtual(true);
        character = NewCharacterState(kStanding, kRunning, ClockMs());
        world.Camera.Context = this;
        world.Camera.FocusOn = [](void* c, const Vec3&, float) { ++static_cast<CharacterBench*>(c)->focusCalls; };
        world.Camera.ResumeFollow = [](void* c) { ++static_cast<CharacterBench*>(c)->resumeCalls; };
        state.Clip.TimeScale = 1.0f;
        anim.Create(movables);
        ASSERT_TRUE(anim.BindMovable(0));
        anim.SelectClip(static_cast<int32_t>(CharacterClip::Idle));
        anim.SetFrame(0);
        anim.Animating = true;
        anim.TimeScale = 1.0f;
    }
    void TearDown() override { ClockUseVirtual(false); }

    void Use(std::vector<LevelRoom> rooms) {
        level = WrittenLevel(std::move(rooms));
        world.Level = &level;
    }
    // The context of a step with the keys held now, for calling primitives directly.
    CharacterStep& Now() {
        input = CharacterInputFrom(keys, ClockMs());
        return step;
    }
    // Puts the body there, and the record with it for primitives called directly.
    void Place(Vec3 p, float angleY = 0, int room = 0) {
        body.Movement.Position = p;
        body.Movement.AngleY = angleY;
        body.Room = room;
        state.Body.Position = p;
        state.Body.AngleY = angleY;
        state.Body.Room = room;
        UpdateHeadingVectors(Now());
    }
    // Hands what primitives called directly did to the body and the animator.
    void Apply() { ApplyActionRecord(state, {body, anim}); }
    // The action the next step runs.
    void Start(CharacterAction action) {
        body.Action = static_cast<int32_t>(action);
        state.Body.Action = action;
    }
    void Hold(int key, bool down = true) { keys.Down[key] = down ? 1 : 0; }

    // One idle event with a due body step: the character's step, then the frame's animator
    // update.
    void Tick() {
        ClockAdvanceVirtual(kTickMs);
        StepCharacter(character, state, CharacterInputFrom(keys, ClockMs()), {body, anim}, world);
        anim.Update();
        actions.push_back(state.Body.Action);
    }
    // Ticks until the action is `action` (true) or `limit` ticks have passed (false).
    bool TickUntil(CharacterAction action, int limit = 200) {
        for (int i = 0; i < limit; ++i) {
            Tick();
            if (state.Body.Action == action) return true;
        }
        return false;
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Tick();
    }
    // Whether `seq` appears in order (not necessarily adjacent) in the actions so far.
    bool Visited(std::vector<CharacterAction> seq) const {
        size_t k = 0;
        for (CharacterAction a : actions)
            if (k < seq.size() && a == seq[k]) ++k;
        return k == seq.size();
    }
};

}  // namespace dv::test
