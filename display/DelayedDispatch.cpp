#include "display/DelayedDispatch.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

class Timer {
  public:
    static Timer& shared() {
        static auto* timer = new Timer(); // leaked: tasks may be handed over while statics go
        return *timer;
    }

    void add(std::chrono::steady_clock::time_point due, platform::DispatchQueue& queue, platform::Task task) {
        {
            std::lock_guard guard(lock_);
            pending_.emplace(due, Entry{&queue, std::move(task)});
        }
        changed_.notify_one();
    }

  private:
    struct Entry {
        platform::DispatchQueue* queue;
        platform::Task task;
    };

    Timer() {
        std::thread([this] { run(); }).detach();
    }

    void run() {
        std::unique_lock guard(lock_);
        for (;;) {
            if (pending_.empty()) {
                changed_.wait(guard);
                continue;
            }
            auto first = pending_.begin();
            if (first->first > std::chrono::steady_clock::now()) {
                changed_.wait_until(guard, first->first);
                continue;
            }
            Entry entry = std::move(first->second);
            pending_.erase(first);
            guard.unlock();
            entry.queue->async(std::move(entry.task));
            guard.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::multimap<std::chrono::steady_clock::time_point, Entry> pending_;
};

} // namespace

void dispatchAfter(std::chrono::milliseconds delay, platform::DispatchQueue& queue, platform::Task task) {
    Timer::shared().add(std::chrono::steady_clock::now() + delay, queue, std::move(task));
}
