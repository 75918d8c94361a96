#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "display/widgets/RoundedRect.h"

namespace {

QImage drawn(void (*draw)(QPainter&)) {
    QImage image(40, 30, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setBrush(Qt::black);
    painter.setPen(Qt::black);
    draw(painter);
    return image;
}

bool black(const QImage& image, int x, int y) { return image.pixelColor(x, y) == QColor(Qt::black); }

TEST(RoundedRect, CornersAreCutByTheRadii) {
    const QImage filled = drawn([](QPainter& p) { fillRoundedRect(p, 8, 4, QRectF(0, 0, 40, 30)); });
    EXPECT_TRUE(black(filled, 20, 15));
    EXPECT_TRUE(black(filled, 20, 0)); // the edges between the corners are straight
    EXPECT_TRUE(black(filled, 0, 15));
    for (const QPoint corner : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 29), QPoint(39, 29)})
        EXPECT_FALSE(black(filled, corner.x(), corner.y())) << corner.x() << "," << corner.y();
    EXPECT_TRUE(black(filled, 4, 1)); // wider than high: 8 across, 4 down

    const QImage even = drawn(
        [](QPainter& p) { drawRoundedRectPath(p, 8, 4, QRectF(0, 0, 40, 30), RoundedRectDrawing::fill); });
    EXPECT_EQ(even, filled);
}

TEST(RoundedRect, ZeroRadiusIsAPlainRectangle) {
    const QImage plain = drawn(
        [](QPainter& p) { drawRoundedRectPath(p, 0, 4, QRectF(0, 0, 40, 30), RoundedRectDrawing::fill); });
    EXPECT_TRUE(black(plain, 0, 0));
    EXPECT_TRUE(black(plain, 39, 29));
}

TEST(RoundedRect, StrokeIsAnOutline) {
    const QImage outline = drawn([](QPainter& p) { strokeRoundedRect(p, 4, 4, QRectF(5.5, 5.5, 30, 20)); });
    EXPECT_TRUE(black(outline, 20, 5) || black(outline, 20, 6));
    EXPECT_FALSE(black(outline, 20, 15));
}

// Radii larger than half the rectangle make an ellipse, never crossing arcs.
TEST(RoundedRect, RadiiAreKeptToHalfTheRectangle) {
    QPainterPath path;
    addRoundedRectToPath(path, 100, 100, QRectF(0, 0, 40, 30));
    EXPECT_EQ(path.boundingRect(), QRectF(0, 0, 40, 30));
    EXPECT_TRUE(path.contains(QPointF(20, 15)));
    EXPECT_FALSE(path.contains(QPointF(3, 3)));
}

} // namespace
