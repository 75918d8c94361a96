#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "platform/SerialQueue.h"

using namespace platform;
using namespace std::chrono_literals;

TEST(NotificationCenter, FiltersByNameAndSender) {
    NotificationCenter center;
    int senderA = 0, senderB = 0;
    std::string seen;
    auto observe = [&](std::string_view name, const void* object, char tag) {
        center.addObserver(name, object, [&seen, tag](const Notification&) { seen += tag; });
    };
    observe(notification::EngineDidStart, nullptr, 'n');
    observe("", &senderA, 'o');
    observe(notification::EngineDidStart, &senderA, 'b');
    observe("", nullptr, '*');

    struct Case {
        std::string_view name;
        const void* object;
        const char* expected;
    };
    const Case cases[] = {
        {notification::EngineDidStart, &senderA, "nob*"},
        {notification::EngineDidStart, &senderB, "n*"},
        {notification::EnableMenus, &senderA, "o*"},
        {notification::EnableMenus, nullptr, "*"},
    };
    for (const auto& c : cases) {
        seen.clear();
        center.post(c.name, c.object);
        EXPECT_EQ(seen, c.expected) << c.name;
    }
}

TEST(NotificationCenter, DeliversNameSenderAndUserInfo) {
    NotificationCenter center;
    int sender = 0;
    Notification got;
    center.addObserver(notification::PresetsChanged, nullptr, [&](const Notification& n) { got = n; });
    center.post(notification::PresetsChanged, &sender, {{"count", 3}});
    EXPECT_EQ(got.name, "Tarnwell_PresetsChanged");
    EXPECT_EQ(got.object, &sender);
    EXPECT_EQ(got.userInfo, (Dictionary{{"count", 3}}));
}

TEST(NotificationCenter, ObserversMayChangeTheListWhileAPostIsDelivered) {
    NotificationCenter center;
    std::vector<std::string> calls;
    ObserverToken first, second;
    first = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(second);
        center.removeObserver(first);
        center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("added"); });
    });
    second = center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("second"); });

    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first"}));
    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "added"}));
    center.removeObserver(first); // already gone: nothing happens
}

TEST(NotificationCenter, DeliversOnTheObserversQueue) {
    NotificationCenter center;
    SerialQueue serial("test.observer");
    MainQueue main;
    std::promise<bool> onSerial;
    int onMain = 0;
    center.addObserver(
        "n", nullptr, [&](const Notification&) { onSerial.set_value(serial.isCurrent()); }, &serial);
    center.addObserver(
        "n", nullptr, [&](const Notification&) { ++onMain; }, &main);

    center.post("n");
    EXPECT_TRUE(onSerial.get_future().get());
    EXPECT_EQ(onMain, 0);
    main.drain();
    EXPECT_EQ(onMain, 1);
}

TEST(NotificationCenter, RemovalWaitsForACallRunningOnAnotherThread) {
    NotificationCenter center;
    std::promise<void> entered;
    std::atomic<bool> finished{false};
    auto token = center.addObserver("n", nullptr, [&](const Notification&) {
        entered.set_value();
        std::this_thread::sleep_for(20ms);
        finished = true;
    });
    std::thread poster([&] { center.post("n"); });
    entered.get_future().wait();
    center.removeObserver(token);
    EXPECT_TRUE(finished.load());
    poster.join();
}

TEST(NotificationCenter, PostsFromManyThreadsReachEveryObserver) {
    NotificationCenter center;
    std::atomic<int> calls{0};
    for (int i = 0; i < 4; ++i)
        center.addObserver("n", nullptr, [&](const Notification&) { ++calls; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                // Churn: an observer that comes and goes must not disturb the others.
                auto token = center.addObserver("other", nullptr, [](const Notification&) {});
                center.post("n");
                center.removeObserver(token);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(calls.load(), 8 * 200 * 4);
}
