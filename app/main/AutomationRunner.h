#pragma once
// Runs an automation script against the program, one command after the other. A command
// either ends at once or stays pending (waiting for an image, for tiles before a
// screenshot) and is polled from the event loop until it ends or its time is up. Every
// line is reported; the exit status is 0 only when every line passed.
#include <functional>
#include <ostream>
#include <string>

#include "app/main/AutomationScript.h"

namespace automation {

struct Outcome {
    enum class State { Passed, Failed, Pending };
    State state = State::Passed;
    std::string message;

    static Outcome passed(std::string message = {}) { return {State::Passed, std::move(message)}; }
    static Outcome failed(std::string message) { return {State::Failed, std::move(message)}; }
    static Outcome pending() { return {State::Pending, {}}; }
};

// What carries the commands out: the program's windows, or a fake in tests.
class Host {
  public:
    virtual ~Host() = default;
    virtual Outcome start(const Command& command) = 0;
    // Called again while the command is pending.
    virtual Outcome poll(const Command& command) = 0;
};

class Runner {
  public:
    static constexpr double kDefaultImageWait = 60;  // seconds, for wait-image without a time
    static constexpr double kDefaultBatchWait = 300; // seconds, for wait-batch without a time
    static constexpr double kDefaultSettleWait = 20; // seconds, for any other pending command
    using Clock = std::function<double()>;           // seconds, monotonic

    Runner(Script script, Host& host, std::ostream& report, Clock clock = steadyClock());

    // Runs what can run now. True when a command is pending: call again later.
    bool step();
    bool finished() const { return finished_; }
    // 0 when every line passed, 1 otherwise.
    int exitStatus() const { return failures_ == 0 ? 0 : 1; }
    int failures() const { return failures_; }

    static Clock steadyClock();
    static double timeLimit(const Command& command);

  private:
    void finish(const Command& command, const Outcome& outcome);

    Script script_;
    Host& host_;
    std::ostream& report_;
    Clock clock_;
    size_t next_ = 0;
    bool pending_ = false;
    double deadline_ = 0;
    bool finished_ = false;
    int failures_ = 0;
};

} // namespace automation
