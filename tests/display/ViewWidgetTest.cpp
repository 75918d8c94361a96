#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include "display/CropLayerController.h"
#include "display/TiledImageView.h"
#include "display/TiledLayer.h"
#include "tests/display/DisplayTestSupport.h"
#include "tests/display/FakeTileEngine.h"

// The widget on Qt's offscreen platform; ctest runs these again with QT_SCALE_FACTOR=2.
namespace {

using namespace displaytest;

FakeTileEngine::Pixel chart(int32_t x, int32_t y) {
    return {uint16_t(x * 100), uint16_t(y * 150), uint16_t(((x / 50 + y / 40) % 2) * 60000), 65535};
}

struct WidgetFixture {
    TiledImageView view;
    std::shared_ptr<FakeTileEngine> engine;

    WidgetFixture(QSize size, uint16_t W, uint16_t H)
        : engine(std::make_shared<FakeTileEngine>(W, H, chart)) {
        view.resize(size);
        view.show();
        EXPECT_TRUE(view.setImage(engine, 1, 0));
    }
    double ratio() const { return view.devicePixelRatioF(); }
    TiledViewGeometry& model() { return view.geometryModel(); }
    bool tilesLoaded() {
        const auto& layer = model().tiledLayer();
        const QRectF area = layer->activeArea();
        for (auto& tile : layer->sublayers())
            if (tile->frame().intersects(area) && !tile->hasContents()) return false;
        return true;
    }
    // Where an image point lies in the widget (logical pixels from the top left).
    QPointF widgetPoint(double x, double y) { return view.fromView(model().viewPointFromImagePoint({x, y})); }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, view.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
};

TEST(ViewWidget, FitsAtTheWidgetsDevicePixelRatio) {
    const double expected = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                                : 1.0;
    WidgetFixture small({1000, 1000}, 100, 100);
    EXPECT_DOUBLE_EQ(small.ratio(), expected);
    EXPECT_DOUBLE_EQ(small.model().backingScale(), expected);
    EXPECT_NEAR(small.view.pixelScaleFactor(), 1.0, 1e-6); // actual size, not enlarged
    WidgetFixture large({1000, 500}, 4000, 1000);
    EXPECT_NEAR(large.view.pixelScaleFactor(), std::min(1.0, 1000 * expected / 4000), 1e-6);
    EXPECT_EQ(large.model().tiledLayer()->contentsScale(), expected);
}

TEST(ViewWidget, PaintsTheTilesUprightWhereTheImageLies) {
    WidgetFixture f({700, 500}, 600, 400);
    ASSERT_TRUE(runMainUntil([&] { return f.tilesLoaded(); }));
    const QImage shot = f.view.grab().toImage();
    for (QPoint p : {QPoint(30, 20), QPoint(120, 45), QPoint(555, 380)}) {
        SCOPED_TRACE(testing::Message() << p.x() << "," << p.y());
        const QPointF at = f.widgetPoint(p.x() + 0.5, p.y() + 0.5) * f.ratio();
        const QColor c = shot.pixelColor(int(at.x()), int(at.y()));
        const FakeTileEngine::Pixel expected = chart(p.x(), p.y());
        EXPECT_NEAR(c.red(), expected[0] / 257.0, 1.5);
        EXPECT_NEAR(c.green(), expected[1] / 257.0, 1.5);
        EXPECT_NEAR(c.blue(), expected[2] / 257.0, 1.5);
    }
    EXPECT_EQ(shot.pixelColor(2, 2), QColor(Qt::black)); // around the image: the view's black
}

TEST(ViewWidget, DraggingAndTheWheelPanByTheMouseDistance) {
    WidgetFixture f({500, 400}, 2000, 1500);
    f.view.setPixelScaleFactor(1);
    const double pixelsPerPoint = f.ratio(); // image pixels per point at factor 1
    const QPointF start = f.model().imageCenter();
    f.mouse(QEvent::MouseButtonPress, {300, 200}, Qt::LeftButton);
    f.mouse(QEvent::MouseMove, {280, 210}, Qt::LeftButton);
    f.mouse(QEvent::MouseMove, {250, 220}, Qt::LeftButton);
    f.mouse(QEvent::MouseButtonRelease, {250, 220}, Qt::NoButton);
    // Mouse 50 left and 20 down: the image follows it.
    EXPECT_NEAR(f.model().imageCenter().x(), start.x() + 50 * pixelsPerPoint, 1e-6);
    EXPECT_NEAR(f.model().imageCenter().y(), start.y() - 20 * pixelsPerPoint, 1e-6);
    const QPointF afterDrag = f.model().imageCenter();
    QWheelEvent wheel({250, 200}, f.view.mapToGlobal(QPointF(250, 200)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&f.view, &wheel);
    EXPECT_NEAR(f.model().imageCenter().y(), afterDrag.y() - 20 * pixelsPerPoint, 1e-6);
}

TEST(ViewWidget, CursorsFollowTheModeAndTheCropCorners) {
    WidgetFixture f({800, 600}, 800, 600);
    f.view.setCropRect(QRectF(100, 100, 400, 300));
    f.view.setCursorTrackingMode(TiledViewGeometry::kCropMode);
    f.mouse(QEvent::MouseMove, {400, 300}, Qt::NoButton);
    EXPECT_EQ(f.view.cursor().shape(), Qt::CrossCursor);
    f.mouse(QEvent::MouseMove, f.widgetPoint(110, 110), Qt::NoButton); // the upper-left corner
    EXPECT_EQ(f.view.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(f.view.cursor().hotSpot(), QPoint(8, 8));
    EXPECT_FALSE(f.view.cursor().pixmap().isNull());
    f.view.setCursorTrackingMode(TiledViewGeometry::kEyedropperMode);
    f.mouse(QEvent::MouseMove, {400, 300}, Qt::NoButton);
    EXPECT_EQ(f.view.cursor().hotSpot(), QPoint(1, 20));
    for (ViewCursor c : {ViewCursor::Eyedropper, ViewCursor::NESW, ViewCursor::NWSE})
        EXPECT_FALSE(TiledImageView::cursorFor(c).pixmap().isNull());
}

TEST(ViewWidget, ACropDragInTheWidgetReportsWholePixels) {
    struct Delegate : ImageViewEyeDropperDelegate {
        std::vector<QRectF> crops;
        void eyedropperWasClicked(TiledViewGeometry&, QPointF) override {}
        void cropRectChanged(const QRectF& r) override { crops.push_back(r); }
    } delegate;
    WidgetFixture f({800, 600}, 800, 600);
    f.view.setEyeDropperDelegate(&delegate);
    f.view.setCropRect(QRectF(100, 100, 400, 300));
    f.view.setCursorTrackingMode(TiledViewGeometry::kCropMode);
    const QPointF corner = f.widgetPoint(500, 400), moved = corner + QPointF(33.3, 21.7);
    f.mouse(QEvent::MouseButtonPress, corner, Qt::LeftButton);
    f.mouse(QEvent::MouseMove, moved, Qt::LeftButton);
    f.mouse(QEvent::MouseButtonRelease, moved, Qt::NoButton);
    ASSERT_EQ(delegate.crops.size(), 1u);
    const QRectF crop = delegate.crops[0];
    EXPECT_EQ(crop.topLeft(), QPointF(100, 100));
    EXPECT_EQ(crop.width(), std::ceil(float(400 + 33.3 * f.ratio())));
    EXPECT_EQ(crop.height(), std::ceil(float(300 + 21.7 * f.ratio())));
    f.view.setEyeDropperDelegate(nullptr);
}

} // namespace
