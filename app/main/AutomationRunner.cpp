#include "app/main/AutomationRunner.h"

#include <chrono>
#include <sstream>

namespace automation {

Runner::Runner(Script script, Host& host, std::ostream& report, Clock clock)
    : script_(std::move(script)), host_(host), report_(report), clock_(std::move(clock)) {
    for (const std::string& error : script_.errors) {
        report_ << error << "\n";
        ++failures_;
    }
    // A script that does not parse runs nothing.
    if (failures_ > 0) finished_ = true;
}

Runner::Clock Runner::steadyClock() {
    return [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
}

double Runner::timeLimit(const Command& command) {
    if (command.verb == Verb::WaitImage)
        return command.numbers.empty() ? kDefaultImageWait : command.numbers[0];
    if (command.verb == Verb::WaitBatch)
        return command.numbers.empty() ? kDefaultBatchWait : command.numbers[0];
    return kDefaultSettleWait;
}

bool Runner::step() {
    while (!finished_) {
        if (next_ == script_.commands.size()) {
            finished_ = true;
            break;
        }
        const Command& command = script_.commands[next_];
        Outcome outcome;
        if (pending_) {
            outcome = host_.poll(command);
            if (outcome.state == Outcome::State::Pending) {
                if (clock_() < deadline_) return true;
                std::ostringstream message;
                message << "timed out after " << timeLimit(command) << " s";
                outcome = Outcome::failed(message.str());
            }
        } else {
            outcome = host_.start(command);
            if (outcome.state == Outcome::State::Pending) {
                pending_ = true;
                deadline_ = clock_() + timeLimit(command);
                return true;
            }
        }
        pending_ = false;
        finish(command, outcome);
        ++next_;
        if (command.verb == Verb::Quit) finished_ = true;
    }
    return false;
}

void Runner::finish(const Command& command, const Outcome& outcome) {
    const bool passed = outcome.state == Outcome::State::Passed;
    if (!passed) ++failures_;
    report_ << "line " << command.line << ": " << (passed ? "ok" : "FAILED") << ": " << command.text;
    if (!outcome.message.empty()) report_ << ": " << outcome.message;
    report_ << "\n";
    report_.flush();
}

} // namespace automation
