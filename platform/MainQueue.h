#pragma once
// The main queue: tasks for the main thread (windows, notifications the interface observes).
// Whoever runs the main thread's loop drains it: the GUI event loop through a wake handler,
// tests by calling drain() or runUntil().
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/DispatchQueue.h"

namespace platform {

class MainQueue : public DispatchQueue {
  public:
    static MainQueue& shared();
    // The process's first thread.
    static bool isMainThread();

    MainQueue() = default;
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    void async(Task task) override;
    // Runs queued tasks, including those they queue, until none is left; returns how many ran.
    size_t drain();
    // Runs tasks as they arrive until `done` holds or `timeout` passes; returns `done()`.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Called (on the posting thread) after each async(), so an event loop can schedule a
    // drain on the main thread. Empty to stop.
    void setWakeHandler(std::function<void()> wake);

  private:
    bool runOne();

    std::mutex lock_;
    std::condition_variable posted_;
    std::deque<Task> tasks_;
    std::function<void()> wake_;
};

} // namespace platform
