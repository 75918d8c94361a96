#include "platform/ParallelRows.h"

#include <algorithm>

#include "platform/ConcurrentQueue.h"

namespace platform {

void parallelRows(size_t rows, size_t grain, const std::function<void(const RowRange&)>& body) {
    grain = std::max<size_t>(grain, 1);
    if (rows <= grain) { // one chunk: not worth a hand-over
        if (rows) body({0, rows});
        return;
    }
    ConcurrentQueue* queue = ConcurrentQueue::current();
    (queue ? *queue : ConcurrentQueue::shared()).apply((rows + grain - 1) / grain, [&](size_t chunk) {
        const size_t first = chunk * grain;
        body({first, std::min(rows, first + grain)});
    });
}

} // namespace platform
