#include "display/TiledImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>

namespace {

constexpr double kWheelUnit = 120; // angleDelta() per wheel step

} // namespace

TiledImageView::TiledImageView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    geometry_.viewLayer()->setRepaintHandler([this] { update(); });
    geometry_.setCursorRectsChangedHandler([this] { updateCursor(); });
    followBackingScale();
}

TiledImageView::~TiledImageView() {
    geometry_.viewLayer()->setRepaintHandler(nullptr);
    geometry_.setCursorRectsChangedHandler(nullptr);
}

bool TiledImageView::setImage(std::shared_ptr<TiledEngine> image, int32_t orientation, int32_t imageNum) {
    followBackingScale();
    return geometry_.setImage(std::move(image), orientation, imageNum);
}

QCursor TiledImageView::cursorFor(ViewCursor cursor) {
    switch (cursor) {
    case ViewCursor::Crosshair:
        return QCursor(Qt::CrossCursor);
    case ViewCursor::Eyedropper:
        return QCursor(QPixmap(":/cursors/CursorEyedropper.png"), 1, 20);
    case ViewCursor::NESW:
        return QCursor(QPixmap(":/cursors/CursorNESW.png"), 8, 8);
    case ViewCursor::NWSE:
        return QCursor(QPixmap(":/cursors/CursorNWSE.png"), 8, 8);
    default:
        return QCursor(Qt::ArrowCursor);
    }
}

QPointF TiledImageView::toView(QPointF p) const { return {p.x(), height() - p.y()}; }

QPointF TiledImageView::fromView(QPointF p) const { return {p.x(), height() - p.y()}; }

void TiledImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    // The one flip: the layers' y axis runs upwards.
    painter.translate(0, height());
    painter.scale(1, -1);
    geometry_.viewLayer()->render(painter);
}

void TiledImageView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    followBackingScale();
    geometry_.setViewSize(size());
}

void TiledImageView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    followBackingScale();
}

void TiledImageView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ScreenChangeInternal) followBackingScale();
}

void TiledImageView::followBackingScale() { geometry_.setBackingScale(devicePixelRatioF()); }

void TiledImageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    leftPressed_ = true;
    geometry_.mouseDown(toView(event->position()), event->modifiers().testFlag(Qt::AltModifier));
}

void TiledImageView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF point = toView(event->position());
    geometry_.mouseMoved(point);
    if (leftPressed_ && event->buttons().testFlag(Qt::LeftButton)) geometry_.mouseDragged(point);
    updateCursor();
}

void TiledImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !leftPressed_) return QWidget::mouseReleaseEvent(event);
    leftPressed_ = false;
    geometry_.mouseUp(toView(event->position()));
    updateCursor();
}

void TiledImageView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    geometry_.scrollWheel(delta.x() / kWheelUnit, delta.y() / kWheelUnit);
    event->accept();
}

void TiledImageView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    geometry_.mouseEntered();
    geometry_.mouseMoved(toView(event->position()));
    setFocus(Qt::MouseFocusReason);
    updateCursor();
}

void TiledImageView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    geometry_.mouseExited();
}

void TiledImageView::updateCursor() {
    setCursor(cursorFor(geometry_.cursorAt(geometry_.currentCursorLocation())));
}
