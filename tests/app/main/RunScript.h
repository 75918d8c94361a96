#pragma once
// Runs an automation script on a program in this process, stepped by a timer as the
// program's own is, so that a modal dialog a command opens does not stop the script.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
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
    QEventLoop loop;
    QTimer ticks;
    bool gaveUp = false;
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
        if (!runner.step()) {
            ticks.stop();
            loop.quit();
        } else if (timer.elapsed() > milliseconds) {
            gaveUp = true;
            ticks.stop();
            loop.quit();
        }
        // A script that ends with a dialog open leaves it to the test: close it.
        if (!ticks.isActive())
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dialog->isVisible())
                    dialog->reject();
    });
    ticks.start(5);
    loop.exec();
    if (gaveUp) return {-1, report.str() + "(the test gave up)\n"};
    // Closed windows are deleted by the loop.
    for (int i = 0; i < 5; ++i) {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return {runner.exitStatus(), report.str()};
}

} // namespace maintest
