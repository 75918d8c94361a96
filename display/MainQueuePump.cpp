#include "display/MainQueuePump.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/MainQueue.h"

void installMainQueuePump(QCoreApplication& application) {
    // Called on whichever thread posts; a queued call is safe from any of them.
    platform::MainQueue::shared().setWakeHandler([app = &application] {
        QMetaObject::invokeMethod(
            app, [] { platform::MainQueue::shared().drain(); }, Qt::QueuedConnection);
    });
    // Whatever was posted before the pump was there.
    QMetaObject::invokeMethod(
        &application, [] { platform::MainQueue::shared().drain(); }, Qt::QueuedConnection);
}

void removeMainQueuePump() { platform::MainQueue::shared().setWakeHandler(nullptr); }
