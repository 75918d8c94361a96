#pragma once
// A gate that work passes through, such as a decode: a test closes it to hold the work
// there, as slow work would be held, and waits until work has reached it so many times.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace testsupport {

class Gate {
  public:
    void close() {
        std::lock_guard<std::mutex> lock(lock_);
        closed_ = true;
    }
    void open() {
        std::lock_guard<std::mutex> lock(lock_);
        closed_ = false;
        changed_.notify_all();
    }
    // Counts the arrival, then waits while the gate is closed.
    void pass() {
        std::unique_lock<std::mutex> lock(lock_);
        ++arrivals_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !closed_; });
    }
    // Until `count` arrivals in all; false after the timeout.
    bool waitForArrivals(int count, std::chrono::seconds timeout = std::chrono::seconds(60)) {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, timeout, [&] { return arrivals_ >= count; });
    }
    int arrivals() {
        std::lock_guard<std::mutex> lock(lock_);
        return arrivals_;
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool closed_ = false;
    int arrivals_ = 0;
};

} // namespace testsupport
