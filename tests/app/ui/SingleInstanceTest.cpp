#include "app/ui/SingleInstance.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <thread>

#include "tests/app/ui/WindowTestSupport.h"
#include "tests/support/TempHome.h"

TEST(SingleInstance, ASecondStartHandsItsPathsToTheFirst) {
    windowtest::app();
    testsupport::TempHome home; // the channel is per home
    QStringList opened;
    SingleInstance first;
    EXPECT_FALSE(first.handOff({"/nobody/listens"}, 200));
    ASSERT_TRUE(first.listen([&](const QString& path) { opened << path; }));

    // The second instance's hand-off blocks, so it runs on its own thread.
    bool handed = false;
    std::thread second([&] {
        SingleInstance other;
        handed = other.handOff({"/photos/a.dng", "/photos/b c.nef"});
    });
    windowtest::waitFor([&] { return opened.size() == 2; }, std::chrono::seconds(10));
    second.join();
    EXPECT_TRUE(handed);
    EXPECT_EQ(opened, (QStringList{"/photos/a.dng", "/photos/b c.nef"}));
}
