// DV_VECTOR_CLONES before a function with hot plain loops compiles it, with everything it calls
// inlined into it, twice: for AVX2 and for the baseline x86-64 (SSE2); the loader picks the one
// the processor runs. Both give the same results: AVX2 only widens the vectors (no fused
// multiply-add), and the loops hold no sums across elements whose order could change.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define DV_VECTOR_CLONES __attribute__((target_clones("avx2", "default"), flatten))
#else
#define DV_VECTOR_CLONES
#endif
