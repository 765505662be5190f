#include "platform/heap.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace dv {

void HeapKeeper::AfterFrame() {
    if (Steady::now() - last_ < interval_) return;
    TrimNow();
}

void HeapKeeper::TrimNow() {
    last_ = Steady::now();
    ++trims_;
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace dv
