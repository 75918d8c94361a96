#include "platform/SerialQueue.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace platform {
namespace {
thread_local const void* currentQueue = nullptr;
} // namespace

// Shared with the worker, which may outlive the queue object when the queue is destroyed
// from one of its own tasks.
struct SerialQueue::State {
    std::string label;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Task> tasks;
    bool stopping = false;
    std::thread worker;

    void run() {
        currentQueue = this;
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            wake.wait(guard, [this] { return stopping || !tasks.empty(); });
            if (tasks.empty()) return;
            Task task = std::move(tasks.front());
            tasks.pop_front();
            guard.unlock();
            runTask(task, label.c_str());
            task = nullptr; // release what the task holds before taking the lock again
            guard.lock();
        }
    }
};

SerialQueue::SerialQueue(std::string label) : state_(std::make_shared<State>()) {
    state_->label = std::move(label);
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    if (!state_->worker.joinable()) return;
    if (isCurrent())
        state_->worker.detach(); // the worker finishes the queue on its own
    else
        state_->worker.join();
}

const std::string& SerialQueue::label() const { return state_->label; }

bool SerialQueue::isCurrent() const { return currentQueue == state_.get(); }

void SerialQueue::async(Task task) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->tasks.push_back(std::move(task));
    if (!state_->worker.joinable()) {
        // Started on first use: many queues are created and never given work.
        state_->worker = std::thread([state = state_] { state->run(); });
        pthread_setname_np(state_->worker.native_handle(), state_->label.substr(0, 15).c_str());
    }
    state_->wake.notify_one();
}

void SerialQueue::sync(Task task) {
    if (isCurrent()) {
        task();
        return;
    }
    std::packaged_task<void()> job(std::move(task));
    std::future<void> done = job.get_future();
    async([&job] { job(); });
    done.get();
}

} // namespace platform
