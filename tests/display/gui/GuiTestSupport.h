#pragma once
// Tests that need an X server: they skip without one, except in CI (CI=true), where a
// missing server is a failure. Screenshots go to <build>/screenshots/<test>/.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace guitest {

inline bool haveXServer() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

inline bool inCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// Runs the Qt event loop (which drains the main queue) until `done` or the timeout.
inline bool processEventsUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void processEventsFor(int milliseconds) {
    processEventsUntil([] { return false; }, milliseconds);
}

// Saves a screenshot as <build>/screenshots/<suite>.<test>/<name>.png; returns its path.
inline std::filesystem::path saveScreenshot(const QPixmap& shot, const std::string& name) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::path(LUMIVAR_SCREENSHOTS_DIR) /
                        (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::create_directories(folder);
    const auto path = folder / (name + ".png");
    EXPECT_TRUE(shot.save(QString::fromStdString(path.string()), "PNG"));
    return path;
}

} // namespace guitest

#define LV_REQUIRE_X_SERVER()                                                                                \
    do {                                                                                                     \
        if (!::guitest::haveXServer()) {                                                                     \
            if (::guitest::inCI()) FAIL() << "no X server (DISPLAY) although CI=true";                       \
            GTEST_SKIP() << "no X server (DISPLAY)";                                                         \
        }                                                                                                    \
    } while (0)
