// Counts the program's heap allocations, for the checks that a frame allocates nothing. Linked
// into the tests and the benchmarks, where it replaces the global allocation functions: operator
// new always, and malloc and its kin too except under the sanitizers, which own those.
#pragma once

#include <cstdint>

namespace dv::test {

// Counting is off until turned on; it counts allocations of every thread.
void CountAllocations(bool on);
// Allocations through operator new: the program's own C++.
uint64_t AllocationCount();
// Allocations through malloc and its kin by C libraries (the sound library, the GL driver);
// always 0 where kCountsMalloc is false.
uint64_t CAllocationCount();
constexpr bool kCountsMalloc =
#ifdef DV_SANITIZE
    false;
#else
    true;
#endif

}  // namespace dv::test
