#include <gtest/gtest.h>

#include <QScreen>
#include <QWindow>
#include <chrono>
#include <cmath>
#include <thread>

#include "display/CropLayerController.h"
#include "display/TiledImageView.h"
#include "display/TiledLayer.h"
#include "tests/display/FakeTileEngine.h"
#include "tests/display/gui/GuiTestSupport.h"

namespace {

// A 360 x 240 chart: six by four patches of 60 pixels, each its own colour.
FakeTileEngine::Pixel chart(int32_t x, int32_t y) {
    const int column = x / 60, row = y / 60;
    return {uint16_t(column * 13000), uint16_t(row * 20000), uint16_t(((column + row) % 3) * 30000), 65535};
}

QColor chartColour(int x, int y) {
    const auto p = chart(x, y);
    return QColor(qRound(p[0] / 257.0), qRound(p[1] / 257.0), qRound(p[2] / 257.0));
}

bool tilesLoaded(const TiledLayer& layer) {
    const QRectF area = layer.activeArea();
    for (auto& tile : layer.sublayers())
        if (tile->frame().intersects(area) && !tile->hasContents()) return false;
    return !layer.sublayers().empty();
}

struct ShownView {
    std::unique_ptr<TiledImageView> view = std::make_unique<TiledImageView>();
    std::shared_ptr<FakeTileEngine> engine = std::make_shared<FakeTileEngine>(360, 240, chart);

    ShownView() {
        view->setWindowTitle("Lumivar display test");
        view->resize(720, 480);
        view->move(40, 40);
        view->show();
        EXPECT_TRUE(guitest::processEventsUntil([&] { return view->windowHandle()->isExposed(); }));
        EXPECT_TRUE(view->setImage(engine, 1, 0));
    }
    QImage grab(const std::string& name) {
        guitest::processEventsFor(300); // the last tiles painted
        const QPixmap shot = view->screen()->grabWindow(view->winId());
        guitest::saveScreenshot(shot, name);
        return shot.toImage();
    }
    // An image pixel's place in the screenshot.
    QPoint shotPoint(double x, double y) const {
        const QPointF v = view->fromView(view->geometryModel().viewPointFromImagePoint({x + 0.5, y + 0.5}));
        const QPointF device = v * view->devicePixelRatioF();
        return QPoint(int(std::floor(device.x())), int(std::floor(device.y())));
    }
};

TEST(ViewOnXServer, ShowsTheImageAtFitWithItsColoursAndTheCropShade) {
    LV_REQUIRE_X_SERVER();
    ShownView shown;
    auto& model = shown.view->geometryModel();
    EXPECT_NEAR(shown.view->pixelScaleFactor(), 1.0, 1e-6); // the small chart at actual size
    ASSERT_TRUE(guitest::processEventsUntil([&] { return tilesLoaded(*model.tiledLayer()); }));
    const QImage fit = shown.grab("fit");
    const double ratio = shown.view->devicePixelRatioF();
    ASSERT_EQ(fit.size(), QSize(int(720 * ratio), int(480 * ratio)));
    for (QPoint p : {QPoint(30, 30), QPoint(150, 90), QPoint(330, 210), QPoint(0, 0), QPoint(359, 239)}) {
        SCOPED_TRACE(testing::Message() << p.x() << "," << p.y());
        const QColor got = fit.pixelColor(shown.shotPoint(p.x(), p.y()));
        const QColor want = chartColour(p.x(), p.y());
        EXPECT_NEAR(got.red(), want.red(), 2);
        EXPECT_NEAR(got.green(), want.green(), 2);
        EXPECT_NEAR(got.blue(), want.blue(), 2);
    }
    // The image's aspect, to the pixel: black just outside its edges.
    for (QPoint p : {shown.shotPoint(-1, 120), shown.shotPoint(360, 120), shown.shotPoint(180, -1),
                     shown.shotPoint(180, 240)})
        EXPECT_EQ(fit.pixelColor(p), QColor(Qt::black));

    shown.view->setCropRect(QRectF(60, 60, 180, 120));
    const auto& overlay = model.cropLayerCntrl()->ourLayer();
    ASSERT_TRUE(guitest::processEventsUntil([&] {
        for (auto& tile : overlay->sublayers())
            if (!tile->hasContents()) return false;
        return true;
    }));
    const QImage cropped = shown.grab("crop");
    for (QPoint p : {QPoint(30, 30), QPoint(330, 210), QPoint(150, 200)}) { // outside the crop
        SCOPED_TRACE(testing::Message() << "outside " << p.x() << "," << p.y());
        const QColor before = fit.pixelColor(shown.shotPoint(p.x(), p.y()));
        const QColor after = cropped.pixelColor(shown.shotPoint(p.x(), p.y()));
        EXPECT_LE(after.red(), 0.35 * before.red() + 1);
        EXPECT_LE(after.green(), 0.35 * before.green() + 1);
        EXPECT_LE(after.blue(), 0.35 * before.blue() + 1);
    }
    EXPECT_EQ(cropped.pixelColor(shown.shotPoint(150, 120)), fit.pixelColor(shown.shotPoint(150, 120)));

    // In crop mode the frame lies just outside the crop, in white.
    shown.view->setCursorTrackingMode(TiledViewGeometry::kCropMode);
    const QImage adjusting = shown.grab("crop-mode");
    EXPECT_EQ(adjusting.pixelColor(shown.shotPoint(59, 120)), QColor(Qt::white));
    EXPECT_EQ(adjusting.pixelColor(shown.shotPoint(240, 120)), QColor(Qt::white));
    EXPECT_EQ(adjusting.pixelColor(shown.shotPoint(150, 120)), fit.pixelColor(shown.shotPoint(150, 120)));
}

TEST(ViewOnXServer, ClosingWhileTilesAreFetchedIsClean) {
    LV_REQUIRE_X_SERVER();
    ShownView shown;
    shown.engine->onRequest = [](const FakeTileEngine::Request&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // a render still going on
    };
    shown.view->setPixelScaleFactor(4);
    ASSERT_TRUE(guitest::processEventsUntil([&] { return shown.engine->requestCount() > 0; }));
    std::weak_ptr<TiledLayer> layer = shown.view->geometryModel().tiledLayer();
    shown.view->close();
    shown.view.reset();
    ASSERT_TRUE(guitest::processEventsUntil([&] { return layer.expired(); }));
    const int settled = shown.engine->requestCount();
    guitest::processEventsFor(300);
    EXPECT_EQ(shown.engine->requestCount(), settled);
}

} // namespace
