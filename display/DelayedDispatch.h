#pragma once
// Hands a task to a queue once a delay has passed (wall clock), from one timer thread.
#include <chrono>

#include "platform/DispatchQueue.h"

// The queue must outlive the delay; the process-wide queues do.
void dispatchAfter(std::chrono::milliseconds delay, platform::DispatchQueue& queue, platform::Task task);
