#pragma once
// A serial lane: tasks run one at a time and in order, on the workers of a concurrent
// queue. Many lanes share a few threads, so every tile of the display can keep its own
// order without a thread of its own.
#include <memory>
#include <string>

#include "platform/ConcurrentQueue.h"
#include "platform/DispatchQueue.h"

class SerialLane : public platform::DispatchQueue {
  public:
    SerialLane(platform::ConcurrentQueue& queue, std::string label);
    // Tasks already handed over still run; the lane's state lives as long as they do.
    ~SerialLane() override = default;
    SerialLane(const SerialLane&) = delete;
    SerialLane& operator=(const SerialLane&) = delete;

    const std::string& label() const;
    void async(platform::Task task) override;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// The display's own concurrent queue, one worker per processor, apart from the engine's
// queue so that tile requests never wait behind renders. Never destroyed.
platform::ConcurrentQueue& displayQueue();
