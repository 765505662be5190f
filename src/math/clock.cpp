#include "math/clock.h"

#include <chrono>

#include "math/vecmath.h"

namespace dv {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct ClockState {
    bool started = false;
    SteadyClock::time_point start;
    bool isVirtual = false;
    int32_t virtualMs = 0;
};

ClockState clockState;

}  // namespace

void ClockStart() {
    clockState.started = true;
    clockState.start = SteadyClock::now();
}

int32_t ClockMs() {
    if (clockState.isVirtual) return clockState.virtualMs;
    if (!clockState.started) ClockStart();
    const auto elapsed = SteadyClock::now() - clockState.start;
    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    return static_cast<int32_t>(static_cast<uint32_t>(TruncToInt64(ms)));
}

void ClockUseVirtual(bool on) {
    clockState.isVirtual = on;
    clockState.virtualMs = 0;
}

bool ClockIsVirtual() { return clockState.isVirtual; }

void ClockSetVirtualMs(int32_t ms) { clockState.virtualMs = ms; }

void ClockAdvanceVirtual(int32_t ms) {
    clockState.virtualMs =
        static_cast<int32_t>(static_cast<uint32_t>(clockState.virtualMs) + static_cast<uint32_t>(ms));
}

}  // namespace dv
