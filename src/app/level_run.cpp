#include "app/level_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "character/actions_and_clips.h"
#include "math/clock.h"

namespace dv {

namespace {

constexpr float kUnitsPerMetre = 15.0f;
// A move longer than this in one tick is not running (a load or a restart put the body
// elsewhere), so it is not counted as distance.
constexpr float kMaxStepUnits = 64.0f;

bool Enters(int32_t before, int32_t now, CharacterAction action) {
    const auto a = static_cast<int32_t>(action);
    return now == a && before != a;
}

}  // namespace

void LevelRun::Begin(int32_t now, const Vec3& position, int32_t action) {
    stats_ = RunStats{};
    startedAt_ = now;
    begun_ = true;
    finished_ = false;
    last_ = position;
    lastAction_ = action;
}

void LevelRun::ShiftClock(int32_t ms) {
    if (begun_ && !finished_) startedAt_ = ClockAfter(startedAt_, ms);
}

void LevelRun::CountTick(int32_t action, const Vec3& position) {
    if (!begun_ || finished_) return;
    const float dx = position.x - last_.x, dz = position.z - last_.z;
    const float step = std::sqrt(dx * dx + dz * dz);
    if (step <= kMaxStepUnits) stats_.Distance += step;
    last_ = position;
    // A running jump and a standing one each start once; a grab is a ledge caught from a
    // jump or from the turn at a deep edge.
    if (Enters(lastAction_, action, CharacterAction::JumpStart) ||
        Enters(lastAction_, action, CharacterAction::RunJumpTakeoff))
        ++stats_.Jumps;
    if (Enters(lastAction_, action, CharacterAction::GrabLedge) ||
        Enters(lastAction_, action, CharacterAction::TurnAndGrab))
        ++stats_.Grabs;
    if (Enters(lastAction_, action, CharacterAction::Fall) || Enters(lastAction_, action, CharacterAction::HangDrop))
        ++stats_.Falls;
    lastAction_ = action;
}

void LevelRun::Finish(int32_t now) {
    if (!begun_ || finished_) return;
    stats_.TimeMs = std::max(0, ClockSince(now, startedAt_));
    finished_ = true;
}

int32_t LevelRun::TimeMs(int32_t now) const {
    if (!begun_) return 0;
    return finished_ ? stats_.TimeMs : std::max(0, ClockSince(now, startedAt_));
}

RunStats LevelRun::Stats(int32_t now) const {
    RunStats s = stats_;
    s.TimeMs = TimeMs(now);
    return s;
}

void LevelRun::Restore(const RunStats& saved, int32_t now, const Vec3& position, int32_t action) {
    const int32_t loads = std::max(stats_.SavesLoaded, saved.SavesLoaded);
    stats_ = saved;
    stats_.SavesLoaded = loads + 1;
    startedAt_ = ClockAfter(now, -saved.TimeMs);
    begun_ = true;
    finished_ = false;
    last_ = position;
    lastAction_ = action;
}

int FormatRunTime(int32_t ms, char* out, size_t size) {
    ms = std::max(ms, 0);
    const int n = std::snprintf(out, size, "%d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
    return std::clamp(n, 0, static_cast<int>(size) - 1);
}

std::string FormatRunTime(int32_t ms) {
    char text[24];
    const int n = FormatRunTime(ms, text, sizeof text);
    return std::string(text, static_cast<size_t>(n));
}

float DistanceInMetres(float units) { return units / kUnitsPerMetre; }

}  // namespace dv
