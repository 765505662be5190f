// Counts the program's heap allocations through operator new, for the checks that a frame
// allocates nothing. Linked into the tests and the benchmarks, where it replaces the global
// allocation functions (malloc-backed on both sides).
#pragma once

#include <cstdint>

namespace dv::test {

// Counting is off until turned on; it counts allocations of every thread.
void CountAllocations(bool on);
uint64_t AllocationCount();

}  // namespace dv::test
