#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/core/MonitoredMutableDictionary.h"

using platform::Value;

TEST(MonitoredMutableDictionary, SettersPostEveryRegisteredNameAndRemovalsNone) {
    platform::NotificationCenter center;
    MonitoredMutableDictionary dict(&center);
    const int first = 0, second = 0;
    dict.addObserver(&first, "First");
    dict.addObserver(&second, "Second");
    std::vector<std::string> posted;
    auto token = center.addObserver("", nullptr, [&](const platform::Notification& n) {
        posted.push_back(n.name +
                         (n.object == &first    ? ":first"
                          : n.object == &second ? ":second"
                                                : ":?") +
                         " " + std::to_string(dict.count()));
    });

    dict.setObject(1, "a");
    dict.setValue(2, "b");
    dict.addEntriesFromDictionary({{"c", 3}, {"d", 4}});
    dict.setObjectNoNotify(5, "e");
    dict.setValueNoNotify(Value(), "e");
    dict.removeObjectForKey("a");
    dict.removeObserver("Second");
    dict.setValue(Value(), "b"); // a null value removes the key
    center.removeObserver(token);

    EXPECT_EQ(posted, (std::vector<std::string>{"First:first 1", "Second:second 1", "First:first 2",
                                                "Second:second 2", "First:first 4", "Second:second 4",
                                                "First:first 2"}));
    EXPECT_EQ(dict.keyEnumerator(), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(dict.objectForKey("c"), Value(3));
    EXPECT_FALSE(dict.valueForKey("b"));
    EXPECT_EQ(dict.copy(), (platform::Dictionary{{"c", 3}, {"d", 4}}));
    EXPECT_EQ(dict.descriptionWithLocale(1), "    {\n        c = 3;\n        d = 4;\n    }");
}

TEST(MonitoredMutableDictionary, ThreadsShareItSafely) {
    platform::NotificationCenter center;
    MonitoredMutableDictionary dict(&center);
    int object = 0;
    dict.addObserver(&object, "Changed");
    std::atomic<int> posts{0};
    auto token = center.addObserver("Changed", &object, [&](const platform::Notification&) {
        ++posts;
        (void)dict.count(); // observers may read it
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 250; ++i) {
                dict.setObject(i, "k" + std::to_string(t) + "_" + std::to_string(i));
                (void)dict.objectForKey("k0_0");
            }
        });
    for (auto& th : threads)
        th.join();
    center.removeObserver(token);
    EXPECT_EQ(dict.count(), 1000u);
    EXPECT_EQ(posts, 1000);
}
