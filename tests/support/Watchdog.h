#pragma once
// Ends the test program with a failure when a scope outlasts its bound. A test of a hang
// must fail, not hang the run: a deadlocked thread cannot be joined or unwound, so the
// program leaves at once, saying what hung.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

// Rounds of a test that repeats a race until it would hang. ThreadSanitizer runs such a test
// some ten times slower; a hang shows in the first rounds, so there it makes fewer.
#if defined(__SANITIZE_THREAD__)
inline constexpr int kRaceRounds = 12;
#else
inline constexpr int kRaceRounds = 50;
#endif

class Watchdog {
  public:
    Watchdog(std::chrono::seconds bound, std::string what)
        : what_(std::move(what)), thread_([this, bound] { watch(bound); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    void watch(std::chrono::seconds bound) {
        std::unique_lock<std::mutex> lock(lock_);
        if (changed_.wait_for(lock, bound, [this] { return done_; })) return;
        std::fprintf(stderr, "Watchdog: %s did not end within %lld s: it hangs. Failing the test program.\n",
                     what_.c_str(), static_cast<long long>(bound.count()));
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }

    std::string what_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_; // last: it starts watching as soon as it is made
};

} // namespace testsupport
