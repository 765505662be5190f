// Replay scripts: recorded key events fed through the same handlers as real keys.
//
// One event per line, "<clock-ms> <down|up> <key>", the key a name (Up, Shift, Insert, A-Z,
// 0-9, F1-F12, ...) or a decimal key code; '#' starts a comment; clocks never decrease.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dv {

struct ReplayEvent {
    int32_t ClockMs;
    bool Down;
    int32_t Key;  // virtual-key code
};

// Parses a whole script. On failure returns false with "NAME:LINE: what was wrong" in `error`.
bool ParseReplay(const std::string& text, const std::string& name, std::vector<ReplayEvent>& out, std::string& error);
// Reads and parses a script of at most kMaxReplayFileBytes.
inline constexpr size_t kMaxReplayFileBytes = 16u << 20;
bool LoadReplayFile(const std::string& path, std::vector<ReplayEvent>& out, std::string& error);

// Hands out the events whose time has come, in order.
class ReplayPlayer {
public:
    explicit ReplayPlayer(std::vector<ReplayEvent> events) : events_(std::move(events)) {}
    // Returns the next event with clockMs <= now, or nullptr when none is due.
    const ReplayEvent* NextDue(int32_t now);
    bool Finished() const { return next_ >= events_.size(); }

private:
    std::vector<ReplayEvent> events_;
    size_t next_ = 0;
};

// The scripts of an adventure, one per level: script i plays level i of the level list, its
// clocks counted from the start of play in that level as the first script's are from the
// start of play in the first level, so each level's own replay plays it unchanged here too.
// A script that runs out leaves the keys as they are; when play starts in the next scripted
// level, the keys the previous script still holds are let go first. With one script its
// clocks are simply the game's, in every level.
class ReplayChain {
public:
    ReplayChain() = default;
    explicit ReplayChain(std::vector<ReplayPlayer> scripts) : scripts_(std::move(scripts)) {}
    // The next event due at `now` while level `level` is played; `playStartMs` is the clock
    // at which play began in it, or -1 on a picture or a card.
    const ReplayEvent* NextDue(int32_t now, size_t level, int32_t playStartMs);

private:
    std::vector<ReplayPlayer> scripts_;
    size_t current_ = 0;
    int32_t firstPlayStartMs_ = -1;
    int32_t offsetMs_ = 0;
    std::vector<int32_t> held_;  // keys the current script holds down
    ReplayEvent release_{};
};

// Reads the scripts of `paths`, the first for the first level, into `out`. On failure returns
// false with the first bad file's "NAME:LINE: what was wrong" in `error`.
bool LoadReplayChain(const std::vector<std::string>& paths, ReplayChain& out, std::string& error);

}  // namespace dv
