#pragma once
// Row loops spread over the threads of oneTBB. The caller, while it waits for the loop's
// other chunks, runs only chunks of this loop (an isolated wait), never a task that is
// queued on the pool: such a task might want a lock the caller holds. The chunks
// themselves must take no lock the caller may hold.
#include <cstddef>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

namespace platform {

using RowRange = tbb::blocked_range<size_t>;

// body(RowRange) for chunks of at least `grain` rows of [0, rows).
template <class Body> void parallelRows(size_t rows, size_t grain, const Body& body) {
    tbb::this_task_arena::isolate([&] { tbb::parallel_for(RowRange(0, rows, grain), body); });
}

} // namespace platform
