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

void ClockUseVirtual(bool on);  // switching on starts the virtual time at 0
bool ClockIsVirtual();
void ClockSetVirtualMs(int32_t ms);
void ClockAdvanceVirtual(int32_t ms);

}  // namespace dv
