#include "display/widgets/OverlayScrollView.h"

#include <QScrollBar>

#include "display/widgets/OverlayScroller.h"

// The area's own vertical scroll bar stays hidden and keeps driving the scrolling; the
// overlay mirrors it both ways, so the area never sets space aside for a scroll bar.
OverlayScrollView::OverlayScrollView(QWidget* parent)
    : QScrollArea(parent), scroller_(new OverlayScroller(Qt::Vertical, this)) {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    followScrollBar();
    tile();
}

void OverlayScrollView::followScrollBar() {
    QScrollBar* own = verticalScrollBar();
    connect(own, &QScrollBar::rangeChanged, scroller_, [this](int low, int high) { followRange(low, high); });
    connect(own, &QScrollBar::valueChanged, scroller_, &QScrollBar::setValue);
    connect(scroller_, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
    followRange(own->minimum(), own->maximum());
}

// Content that fits has nothing to scroll: no knob then, not even under the pointer.
void OverlayScrollView::followRange(int low, int high) {
    scroller_->setRange(low, high);
    scroller_->setVisible(high > low);
    copySteps();
}

// The area sets its bar's steps from the viewport's size without a signal.
void OverlayScrollView::copySteps() {
    scroller_->setPageStep(verticalScrollBar()->pageStep());
    scroller_->setSingleStep(verticalScrollBar()->singleStep());
}

void OverlayScrollView::tile() {
    viewport()->setGeometry(rect());
    scroller_->setGeometry(width() - kScrollerWidth, 0, kScrollerWidth, height());
    scroller_->raise();
}

void OverlayScrollView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    copySteps();
    tile();
}
