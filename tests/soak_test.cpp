// The game on the demo level under seeded random key input, checked at every update tick.
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
#include <random>
#include <string>
#include <vector>

#include "app/game.h"
#include "input/keyboard.h"
#include "app/replay.h"
#include "app/run.h"
#include "app/shell.h"
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
        shell.UpdateCallback = TitleSequence;
        shell.TitleState = TitleStep::Title;
        shell.TitleStartTime = now - 100000;
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
    shell.CharacterTurnRates = InitGameModules(data.string() + "/set.txt", shell.Boxes);
    shell.Start(window->Window(), data.string() + "/");
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

    while (ClockMs() < endMs && !shell.CloseRequested && failures == 0) {
        ClockAdvanceVirtual(started && stretch.Replaying() ? kCourseStepMs : stepMs);
        const int32_t now = ClockMs();
        const bool inGame = shell.Game != nullptr && shell.UpdateCallback != TitleSequence;
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
            shell.UpdateCallback(shell);
            if (shell.Game != nullptr) shell.Game->CharacterModel.Update();
        }
        if (shell.Game == nullptr) continue;
        const bool exited = shell.UpdateCallback == TitleSequence && shell.TitleState >= TitleStep::ShowClosing;
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
        if (!Finite(g.Follow->Eye) || !Finite(shell.ViewCamera.Position)) fail(now, "camera eye not finite");
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
        if (g.Body.Action != lastAction || Resting(g.Body.Action) || g.Follow->Mode == CameraMode::FreeLook) {
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
    EXPECT_FALSE(shell.CloseRequested);
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
