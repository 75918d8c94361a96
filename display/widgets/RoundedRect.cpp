#include "display/widgets/RoundedRect.h"

#include <algorithm>

namespace {

QPainterPath roundedPath(qreal xRadius, qreal yRadius, const QRectF& rect) {
    QPainterPath path;
    addRoundedRectToPath(path, xRadius, yRadius, rect);
    return path;
}

} // namespace

void fillRoundedRect(QPainter& painter, qreal xRadius, qreal yRadius, const QRectF& rect) {
    painter.fillPath(roundedPath(xRadius, yRadius, rect), painter.brush());
}

void strokeRoundedRect(QPainter& painter, qreal xRadius, qreal yRadius, const QRectF& rect) {
    QPen pen = painter.pen();
    pen.setWidthF(1);
    painter.strokePath(roundedPath(xRadius, yRadius, rect), pen);
}

void addRoundedRectToPath(QPainterPath& path, qreal a, qreal b, const QRectF& rect) {
    const QRectF r = rect.normalized();
    if (a == 0 || b == 0) {
        path.addRect(r);
        return;
    }
    // Radii past half the rectangle would make the corner arcs cross: they are kept to it.
    a = std::min(std::abs(a), r.width() / 2);
    b = std::min(std::abs(b), r.height() / 2);
    path.moveTo(r.right(), r.center().y());
    path.arcTo(QRectF(r.right() - 2 * a, r.top(), 2 * a, 2 * b), 0, 90);
    path.arcTo(QRectF(r.left(), r.top(), 2 * a, 2 * b), 90, 90);
    path.arcTo(QRectF(r.left(), r.bottom() - 2 * b, 2 * a, 2 * b), 180, 90);
    path.arcTo(QRectF(r.right() - 2 * a, r.bottom() - 2 * b, 2 * a, 2 * b), 270, 90);
    path.closeSubpath();
}

void drawRoundedRectPath(QPainter& painter, qreal a, qreal b, const QRectF& rect, RoundedRectDrawing how) {
    QPainterPath path;
    addRoundedRectToPath(path, a, b, rect);
    if (how == RoundedRectDrawing::fill) {
        path.setFillRule(Qt::OddEvenFill);
        painter.fillPath(path, painter.brush());
    } else {
        painter.strokePath(path, painter.pen());
    }
}
