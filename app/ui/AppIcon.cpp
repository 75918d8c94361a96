#include "app/ui/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace appui {

// A grey-scale aperture: six blades around a dark opening on a rounded square, for a
// program that develops black-and-white images.
QImage lumivarIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
    QLinearGradient ground(box.topLeft(), box.bottomRight());
    ground.setColorAt(0, QColor(236, 236, 236));
    ground.setColorAt(1, QColor(120, 120, 120));
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    p.drawRoundedRect(box, size * 0.18, size * 0.18);

    const QPointF centre = box.center();
    const double outer = size * 0.36, inner = size * 0.13;
    for (int blade = 0; blade < 6; ++blade) {
        const double a = blade * M_PI / 3, b = a + M_PI / 3;
        QPainterPath path;
        path.moveTo(centre + QPointF(std::cos(a) * inner, std::sin(a) * inner));
        path.lineTo(centre + QPointF(std::cos(a) * outer, std::sin(a) * outer));
        path.lineTo(centre + QPointF(std::cos(b) * outer, std::sin(b) * outer));
        path.lineTo(centre + QPointF(std::cos(b + 0.35) * inner, std::sin(b + 0.35) * inner));
        path.closeSubpath();
        const int grey = 40 + blade * 30;
        p.setBrush(QColor(grey, grey, grey));
        p.drawPath(path);
    }
    p.setBrush(QColor(16, 16, 16));
    p.drawEllipse(centre, inner * 1.02, inner * 1.02);
    return image;
}

QIcon lumivarIcon() {
    static const QIcon icon = [] {
        QIcon made;
        for (int size : {16, 32, 48, 64, 128, 256})
            made.addPixmap(QPixmap::fromImage(lumivarIconImage(size)));
        return made;
    }();
    return icon;
}

} // namespace appui
