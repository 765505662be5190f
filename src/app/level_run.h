// One level's run: its time in game time from the start of play to the exit, and what the
// character did on the way (distance run, jumps, grabs, falls) and how many saved games were
// loaded into it. Pauses are taken out by shifting the start, as the game's other clocks are;
// a load puts the run back to what it was when the game was saved.
#pragma once

#include <cstdint>
#include <string>

#include "math/vecmath.h"

namespace dv {

struct RunStats {
    int32_t TimeMs = 0;
    float Distance = 0;  // world units along the ground
    int32_t Jumps = 0;
    int32_t Grabs = 0;
    int32_t Falls = 0;
    int32_t SavesLoaded = 0;
};

class LevelRun {
public:
    // Play starts (or starts again) at `now`: the time runs from here, the counts from zero.
    void Begin(int32_t now, const Vec3& position, int32_t action);
    bool Begun() const { return begun_; }
    bool Finished() const { return finished_; }
    // Time spent outside the game (a pause) is not the level's.
    void ShiftClock(int32_t ms);
    // After one update tick: the body's action and position as the tick left them.
    void CountTick(int32_t action, const Vec3& position);
    // The exit was reached at `now`: the time stops there.
    void Finish(int32_t now);
    // The time at `now` (the finished time once the exit is reached; 0 before play).
    int32_t TimeMs(int32_t now) const;
    // The statistics, with the time at `now`.
    RunStats Stats(int32_t now) const;
    // A run that loaded a saved game is timed but cannot set a best time.
    bool EligibleForBest() const { return stats_.SavesLoaded == 0; }
    // A saved game's run put back at `now`: its time and counts, one more load, and the
    // character where the load put it.
    void Restore(const RunStats& saved, int32_t now, const Vec3& position, int32_t action);

private:
    RunStats stats_;
    int32_t startedAt_ = 0;
    bool begun_ = false;
    bool finished_ = false;
    Vec3 last_{};
    int32_t lastAction_ = 0;
};

// "1:23.456" (minutes, seconds, milliseconds); hours run on as minutes.
std::string FormatRunTime(int32_t ms);
// Writes the same into `out` (at least 16 bytes) without allocating, for the overlay; returns
// its length.
int FormatRunTime(int32_t ms, char* out, size_t size);
// World units as metres (the character, about 26 units tall, stands for 1.75 m).
float DistanceInMetres(float units);

}  // namespace dv
