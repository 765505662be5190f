// The level's run: its time in game time (pauses taken out, a load putting it back to the
// save's), the statistics counted from the character's ticks, and a saved game carrying it.
#include <gtest/gtest.h>

#include <cstring>

#include "app/level_run.h"
#include "app/save_game.h"
#include "character/actions_and_clips.h"

namespace {

int32_t A(dv::CharacterAction action) { return static_cast<int32_t>(action); }

}  // namespace

TEST(LevelRun, TimeRunsFromTheStartOfPlayLessPausesAndStopsAtTheExit) {
    dv::LevelRun run;
    EXPECT_EQ(run.TimeMs(5000), 0);  // before play
    run.Begin(7000, {0, 0, 0}, 0);
    EXPECT_EQ(run.TimeMs(7000), 0);
    EXPECT_EQ(run.TimeMs(9500), 2500);
    run.ShiftClock(1200);  // a pause of 1.2 s
    EXPECT_EQ(run.TimeMs(9500), 1300);
    run.Finish(20000);
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.TimeMs(99999), 20000 - 7000 - 1200);
    run.ShiftClock(500);  // the finished time no longer moves
    run.Finish(30000);
    EXPECT_EQ(run.Stats(0).TimeMs, 11800);
    // A run starting again (a restart) counts from its own start.
    run.Begin(40000, {0, 0, 0}, 0);
    EXPECT_FALSE(run.Finished());
    EXPECT_EQ(run.TimeMs(40018), 18);
}

TEST(LevelRun, CountsDistanceAlongTheGroundAndEachJumpGrabAndFallOnce) {
    dv::LevelRun run;
    run.CountTick(A(dv::CharacterAction::JumpStart), {10, 0, 0});  // before play: nothing
    run.Begin(0, {0, 0, 0}, A(dv::CharacterAction::Idle));
    run.CountTick(A(dv::CharacterAction::Run), {3, 50, 4});  // 5 units across, the height aside
    run.CountTick(A(dv::CharacterAction::RunJumpTakeoff), {6, 50, 8});
    run.CountTick(A(dv::CharacterAction::RunJumpTakeoff), {6, 50, 8});  // held: still one jump
    run.CountTick(A(dv::CharacterAction::Fall), {6, 40, 8});
    run.CountTick(A(dv::CharacterAction::TurnAndGrab), {6, 40, 8});
    run.CountTick(A(dv::CharacterAction::Hang), {6, 40, 8});
    run.CountTick(A(dv::CharacterAction::HangDrop), {6, 30, 8});
    run.CountTick(A(dv::CharacterAction::Idle), {6, 0, 8});
    run.CountTick(A(dv::CharacterAction::JumpStart), {6, 0, 8});
    run.CountTick(A(dv::CharacterAction::GrabLedge), {6, 0, 8});
    run.CountTick(A(dv::CharacterAction::Idle), {506, 0, 8});  // put elsewhere, not run
    const dv::RunStats s = run.Stats(0);
    EXPECT_FLOAT_EQ(s.Distance, 10.0f);
    EXPECT_EQ(s.Jumps, 2);
    EXPECT_EQ(s.Grabs, 2);
    EXPECT_EQ(s.Falls, 2);
    EXPECT_EQ(s.SavesLoaded, 0);
    EXPECT_TRUE(run.EligibleForBest());
    run.Finish(100);
    run.CountTick(A(dv::CharacterAction::JumpStart), {0, 0, 0});  // after the exit: nothing
    EXPECT_EQ(run.Stats(0).Jumps, 2);
}

// A load puts the time back to the save's, whatever happened since; the loads add up, so
// reloading one save again and again still counts each load, and the run is no longer
// eligible for a best time.
TEST(LevelRun, ALoadPutsTheTimeBackAndCountsTheLoad) {
    dv::LevelRun run;
    run.Begin(1000, {0, 0, 0}, 0);
    const dv::RunStats saved{4000, 120.0f, 3, 1, 2, 0};
    run.Restore(saved, 50000, {1, 2, 3}, A(dv::CharacterAction::Run));
    EXPECT_EQ(run.TimeMs(50000), 4000);
    EXPECT_EQ(run.TimeMs(50036), 4036);
    EXPECT_EQ(run.Stats(0).Jumps, 3);
    EXPECT_EQ(run.Stats(0).SavesLoaded, 1);
    EXPECT_FALSE(run.EligibleForBest());
    run.Restore(saved, 60000, {1, 2, 3}, A(dv::CharacterAction::Run));
    EXPECT_EQ(run.Stats(0).SavesLoaded, 2);
    // No distance from where the load put the character.
    run.CountTick(A(dv::CharacterAction::Run), {1, 2, 4});
    EXPECT_FLOAT_EQ(run.Stats(0).Distance, 121.0f);
    // A save of a run that had loaded more often keeps its own count.
    run.Restore({10, 0, 0, 0, 0, 7}, 70000, {0, 0, 0}, 0);
    EXPECT_EQ(run.Stats(0).SavesLoaded, 8);
}

TEST(LevelRun, TimesReadAsMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(dv::FormatRunTime(0), "0:00.000");
    EXPECT_EQ(dv::FormatRunTime(83456), "1:23.456");
    EXPECT_EQ(dv::FormatRunTime(3600000 + 5), "60:00.005");
    EXPECT_EQ(dv::FormatRunTime(-5), "0:00.000");
    char small[6];
    EXPECT_EQ(dv::FormatRunTime(83456, small, sizeof small), 5);
    EXPECT_STREQ(small, "1:23.");
}
