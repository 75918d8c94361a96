#pragma once
// Runs an automation script on a program in this process, the event loop turning between
// steps as the program's timer does.
#include <QApplication>
#include <QElapsedTimer>
#include <sstream>
#include <string>

#include "app/main/AutomationRunner.h"
#include "app/main/LumivarProgram.h"

namespace maintest {

struct ScriptRun {
    int status = -1;
    std::string report;
};

inline ScriptRun runScript(LumivarProgram& program, const std::string& text, int milliseconds = 60000) {
    std::ostringstream report;
    automation::Runner runner(automation::parseScript(text), program, report);
    QElapsedTimer timer;
    timer.start();
    while (runner.step()) {
        if (timer.elapsed() > milliseconds) return {-1, report.str() + "(the test gave up)\n"};
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Closed windows are deleted by the loop.
    for (int i = 0; i < 5; ++i) {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return {runner.exitStatus(), report.str()};
}

} // namespace maintest
