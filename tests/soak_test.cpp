// The game on the demo level under seeded random key input, checked at every update tick; and
// a monkey through the whole adventure that also saves, loads, pauses, restarts, resizes and
// changes level (DV_MONKEY_MINUTES, default 2).
// DV_SOAK_MINUTES sets the virtual length (default 3), DV_SOAK_SEED the key sequence and
// DV_SOAK_STEP_MS the step of the random stretches (default 16; larger ones stand for a slow
// machine's frame rate).
//
// The run is a chain of stretches: the game restarts, the demo course replay takes the
// character a random way along the route, then random keys take over for half a minute. So
// the random input meets every room, ledge and block, not only the hall it starts in.
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/game.h"
#include "app/pause_menu.h"
#include "app/save_slots.h"
#include "input/keyboard.h"
#include "app/replay.h"
#include "app/run.h"
#include "app/shell.h"
#include "app/shell_internal.h"
#include "math/clock.h"
#include "platform/gl_window.h"
#include "platform/heap.h"

using namespace dv;

namespace {

constexpr int kCourseStepMs = 40;     // the step the course replay was written for
constexpr int kCourseStartMs = 7000;  // the course's game starts when its title ends
constexpr int kCourseExitMs = 81400;  // from the game's start to the exit
// A few stretches in twenty play the course to its end and go out through the exit.
constexpr int kCourseCutMaxMs = kCourseExitMs + kCourseExitMs / 20;
constexpr int kRandomStretchMs = 30000;
constexpr int kFrameEvery = 64;
constexpr int kFreezeLimitMs = 10000;
constexpr float kEdgeSlack = 0.01f;

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

long ResidentKb() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Every key the game reads, each held and released at random times.
class RandomKeys {
public:
    explicit RandomKeys(uint32_t seed) : rng_(seed) {
        for (Key& k : keys_) k.nextToggleMs = Delay(k);
    }
    // Every key up again (the table already cleared), the next toggles counted from `now`.
    void Restart(int32_t now) {
        for (Key& k : keys_) {
            k.down = false;
            k.nextToggleMs = now + Delay(k);
        }
    }
    void Feed(KeyboardState& keyboard, int32_t now) {
        for (Key& k : keys_) {
            if (now < k.nextToggleMs) continue;
            k.down = !k.down;
            k.nextToggleMs = now + Delay(k);
            keyboard.Down[k.code] = k.down ? 1 : 0;
            const uint8_t shift = keyboard.ModifiersDown();
            if (k.down) keyboard.Press(k.code, shift);
            else keyboard.Release(k.code, shift);
        }
    }

private:
    struct Key {
        int code;
        bool forward = false;  // held more and rested less, so the character travels
        bool down = false;
        int32_t nextToggleMs = 0;
    };
    // Short taps and long holds; releases last long enough for the actions to settle.
    int32_t Delay(const Key& k) {
        std::uniform_int_distribution<int32_t> tap(20, 300), hold(300, 4000), rest(200, 6000);
        std::uniform_int_distribution<int32_t> run(1000, 8000), pause(100, 1500);
        if (!k.down) return k.forward ? pause(rng_) : rest(rng_);
        if (k.forward) return run(rng_);
        return std::bernoulli_distribution(0.4)(rng_) ? tap(rng_) : hold(rng_);
    }
    std::mt19937 rng_;
    std::vector<Key> keys_{{kVkUp, true}, {kVkDown}, {kVkLeft}, {kVkRight}, {kVkShift}, {kVkCtrl}, {kVkAlt},
                           {kVkInsert},   {kVkHome}, {kVkEnd},  {'Q'},      {'A'},      {'Z'},     {'X'}};
};

class CwdGuard {
public:
    explicit CwdGuard(const std::filesystem::path& dir) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CwdGuard() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

// Releases every key held, through the handlers, so no action keeps a key the input left.
void ReleaseAllKeys(KeyboardState& keyboard) {
    for (int code = 0; code < static_cast<int>(std::size(keyboard.Down)); ++code) {
        if (keyboard.Down[code] == 0) continue;
        keyboard.Release(code, 0);
    }
}

// One stretch: the course replay drives the keys until `handoverMs`, random keys after it.
class Stretch {
public:
    Stretch(const std::vector<ReplayEvent>& course, uint32_t seed) : course_(course), rng_(seed) {}

    // Restarts the game at the start, as after the title, and picks the hand-over point.
    void Begin(Shell& shell, RandomKeys& keys, int32_t now) {
        ReleaseAllKeys(shell.Keys);
        CreateGameState(shell);  // the character's state too, as at start-up
        ShellInternals::UpdateCallback(shell) = TitleSequence;
        ShellInternals::TitleState(shell) = TitleStep::Title;
        ShellInternals::TitleStartTime(shell) = now - 100000;
        replay_ = ReplayPlayer(course_);
        // The title ends on the next tick: course time 7040, as in the recorded run.
        offsetMs_ = now - kCourseStartMs;
        handoverMs_ = now + std::uniform_int_distribution<int32_t>(0, kCourseCutMaxMs)(rng_);
        endMs_ = handoverMs_ + kRandomStretchMs;
        replaying_ = true;
        keys.Restart(endMs_);
    }
    bool Replaying() const { return replaying_; }
    bool Over(int32_t now) const { return now >= endMs_; }
    // Feeds the course events due at `now`, or hands over to the random keys.
    void Feed(Shell& shell, RandomKeys& keys, int32_t now) {
        if (replaying_ && now >= handoverMs_) {
            replaying_ = false;
            ReleaseAllKeys(shell.Keys);
            keys.Restart(now);
        }
        if (!replaying_) {
            keys.Feed(shell.Keys, now);
            return;
        }
        while (const ReplayEvent* e = replay_.NextDue(now - offsetMs_)) FeedReplayEvent(shell, *e);
    }

private:
    const std::vector<ReplayEvent>& course_;
    std::mt19937 rng_;
    ReplayPlayer replay_{{}};
    int32_t offsetMs_ = 0, handoverMs_ = 0, endMs_ = 0;
    bool replaying_ = false;
};

// Resting poses a player may hold as long as they like: standing, hanging from a ledge
// (also high, and looking down from it).
bool Resting(int32_t action) {
    switch (static_cast<CharacterAction>(action)) {
        case CharacterAction::Idle:
        case CharacterAction::Hang:
        case CharacterAction::HangLookDownHold:
        case CharacterAction::HighHang: return true;
        default: return false;
    }
}

}  // namespace

TEST(Soak, DemoLevelUnderRandomKeys) {
    const std::filesystem::path data = DV_BINARY_DIR;
    if (!std::filesystem::exists(data / "test.lev")) GTEST_SKIP() << "the demo level has not been built";
    const int minutes = EnvInt("DV_SOAK_MINUTES", 3);
    const uint32_t seed = static_cast<uint32_t>(EnvInt("DV_SOAK_SEED", 20261207));
    const int stepMs = std::clamp(EnvInt("DV_SOAK_STEP_MS", 16), 1, 1000);

    CwdGuard cwd(data);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ClockStart();
    ClockUseVirtual(true);
    std::string error;
    std::unique_ptr<GLWindow> window = GLWindow::Create("soak", 800, 600, false, true, error);
    ASSERT_TRUE(window) << error;
    Shell shell;
    shell.Boxes.SetHeadless(true);
    ShellSetup setup;
    setup.BasePath = data.string() + "/";
    setup.CharacterTurnRates = InitGameModules(data.string() + "/set.txt", shell.Boxes);
    shell.Start(window->Window(), setup);
    if (shell.Level.MovableCount == 0) {
        shell.Shutdown();
        GTEST_SKIP() << "the demo level has no character yet";
    }

    std::vector<ReplayEvent> course;
    ASSERT_TRUE(LoadReplayFile(DV_SOURCE_DIR "/tests/data/replays/course.replay", course, error)) << error;
    RandomKeys keys(seed);
    Stretch stretch(course, seed + 1);
    bool started = false;
    int stretches = 0;
    HeapKeeper heap;
    const int32_t endMs = minutes * 60000;
    std::vector<bool> roomsSeen(shell.Level.Map.Rooms.size(), false);
    int32_t idles = 0, sameActionSinceMs = 0, lastAction = -1, exits = 0, ticks = 0;
    // Per virtual minute, the lowest resident size after a drawn frame (what the game keeps)
    // and the highest (with the driver's memory for the largest frame).
    std::vector<long> lowKb, highKb;
    int failures = 0;
    auto fail = [&](int32_t now, const std::string& what) {
        if (++failures <= 10) ADD_FAILURE() << "at " << now << " ms: " << what;
    };

    while (ClockMs() < endMs && !shell.CloseRequested() && failures == 0) {
        ClockAdvanceVirtual(started && stretch.Replaying() ? kCourseStepMs : stepMs);
        const int32_t now = ClockMs();
        const bool inGame = shell.Game != nullptr && shell.UpdateCallback() != TitleSequence;
        if (inGame && started) stretch.Feed(shell, keys, now);
        // A software renderer draws a frame far slower than the game updates, so most idle
        // events run the update and the animator only; every kFrameEvery-th draws the frame.
        if (++idles % kFrameEvery == 0 || !inGame) {
            shell.Idle(true);
            heap.AfterFrame();
            if (inGame) {
                glFinish();
                const size_t minute = static_cast<size_t>(now / 60000);
                if (lowKb.size() <= minute) {
                    lowKb.resize(minute + 1, 0);
                    highKb.resize(minute + 1, 0);
                }
                highKb[minute] = std::max(highKb[minute], ResidentKb());
                // The driver keeps a frame's binned triangles until it draws the next one, so
                // what the game keeps is measured after a clear-only frame and with freed
                // pages handed back (as the game does once a second).
                glClear(GL_COLOR_BUFFER_BIT);
                glFinish();
                heap.TrimNow();
                const long kb = ResidentKb();
                lowKb[minute] = lowKb[minute] == 0 ? kb : std::min(lowKb[minute], kb);
            }
        } else {
            shell.UpdateCallback()(shell);
            if (shell.Game != nullptr) shell.Game->CharacterModel.Update();
        }
        if (shell.Game == nullptr) continue;
        const bool exited = shell.UpdateCallback() == TitleSequence && shell.TitleState() >= TitleStep::ShowClosing;
        if (exited) ++exits;
        if ((inGame && !started) || exited || (started && stretch.Over(now))) {
            stretch.Begin(shell, keys, now);
            started = true;
            ++stretches;
            lastAction = -1;
            continue;
        }
        if (!inGame) continue;
        ++ticks;

        const GameState& g = *shell.Game;
        const BodyPose& m = g.Body.Movement;
        if (!Finite(m.Position) || !std::isfinite(m.AngleX) || !std::isfinite(m.AngleY) || !std::isfinite(m.AngleZ))
            fail(now, "position or angle not finite");
        if (g.Body.Action < 0 || g.Body.Action > 55) fail(now, "action " + std::to_string(g.Body.Action));
        if (!Finite(g.Follow->Eye()) || !Finite(shell.ViewCamera.Position)) fail(now, "camera eye not finite");
        const int32_t room = g.Body.Room;
        if (room < 0 || room >= static_cast<int32_t>(shell.Level.Map.Rooms.size())) {
            fail(now, "room " + std::to_string(room));
        } else {
            roomsSeen[static_cast<size_t>(room)] = true;
            const RoomHeader& h = shell.Level.Map.Rooms[static_cast<size_t>(room)].Header;
            const float x = m.Position.x - h.Origin.x, z = m.Position.z - h.Origin.z;
            if (x < -kEdgeSlack || z < -kEdgeSlack || x > h.CellsX * kCellSize + kEdgeSlack ||
                z > h.CellsZ * kCellSize + kEdgeSlack)
                fail(now, "character at (" + std::to_string(m.Position.x) + ", " + std::to_string(m.Position.z) +
                              ") outside room " + std::to_string(room));
        }
        // An action other than a resting pose must end; the actions do not run in the free
        // camera mode.
        if (g.Body.Action != lastAction || Resting(g.Body.Action) || g.Follow->Mode() == CameraMode::FreeLook) {
            lastAction = g.Body.Action;
            sameActionSinceMs = now;
        } else if (now - sameActionSinceMs > kFreezeLimitMs) {
            fail(now, "stuck in action " + std::to_string(lastAction));
        }
    }
    const int32_t reachedMs = ClockMs();
    shell.Shutdown();
    ClockUseVirtual(false);

    std::printf(
        "soak: %d virtual minutes, %d ticks, %d stretches, %d of %zu rooms visited, %d exits reached, "
        "resident kB per minute (low/high):",
        minutes, ticks, stretches, static_cast<int>(std::count(roomsSeen.begin(), roomsSeen.end(), true)),
        roomsSeen.size(), exits);
    for (size_t i = 0; i < lowKb.size(); ++i) std::printf(" %ld/%ld", lowKb[i], highKb[i]);
    std::printf("\n");
    EXPECT_FALSE(shell.CloseRequested());
    EXPECT_GE(reachedMs, endMs);
    // Resident memory must stay flat after the first minute: what the game keeps (the lowest
    // size in a minute) stays near the second minute's. A leak of any size shows there; a
    // large frame only raises that minute's highest.
    // Judged at game-like steps only: with steps of 150 ms and more a minute holds a handful of
    // drawn frames, and what the GL driver holds between them swings by several MB.
    const long budgetKb = 2048;
    for (size_t i = 2; i < lowKb.size() && stepMs <= 100; ++i)
        EXPECT_LT(lowKb[i] - lowKb[1], budgetKb) << "resident memory grew to " << lowKb[i] << " kB in minute " << i + 1;
}

namespace {

// What the monkey does besides keys, at random moments of play.
enum class MonkeyMove : uint8_t { Save, Load, Pause, Restart, Resize, ChangeLevel, Count };

struct MonkeyCounts {
    int saves = 0, loads = 0, pauses = 0, restarts = 0, resizes = 0, levelChanges = 0;
};

// The character is where the update step keeps it: finite, in a room of its level and inside
// that room's rectangle; the camera finite. An empty result when all holds.
std::string BrokenInvariant(const Shell& shell) {
    const GameState& g = *shell.Game;
    const BodyPose& m = g.Body.Movement;
    if (!Finite(m.Position) || !std::isfinite(m.AngleX) || !std::isfinite(m.AngleY) || !std::isfinite(m.AngleZ))
        return "position or angle not finite";
    if (g.Body.Action < 0 || g.Body.Action > 55) return "action " + std::to_string(g.Body.Action);
    if (!Finite(g.Follow->Eye()) || !Finite(shell.ViewCamera.Position)) return "camera eye not finite";
    const int32_t room = g.Body.Room;
    if (room < 0 || room >= static_cast<int32_t>(shell.Level.Map.Rooms.size())) return "room " + std::to_string(room);
    const RoomHeader& h = shell.Level.Map.Rooms[static_cast<size_t>(room)].Header;
    const float x = m.Position.x - h.Origin.x, z = m.Position.z - h.Origin.z;
    if (x < -kEdgeSlack || z < -kEdgeSlack || x > h.CellsX * kCellSize + kEdgeSlack ||
        z > h.CellsZ * kCellSize + kEdgeSlack)
        return "character outside room " + std::to_string(room) + " of level " + std::to_string(shell.LevelIndex());
    return {};
}

}  // namespace

// Random legal input through the three levels: the level replays and random keys, and at
// random moments (in the air too) saves into every slot, loads of every slot saved, the
// pause menu, restarts, window sizes and changes of level. Every tick is checked; every save
// made must load; the game's own memory (the lowest of each minute on each level) stays flat.
TEST(Soak, AdventureMonkey) {
    const std::filesystem::path data = DV_BINARY_DIR;
    if (!std::filesystem::exists(data / "levels.txt")) GTEST_SKIP() << "the adventure has not been built";
    const int minutes = EnvInt("DV_MONKEY_MINUTES", 2);
    const uint32_t seed = static_cast<uint32_t>(EnvInt("DV_SOAK_SEED", 20261210));
    const std::filesystem::path saves =
        std::filesystem::temp_directory_path() / ("dv_monkey_" + std::to_string(::getpid()));
    std::filesystem::remove_all(saves);

    CwdGuard cwd(data);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ClockStart();
    ClockUseVirtual(true);
    std::string error;
    std::unique_ptr<GLWindow> window = GLWindow::Create("monkey", 800, 600, false, true, error);
    ASSERT_TRUE(window) << error;
    Shell shell;
    shell.Boxes.SetHeadless(true);
    ShellSetup setup;
    setup.BasePath = data.string() + "/";
    setup.Folders.SavesDir = saves.string();
    setup.CharacterTurnRates = InitGameModules(data.string() + "/set.txt", shell.Boxes);
    shell.Start(window->Window(), setup);
    ASSERT_EQ(shell.Levels().size(), 3u);

    std::vector<std::vector<ReplayEvent>> replays(3);
    const char* const names[] = {"course", "cistern", "tower"};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(
            LoadReplayFile(std::string(DV_SOURCE_DIR "/tests/data/replays/") + names[i] + ".replay", replays[i], error))
            << error;
    }
    std::mt19937 rng(seed);
    RandomKeys keys(seed);
    std::vector<Stretch> stretches;
    stretches.reserve(3);
    for (size_t i = 0; i < 3; ++i) stretches.emplace_back(replays[i], seed + 1 + static_cast<uint32_t>(i));
    Stretch* stretch = nullptr;
    size_t stretchLevel = 0;
    HeapKeeper heap;
    const int32_t endMs = minutes * 60000;
    std::vector<bool> slotSaved(kSaveSlotCount, false);
    MonkeyCounts counts;
    int32_t idles = 0, ticks = 0, nextMoveMs = 8000, resumeAtMs = -1;
    std::set<std::pair<size_t, int32_t>> roomsSeen;
    std::map<size_t, std::pair<long, long>> lowKbByLevel;  // after the first minute: lowest, highest
    long peakKb = 0;
    int failures = 0;
    auto fail = [&](int32_t now, const std::string& what) {
        if (++failures <= 10) ADD_FAILURE() << "at " << now << " ms: " << what;
    };
    const std::pair<int, int> sizes[] = {{320, 240}, {640, 480}, {800, 600}, {1024, 768}, {400, 700}};

    while (ClockMs() < endMs && !shell.CloseRequested() && failures == 0) {
        ClockAdvanceVirtual(stretch != nullptr && stretch->Replaying() ? kCourseStepMs : 16);
        const int32_t now = ClockMs();
        if (shell.Paused() && now >= resumeAtMs) shell.ResumeGame();
        const bool inGame = shell.Game != nullptr && shell.InGame();
        // A new stretch at the start, after one ended, and on each level the game moves on to.
        if (inGame && (stretch == nullptr || stretchLevel != shell.LevelIndex())) {
            stretchLevel = shell.LevelIndex();
            stretch = &stretches[stretchLevel];
            stretch->Begin(shell, keys, now);
            continue;
        }
        if (inGame && !shell.Paused()) stretch->Feed(shell, keys, now);
        if (inGame && !shell.Paused() && now >= nextMoveMs) {
            nextMoveMs = now + std::uniform_int_distribution<int32_t>(300, 4000)(rng);
            const auto move = static_cast<MonkeyMove>(
                std::uniform_int_distribution<int>(0, static_cast<int>(MonkeyMove::Count) - 1)(rng));
            const int slot = std::uniform_int_distribution<int>(0, kSaveSlotCount - 1)(rng);
            switch (move) {
                case MonkeyMove::Save:
                    SaveToSlot(shell, slot);
                    slotSaved[static_cast<size_t>(slot)] = true;
                    ++counts.saves;
                    break;
                case MonkeyMove::Load:
                    if (!slotSaved[static_cast<size_t>(slot)]) break;
                    if (!LoadFromSlot(shell, slot)) fail(now, "slot " + std::to_string(slot) + " saved but not loaded");
                    // The loaded game goes on under the keys of its level's stretch.
                    stretchLevel = shell.LevelIndex();
                    stretch = &stretches[stretchLevel];
                    ++counts.loads;
                    break;
                case MonkeyMove::Pause:
                    shell.OpenMenu();
                    resumeAtMs = now + std::uniform_int_distribution<int32_t>(16, 3000)(rng);
                    ++counts.pauses;
                    break;
                case MonkeyMove::Restart:
                    shell.RestartLevel();
                    ++counts.restarts;
                    break;
                case MonkeyMove::Resize: {
                    const auto& [w, h] = sizes[std::uniform_int_distribution<size_t>(0, std::size(sizes) - 1)(rng)];
                    shell.Resize(w, h);
                    ++counts.resizes;
                    break;
                }
                case MonkeyMove::ChangeLevel:
                    if (std::bernoulli_distribution(0.5)(rng)) break;  // level loads are slow; half as often
                    shell.EnterLevel(std::uniform_int_distribution<size_t>(0, 2)(rng));
                    stretch = nullptr;
                    ++counts.levelChanges;
                    break;
                case MonkeyMove::Count: break;
            }
        }
        if (++idles % kFrameEvery == 0 || !inGame) {
            shell.Idle(true);
            heap.AfterFrame();
            if (inGame) {
                glFinish();
                peakKb = std::max(peakKb, ResidentKb());
                glClear(GL_COLOR_BUFFER_BIT);
                glFinish();
                heap.TrimNow();
                const long kb = ResidentKb();
                if (now > 60000) {
                    auto [it, fresh] = lowKbByLevel.try_emplace(shell.LevelIndex(), kb, kb);
                    it->second.first = std::min(it->second.first, kb);
                    it->second.second = std::max(it->second.second, kb);
                }
            }
        } else if (!shell.Paused()) {
            shell.UpdateCallback()(shell);
            if (shell.Game != nullptr) shell.Game->CharacterModel.Update();
        }
        if (shell.Game == nullptr) continue;
        const bool exited = shell.UpdateCallback() == TitleSequence && shell.TitleState() >= TitleStep::ShowClosing;
        if (exited || (stretch != nullptr && stretch->Over(now))) {
            if (exited) shell.EnterLevel(0);
            stretchLevel = shell.LevelIndex();
            stretch = &stretches[stretchLevel];
            stretch->Begin(shell, keys, now);
            continue;
        }
        if (!inGame || shell.Paused()) continue;
        ++ticks;
        roomsSeen.insert({shell.LevelIndex(), shell.Game->Body.Room});
        if (const std::string broken = BrokenInvariant(shell); !broken.empty()) fail(now, broken);
    }
    const int32_t reachedMs = ClockMs();
    shell.Shutdown();
    ClockUseVirtual(false);
    std::filesystem::remove_all(saves);

    std::printf(
        "monkey: %d virtual minutes, seed %u, %d ticks checked, %zu rooms of 3 levels visited, %d saves, "
        "%d loads, %d pauses, %d restarts, %d resizes, %d level changes, peak %ld kB",
        minutes, seed, ticks, roomsSeen.size(), counts.saves, counts.loads, counts.pauses, counts.restarts,
        counts.resizes, counts.levelChanges, peakKb);
    for (const auto& [level, kb] : lowKbByLevel)
        std::printf(", level %zu kept %ld..%ld kB", level, kb.first, kb.second);
    std::printf("\n");
    EXPECT_GE(reachedMs, endMs);
    EXPECT_GT(counts.loads, 0);
    // Under AddressSanitizer freed memory waits in its quarantine (up to 256 MB) and stays
    // resident, so only the ordinary build judges growth; LeakSanitizer looks for leaks there.
#ifndef DV_SANITIZE
    for (const auto& [level, kb] : lowKbByLevel)
        EXPECT_LT(kb.second - kb.first, 4096) << "the game's memory on level " << level << " grew";
#endif
}
