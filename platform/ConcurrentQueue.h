#pragma once
// The concurrent queue: tasks run on a fixed set of workers (a oneTBB arena). Tasks wait in
// the queue's own list, in order; oneTBB only wakes a worker to take the next one. Work
// that waits on work of its own goes through a DispatchGroup, apply() or parallelRows():
// each waits by running its own pieces, never another queued task, so a lock the waiter
// holds is never asked for again beneath it, and waiting tasks cannot starve the workers.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include <oneapi/tbb/task_arena.h>

#include "platform/DispatchQueue.h"

namespace platform {

class ConcurrentQueue : public DispatchQueue {
  public:
    // The queue every document shares, with one worker per processor. Never destroyed.
    static ConcurrentQueue& shared();
    // The queue whose task the calling thread runs; null outside any.
    static ConcurrentQueue* current();

    explicit ConcurrentQueue(int concurrency);
    ~ConcurrentQueue() override; // waits for the tasks handed to async()
    ConcurrentQueue(const ConcurrentQueue&) = delete;
    ConcurrentQueue& operator=(const ConcurrentQueue&) = delete;

    int concurrency() const { return concurrency_; }
    void async(Task task) override;
    // Runs body(0) ... body(count - 1) on the workers and the calling thread and returns
    // when all have run. The first exception a body throws is thrown here, once all ended.
    void apply(size_t count, const std::function<void(size_t)>& body);

  private:
    // Has a worker run runNext() once (ConcurrentQueueWake.cpp).
    void wakeWorker();
    void runNext();

    int concurrency_;
    tbb::task_arena arena_;
    std::mutex lock_;
    std::condition_variable allDone_;
    std::deque<Task> tasks_; // handed in, not started
    size_t pending_ = 0;     // handed in, not finished
};

} // namespace platform
