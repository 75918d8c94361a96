#include "platform/Clock.h"

#include <mutex>

namespace platform {
namespace {
std::mutex sourceLock;
std::function<Clock::time_point()> source;
} // namespace

Clock::time_point Clock::now() {
    std::lock_guard<std::mutex> guard(sourceLock);
    return source ? source() : std::chrono::system_clock::now();
}

void Clock::setSource(std::function<time_point()> s) {
    std::lock_guard<std::mutex> guard(sourceLock);
    source = std::move(s);
}

ScopedFixedClock::ScopedFixedClock(Clock::time_point t) {
    Clock::setSource([t] { return t; });
}
ScopedFixedClock::~ScopedFixedClock() { Clock::setSource(nullptr); }

} // namespace platform
