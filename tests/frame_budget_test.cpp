// The game's frames on the demo level, in process: once the lists have grown a frame makes no
// heap allocation, draws once per state run (plus the second pass of bumped lightmapped runs
// and once per 2D batch) and uploads each vertex list once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/game.h"
#include "input/keyboard.h"
#include "app/replay.h"
#include "app/run.h"
#include "app/shell.h"
#include "character/character.h"
#include "math/clock.h"
#include "motion/collision.h"
#include "platform/gl_window.h"
#include "render/viewport_internal.h"
#include "support/allocation_count.h"

namespace dv {
namespace {

// Draw calls the viewport should make for the frame it just drew.
uint64_t ExpectedDraws(const Viewport& vp) {
    uint64_t draws = 0;
    for (int32_t i = 0; i < vp.TriangleCount();) {
        const TriangleHeader& h = ViewportInternals::Headers(vp)[i];
        draws += (h.Layers >= 1 && h.BumpFlag != 0) ? 2 : 1;
        i += std::max(h.RunLength, 1);
    }
    for (int32_t b = 0; b < ViewportInternals::BatchCount2D(vp); ++b)
        draws += ViewportInternals::Batches2D(vp)[b].Count > 0 ? 1 : 0;
    return draws;
}

class GameFrames : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = DV_BINARY_DIR;
        for (const char* f : {"test.lev", "font01.fnx", "set.txt"}) {
            if (!std::filesystem::exists(data_ + "/" + f)) GTEST_SKIP() << "demo content not built: " << f;
        }
        std::string error;
        if (!LoadReplayFile(std::string(DV_SOURCE_DIR) + "/bench/profile.replay", events_, error)) FAIL() << error;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(data_);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        boxes_.SetHeadless(true);
        ClockUseVirtual(true);
        ClockSetVirtualMs(0);
        turnRates_ = InitGameModules(data_ + "/set.txt", boxes_);
        // A small surface keeps the software rasteriser's share of the test short; the scene
        // does not depend on the size.
        window_ = GLWindow::Create("frames", 320, 240, false, true, error);
        if (!window_) GTEST_SKIP() << "no OpenGL 3.3 context: " << error;
    }
    void TearDown() override {
        ClockUseVirtual(false);
        if (!previous_.empty()) std::filesystem::current_path(previous_);
    }

    // One pass of the frame loop at a 16 ms step, replayed keys included, its sound mixed.
    void Step(Shell& shell, ReplayPlayer& replay) {
        ClockAdvanceVirtual(16);
        while (const ReplayEvent* e = replay.NextDue(ClockMs())) FeedReplayEvent(shell, *e);
        shell.Audio.RenderUpTo(ClockMs());
        shell.Idle(true);
    }

    std::unique_ptr<Shell> NewShell() const {
        auto shell = std::make_unique<Shell>();
        shell->Boxes.SetHeadless(true);
        return shell;
    }
    // The demo content with the character's settings, as the game sets up its shell; the
    // sound is mixed offline into a record, as with --audio-out.
    ShellSetup Setup() const {
        ShellSetup setup;
        setup.BasePath = data_ + "/";
        setup.CharacterTurnRates = turnRates_;
        setup.AudioSettings.Speakers = false;
        setup.AudioSettings.RecordPath = ::testing::TempDir() + "frames" + std::to_string(getpid()) + ".wav";
        return setup;
    }

    std::string data_;
    MessageBoxes boxes_;
    TurnRates turnRates_{};
    std::filesystem::path previous_;
    std::vector<ReplayEvent> events_;
    std::unique_ptr<GLWindow> window_;
};

TEST_F(GameFrames, NoAllocationOneDrawPerRunAndOneUploadPerList) {
    std::unique_ptr<Shell> owned = NewShell();
    Shell& shell = *owned;
    shell.Start(window_->Window(), Setup());
    ReplayPlayer replay(events_);
    Step(shell, replay);                    // the title
    ClockAdvanceVirtual(7400 - ClockMs());  // skip to the end of the title
    // The game's first half second: the run starts and the lists grow to the hall's size.
    for (int i = 0; i < 40; ++i) Step(shell, replay);
    ASSERT_EQ(ViewportInternals::Scene3D(shell.View), &GameScene3D);
    ASSERT_TRUE(shell.Audio.Recording()) << "the frames are measured with sound on";

    uint64_t frames = 0, mismatchedDraws = 0, mismatchedUploads = 0, triangles = 0;
    const uint64_t allocationsBefore = test::AllocationCount();
    for (int i = 0; i < 100; ++i) {
        shell.View.ResetCounters();
        test::CountAllocations(true);
        Step(shell, replay);
        test::CountAllocations(false);
        const Viewport& vp = shell.View;
        const bool shadow = ViewportInternals::ShadowDrawn(vp);
        const uint64_t uploads =
            (vp.TriangleCount() > 0 ? 1 : 0) + (ViewportInternals::TriangleCount2D(vp) > 0 ? 1 : 0) + (shadow ? 1 : 0);
        mismatchedDraws += vp.Counters().DrawCalls != ExpectedDraws(vp) + (shadow ? kShadowTaps + 1 : 0);
        mismatchedUploads += vp.Counters().VertexBufferUploads != uploads;
        triangles += static_cast<uint64_t>(vp.TriangleCount());
        ++frames;
    }
    shell.Shutdown();
    EXPECT_EQ(test::AllocationCount() - allocationsBefore, 0u) << "heap allocations in " << frames << " frames";
    EXPECT_EQ(mismatchedDraws, 0u);
    EXPECT_EQ(mismatchedUploads, 0u);
    EXPECT_GT(triangles, 100u * 100u) << "the level was not drawn";
}

// Only the bumped wall materials get the bump effect: a triangle drawn with the bump flag has
// a normal map in the store. Flagging a plain level texture would draw it through a missing
// bump texture, black or glaring white depending on the view direction.
TEST_F(GameFrames, BumpEffectOnlyWhereThereIsABumpMap) {
    std::unique_ptr<Shell> owned = NewShell();
    Shell& shell = *owned;
    shell.Start(window_->Window(), Setup());
    ReplayPlayer replay(events_);
    Step(shell, replay);
    ClockAdvanceVirtual(7400 - ClockMs());
    int bumped = 0, withoutMap = 0;
    for (int i = 0; i < 40; ++i) {
        Step(shell, replay);
        const Viewport& vp = shell.View;
        for (int32_t t = 0; t < vp.TriangleCount(); ++t) {
            const TriangleHeader& h = ViewportInternals::Headers(vp)[t];
            if (h.BumpFlag == 0) continue;
            ++bumped;
            if (h.BumpTexture == 0 || shell.Textures.TextureAt(h.BumpTexture) == nullptr) ++withoutMap;
        }
    }
    shell.Shutdown();
    EXPECT_GT(bumped, 0) << "no wall near the camera got the bump effect";
    EXPECT_EQ(withoutMap, 0) << "of " << bumped << " bump-flagged triangles";
}

// Time spent with the window inactive (no updates, no frames) does not reach the running
// character as one long tick when the window comes back.
TEST_F(GameFrames, InactiveWindowHoldsTheCharactersClock) {
    std::unique_ptr<Shell> owned = NewShell();
    Shell& shell = *owned;
    shell.Start(window_->Window(), Setup());
    ReplayPlayer replay({{7400, true, kVkUp}});
    Step(shell, replay);
    ClockAdvanceVirtual(7400 - ClockMs());
    for (int i = 0; i < 30; ++i) Step(shell, replay);  // running north through the hall
    ASSERT_NE(shell.Game, nullptr);
    const Vec3& at = shell.Game->Body.Movement.Position;
    const Vec3 before = at;
    for (int i = 0; i < 60; ++i) {  // three seconds inactive, as the frame loop waits then
        ClockAdvanceVirtual(50);
        shell.Idle(false);
    }
    EXPECT_EQ(at.z, before.z);
    float longestStep = 0;
    for (int i = 0; i < 20; ++i) {
        const Vec3 last = at;
        Step(shell, replay);
        longestStep = std::max(longestStep, std::hypot(at.x - last.x, at.z - last.z));
    }
    EXPECT_GT(at.z, before.z + 10.0f);  // running on
    EXPECT_LT(longestStep, 4.0f);       // about 2 units a tick, not three seconds' worth
    shell.Shutdown();
}

// A stall of the process (a loaded machine, a suspended laptop) arrives as one long gap of
// the clock between two ticks. The character running north through the hall towards its far
// wall covers at most kMaxTickDeltaMs of running per tick whatever the gap, and stays inside
// its room, on the floor of an open cell, never inside a wall.
TEST_F(GameFrames, StalledClockMovesTheCharacterOneBoundedTick) {
    std::unique_ptr<Shell> owned = NewShell();
    Shell& shell = *owned;
    shell.Start(window_->Window(), Setup());
    ReplayPlayer replay({{7400, true, kVkUp}});
    Step(shell, replay);
    ClockAdvanceVirtual(7400 - ClockMs());
    for (int i = 0; i < 10; ++i) Step(shell, replay);
    ASSERT_NE(shell.Game, nullptr);
    const Vec3& at = shell.Game->Body.Movement.Position;
    const LevelMap& map = shell.Level.Map;
    float longestStep = 0;
    for (int stall = 0; stall < 12; ++stall) {
        for (int i = 0; i < 2; ++i) {
            ClockAdvanceVirtual(i == 0 ? 5000 : 0);  // five seconds gone between two ticks
            const Vec3 last = at;
            Step(shell, replay);
            longestStep = std::max(longestStep, std::hypot(at.x - last.x, at.z - last.z));
        }
        const int32_t room = shell.Game->Body.Room;
        ASSERT_GE(room, 0);
        ASSERT_LT(room, static_cast<int32_t>(map.Rooms.size()));
        const RoomHeader& h = map.Rooms[static_cast<size_t>(room)].Header;
        EXPECT_GE(at.x, h.Origin.x);
        EXPECT_LE(at.x, h.Origin.x + kCellSize * h.CellsX);
        EXPECT_GE(at.z, h.Origin.z);
        EXPECT_LE(at.z, h.Origin.z + kCellSize * h.CellsZ);
        const SurfaceHit ground = SurfaceQuery(map, room, at.x, at.z);
        EXPECT_GE(at.y, ground.Floor - 0.01f) << "after stall " << stall << " at " << at.x << ", " << at.z;
        EXPECT_FALSE(CellSurfacesClosed(map, room, at.x, at.z).Floor);
    }
    // A 16 ms tick after the stall sees the bound: 100 ms of running at 0.066 units/ms.
    EXPECT_LE(longestStep, 0.066f * kMaxTickDeltaMs + 0.01f);
    EXPECT_GT(longestStep, 1.0f);
    shell.Shutdown();
}

// The texture store's failures are the game's messages: "error creating texture!" reaches
// the message box (here its sink), not only stderr.
TEST_F(GameFrames, TextureStoreMessagesReachTheMessageBox) {
    std::unique_ptr<Shell> owned = NewShell();
    Shell& shell = *owned;
    shell.Start(window_->Window(), Setup());
    std::vector<std::string> shown;
    shell.Boxes.SetObserver([&shown](const std::string& text, const std::string&) { shown.push_back(text); });
    const bool stored = shell.Textures.LoadFromBitmap(5002, Bitmap{}, false, false);
    shell.Shutdown();
    EXPECT_FALSE(stored);
    EXPECT_EQ(shown, std::vector<std::string>{"error creating texture!"});
}

}  // namespace
}  // namespace dv
