// Replay scripts: recorded key events fed through the same handlers as real keys.
//
// One event per line, "<clock-ms> <down|up> <key>", the key a name (Up, Shift, Insert, A-Z,
// 0-9, F1-F12, ...) or a decimal key code; '#' starts a comment; clocks never decrease.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

struct ReplayEvent {
    int32_t clockMs;
    bool down;
    int32_t key;  // virtual-key code
};

// Parses a whole script. On failure returns false with "NAME:LINE: what was wrong" in `error`.
bool ParseReplay(const std::string& text, const std::string& name, std::vector<ReplayEvent>& out,
                 std::string& error);
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

}  // namespace dv
