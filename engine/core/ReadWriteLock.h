#pragma once
// Many readers or one writer. Held by RAII: std::shared_lock for reading, std::unique_lock
// (or std::lock_guard) for writing.
#include <memory>
#include <pthread.h>

class ReadWriteLock {
  public:
    // Throws std::system_error (after a log line) when the system lock cannot be set up:
    // a critical section must never run without its lock.
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

    // The names the standard lock holders use.
    void lock() { lockForWrite(); }
    bool try_lock() { return canWriteLock(); }
    void lock_shared() { lockForRead(); }
    bool try_lock_shared() { return canReadLock(); }
    void unlock_shared() { unlock(); }

  private:
    ReadWriteLock() = default;
    pthread_rwlock_t theLock_;
    bool initialised_ = false;
};
