#pragma once
// What every queue offers: take a task and run it later, on the queue's own terms.
#include <functional>

namespace platform {

using Task = std::function<void()>;

class DispatchQueue {
  public:
    virtual ~DispatchQueue() = default;
    virtual void async(Task task) = 0;
};

// Runs a queued task, logging instead of letting an exception escape into a worker thread.
void runTask(const Task& task, const char* queueLabel);

} // namespace platform
