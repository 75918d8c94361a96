#include "engine/core/ReadWriteLock.h"

#include <system_error>

#include "platform/Log.h"

std::unique_ptr<ReadWriteLock> ReadWriteLock::create() {
    std::unique_ptr<ReadWriteLock> lock(new ReadWriteLock);
    if (const int code = pthread_rwlock_init(&lock->theLock_, nullptr); code != 0) {
        LV_LOG("ERROR: could not initialise pthread_rwlock_init");
        throw std::system_error(code, std::generic_category(), "pthread_rwlock_init");
    }
    lock->initialised_ = true;
    return lock;
}

ReadWriteLock::~ReadWriteLock() {
    if (initialised_) pthread_rwlock_destroy(&theLock_);
}

void ReadWriteLock::lockForRead() { pthread_rwlock_rdlock(&theLock_); }
void ReadWriteLock::lockForWrite() { pthread_rwlock_wrlock(&theLock_); }
void ReadWriteLock::unlock() { pthread_rwlock_unlock(&theLock_); }
bool ReadWriteLock::canReadLock() { return pthread_rwlock_tryrdlock(&theLock_) == 0; }
bool ReadWriteLock::canWriteLock() { return pthread_rwlock_trywrlock(&theLock_) == 0; }
