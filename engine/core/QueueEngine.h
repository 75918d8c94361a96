#pragma once
// The process-wide queues: the shared concurrent queue that tile workers, exports and other
// background work run on, and the number of worker tasks a tiled stage starts.
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/ConcurrentQueue.h"
#include "platform/SerialQueue.h"

class QueueEngine {
  public:
    static QueueEngine& sharedQueueEngine();
    QueueEngine(const QueueEngine&) = delete;
    QueueEngine& operator=(const QueueEngine&) = delete;

    platform::ConcurrentQueue& sharedQueue();
    // The machine's processor count, read once.
    uint64_t optimalNumberOfTasks();
    platform::SerialQueue& slowSerialQueue();

  private:
    QueueEngine() = default;

    std::once_flag countOnce_;
    uint64_t pCount_ = 0;
    std::once_flag serialOnce_;
    std::unique_ptr<platform::SerialQueue> sQueue_;
};
