#pragma once
// Image-sized heap blocks (tens to hundreds of megabytes) are touched page by page right
// after they are made; with 4 KiB pages each first touch is a fault, and on a virtual
// machine faults cost more than the pixel work. Asking for 2 MiB pages cuts them 512-fold.
#include <cstddef>

namespace platform {

// Blocks below this are left alone.
inline constexpr size_t kHugePageWorthy = size_t(8) << 20;

// Advises the kernel to back the block's 2 MiB-aligned interior with huge pages. Only
// advice: the block stays where and what it is, and is freed as before.
void adviseHugePages(void* address, size_t bytes);

} // namespace platform
