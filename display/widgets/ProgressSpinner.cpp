#include "display/widgets/ProgressSpinner.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>

#include "platform/Log.h"

namespace {

constexpr double kStoppedOpacity = 0.15;
// The floor of the fade when the indicator is hidden once stopped.
constexpr double kHiddenOpacity = 0.01;
constexpr double kFadePerFrame = 0.85;

QColor withOpacity(QColor colour, double opacity) {
    colour.setAlphaF(float(opacity));
    return colour;
}

} // namespace

ProgressSpinner::ProgressSpinner(QWidget* parent) : QWidget(parent), animationTimer_(new QTimer(this)) {
    finColors_.fill(withOpacity(foreColor_, kStoppedOpacity));
    animationTimer_->setObjectName("animationTimer");
    animationTimer_->setInterval(kFrameMs);
    connect(animationTimer_, &QTimer::timeout, this, &ProgressSpinner::updateFrame);
}

ProgressSpinner::~ProgressSpinner() { stopTicking(); }

QColor ProgressSpinner::color() const {
    std::lock_guard lock(frameLock_);
    return foreColor_;
}

void ProgressSpinner::setColor(const QColor& colour) {
    {
        std::lock_guard lock(frameLock_);
        foreColor_ = colour;
    }
    generateFinColorsStartAtPosition(0);
    update();
}

// Each fin keeps its opacity, so where the bright fin stands does not matter.
void ProgressSpinner::generateFinColorsStartAtPosition(int) {
    std::lock_guard lock(frameLock_);
    for (QColor& fin : finColors_)
        fin = withOpacity(foreColor_, fin.alphaF());
}

void ProgressSpinner::setBackgroundColor(const QColor& colour) {
    backColor_ = colour;
    update();
}

void ProgressSpinner::setDrawsBackground(bool draws) {
    drawsBackground_ = draws;
    update();
}

void ProgressSpinner::setIndeterminate(bool indeterminate) {
    isIndeterminate_ = indeterminate;
    if (!indeterminate && isAnimating_) actuallyStopAnimation();
    update();
}

void ProgressSpinner::setDoubleValue(double value) {
    currentValue_ = value;
    setIndeterminate(false);
}

void ProgressSpinner::setMaxValue(double value) {
    maxValue_ = value;
    update();
}

void ProgressSpinner::setUsesThreadedAnimation(bool threaded) {
    if (threaded == usesThreadedAnimation_) return;
    usesThreadedAnimation_ = threaded;
    if (isAnimating_) actuallyStartAnimation();
}

bool ProgressSpinner::isDisplayedWhenStopped() const {
    std::lock_guard lock(frameLock_);
    return displayedWhenStopped_;
}

void ProgressSpinner::setDisplayedWhenStopped(bool displayed) {
    LV_LOG("%s", __PRETTY_FUNCTION__);
    {
        std::lock_guard lock(frameLock_);
        displayedWhenStopped_ = displayed;
    }
    if (isAnimating_) return;
    if (displayed && isHidden()) show();
    if (!displayed && !isHidden()) hide();
}

void ProgressSpinner::setStyle(int indicatorStyle) {
    if (indicatorStyle != kSpinningStyle)
        LV_LOG("%s Non-spinning styles not available.", __PRETTY_FUNCTION__);
}

QColor ProgressSpinner::finColor(int index) const {
    std::lock_guard lock(frameLock_);
    return isAnimating_ ? finColors_[size_t(index)] : withOpacity(foreColor_, kStoppedOpacity);
}

void ProgressSpinner::startAnimation() {
    if (!isIndeterminate_) return;
    bool fadingOut;
    {
        std::lock_guard lock(frameLock_);
        fadingOut = isFadingOut_;
    }
    if (!isAnimating_ || fadingOut) actuallyStartAnimation();
}

void ProgressSpinner::stopAnimation() {
    std::lock_guard lock(frameLock_);
    isFadingOut_ = true;
}

void ProgressSpinner::actuallyStartAnimation() {
    stopTicking();
    isAnimating_ = true;
    bool displayed;
    {
        std::lock_guard lock(frameLock_);
        isFadingOut_ = false;
        position_ = 1;
        displayed = displayedWhenStopped_;
    }
    if (!displayed && isHidden()) show();
    ++generation_;
    if (usesThreadedAnimation_)
        animationThread_ = std::jthread([this, generation = generation_](std::stop_token stop) {
            animateInBackgroundThread(stop, generation);
        });
    else
        animationTimer_->start();
}

void ProgressSpinner::actuallyStopAnimation() {
    isAnimating_ = false;
    bool displayed;
    {
        std::lock_guard lock(frameLock_);
        isFadingOut_ = false;
        displayed = displayedWhenStopped_;
    }
    if (!displayed) hide();
    stopTicking();
    update();
}

void ProgressSpinner::stopTicking() {
    animationTimer_->stop();
    if (animationThread_.joinable()) {
        animationThread_.request_stop();
        animationThread_.join();
    }
}

// True once a fade-out has brought every fin down to its floor.
bool ProgressSpinner::stepFins() {
    std::lock_guard lock(frameLock_);
    position_ = position_ <= 0 ? kNumFins - 1 : position_ - 1;
    const double floor = displayedWhenStopped_ ? kStoppedOpacity : kHiddenOpacity;
    for (QColor& fin : finColors_)
        fin.setAlphaF(float(std::max(fin.alphaF() * kFadePerFrame, floor)));
    if (!isFadingOut_) {
        finColors_[size_t(position_)] = withOpacity(foreColor_, 1);
        return false;
    }
    return std::all_of(finColors_.begin(), finColors_.end(),
                       [floor](const QColor& fin) { return std::abs(fin.alphaF() - floor) < 0.01; });
}

void ProgressSpinner::updateFrame() {
    if (stepFins())
        actuallyStopAnimation();
    else
        update();
}

// Qt paints only on the GUI thread: the thread steps the frames and asks it to repaint.
void ProgressSpinner::animateInBackgroundThread(std::stop_token stop, int generation) {
    std::mutex sleepLock;
    std::condition_variable_any sleeper;
    const auto frame = std::chrono::microseconds(600000 / kNumFins);
    while (!stop.stop_requested()) {
        if (stepFins()) {
            QMetaObject::invokeMethod(
                this,
                [this, generation] {
                    if (generation == generation_) actuallyStopAnimation();
                },
                Qt::QueuedConnection);
            return;
        }
        QMetaObject::invokeMethod(
            this, [this] { update(); }, Qt::QueuedConnection);
        std::unique_lock lock(sleepLock);
        sleeper.wait_for(lock, stop, frame, [] { return false; });
    }
}

void ProgressSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const double size = std::min(width(), height());
    if (drawsBackground_) painter.fillRect(rect(), backColor_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(QRectF(rect()).center());
    if (isIndeterminate_)
        drawFins(painter, size);
    else
        drawPie(painter, size);
}

// Fin 0 points up; each next one is turned a twelfth of a turn counter-clockwise, so the bright
// fin, stepping to lower numbers, goes round clockwise.
void ProgressSpinner::drawFins(QPainter& painter, double size) const {
    QPen pen;
    pen.setWidthF(0.0859375 * size);
    pen.setCapStyle(Qt::RoundCap);
    for (int i = 0; i < kNumFins; ++i) {
        pen.setColor(finColor(i));
        painter.setPen(pen);
        painter.drawLine(QPointF(0, -0.234375 * size), QPointF(0, -0.421875 * size));
        painter.rotate(-360.0 / kNumFins);
    }
}

void ProgressSpinner::drawPie(QPainter& painter, double size) const {
    const QColor fore = color();
    const double lineWidth = 0.01 * size + 1;
    const double radius = (size - lineWidth) / 2.1;
    painter.setPen(QPen(fore, lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(0, 0), radius, radius);
    // A value past the maximum (or a maximum of 0) would sweep more than a turn, or NaN.
    const double sweep = maxValue_ > 0 ? std::clamp(360.0 * currentValue_ / maxValue_, 0.0, 360.0) : 0.0;
    QPainterPath pie;
    pie.moveTo(0, 0);
    pie.arcTo(QRectF(-radius, -radius, 2 * radius, 2 * radius), 90, -sweep);
    pie.closeSubpath();
    painter.fillPath(pie, fore);
}
