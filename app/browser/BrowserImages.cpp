#include "app/browser/BrowserImages.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace browser {
namespace {

QImage blank(QSize size) {
    QImage image(size.isEmpty() ? QSize(128, 128) : size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QImage defaultFileImage(QSize size) {
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = image.width(), h = image.height();
    const qreal left = w * 0.22, right = w * 0.78, top = h * 0.1, bottom = h * 0.9, fold = w * 0.16;
    QPainterPath page;
    page.moveTo(left, top);
    page.lineTo(right - fold, top);
    page.lineTo(right, top + fold);
    page.lineTo(right, bottom);
    page.lineTo(left, bottom);
    page.closeSubpath();
    p.setPen(QPen(QColor(110, 110, 110), std::max(1.0, w / 64)));
    p.setBrush(QColor(245, 245, 245));
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(right - fold, top);
    corner.lineTo(right - fold, top + fold);
    corner.lineTo(right, top + fold);
    p.setBrush(QColor(210, 210, 210));
    p.drawPath(corner);
    return image;
}

QImage defaultFolderImage(QSize size) {
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = image.width(), h = image.height();
    p.setPen(QPen(QColor(60, 110, 170), std::max(1.0, w / 64)));
    p.setBrush(QColor(120, 170, 225));
    p.drawRoundedRect(QRectF(w * 0.1, h * 0.22, w * 0.35, h * 0.15), w * 0.03, w * 0.03);
    p.drawRoundedRect(QRectF(w * 0.1, h * 0.3, w * 0.8, h * 0.5), w * 0.04, w * 0.04);
    return image;
}

QImage linkBadgeImage(QSize size) {
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = image.width(), h = image.height();
    p.setPen(QPen(QColor(60, 60, 60), std::max(1.0, w / 16)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(w * 0.05, h * 0.05, w * 0.9, h * 0.9), w * 0.15, w * 0.15);
    QPainterPath arrow; // a curved arrow pointing up and right
    arrow.moveTo(w * 0.25, h * 0.78);
    arrow.quadTo(w * 0.25, h * 0.38, w * 0.62, h * 0.38);
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    QPainterPath head;
    head.moveTo(w * 0.55, h * 0.2);
    head.lineTo(w * 0.8, h * 0.38);
    head.lineTo(w * 0.55, h * 0.56);
    head.closeSubpath();
    p.setBrush(QColor(60, 60, 60));
    p.drawPath(head);
    return image;
}

QImage withLinkBadge(const QImage& image) {
    if (image.isNull()) return image;
    QImage result(image.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter p(&result);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, image);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const int side = std::max(8, std::min(image.width(), image.height()) / 3);
    p.drawImage(QPoint(0, image.height() - side), linkBadgeImage(QSize(side, side)));
    return result;
}

QImage fittedTo(const QImage& image, QSize size) {
    if (image.isNull() || size.isEmpty() || image.size() == size) return image;
    return image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace browser
