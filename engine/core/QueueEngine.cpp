#include "engine/core/QueueEngine.h"

#include <algorithm>
#include <string>
#include <thread>

#include "platform/AppIdentifier.h"

QueueEngine& QueueEngine::sharedQueueEngine() {
    // Never freed: workers may still reach it while static objects are destroyed at exit.
    static QueueEngine* instance = new QueueEngine;
    return *instance;
}

platform::ConcurrentQueue& QueueEngine::sharedQueue() { return platform::ConcurrentQueue::shared(); }

uint64_t QueueEngine::optimalNumberOfTasks() {
    std::call_once(countOnce_, [this] { pCount_ = std::max(1u, std::thread::hardware_concurrency()); });
    return pCount_;
}

platform::SerialQueue& QueueEngine::slowSerialQueue() {
    std::call_once(serialOnce_, [this] {
        sQueue_ =
            std::make_unique<platform::SerialQueue>(std::string(kApplicationIdentifier) + ".slowSerialQueue");
    });
    return *sQueue_;
}
