#pragma once
// Drains platform::MainQueue from the Qt event loop: each post wakes the loop, which runs
// the queued tasks on the GUI thread.
class QCoreApplication;

// Remove the pump before the application object goes.
void installMainQueuePump(QCoreApplication& application);
void removeMainQueuePump();
