// The millisecond clock every timed thing in the engine reads.
//
// By default it counts real time from steady_clock, started on first use (or by ClockStart).
// A virtual clock can replace it so that runs are reproducible: then ClockMs returns
// exactly what ClockSetVirtualMs / ClockAdvanceVirtual last made it.
#pragma once

#include <cstdint>

namespace dv {

void ClockStart();  // captures the start count; later calls restart it
int32_t ClockMs();  // whole ms since start, truncated, low 32 bits

// Milliseconds from `then` to `now`, subtracted modulo 2^32: right across the clock's wrap
// after 2^31 ms (24.8 days) as long as the two are less than 2^31 ms apart.
inline int32_t ClockSince(int32_t now, int32_t then) {
    return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(then));
}
// The reading `ms` after `t`, added modulo 2^32 as the clock itself wraps.
inline int32_t ClockAfter(int32_t t, int32_t ms) {
    return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(ms));
}
// The same difference for a reading kept as a float (the camera's): brought back into
// -2^31 .. 2^31 so that the wrap cancels.
inline double ClockSince(int32_t now, double then) {
    double d = static_cast<double>(now) - then;
    if (d >= 2147483648.0) d -= 4294967296.0;
    if (d < -2147483648.0) d += 4294967296.0;
    return d;
}

void ClockUseVirtual(bool on);  // switching on starts the virtual time at 0
bool ClockIsVirtual();
void ClockSetVirtualMs(int32_t ms);
void ClockAdvanceVirtual(int32_t ms);

}  // namespace dv
