// Test bench for the character actions: rooms written with the level writer and read back,
// a playback model of the character's animator (frames advance with the virtual clock,
// blended transitions wait and switch as the animator does), and the update step's exchange
// of the action record, one 18 ms body tick at a time.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/keyboard.h"
#include "character/character_module.h"
#include "character/primitives.h"
#include "math/clock.h"
#include "world/level_file.h"

namespace dv::test {

inline constexpr int kTickMs = 18;
inline constexpr float kRawUnit = 1.6f;  // one raw height step in units

inline tcell Cell(int16_t floorRaw, int16_t ceilingDepthRaw = 0) {
    tcell c{};
    for (int i = 0; i < 4; ++i) {
        c.Floor[i] = floorRaw;
        c.Ceiling[i] = ceilingDepthRaw;
    }
    return c;
}

inline Tqtroom Room(Vec3 origin, int cellsX, int cellsZ, int heightCells, const tcell& fill = Cell(0)) {
    Tqtroom r;
    r.Header.Origin = origin;
    r.Header.CellsX = static_cast<uint16_t>(cellsX);
    r.Header.CellsZ = static_cast<uint16_t>(cellsZ);
    r.Header.HeightCells = static_cast<uint16_t>(heightCells);
    r.Cells.assign(cellsX, std::vector<tcell>(cellsZ, fill));
    return r;
}

// Writes the rooms as a level file and reads it back, so the actions see what a stored
// level gives.
inline Tmap_level WrittenLevel(std::vector<Tqtroom> rooms) {
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
        {0, 10},  {1, 10},  {2, 22},  {3, 20},  {4, 17},  {5, 10},  {6, 13},  {7, 13},  {8, 10},
        {9, 10},  {10, 9},  {11, 9},  {12, 10}, {13, 7},  {14, 10}, {15, 21}, {16, 21}, {19, 9},
        {20, 9},  {21, 10}, {22, 6},  {23, 10}, {24, 12}, {25, 6},  {26, 10}, {27, 3},  {28, 13},
        {29, 9},  {30, 15}, {31, 34}, {32, 29}, {33, 31}, {34, 13}, {35, 10}, {36, 13}, {37, 22},
        {38, 13}, {39, 13}, {40, 16}, {41, 10}, {42, 16}, {43, 9},  {44, 10}, {45, 10}, {46, 23},
        {47, 9},  {48, 16}, {49, 16}, {50, 21}, {51, 16}};
    const auto it = frames.find(clip);
    return it == frames.end() ? 10 : it->second;
}

// Playback of the character animator: SelectClip, SetFrame, StartTransition and the frame
// and transition steps of its Update.
struct TestAnimator {
    int Clip = 0, Frame = -1, FrameStart = 0, LastFrame = -1;
    bool Pending = false, Blending = false, Done = false;
    int TransFrame = 0, TransClip = 0, TransTarget = 0, TransLength = 0;

    void SelectClip(int id) {
        Clip = id;
        Frame = -1;
        FrameStart = 0;
        Pending = Blending = Done = false;
    }
    void SetFrame(int f) {
        FrameStart = 0;
        Frame = f;
    }
    void StartTransition(int id, int target, int length) {
        Pending = true;
        TransFrame = Frame;
        TransClip = id;
        TransTarget = target;
        TransLength = length;
    }
    void Update(int now) {
        if (Frame < 0) return;
        const double frameMs = kTickMs;
        if (Pending && Frame == TransFrame && !Done) {
            Blending = true;
            if ((now - FrameStart) / (TransLength * frameMs) >= 1.0) {
                Frame = TransTarget;
                Clip = TransClip;
                Done = true;
                FrameStart = now;
            }
        }
        if (!Blending && (now - FrameStart) / frameMs >= 1.0) {
            Frame = (Frame + 1) % ClipFrames(Clip);
            FrameStart = now;
        }
        if (Done) Blending = false;
        LastFrame = Frame;
    }
};

class CharacterBench : public ::testing::Test {
protected:
    static constexpr float kStanding = 0.1f, kRunning = 0.05f;

    Tmap_level level;
    TActionState state{};
    TestAnimator anim;
    std::vector<int> actions;  // action after each tick
    int focusCalls = 0, resumeCalls = 0;

    void SetUp() override {
        KeyTableClear();
        ClockUseVirtual(true);
        CharacterModule = TCharacterModule{};
        InitCharacterModule(kStanding, kRunning);
        CharacterCamera camera;
        camera.Context = this;
        camera.FocusOn = [](void* c, const Vec3&, float) { ++static_cast<CharacterBench*>(c)->focusCalls; };
        camera.ResumeFollow = [](void* c) { ++static_cast<CharacterBench*>(c)->resumeCalls; };
        BindCharacterCamera(camera);
        state.TimeScale = 1.0f;
        anim.SelectClip(0);
        anim.SetFrame(0);
    }
    void TearDown() override {
        KeyTableClear();
        ClockUseVirtual(false);
        BindCharacterLevel(nullptr);
    }

    void Use(std::vector<Tqtroom> rooms) {
        level = WrittenLevel(std::move(rooms));
        BindCharacterLevel(&level);
    }
    void Place(Vec3 p, float angleY = 0, int room = 0) {
        state.Position = p;
        state.AngleY = angleY;
        state.Room = room;
        CharacterModule.CurrentState = &state;
        UpdateHeadingVectors();
    }
    static void Hold(int key, bool down = true) { KeyTable[key] = down ? 1 : 0; }

    // One idle event with a due body step: the update step's exchange, then the frame's
    // animator update.
    void Tick() {
        ClockAdvanceVirtual(kTickMs);
        state.TickDue = 1;
        state.ClipId = anim.Clip;
        state.Frame = anim.Frame;
        state.LastFrame = anim.LastFrame;
        state.FramePos = static_cast<float>(anim.Frame);
        state.Settled = anim.Blending ? 0 : 1;
        state.TransitionRequested = 0;
        RunAction(state);
        if (state.ClipId != anim.Clip || state.Frame != anim.Frame) {
            anim.SelectClip(state.ClipId);
            anim.SetFrame(state.Frame);
        }
        if (state.TransitionRequested)
            anim.StartTransition(state.TransitionClip, state.TransitionTarget, state.TransitionLength);
        anim.Update(ClockMs());
        actions.push_back(state.Action);
    }
    // Ticks until the action is `action` (true) or `limit` ticks have passed (false).
    bool TickUntil(int action, int limit = 200) {
        for (int i = 0; i < limit; ++i) {
            Tick();
            if (state.Action == action) return true;
        }
        return false;
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Tick();
    }
    // Whether `seq` appears in order (not necessarily adjacent) in the actions so far.
    bool Visited(std::vector<int> seq) const {
        size_t k = 0;
        for (int a : actions)
            if (k < seq.size() && a == seq[k]) ++k;
        return k == seq.size();
    }
};

}  // namespace dv::test
