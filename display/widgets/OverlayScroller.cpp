#include "display/widgets/OverlayScroller.h"

#include <QPainter>
#include <QStyleOptionSlider>
#include <QTimer>

#include "display/widgets/RoundedRect.h"

namespace {

QTimer* singleShot(QObject* owner, const char* name, int ms) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(name);
    timer->setSingleShot(true);
    timer->setInterval(ms);
    return timer;
}

} // namespace

OverlayScroller::OverlayScroller(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent), showTimer_(singleShot(this, "showKnobAfterDelay", kFadeDelayMs)),
      stepTimer_(singleShot(this, "updateKnobAfterDelay", kStepMs)) {
    setMouseTracking(true);
    connect(showTimer_, &QTimer::timeout, this, &OverlayScroller::showKnobAfterDelay);
    connect(stepTimer_, &QTimer::timeout, this, &OverlayScroller::updateKnobAfterDelay);
}

QRect OverlayScroller::knobRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    QRect knob = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    if (orientation() == Qt::Vertical) {
        knob.moveLeft(knob.left() + kKnobThickness);
        knob.setWidth(kKnobThickness);
    } else {
        knob.moveTop(knob.top() + kKnobThickness);
        knob.setHeight(kKnobThickness);
    }
    return knob;
}

void OverlayScroller::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (shouldClearBackground_) painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(knobOpacity());
    painter.setBrush(Qt::black);
    fillRoundedRect(painter, 4, 4, knobRect());
}

void OverlayScroller::showKnob() {
    animationStep_ = kSteps;
    disableFade_ = true;
    updateKnob();
    showTimer_->start(); // restarting drops the pending one
}

void OverlayScroller::showKnobAfterDelay() {
    disableFade_ = false;
    animationStep_ = kSteps;
    if (!scheduled_) updateKnob();
}

void OverlayScroller::updateKnob() {
    update();
    if (animationStep_ >= 1 && !disableFade_ && !scheduled_) {
        scheduled_ = true;
        stepTimer_->start();
        --animationStep_;
    }
}

void OverlayScroller::updateKnobAfterDelay() {
    scheduled_ = false;
    updateKnob();
}

void OverlayScroller::sliderChange(SliderChange change) {
    QScrollBar::sliderChange(change);
    if (change != SliderValueChange) return;
    const float value = float(this->value());
    if (value != oldValue_) showKnob();
    oldValue_ = value;
}

void OverlayScroller::mouseMoveEvent(QMouseEvent* event) {
    QScrollBar::mouseMoveEvent(event);
    showKnob();
}

void OverlayScroller::leaveEvent(QEvent* event) {
    QScrollBar::leaveEvent(event);
    showKnob();
}

// Fully shown and not fading while the pointer is over the scroller.
void OverlayScroller::enterEvent(QEnterEvent* event) {
    QScrollBar::enterEvent(event);
    animationStep_ = kSteps;
    disableFade_ = true;
    update();
}
