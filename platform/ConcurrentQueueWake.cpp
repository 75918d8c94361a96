// The one place that hands an object to oneTBB: a task that makes a worker take the queue's
// next task. oneTBB is not built with ThreadSanitizer, which cannot see its hand-over, so a
// ThreadSanitizer build leaves this file uninstrumented (platform/CMakeLists.txt); the
// queue's tasks themselves cross in its locked list, which it does see.
#include "platform/ConcurrentQueue.h"

namespace platform {

void ConcurrentQueue::wakeWorker() {
    arena_.enqueue([this] { runNext(); });
}

} // namespace platform
