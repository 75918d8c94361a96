#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "engine/core/ReadWriteLock.h"

namespace {

bool fromOtherThread(bool (ReadWriteLock::*attempt)(), ReadWriteLock& lock) {
    bool taken = false;
    std::thread([&] {
        taken = (lock.*attempt)();
        if (taken) lock.unlock();
    }).join();
    return taken;
}

// Held through the standard holders, as every user holds it.
TEST(ReadWriteLock, ReadersShareAndExcludeAWriter) {
    auto lock = ReadWriteLock::create();
    ASSERT_TRUE(lock);
    {
        const std::shared_lock reading(*lock);
        EXPECT_TRUE(fromOtherThread(&ReadWriteLock::canReadLock, *lock));
        EXPECT_FALSE(fromOtherThread(&ReadWriteLock::canWriteLock, *lock));
        EXPECT_FALSE(lock->canWriteLock());
    }
    EXPECT_TRUE(fromOtherThread(&ReadWriteLock::canWriteLock, *lock));
}

TEST(ReadWriteLock, AWriterExcludesEveryone) {
    auto lock = ReadWriteLock::create();
    ASSERT_TRUE(lock->canWriteLock());
    EXPECT_FALSE(lock->canReadLock());
    EXPECT_FALSE(fromOtherThread(&ReadWriteLock::canReadLock, *lock));
    lock->unlock();
    EXPECT_TRUE(lock->canReadLock());
    lock->unlock();
}

TEST(ReadWriteLock, WaitingWriterGetsInWhenTheLastReaderLeaves) {
    auto lock = ReadWriteLock::create();
    lock->lockForRead();
    std::atomic<bool> writing{false};
    std::thread writer([&] {
        const std::unique_lock write(*lock);
        writing = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(writing);
    lock->unlock();
    writer.join();
    EXPECT_TRUE(writing);
}

} // namespace
