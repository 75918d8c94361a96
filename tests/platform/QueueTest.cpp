#include "platform/ConcurrentQueue.h"
#include "platform/DispatchGroup.h"
#include "platform/MainQueue.h"
#include "platform/ParallelRows.h"
#include "platform/SerialQueue.h"
#include "tests/support/OccupiedPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;

TEST(ConcurrentQueue, TasksWaitingOnGroupsCannotStarveTheWorkers) {
    // Every worker blocks in an outer task waiting on inner tasks; only a wait that runs
    // other tasks gets through.
    ConcurrentQueue queue(8);
    std::atomic<int> leaves{0};
    DispatchGroup outer(queue);
    for (int i = 0; i < 32; ++i)
        outer.async([&] {
            DispatchGroup inner(queue);
            for (int j = 0; j < 16; ++j)
                inner.async([&] {
                    DispatchGroup innermost(queue);
                    for (int k = 0; k < 4; ++k)
                        innermost.async([&] { ++leaves; });
                    innermost.wait();
                });
            inner.wait();
            queue.apply(8, [&](size_t) { ++leaves; });
        });
    outer.wait();
    EXPECT_EQ(leaves.load(), 32 * (16 * 4 + 8));
}

// With every worker taken, a waiter finishes its own group alone, and never runs a task
// queued by someone else: that task might want a lock the waiter's caller holds.
TEST(ConcurrentQueue, AWaitRunsOnlyItsOwnTasks) {
    ConcurrentQueue queue(4);
    const auto waiter = std::this_thread::get_id();
    std::atomic<int> foreignHere{0}, foreignRan{0}, own{0};
    {
        testsupport::OccupiedPool busy(queue);
        for (int i = 0; i < 8; ++i)
            queue.async([&] {
                foreignHere += std::this_thread::get_id() == waiter;
                ++foreignRan;
            });
        DispatchGroup group(queue);
        for (int i = 0; i < 16; ++i)
            group.async([&] { ++own; });
        group.wait();
        EXPECT_EQ(own.load(), 16);
        queue.apply(16, [&](size_t) { ++own; });
        EXPECT_EQ(own.load(), 32);
        EXPECT_EQ(foreignRan.load(), 0);
    }
    while (foreignRan < 8)
        std::this_thread::yield();
    EXPECT_EQ(foreignHere.load(), 0);
}

TEST(ConcurrentQueue, ApplyRunsEveryIndexOnceAndPassesTheFirstExceptionOn) {
    ConcurrentQueue queue(8);
    std::vector<std::atomic<int>> hits(1000);
    queue.apply(hits.size(), [&](size_t i) { ++hits[i]; });
    for (size_t i = 0; i < hits.size(); ++i)
        ASSERT_EQ(hits[i].load(), 1) << i;
    queue.apply(0, [](size_t) { FAIL(); });
    std::atomic<int> ran{0};
    EXPECT_THROW(queue.apply(100,
                             [&](size_t i) {
                                 ++ran;
                                 if (i == 50) throw std::runtime_error("index 50");
                             }),
                 std::runtime_error);
    EXPECT_GE(ran.load(), 51);
}

TEST(ParallelRows, CoverEveryRowOnceInChunksOfTheGrain) {
    for (size_t rows : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(1001)}) {
        SCOPED_TRACE(rows);
        std::vector<std::atomic<int>> hits(rows);
        std::atomic<bool> chunkTooLong{false};
        parallelRows(rows, 8, [&](const RowRange& r) {
            chunkTooLong = chunkTooLong || r.size() > 8;
            for (size_t row = r.begin(); row != r.end(); ++row)
                ++hits[row];
        });
        EXPECT_FALSE(chunkTooLong);
        for (size_t i = 0; i < rows; ++i)
            ASSERT_EQ(hits[i].load(), 1) << i;
    }
}

TEST(ConcurrentQueue, DestructionWaitsForAsyncTasksAndSurvivesThrowingOnes) {
    std::atomic<int> ran{0};
    {
        ConcurrentQueue queue(4);
        queue.async([] { throw std::runtime_error("a task failed"); });
        for (int i = 0; i < 200; ++i)
            queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 200);
}

TEST(DispatchGroup, NotifyRunsOnceEveryTaskHasRun) {
    ConcurrentQueue queue(4);
    MainQueue main;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> finished{0};
    int finishedWhenNotified = -1;

    DispatchGroup group(queue);
    for (int i = 0; i < 10; ++i)
        group.async([&] {
            released.wait();
            ++finished;
        });
    group.notify(main, [&] { finishedWhenNotified = finished.load(); });
    EXPECT_EQ(main.drain(), 0u);
    release.set_value();
    ASSERT_TRUE(main.runUntil([&] { return finishedWhenNotified >= 0; }, 60s));
    EXPECT_EQ(finishedWhenNotified, 10);

    bool emptyGroupNotified = false;
    DispatchGroup empty(queue);
    empty.notify(main, [&] { emptyGroupNotified = true; });
    main.drain();
    EXPECT_TRUE(emptyGroupNotified);
}

TEST(SerialQueue, RunsTasksOneAtATimeInOrder) {
    SerialQueue queue("test.serial");
    std::vector<int> order;
    std::atomic<int> running{0};
    bool overlapped = false;
    for (int i = 0; i < 500; ++i)
        queue.async([&, i] {
            overlapped |= ++running > 1;
            order.push_back(i);
            --running;
        });
    bool onQueue = false;
    queue.sync([&] { onQueue = queue.isCurrent(); });
    EXPECT_TRUE(onQueue);
    EXPECT_FALSE(queue.isCurrent());
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(order[size_t(i)], i);
}

TEST(SerialQueue, SyncFromItsOwnTaskRunsAtOnceAndPassesExceptionsBack) {
    SerialQueue queue;
    int steps = 0;
    queue.sync([&] {
        queue.sync([&] { ++steps; });
        ++steps;
    });
    EXPECT_EQ(steps, 2);
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST(SerialQueue, DestructionDrainsWhatIsQueued) {
    std::atomic<int> ran{0};
    {
        SerialQueue queue;
        queue.async([] { std::this_thread::sleep_for(10ms); });
        for (int i = 0; i < 100; ++i)
            queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 100);

    // The last owner let go inside one of the queue's own tasks.
    std::promise<void> done;
    {
        auto queue = std::make_shared<SerialQueue>();
        queue->async([queue]() mutable { queue.reset(); });
        queue->async([&] { done.set_value(); });
    }
    done.get_future().wait();
}

TEST(MainQueue, DrainRunsPostsInOrderIncludingThoseOfTasks) {
    MainQueue main;
    int wakes = 0;
    main.setWakeHandler([&] { ++wakes; });
    std::vector<int> order;
    main.async([&] {
        order.push_back(1);
        main.async([&] { order.push_back(3); });
    });
    main.async([&] { order.push_back(2); });
    EXPECT_EQ(main.drain(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(wakes, 3);

    main.setWakeHandler(nullptr);
    std::thread poster([&] { main.async([&] { order.push_back(4); }); });
    EXPECT_TRUE(main.runUntil([&] { return order.size() == 4; }, 60s));
    poster.join();
    EXPECT_EQ(wakes, 3);
}

TEST(MainQueue, KnowsTheMainThread) {
    EXPECT_TRUE(MainQueue::isMainThread());
    bool elsewhere = true;
    std::thread([&] { elsewhere = MainQueue::isMainThread(); }).join();
    EXPECT_FALSE(elsewhere);
}
