#include "platform/MainQueue.h"

#include <algorithm>
#include <unistd.h>

namespace platform {

MainQueue& MainQueue::shared() {
    static auto* queue = new MainQueue(); // leaked: posts may come while statics are destroyed
    return *queue;
}

bool MainQueue::isMainThread() { return ::gettid() == ::getpid(); }

void MainQueue::async(Task task) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> guard(lock_);
        tasks_.push_back(std::move(task));
        wake = wake_;
    }
    posted_.notify_all();
    if (wake) wake();
}

bool MainQueue::runOne() {
    Task task;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (tasks_.empty()) return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    runTask(task, "the main queue");
    return true;
}

size_t MainQueue::drain() {
    size_t count = 0;
    while (runOne())
        ++count;
    return count;
}

bool MainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    // `done` may turn true without a post (a flag set by a worker), so it is polled too.
    constexpr auto kPoll = std::chrono::milliseconds(5);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drain();
        if (done()) return true;
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::unique_lock<std::mutex> guard(lock_);
        posted_.wait_until(guard, std::min(deadline, now + kPoll), [this] { return !tasks_.empty(); });
    }
}

void MainQueue::setWakeHandler(std::function<void()> wake) {
    std::lock_guard<std::mutex> guard(lock_);
    wake_ = std::move(wake);
}

} // namespace platform
