#pragma once
// The application object for the window tests (offscreen) and a wait that runs the main
// queue and Qt's events together.
#include <QApplication>
#include <chrono>
#include <functional>

#include "display/MainQueuePump.h"
#include "platform/MainQueue.h"

namespace windowtest {

// The test program's application object (made by its test environment, with the main
// queue's pump installed).
inline QApplication& app() { return *qobject_cast<QApplication*>(QCoreApplication::instance()); }

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
