#pragma once
// A set of tasks on a concurrent queue that can be waited for, or followed by a task once
// all have run. wait() runs other queued tasks while it waits (see ConcurrentQueue).
#include <mutex>
#include <utility>
#include <vector>

#include <oneapi/tbb/task_group.h>

#include "platform/ConcurrentQueue.h"

namespace platform {

class DispatchGroup {
  public:
    explicit DispatchGroup(ConcurrentQueue& queue = ConcurrentQueue::shared());
    ~DispatchGroup(); // waits for the group's tasks
    DispatchGroup(const DispatchGroup&) = delete;
    DispatchGroup& operator=(const DispatchGroup&) = delete;

    void async(Task task);
    // Returns once every task handed to async() so far has run.
    void wait();
    // Hands `task` to `target` once the group has no task left (at once when it has none).
    void notify(DispatchQueue& target, Task task);

  private:
    void taskFinished();

    ConcurrentQueue& queue_;
    tbb::task_group group_;
    std::mutex lock_;
    size_t pending_ = 0;
    std::vector<std::pair<DispatchQueue*, Task>> notifications_;
};

} // namespace platform
