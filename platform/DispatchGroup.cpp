#include "platform/DispatchGroup.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

// Shared with the queue's workers, which may look for a task after the group has gone.
struct DispatchGroup::State {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Task> waiting; // handed in, not started
    size_t running = 0;
    std::vector<std::pair<DispatchQueue*, Task>> notifications;

    bool idle() const { return waiting.empty() && running == 0; }

    // Runs the oldest task nobody has started; false when there is none.
    bool runOne() {
        Task task;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (waiting.empty()) return false;
            task = std::move(waiting.front());
            waiting.pop_front();
            ++running;
        }
        runTask(task, "a dispatch group");
        task = nullptr; // what it holds goes before the group counts it done
        std::vector<std::pair<DispatchQueue*, Task>> due;
        {
            std::lock_guard<std::mutex> guard(lock);
            --running;
            if (idle()) due.swap(notifications);
            changed.notify_all();
        }
        for (auto& [target, next] : due)
            target->async(std::move(next));
        return true;
    }
};

DispatchGroup::DispatchGroup(ConcurrentQueue& queue) : queue_(queue), state_(std::make_shared<State>()) {}

DispatchGroup::~DispatchGroup() { wait(); }

// One pick-up per task: a worker takes whichever task is still waiting, or finds that the
// waiter took them all and does nothing.
void DispatchGroup::async(Task task) {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->waiting.push_back(std::move(task));
    }
    queue_.async([state = state_] { state->runOne(); });
}

// Tasks that started tasks of this group while it waited are run here too.
void DispatchGroup::wait() {
    for (;;) {
        while (state_->runOne()) {
        }
        std::unique_lock<std::mutex> lock(state_->lock);
        state_->changed.wait(lock, [this] { return !state_->waiting.empty() || state_->running == 0; });
        if (state_->idle()) return;
    }
}

void DispatchGroup::notify(DispatchQueue& target, Task task) {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        if (!state_->idle()) {
            state_->notifications.emplace_back(&target, std::move(task));
            return;
        }
    }
    target.async(std::move(task));
}

} // namespace platform
