#include "platform/DispatchGroup.h"

namespace platform {

DispatchGroup::DispatchGroup(ConcurrentQueue& queue) : queue_(queue) {}

DispatchGroup::~DispatchGroup() { wait(); }

void DispatchGroup::async(Task task) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++pending_;
    }
    // Enqueued rather than spawned: the caller never has to wait for a seat among the workers.
    queue_.arena_.enqueue(group_.defer([this, task = std::move(task)] {
        runTask(task, "a dispatch group");
        taskFinished();
    }));
}

void DispatchGroup::taskFinished() {
    std::vector<std::pair<DispatchQueue*, Task>> due;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (--pending_ == 0) due.swap(notifications_);
    }
    for (auto& [target, task] : due)
        target->async(std::move(task));
}

void DispatchGroup::wait() {
    queue_.arena_.execute([this] { group_.wait(); });
}

void DispatchGroup::notify(DispatchQueue& target, Task task) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (pending_ > 0) {
            notifications_.emplace_back(&target, std::move(task));
            return;
        }
    }
    target.async(std::move(task));
}

} // namespace platform
