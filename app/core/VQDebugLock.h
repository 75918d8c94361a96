#pragma once
// A mutex that logs each lock and unlock, for tracing lock order while debugging.
#include <mutex>

class VQDebugLock {
  public:
    void lock();
    void unlock();

  private:
    std::mutex mutex_;
};
