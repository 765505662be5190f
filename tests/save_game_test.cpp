// The saved-game file: what a reader makes of damaged, truncated, foreign and mismatched
// files, and what a restore refuses.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/game.h"
#include "app/save_game.h"
#include "models/animator_internal.h"
#include "motion/follow_camera_internal.h"
#include "render/viewport.h"

namespace {

std::string Temp(const std::string& name) {
    return ::testing::TempDir() + "dvsave" + std::to_string(getpid()) + "_" + name;
}

std::string ReadAll(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

const dv::LevelIdentity kLevel{1234, 0x1122334455667788ull};

dv::SavedGame SomeGame() {
    dv::SavedGame g{};
    g.Body.Room = 2;
    g.Body.TickInterval = 18;
    g.Body.Position = {10, 20, 30};
    g.Character.TimedDuration = 100;
    g.Animator.TimeScale = 1;
    return g;
}

std::string SavedBytes(const dv::SavedGame& game) {
    const std::string path = Temp("game.sav");
    std::string error;
    EXPECT_TRUE(dv::WriteSaveFile(path, game, kLevel, 1700000000, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    return ReadAll(path);
}

std::string ParseError(const std::string& bytes, const dv::LevelIdentity& level = kLevel) {
    dv::SaveHeader header{};
    dv::SavedGame game{};
    std::string error;
    EXPECT_FALSE(dv::ParseSaveFile(bytes, "x.sav", level, header, game, error));
    return error;
}

}  // namespace

TEST(SaveFile, WrittenFileReadsBackWithItsHeader) {
    const std::string bytes = SavedBytes(SomeGame());
    ASSERT_EQ(bytes.size(), sizeof(dv::SaveHeader) + sizeof(dv::SavedGame));
    dv::SaveHeader header{};
    dv::SavedGame game{};
    std::string error;
    ASSERT_TRUE(dv::ParseSaveFile(bytes, "x.sav", kLevel, header, game, error)) << error;
    const dv::SavedGame expected = SomeGame();
    EXPECT_EQ(std::memcmp(&game, &expected, sizeof game), 0);
    EXPECT_EQ(header.Room, 2);
    EXPECT_EQ(header.SavedAt, 1700000000);
}

// A game of several levels finds the level a save was made on among its own; damage is still
// reported before the level is looked for.
TEST(SaveFile, SavesOfAnyListedLevelNameTheirLevel) {
    SavedBytes(SomeGame());
    const std::string path = Temp("game.sav");
    const dv::LevelIdentity other{99, 7};
    dv::SaveHeader header{};
    dv::SavedGame game{};
    size_t level = 5;
    std::string error;
    ASSERT_TRUE(dv::ReadSaveFile(path, {other, kLevel}, level, header, game, error)) << error;
    EXPECT_EQ(level, 1u);
    EXPECT_EQ(game.Body.Room, 2);
    EXPECT_FALSE(dv::ReadSaveFile(path, {other}, level, header, game, error));
    EXPECT_EQ(error, path + ": saved on a level this game does not have (or another version of it)");

    std::string bytes = ReadAll(path);
    bytes[sizeof(dv::SaveHeader) + 3] ^= 1;
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_FALSE(dv::ReadSaveFile(path, {other, kLevel}, level, header, game, error));
    EXPECT_EQ(error, path + ": damaged: the checksum does not match");
}

// A save of format 1 (checksum over the payload only) still loads; the room it lists is the
// payload's, whatever its unchecked header says.
TEST(SaveFile, FormatOneSavesLoadAndListThePayloadsRoom) {
    const dv::SavedGame saved = SomeGame();
    dv::SaveHeader old{};
    std::memcpy(old.Magic, dv::kSaveMagic, sizeof old.Magic);
    old.Version = 1;
    old.PayloadBytes = dv::kSavedGameBytesBeforeRun;
    old.Checksum = dv::Fnv1a64(&saved, dv::kSavedGameBytesBeforeRun);
    old.LevelBytes = kLevel.Bytes;
    old.LevelHash = kLevel.Hash;
    old.Room = INT32_MAX;
    std::string bytes(reinterpret_cast<const char*>(&old), sizeof old);
    bytes.append(reinterpret_cast<const char*>(&saved), dv::kSavedGameBytesBeforeRun);
    dv::SaveHeader header{};
    dv::SavedGame game{};
    std::string error;
    ASSERT_TRUE(dv::ParseSaveFile(bytes, "x.sav", kLevel, header, game, error)) << error;
    EXPECT_EQ(header.Room, 2);
    EXPECT_EQ(std::memcmp(&game, &saved, sizeof game), 0);
}

TEST(SaveFile, DamagedTruncatedForeignAndMismatchedFilesEachSayWhatIsWrong) {
    const std::string good = SavedBytes(SomeGame());
    EXPECT_EQ(ParseError(""), "x.sav: truncated: 0 bytes, shorter than the header");
    EXPECT_EQ(ParseError(good.substr(0, good.size() - 1)).rfind("x.sav: truncated: ", 0), 0u);
    EXPECT_EQ(ParseError(good + "x").rfind("x.sav: damaged: ", 0), 0u);
    EXPECT_EQ(ParseError("\x89PNG\r\n\x1a\n" + good.substr(8)), "x.sav: not a saved game of Dedivirede");

    std::string flipped = good;
    flipped[sizeof(dv::SaveHeader) + 17] ^= 0x40;
    EXPECT_EQ(ParseError(flipped), "x.sav: damaged: the checksum does not match");

    std::string version = good;
    version[8] = 7;
    EXPECT_EQ(ParseError(version), "x.sav: saved by another version of the game (format 7, this one reads 1 to 3)");

    std::string payload = good;
    payload[12] = 9;
    EXPECT_EQ(ParseError(payload).rfind("x.sav: damaged: the header announces", 0), 0u);

    EXPECT_EQ(ParseError(good, dv::LevelIdentity{1234, 1}),
              "x.sav: saved on another level (or another version of this level)");
    EXPECT_EQ(ParseError(good, dv::LevelIdentity{1235, kLevel.Hash}),
              "x.sav: saved on another level (or another version of this level)");

    // The header is under the checksum too: the time and room the slot list shows.
    for (const size_t at : {offsetof(dv::SaveHeader, SavedAt), offsetof(dv::SaveHeader, Room)}) {
        std::string edited = good;
        edited[at] ^= 0x7f;
        EXPECT_EQ(ParseError(edited), "x.sav: damaged: the checksum does not match") << at;
    }

    dv::SaveHeader header{};
    dv::SavedGame game{};
    std::string error;
    EXPECT_FALSE(dv::ReadSaveFile(Temp("missing.sav"), kLevel, header, game, error));
    EXPECT_EQ(error, Temp("missing.sav") + ": no saved game there");
}

// A file whose checksum holds may still be made by hand: a restore checks rooms, actions,
// modes and numbers first and leaves the game untouched when one is out of place.
TEST(SaveFile, RestoreRefusesStateThatDoesNotFitTheLevel) {
    dv::LevelMap map;
    map.Rooms.resize(3);
    map.Rooms[2].Header.CellsX = map.Rooms[2].Header.CellsZ = 4;
    dv::GameState game(dv::Vec3{1, 2, 3});
    game.Follow = std::make_unique<dv::FollowCamera>();
    dv::Camera view;
    std::string error;

    dv::SavedGame bad = SomeGame();
    bad.Body.Room = 3;
    EXPECT_FALSE(dv::RestoreGame(bad, map, game, view, 0, error));
    EXPECT_EQ(error, "room 3 is not in the level");

    bad = SomeGame();
    bad.Body.Action = 56;
    EXPECT_FALSE(dv::RestoreGame(bad, map, game, view, 0, error));
    EXPECT_EQ(error, "action 56 does not exist");

    bad = SomeGame();
    bad.Camera.Eye.y = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(dv::RestoreGame(bad, map, game, view, 0, error));
    EXPECT_EQ(error, "a number is not finite");

    bad = SomeGame();
    bad.Camera.Mode = 9;
    EXPECT_FALSE(dv::RestoreGame(bad, map, game, view, 0, error));

    // Finite numbers that stall the game or become infinities on the next tick.
    const std::pair<void (*)(dv::SavedGame&), std::string> absurd[] = {
        {[](dv::SavedGame& g) { g.Body.LastTick = INT32_MAX; }, "a clock reading 2147483647 ms"},
        {[](dv::SavedGame& g) { g.Animator.FrameStart = INT32_MIN; }, "a clock reading -2147483648 ms"},
        {[](dv::SavedGame& g) { g.Camera.MoveStart = 1e9f; }, "the camera's clock reading"},
        {[](dv::SavedGame& g) { g.Body.TickInterval = 1 << 30; }, "a tick interval of 1073741824 ms"},
        {[](dv::SavedGame& g) { g.Body.TickInterval = 0; }, "a tick interval of 0 ms"},
        {[](dv::SavedGame& g) { g.Character.TickDelta = -5; }, "a step of -5 ms"},
        {[](dv::SavedGame& g) { g.Character.TimedDuration = 1e-30f; }, "the timed move's duration"},
        {[](dv::SavedGame& g) { g.Character.StepFraction = 3; }, "the height step"},
        {[](dv::SavedGame& g) { g.Animator.TimeScale = 1e-30f; }, "the animation's time scale"},
        {[](dv::SavedGame& g) { g.Camera.MoveDuration = 1e-30f; }, "the camera's move duration"},
        {[](dv::SavedGame& g) { g.Character.VertSpeed = 1e30f; }, "a number is beyond any the game reaches"},
        {[](dv::SavedGame& g) { g.Camera.Eye.z = -3e7f; }, "a number is beyond any the game reaches"},
        {[](dv::SavedGame& g) { g.Body.Position.x = 500; }, "the character is outside its room 2"},
        {[](dv::SavedGame& g) { g.Animator.AnimationRecord = -1; }, "the animation plays a clip it does not name"},
    };
    for (const auto& [edit, message] : absurd) {
        bad = SomeGame();
        edit(bad);
        EXPECT_FALSE(dv::RestoreGame(bad, map, game, view, 0, error)) << message;
        EXPECT_EQ(error.rfind(message, 0), 0u) << error;
    }

    // Nothing was bound to the animator, so even a fitting game is refused, untouched.
    EXPECT_FALSE(dv::RestoreGame(SomeGame(), map, game, view, 0, error));
    EXPECT_EQ(game.Body.Movement.Position.x, 1.0f);
    EXPECT_EQ(game.Body.Room, 0);
}

// Checked against another level before it is entered: its rooms, its character's clips and
// the animations.
TEST(SaveFile, FitToAnotherLevelIsCheckedWithoutTouchingTheGame) {
    dv::LevelRecord level;
    level.Map.Rooms.resize(3);
    level.Movables.resize(1);
    level.Movables[0].Clips.resize(2);
    level.Animations.resize(4);
    std::string error;
    dv::SavedGame saved = SomeGame();
    saved.Animator.ClipRecord = 1;
    saved.Animator.NextClipRecord = -1;
    saved.Animator.AnimationRecord = 3;
    saved.Animator.NextAnimationRecord = -1;
    EXPECT_TRUE(dv::SaveFitsLevel(saved, level, error)) << error;
    saved.Animator.NextClipRecord = 2;
    EXPECT_FALSE(dv::SaveFitsLevel(saved, level, error));
    EXPECT_EQ(error, "clip 2 is not in the level");
    saved.Animator.NextClipRecord = -1;
    saved.Animator.AnimationRecord = 4;
    EXPECT_FALSE(dv::SaveFitsLevel(saved, level, error));
    EXPECT_EQ(error, "animation 4 is not in the level");
    saved = SomeGame();
    saved.Character.ClimbRoom = 3;
    EXPECT_FALSE(dv::SaveFitsLevel(saved, level, error));
    EXPECT_EQ(error, "room 3 is not in the level");
}

TEST(SaveFile, ClockReadingsAreKeptRelativeToTheSave) {
    dv::GameState game(dv::Vec3{0, 0, 0});
    game.Follow = std::make_unique<dv::FollowCamera>();
    game.Body.LastTick = 5000;
    game.Actions.LastTickTime = 4990;
    dv::AnimatorInternals::Playback(game.CharacterModel).FrameStart = 4900;
    dv::FollowCameraInternals::State(*game.Follow).MoveStart = 4800;
    dv::Camera view;
    const dv::SavedGame saved = dv::CaptureGame(game, view, 5010);
    EXPECT_EQ(saved.Body.LastTick, -10);
    EXPECT_EQ(saved.Character.LastTickTime, -20);
    EXPECT_EQ(saved.Animator.FrameStart, -110);
    EXPECT_EQ(saved.Camera.MoveStart, -210.0f);

    // Older readings are kept as long ago; a reading across the clock's wrap as it was.
    game.Actions.TimedStartTime = -2000000000;
    EXPECT_EQ(dv::CaptureGame(game, view, 5010).Character.TimedStartTime, -dv::kOldestSavedClockMs);
    game.Body.LastTick = INT32_MAX - 4;
    EXPECT_EQ(dv::CaptureGame(game, view, INT32_MIN + 5).Body.LastTick, -10);
    game.Body.LastTick = 5000;
    game.Actions.TimedStartTime = 0;

    dv::ShiftGameClocks(game, 1000);
    EXPECT_EQ(game.Body.LastTick, 6000);
    EXPECT_EQ(game.Actions.LastTickTime, 5990);
    EXPECT_EQ(game.CharacterModel.Playback().FrameStart, 5900);
    EXPECT_EQ(game.Follow->Kept().MoveStart, 5800.0f);
}

// A process that does nothing but save, killed (SIGKILL) at twenty random moments: the file
// always reads back whole, and most kills fall inside a write.
TEST(SaveFile, KilledInTheMiddleOfWritingLeavesTheLastWholeSave) {
    const std::string dir = Temp("killed");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/quick.sav";
    std::string error;
    // The first save follows the children's rule too: a child killed before its first write
    // ends leaves this one.
    dv::SavedGame first = SomeGame();
    first.Body.Position.x = 1;
    ASSERT_TRUE(dv::WriteSaveFile(path, first, kLevel, 1, error)) << error;
    int insideAWrite = 0;
    for (int run = 0; run < 20; ++run) {
        const pid_t child = ::fork();
        if (child == 0) {
            dv::SavedGame game = SomeGame();
            std::string childError;
            for (int i = 0;; ++i) {
                game.Body.Position.x = static_cast<float>(i % 64);
                dv::WriteSaveFile(path, game, kLevel, i, childError);
            }
        }
        ASSERT_GT(child, 0);
        ::usleep(static_cast<useconds_t>(2000 + (run * 7919) % 30000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        dv::SaveHeader header{};
        dv::SavedGame game{};
        ASSERT_TRUE(dv::ReadSaveFile(path, kLevel, header, game, error)) << "kill " << run << ": " << error;
        EXPECT_EQ(game.Body.Position.x, static_cast<float>(header.SavedAt % 64));
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.path() == path) continue;
            ++insideAWrite;
            std::filesystem::remove(entry.path());
        }
    }
    std::printf("20 kills of a process saving in a loop; %d fell inside a write\n", insideAWrite);
    std::filesystem::remove_all(dir);
}

// Format 3 carries the level's run; a save of format 2, which ends before it, still loads, its
// run read as zero, and its payload is no larger than format 2's.
TEST(SaveFile, TheRunTravelsInFormatThreeAndFormatTwoSavesLoadWithoutIt) {
    dv::SavedGame withRun = SomeGame();
    withRun.Run = {83456, 1500.5f, 12, 3, 2, 1, {0, 0}};
    dv::SaveHeader header{};
    dv::SavedGame game{};
    std::string error;
    ASSERT_TRUE(dv::ParseSaveFile(SavedBytes(withRun), "x.sav", kLevel, header, game, error)) << error;
    EXPECT_EQ(header.Version, 3u);
    EXPECT_EQ(game.Run.TimeMs, 83456);
    EXPECT_EQ(game.Run.Jumps, 12);
    EXPECT_EQ(game.Run.SavesLoaded, 1);

    dv::SaveHeader two{};
    std::memcpy(two.Magic, dv::kSaveMagic, sizeof two.Magic);
    two.Version = 2;
    two.PayloadBytes = dv::kSavedGameBytesBeforeRun;
    two.LevelBytes = kLevel.Bytes;
    two.LevelHash = kLevel.Hash;
    two.Room = 2;
    two.Checksum = dv::SaveChecksum(two, withRun);
    std::string bytes(reinterpret_cast<const char*>(&two), sizeof two);
    bytes.append(reinterpret_cast<const char*>(&withRun), dv::kSavedGameBytesBeforeRun);
    ASSERT_TRUE(dv::ParseSaveFile(bytes, "x.sav", kLevel, header, game, error)) << error;
    EXPECT_EQ(game.Run.TimeMs, 0);
    EXPECT_EQ(game.Run.Jumps, 0);
    EXPECT_EQ(game.Body.Room, 2);
    // A format 2 header with format 3's size is damaged, not read past its end.
    two.PayloadBytes = sizeof(dv::SavedGame);
    std::memcpy(bytes.data(), &two, sizeof two);
    EXPECT_EQ(ParseError(bytes).rfind("x.sav: damaged: the header announces", 0), 0u);
}

TEST(SaveFile, RestoreRefusesARunNoGameReaches) {
    dv::LevelMap map;
    map.Rooms.resize(3);
    map.Rooms[2].Header.CellsX = map.Rooms[2].Header.CellsZ = 4;
    const auto refused = [&map](const dv::SavedRun& run) {
        dv::GameState game(dv::Vec3{1, 2, 3});
        game.Follow = std::make_unique<dv::FollowCamera>();
        dv::Camera view;
        dv::SavedGame g = SomeGame();
        g.Run = run;
        std::string error;
        EXPECT_FALSE(dv::RestoreGame(g, map, game, view, 0, error));
        EXPECT_FALSE(game.Run.Begun());
        return error;
    };
    EXPECT_EQ(refused({-1, 0, 0, 0, 0, 0, {0, 0}}), "the level's time is out of range");
    EXPECT_EQ(refused({0, -2.0f, 0, 0, 0, 0, {0, 0}}), "the distance run is out of range");
    EXPECT_EQ(refused({0, std::numeric_limits<float>::quiet_NaN(), 0, 0, 0, 0, {0, 0}}),
              "the distance run is out of range");
    EXPECT_EQ(refused({0, 0, 0, -3, 0, 0, {0, 0}}), "a count of the level's run is out of range");
}
