#pragma once
// Keeps the workers of a concurrent queue busy until released, so that tasks queued
// meanwhile stay queued, in the order they came, for whichever thread looks for work next.
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "platform/ConcurrentQueue.h"

namespace testsupport {

class OccupiedPool {
  public:
    // Returns once the workers are taken. A oneTBB arena keeps one of its seats for a
    // thread from outside: the queue has one worker fewer than its concurrency.
    explicit OccupiedPool(platform::ConcurrentQueue& queue) : seats_(std::max(1, queue.concurrency() - 1)) {
        for (int i = 0; i < seats_; ++i)
            queue.async([this] {
                std::unique_lock<std::mutex> lock(lock_);
                ++busy_;
                changed_.notify_all();
                changed_.wait(lock, [this] { return released_; });
                ++done_;
                changed_.notify_all();
            });
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return busy_ == seats_; });
    }
    ~OccupiedPool() {
        release();
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return done_ == seats_; }); // each task touches this object
    }
    OccupiedPool(const OccupiedPool&) = delete;
    OccupiedPool& operator=(const OccupiedPool&) = delete;

    void release() {
        std::lock_guard<std::mutex> guard(lock_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    const int seats_;
    int busy_ = 0; // started
    int done_ = 0; // ended
    bool released_ = false;
};

} // namespace testsupport
