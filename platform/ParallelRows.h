#pragma once
// Row loops spread over the workers of a concurrent queue: the queue whose task calls the
// loop, else the shared one. The caller takes chunks too, and while it waits for the last
// ones runs nothing else (ConcurrentQueue::apply): the chunks must take no lock the caller
// may hold, and no queued task ever runs beneath the loop.
#include <cstddef>
#include <functional>

namespace platform {

// The rows [first, last).
struct RowRange {
    size_t first = 0, last = 0;
    size_t begin() const { return first; }
    size_t end() const { return last; }
    size_t size() const { return last - first; }
};

// body(range) for chunks of `grain` rows (the last may be shorter) that cover [0, rows).
void parallelRows(size_t rows, size_t grain, const std::function<void(const RowRange&)>& body);

} // namespace platform
