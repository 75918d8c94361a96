#include "platform/ConcurrentQueue.h"

#include <algorithm>
#include <atomic>
#include <exception>

#include <oneapi/tbb/info.h>

#include "platform/DispatchGroup.h"

namespace platform {

namespace {

thread_local ConcurrentQueue* runningQueue = nullptr;

} // namespace

ConcurrentQueue& ConcurrentQueue::shared() {
    // Leaked on purpose: tasks may still run while static objects are destroyed at exit.
    static auto* queue = new ConcurrentQueue(tbb::info::default_concurrency());
    return *queue;
}

ConcurrentQueue::ConcurrentQueue(int concurrency)
    : concurrency_(std::max(1, concurrency)), arena_(concurrency_) {}

ConcurrentQueue* ConcurrentQueue::current() { return runningQueue; }

ConcurrentQueue::~ConcurrentQueue() {
    std::unique_lock<std::mutex> lock(lock_);
    allDone_.wait(lock, [this] { return pending_ == 0; });
}

// The task crosses to the worker through the locked list, not inside oneTBB, whose own
// hand-over a race detector cannot see; oneTBB carries only the queue's address.
void ConcurrentQueue::async(Task task) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        tasks_.push_back(std::move(task));
        ++pending_;
    }
    wakeWorker();
}

// One call per task handed in, so the list is never empty here.
void ConcurrentQueue::runNext() {
    Task task;
    {
        std::lock_guard<std::mutex> guard(lock_);
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    ConcurrentQueue* const outer = runningQueue;
    runningQueue = this;
    runTask(task, "the concurrent queue");
    runningQueue = outer;
    task = nullptr; // what it holds goes before the queue counts it done
    std::lock_guard<std::mutex> guard(lock_);
    if (--pending_ == 0) allDone_.notify_all();
}

// As many takers as workers share the indices; the caller is one of them (DispatchGroup).
void ConcurrentQueue::apply(size_t count, const std::function<void(size_t)>& body) {
    std::atomic<size_t> next{0};
    std::mutex errorLock;
    std::exception_ptr error;
    DispatchGroup group(*this);
    const size_t takers = std::min(count, size_t(concurrency_));
    for (size_t t = 0; t < takers; ++t)
        group.async([&] {
            try {
                for (size_t i = next++; i < count; i = next++)
                    body(i);
            } catch (...) {
                std::lock_guard<std::mutex> guard(errorLock);
                if (!error) error = std::current_exception();
            }
        });
    group.wait();
    if (error) std::rethrow_exception(error);
}

} // namespace platform
