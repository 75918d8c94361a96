#pragma once
// A set of tasks on a concurrent queue that can be waited for, or followed by a task once
// all have run.
//
// wait() runs, on the waiting thread, the group's own tasks that no worker has started,
// then sleeps until the started ones end. A waiting thread never runs another task of the
// queue: whatever lock its caller holds, no task that wants that lock can start under it,
// so the rule is simply that the group's own tasks must not take a lock the waiter holds.
// Nor can waits starve the queue: a waiter can always finish its group alone.
#include <memory>

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
    struct State;

    ConcurrentQueue& queue_;
    std::shared_ptr<State> state_;
};

} // namespace platform
