#include "platform/ConcurrentQueue.h"

#include <algorithm>

#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>

namespace platform {

ConcurrentQueue& ConcurrentQueue::shared() {
    // Leaked on purpose: tasks may still run while static objects are destroyed at exit.
    static auto* queue = new ConcurrentQueue(tbb::info::default_concurrency());
    return *queue;
}

ConcurrentQueue::ConcurrentQueue(int concurrency)
    : concurrency_(std::max(1, concurrency)), arena_(concurrency_) {}

ConcurrentQueue::~ConcurrentQueue() {
    std::unique_lock<std::mutex> lock(pendingLock_);
    pendingDone_.wait(lock, [this] { return pending_ == 0; });
}

void ConcurrentQueue::async(Task task) {
    {
        std::lock_guard<std::mutex> guard(pendingLock_);
        ++pending_;
    }
    arena_.enqueue([this, task = std::move(task)] {
        runTask(task, "the concurrent queue");
        std::lock_guard<std::mutex> guard(pendingLock_);
        if (--pending_ == 0) pendingDone_.notify_all();
    });
}

void ConcurrentQueue::apply(size_t count, const std::function<void(size_t)>& body) {
    arena_.execute([&] { tbb::parallel_for(size_t(0), count, [&](size_t i) { body(i); }); });
}

} // namespace platform
