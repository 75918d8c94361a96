#pragma once
// A serial queue: one worker thread runs the tasks one at a time, in the order given.
#include <memory>
#include <string>

#include "platform/DispatchQueue.h"

namespace platform {

class SerialQueue : public DispatchQueue {
  public:
    explicit SerialQueue(std::string label = "serial queue");
    // Runs every task already queued, then stops the worker. Safe from one of its own tasks.
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const;
    void async(Task task) override;
    // Runs `task` on the queue after what is queued and returns when it has run. Called
    // from one of the queue's own tasks it runs at once instead of waiting on itself.
    void sync(Task task);
    // Whether the calling thread is this queue's worker.
    bool isCurrent() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace platform
