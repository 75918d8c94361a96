#include "display/widgets/BackGroundView.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

SolidBackgroundView::SolidBackgroundView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SolidBackgroundView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), fillColor());
}

void BackGroundView::setBg(std::optional<QColor> colour) {
    bg_ = colour;
    update();
}

QColor BackGroundView::fillColor() const { return bg_.value_or(palette().color(QPalette::Base)); }

// The palette's colours differ between an active and an inactive window.
void BackGroundView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) update();
    QWidget::changeEvent(event);
}
