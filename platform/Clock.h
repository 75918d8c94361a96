#pragma once
// The one clock everything that stamps dates reads, so tests can fix "now".
#include <chrono>
#include <functional>

namespace platform {

class Clock {
  public:
    using time_point = std::chrono::system_clock::time_point;
    static time_point now();
    // Replaces the clock (nullptr restores the system clock).
    static void setSource(std::function<time_point()> source);
};

// Installs a fixed time for the lifetime of the object.
class ScopedFixedClock {
  public:
    explicit ScopedFixedClock(Clock::time_point t);
    ~ScopedFixedClock();
    ScopedFixedClock(const ScopedFixedClock&) = delete;
    ScopedFixedClock& operator=(const ScopedFixedClock&) = delete;
};

} // namespace platform
