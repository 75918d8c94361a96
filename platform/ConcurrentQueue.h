#pragma once
// The concurrent queue: tasks run on a fixed set of workers (a oneTBB arena). Waiting inside
// a task, through a DispatchGroup or apply(), runs other queued tasks meanwhile, so tasks
// that wait on tasks cannot starve the workers.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

#include <oneapi/tbb/task_arena.h>

#include "platform/DispatchQueue.h"

namespace platform {

class ConcurrentQueue : public DispatchQueue {
  public:
    // The queue every document shares, with one worker per processor. Never destroyed.
    static ConcurrentQueue& shared();

    explicit ConcurrentQueue(int concurrency);
    ~ConcurrentQueue() override; // waits for the tasks handed to async()
    ConcurrentQueue(const ConcurrentQueue&) = delete;
    ConcurrentQueue& operator=(const ConcurrentQueue&) = delete;

    int concurrency() const { return concurrency_; }
    void async(Task task) override;
    // Runs body(0) ... body(count - 1) on the workers and returns when all have run.
    void apply(size_t count, const std::function<void(size_t)>& body);

  private:
    friend class DispatchGroup;

    int concurrency_;
    tbb::task_arena arena_;
    std::mutex pendingLock_;
    std::condition_variable pendingDone_;
    size_t pending_ = 0;
};

} // namespace platform
