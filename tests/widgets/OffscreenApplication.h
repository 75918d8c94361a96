#pragma once
// The Qt application of the widget tests: offscreen unless QT_QPA_PLATFORM says otherwise,
// made once before the first test. Timers are fired by hand, never waited for.
#include <QColor>
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace widgets_test {

// Runs a pending single-shot timer's slots now; false when it was not pending.
bool fire(QTimer* timer);
// The widget painted into an image of its own size (device pixels), on a white ground.
QImage grabbed(QWidget& widget);
// True when the colours differ by at most `tolerance` in each of red, green and blue.
bool near(QColor a, QColor b, int tolerance = 2);

} // namespace widgets_test
