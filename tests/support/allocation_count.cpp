#include "support/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};
std::atomic<uint64_t> g_cAllocations{0};

void Count(std::atomic<uint64_t>& counter) {
    if (g_counting.load(std::memory_order_relaxed)) counter.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

#ifndef DV_SANITIZE
// Without the sanitizers (which own malloc themselves) the C allocation functions are counted
// too, apart from operator new, so that libraries written in C can be held to the same rule.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t size) {
    Count(g_cAllocations);
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    Count(g_cAllocations);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    Count(g_cAllocations);
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    Count(g_cAllocations);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    Count(g_cAllocations);
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}
}
#endif

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    Count(g_allocations);
#ifdef DV_SANITIZE
    void* p = std::malloc(size ? size : 1);
#else
    void* p = __libc_malloc(size ? size : 1);
#endif
    if (p != nullptr) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace dv::test {

void CountAllocations(bool on) { g_counting.store(on, std::memory_order_relaxed); }
uint64_t AllocationCount() { return g_allocations.load(std::memory_order_relaxed); }
uint64_t CAllocationCount() { return g_cAllocations.load(std::memory_order_relaxed); }

}  // namespace dv::test
