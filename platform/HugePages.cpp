#include "platform/HugePages.h"

#include <cstdint>
#include <sys/mman.h>

namespace platform {

void adviseHugePages(void* address, size_t bytes) {
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (!address || bytes < kHugePageWorthy) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(address) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(address) + bytes) & ~(kHuge - 1);
    // A kernel without transparent huge pages refuses; the block simply keeps small pages.
    if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace platform
