#pragma once
// The application object for the window tests (offscreen) and a wait that runs the main
// queue and Qt's events together.
#include <QApplication>
#include <chrono>
#include <functional>

#include "display/MainQueuePump.h"
#include "platform/MainQueue.h"

namespace windowtest {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "appui_tests";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* application = [] {
        auto* a = new QApplication(argc, argv);
        installMainQueuePump(*a);
        return a;
    }();
    return *application;
}

inline bool waitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        platform::MainQueue::shared().drain();
    }
    return true;
}

} // namespace windowtest
