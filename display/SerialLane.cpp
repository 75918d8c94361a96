#include "display/SerialLane.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>

struct SerialLane::State {
    State(platform::ConcurrentQueue& q, std::string name) : queue(q), label(std::move(name)) {}

    platform::ConcurrentQueue& queue;
    std::string label;
    std::mutex lock;
    std::deque<platform::Task> tasks;
    bool running = false;

    static void drain(const std::shared_ptr<State>& state) {
        for (;;) {
            platform::Task task;
            {
                std::lock_guard guard(state->lock);
                if (state->tasks.empty()) {
                    state->running = false;
                    return;
                }
                task = std::move(state->tasks.front());
                state->tasks.pop_front();
            }
            platform::runTask(task, state->label.c_str());
        }
    }
};

SerialLane::SerialLane(platform::ConcurrentQueue& queue, std::string label)
    : state_(std::make_shared<State>(queue, std::move(label))) {}

const std::string& SerialLane::label() const { return state_->label; }

void SerialLane::async(platform::Task task) {
    {
        std::lock_guard guard(state_->lock);
        state_->tasks.push_back(std::move(task));
        if (state_->running) return;
        state_->running = true;
    }
    state_->queue.async([state = state_] { State::drain(state); });
}

platform::ConcurrentQueue& displayQueue() {
    static auto* queue =
        new platform::ConcurrentQueue(int(std::max(1u, std::thread::hardware_concurrency())));
    return *queue;
}
