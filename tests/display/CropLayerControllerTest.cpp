#include <gtest/gtest.h>

#include <QPainter>

#include "display/CropLayerController.h"
#include "display/TiledLayer.h"
#include "tests/display/DisplayTestSupport.h"

namespace {

using namespace displaytest;

bool isWhite(QColor c) { return c.red() > 250 && c.green() > 250 && c.blue() > 250 && c.alpha() > 250; }

// The overlay of a W x H image shown at `pointsPerPixel`, drawn by the controller into an
// image of one pixel per image pixel (y upwards).
struct OverlayDrawing {
    std::shared_ptr<Layer> root = std::make_shared<Layer>();
    std::shared_ptr<TiledLayer> imageLayer = std::make_shared<TiledLayer>();
    std::unique_ptr<CropLayerController> controller;

    OverlayDrawing(double W, double H, double pointsPerPixel, bool adjusting, QRectF crop) {
        root->setBounds(QRectF(0, 0, W * pointsPerPixel, H * pointsPerPixel));
        controller = CropLayerController::create(adjusting, imageLayer.get(), nullptr);
        controller->setSize(QRectF(0, 0, W, H));
        controller->ourLayer()->setTransform(QTransform::fromScale(pointsPerPixel, pointsPerPixel));
        controller->setCropArea(crop);
        root->addSublayer(controller->ourLayer());
    }

    QImage draw() {
        const QRectF b = controller->ourLayer()->bounds();
        auto whole = std::make_shared<Layer>(); // one tile over the whole overlay
        whole->setAnchorPoint({0, 0});
        whole->setBounds(b);
        controller->ourLayer()->addSublayer(whole);
        QImage image(int(b.width()), int(b.height()), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.translate(0, image.height());
        painter.scale(1, -1);
        controller->drawLayer(*whole, painter);
        whole->removeFromSuperlayer();
        return image;
    }
};

// The length of the run of white pixels of row y (upwards) that contains or starts at x.
int whiteRun(const QImage& image, int x, int y) {
    int left = x, right = x;
    while (left > 0 && isWhite(pixelUp(image, left - 1, y)))
        --left;
    while (right < image.width() && isWhite(pixelUp(image, right, y)))
        ++right;
    return right - left;
}

TEST(CropOverlay, NoCropOrAThinOneDrawsNothing) {
    for (QRectF crop : {QRectF(-1, -1, -1, -1), QRectF(100, 50, 1.9, 500), QRectF(100, 50, 500, 1.4)}) {
        SCOPED_TRACE(testing::Message() << crop.width() << " x " << crop.height());
        OverlayDrawing overlay(800, 600, 1, true, crop);
        const QImage image = overlay.draw();
        bool anything = false;
        for (int y = 0; y < image.height() && !anything; y += 3)
            for (int x = 0; x < image.width() && !anything; x += 3)
                anything = image.pixelColor(x, y).alpha() != 0;
        EXPECT_FALSE(anything);
    }
}

TEST(CropOverlay, ShadesOutsideTheCropToThirtyPercentThroughTheTiles) {
    HostedRoot host(1000, 400);
    auto imageLayer = std::make_shared<Layer>();
    QImage grey(1000, 400, QImage::Format_ARGB32_Premultiplied);
    grey.fill(QColor(200, 200, 200));
    imageLayer->setAnchorPoint({0, 0});
    imageLayer->setBounds(QRectF(0, 0, 1000, 400));
    imageLayer->setContents(grey);
    auto tiled = std::make_shared<TiledLayer>();
    auto controller = CropLayerController::create(false, tiled.get(), nullptr);
    host.root->addSublayer(imageLayer);
    host.root->addSublayer(controller->ourLayer());
    controller->setCropArea(QRectF(100, 100, 300, 200)); // image coordinates, from the top
    controller->setSize(QRectF(0, 0, 1000, 400));
    ASSERT_TRUE(runMainUntil([&] {
        for (auto& tile : controller->ourLayer()->sublayers())
            if (!tile->hasContents()) return false;
        return !controller->ourLayer()->sublayers().empty();
    }));
    const QImage out = renderTree(*host.root);
    // Inside: layer y 100..300 (400 - 100 - 200 up to 400 - 100).
    EXPECT_EQ(pixelUp(out, 250, 200), QColor(200, 200, 200));
    EXPECT_EQ(pixelUp(out, 101, 101), QColor(200, 200, 200));
    for (QPoint outside : {QPoint(50, 50), QPoint(99, 200), QPoint(250, 301), QPoint(900, 390)}) {
        SCOPED_TRACE(testing::Message() << outside.x() << "," << outside.y());
        EXPECT_NEAR(pixelUp(out, outside.x(), outside.y()).red(), 60, 1);
    }
    // Outside crop mode there is the shade and nothing else: no frame.
    for (int x = 80; x < 120; ++x)
        EXPECT_FALSE(isWhite(pixelUp(out, x, 200)));
}

TEST(CropOverlay, FrameIsOneAndAHalfPointsButAtLeastTwoPixels) {
    struct Case {
        double pointsPerPixel;
        int width;
    };
    for (const Case& c : {Case{0.1, 15}, Case{1, 2}, Case{2, 2}}) {
        SCOPED_TRACE(c.pointsPerPixel);
        OverlayDrawing overlay(3000, 2000, c.pointsPerPixel, true, QRectF(1000, 500, 1000, 1000));
        const QImage image = overlay.draw();
        // The left edge at x 1000, half-way up; the frame lies just outside the crop.
        EXPECT_EQ(whiteRun(image, 999, 1000), c.width);
        EXPECT_FALSE(isWhite(pixelUp(image, 1000, 1000)));
        EXPECT_TRUE(isWhite(pixelUp(image, 1000 - c.width, 1000)));
    }
}

TEST(CropOverlay, FrameStaysInsideTheImageAtItsEdges) {
    const int W = 600, H = 400;
    OverlayDrawing overlay(W, H, 1, true, QRectF(0, 0, W, H));
    const QImage image = overlay.draw();
    EXPECT_TRUE(isWhite(pixelUp(image, 0, H / 2)));     // left: from lw inwards
    EXPECT_TRUE(isWhite(pixelUp(image, W / 2, 0)));     // bottom
    EXPECT_TRUE(isWhite(pixelUp(image, W - 2, H / 2))); // right: from lw + 1 inwards
    EXPECT_TRUE(isWhite(pixelUp(image, W / 2, H - 2))); // top
}

TEST(CropOverlay, CornerMarksAreFifteenPercentOfTheShorterSide) {
    OverlayDrawing overlay(1400, 800, 1, true, QRectF(200, 200, 1000, 400));
    const QImage image = overlay.draw();
    // The crop's lower edge is at layer y 200; frame 198..200, marks 196..198, from x 197.
    const int arm = whiteRun(image, 200, 196);
    EXPECT_NEAR(arm, 61, 2);
    EXPECT_FALSE(isWhite(pixelUp(image, 700, 196))); // no mark half-way along
    EXPECT_TRUE(isWhite(pixelUp(image, 700, 199)));  // but the frame
    // Outside crop mode: the shade only.
    overlay.controller->setForAdjusting(false);
    const QImage plain = overlay.draw();
    EXPECT_FALSE(isWhite(pixelUp(plain, 200, 196)));
    EXPECT_FALSE(isWhite(pixelUp(plain, 700, 199)));
    EXPECT_NEAR(pixelUp(plain, 700, 199).alpha(), 178, 1);
}

TEST(CropOverlay, ControllerNeedsAnImageLayerAndShowsItsOverlay) {
    EXPECT_FALSE(CropLayerController::create(false, nullptr, nullptr));
    auto tiled = std::make_shared<TiledLayer>();
    auto controller = CropLayerController::create(true, tiled.get(), nullptr);
    EXPECT_TRUE(controller->areAdjusting());
    EXPECT_EQ(controller->ourDelegate(), controller.get());
    EXPECT_EQ(controller->ourLayer()->delegate(), controller.get());
    EXPECT_FALSE(controller->ourLayer()->useTiledEngine());
    controller->setShowCropArea(false);
    EXPECT_TRUE(controller->ourLayer()->isHidden());
    EXPECT_FALSE(controller->showCropArea());
}

} // namespace
