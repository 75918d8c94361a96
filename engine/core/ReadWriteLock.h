#pragma once
// Many readers or one writer.
#include <memory>
#include <pthread.h>

class ReadWriteLock {
  public:
    // Null (after a log line) when the system lock cannot be set up.
    static std::unique_ptr<ReadWriteLock> create();
    ~ReadWriteLock();
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    void lockForRead();
    void lockForWrite();
    void unlock();
    // Take the lock without waiting; true means it is held and must be unlocked.
    bool canReadLock();
    bool canWriteLock();

  private:
    ReadWriteLock() = default;
    pthread_rwlock_t theLock_;
    bool initialised_ = true;
};
