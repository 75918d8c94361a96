#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/CropLayerController.h"
#include "display/TiledLayer.h"
#include "display/TiledViewGeometry.h"
#include "engine/core/TiledEngine.h"
#include "tests/display/DisplayTestSupport.h"

namespace {

struct RecordingDelegate : ImageViewEyeDropperDelegate {
    std::vector<QPointF> clicks;
    std::vector<QRectF> crops;
    void eyedropperWasClicked(TiledViewGeometry&, QPointF p) override { clicks.push_back(p); }
    void cropRectChanged(const QRectF& r) override { crops.push_back(r); }
};

// The view's geometry over an image of the given size; only the extent matters here.
struct ViewFixture {
    TiledViewGeometry view;
    RecordingDelegate delegate;

    ViewFixture(QSizeF viewSize, double backing, double W, double H, int32_t orientation = 1) {
        view.setBackingScale(backing);
        view.setViewSize(viewSize);
        view.setEyeDropperDelegate(&delegate);
        EXPECT_TRUE(
            view.setImage(std::make_shared<TiledEngine>(platform::Size{W, H}, "", false), orientation, 0));
    }
    QPointF viewOf(double x, double y) const { return view.viewPointFromImagePoint({x, y}); }
    void drag(QPointF from, QPointF to) {
        view.mouseDown(from, false);
        view.mouseDragged(QPointF((from.x() + to.x()) / 2, (from.y() + to.y()) / 2));
        view.mouseDragged(to);
        view.mouseUp(to);
    }
};

void expectNear(QPointF a, QPointF b, double tolerance = 1e-6) {
    EXPECT_NEAR(a.x(), b.x(), tolerance);
    EXPECT_NEAR(a.y(), b.y(), tolerance);
}

TEST(ViewGeometry, FitShowsTheWholeImageButNeverEnlargesIt) {
    struct Case {
        QSizeF view;
        double backing, W, H;
        int32_t orientation;
        double factor;
    };
    const Case cases[] = {
        {{1000, 1000}, 2, 100, 100, 1, 1},              // a small image at actual size, not 20
        {{1000, 1000}, 2, 4000, 2000, 1, 0.5},          // 2000 device pixels across
        {{800, 1200}, 1, 6000, 4000, 6, 0.2},           // turned: 4000 wide, 6000 high
        {{800, 1200}, 1, 6000, 4000, 8, 0.2},           //
        {{800, 1200}, 1, 6000, 4000, 1, 800.0f / 6000}, // upright
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " orientation " << c.orientation);
        ViewFixture f(c.view, c.backing, c.W, c.H, c.orientation);
        EXPECT_NEAR(f.view.pixelScaleFactor(), c.factor, 1e-6);
        expectNear(f.view.imageCenter(), {c.W / 2, c.H / 2});
        // The image centre lies at the centre of the view.
        expectNear(f.viewOf(c.W / 2, c.H / 2), {c.view.width() / 2, c.view.height() / 2});
    }
}

TEST(ViewGeometry, ZoomFactorsAboveOneAreWholeAndAtMostEight) {
    struct Case {
        double asked, shown;
    };
    const double nan = std::nan("");
    const Case cases[] = {{1.5, 2}, {7.2, 8}, {12, 8}, {0.3, 0.3}, {1, 1}, {0, 1.0 / 64}, {0.001, 1.0 / 64}};
    for (double backing : {1.0, 2.0})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.asked << " at backing " << backing);
            ViewFixture f({1000, 1000}, backing, 3000, 2000);
            f.view.setPixelScaleFactor(c.asked);
            EXPECT_NEAR(f.view.pixelScaleFactor(), c.shown, 1e-6);
            for (double keep : {-1.0, nan}) {
                f.view.setPixelScaleFactor(keep);
                EXPECT_NEAR(f.view.pixelScaleFactor(), c.shown, 1e-6);
            }
        }
}

TEST(ViewGeometry, FitInAViewWithNoAreaKeepsTheZoom) {
    ViewFixture f({1000, 1000}, 1, 3000, 2000);
    f.view.setPixelScaleFactor(0.5);
    f.view.setViewSize({0, 0});
    f.view.setScaleFactorToFit();
    EXPECT_NEAR(f.view.pixelScaleFactor(), 0.5, 1e-6);
    // The next image is fitted once the view has room again.
    f.view.setViewSize({1500, 1000});
    f.view.setImage(std::make_shared<TiledEngine>(platform::Size{3000, 2000}, "", false), 1, 0);
    EXPECT_NEAR(f.view.pixelScaleFactor(), 0.5, 1e-6);
    f.view.setViewSize({750, 1000});
    f.view.setImage(std::make_shared<TiledEngine>(platform::Size{3000, 2000}, "", false), 1, 0);
    EXPECT_NEAR(f.view.pixelScaleFactor(), 0.5, 1e-6); // fitted once: later images keep the zoom
}

TEST(ViewGeometry, PanningFollowsTheMouseAndStopsAtTheLastPixel) {
    ViewFixture f({1000, 800}, 1, 3000, 2000);
    f.view.setPixelScaleFactor(1);
    f.view.panImage({500, 400}, {400, 450}); // mouse left and up: the image follows it
    expectNear(f.view.imageCenter(), {1600, 1050});
    f.view.scrollWheel(1, 1); // 20 points a unit
    expectNear(f.view.imageCenter(), {1580, 1030});
    f.view.panImage({0, 0}, {-10000, 10000});
    expectNear(f.view.imageCenter(), {2999, 1999});
    f.view.panImage({0, 0}, {10000, -10000});
    expectNear(f.view.imageCenter(), {0, 0});
}

TEST(ViewGeometry, ImagePointsSurviveTheTripToTheViewAndBack) {
    for (int32_t orientation : {1, 3, 6, 8})
        for (double zoom : {0.3, 1.0, 3.0}) {
            SCOPED_TRACE(testing::Message() << "orientation " << orientation << " zoom " << zoom);
            ViewFixture f({900, 700}, 2, 1200, 800, orientation);
            f.view.setPixelScaleFactor(zoom);
            f.view.panImage({450, 350}, {430, 360});
            for (QPointF p : {QPointF(0, 0), QPointF(123.25, 456.5), QPointF(1199, 799)})
                expectNear(f.view.viewPointToUnflippedImage(f.view.viewPointFromImagePoint(p), false), p,
                           1e-6);
        }
    ViewFixture f({900, 700}, 1, 1200, 800);
    const QRectF r = f.view.viewRectFromImageRect(QRectF(100, 200, 300, 150));
    expectNear(QPointF(r.x(), r.y() + r.height()), f.viewOf(100, 200)); // its upper-left corner
    EXPECT_EQ(f.view.viewPointToUnflippedImage({-5000, 0}, true), QPointF(-1, -1));
}

TEST(ViewGeometry, MirroredOrientationsAreLoggedAndShownUnturned) {
    for (int32_t code : {2, 4, 5, 7, 9}) {
        SCOPED_TRACE(code);
        testing::internal::CaptureStderr();
        ViewFixture f({800, 1200}, 1, 6000, 4000, code);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find("Invalid image rotate " + std::to_string(code) + " in -[TiledImageView"),
                  std::string::npos);
        const QTransform& t = f.view.tiledLayer()->transform();
        EXPECT_EQ(t.m12(), 0);
        EXPECT_GT(t.m11(), 0);
        EXPECT_NEAR(f.view.pixelScaleFactor(), 800.0 / 6000, 1e-6); // not swapped
    }
}

TEST(ViewGeometry, DraggingACropEdgeKeepsTheMinimumAndTheOtherEdge) {
    ViewFixture f({1000, 600}, 1, 1000, 600);
    f.view.setCropRect(QRectF(200, 100, 150, 150));
    f.view.setCursorTrackingMode(TiledViewGeometry::kCropMode);
    EXPECT_TRUE(f.delegate.crops.empty()); // a crop exists: none is laid out
    f.drag(f.viewOf(201, 175), f.viewOf(281, 175));
    ASSERT_EQ(f.delegate.crops.size(), 1u);
    EXPECT_EQ(f.delegate.crops[0], QRectF(250, 100, 100, 150));
    // The lower edge, dragged down by 30.
    f.drag(f.viewOf(300, 249), f.viewOf(300, 279));
    ASSERT_EQ(f.delegate.crops.size(), 2u);
    EXPECT_EQ(f.delegate.crops[1], QRectF(250, 100, 100, 180));
}

TEST(ViewGeometry, ACropDraggedPastTheImageEndsAtItsEdge) {
    ViewFixture f({1000, 600}, 1, 1000, 600);
    f.view.setCropRect(QRectF(10.5, 10.5, 200, 200));
    f.view.setCursorTrackingMode(TiledViewGeometry::kCropMode);
    f.drag(f.viewOf(210, 210), f.viewOf(5000, 5000)); // the lower-right corner, far out
    ASSERT_EQ(f.delegate.crops.size(), 1u);
    const QRectF crop = f.delegate.crops[0];
    EXPECT_EQ(crop, QRectF(11, 11, 989, 589));
    EXPECT_EQ(f.view.cropLayerCntrl()->cropArea(), crop);
    f.drag(f.viewOf(12, 12), f.viewOf(-5000, -5000)); // and the upper-left one
    EXPECT_EQ(f.delegate.crops[1], QRectF(0, 0, 1000, 600));
}

TEST(ViewGeometry, CropModeWithoutACropLaysOutTheCentredHalfOnce) {
    ViewFixture f({1000, 600}, 1, 2000, 1200);
    f.view.setPixelScaleFactor(1); // shows image x 500..1500, y 300..900
    f.view.setCursorTrackingMode(TiledViewGeometry::kCropMode);
    ASSERT_EQ(f.delegate.crops.size(), 1u);
    EXPECT_EQ(f.delegate.crops[0], QRectF(750, 450, 500, 300));
    EXPECT_EQ(f.view.savedCropRect(), f.delegate.crops[0]);
    EXPECT_TRUE(f.view.cropLayerCntrl()->areAdjusting());
    f.view.setCursorTrackingMode(TiledViewGeometry::kPanMode);
    f.view.setCursorTrackingMode(TiledViewGeometry::kCropMode);
    EXPECT_EQ(f.delegate.crops.size(), 1u);
    f.view.setCursorTrackingMode(TiledViewGeometry::kPanMode);
    EXPECT_FALSE(f.view.cropLayerCntrl()->areAdjusting());
}

TEST(ViewGeometry, AnEyedropperClickReportsThePointButADragPans) {
    ViewFixture f({1000, 600}, 1, 1000, 600);
    f.view.setCursorTrackingMode(TiledViewGeometry::kEyedropperMode);
    f.view.mouseDown(f.viewOf(300, 200), false);
    f.view.mouseUp(f.viewOf(300, 200));
    ASSERT_EQ(f.delegate.clicks.size(), 1u);
    expectNear(f.delegate.clicks[0], {300, 200});
    f.drag({500, 300}, {450, 300});
    EXPECT_EQ(f.delegate.clicks.size(), 1u);
    expectNear(f.view.imageCenter(), {550, 300});
    f.view.mouseDown(f.viewOf(300, 200), true); // Option held: ignored
    f.view.mouseUp(f.viewOf(300, 200));
    EXPECT_EQ(f.delegate.clicks.size(), 1u);
}

TEST(ViewGeometry, CursorFollowsTheModeAndTheCropCorners) {
    ViewFixture f({1000, 600}, 1, 1000, 600);
    EXPECT_EQ(f.view.cursorAt({500, 300}), ViewCursor::Arrow);
    f.view.setCursorTrackingMode(TiledViewGeometry::kEyedropperMode);
    EXPECT_EQ(f.view.cursorAt({500, 300}), ViewCursor::Eyedropper);
    EXPECT_EQ(f.view.cursorAt({998.5, 300}), ViewCursor::Arrow); // the strip outside insetBounds
    f.view.setCropRect(QRectF(200, 100, 600, 400));
    f.view.setCursorTrackingMode(TiledViewGeometry::kCropMode);
    EXPECT_EQ(f.view.cursorAt({500, 300}), ViewCursor::Crosshair);
    struct Corner {
        double x, y; // image coordinates
        ViewCursor cursor;
    };
    for (const Corner& c : {Corner{200, 500, ViewCursor::NESW}, Corner{800, 100, ViewCursor::NESW},
                            Corner{200, 100, ViewCursor::NWSE}, Corner{800, 500, ViewCursor::NWSE}}) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(f.view.cursorAt(f.viewOf(c.x + 30, c.y - 30)), c.cursor);
    }
}

TEST(ViewGeometry, ReportsWhatIsOnScreenAndUnderTheMouse) {
    TiledViewGeometry empty;
    EXPECT_TRUE(empty.activeTiledRect().isNull());
    EXPECT_EQ(empty.pixelScaleFactor(), 1.0);
    expectNear(empty.viewPointFromImagePoint({3, 4}), {3, 4});

    ViewFixture f({1000, 600}, 1, 2000, 1200);
    f.view.setPixelScaleFactor(1);
    EXPECT_EQ(f.view.displayedImageRect(), QRectF(500, 300, 1000, 600));
    const platform::Rect active = f.view.activeTiledRect();
    EXPECT_LE(active.x, 500);
    EXPECT_LE(active.y, 300);
    EXPECT_GE(active.maxX(), 1500);
    EXPECT_GE(active.maxY(), 900);
    EXPECT_LT(active.width, 2000); // not the whole image
    EXPECT_EQ(f.view.getPixelUnrotatedLocation(), QPointF(-1, -1));
    f.view.mouseEntered();
    f.view.mouseMoved(f.viewOf(700.5, 400.5));
    expectNear(f.view.getPixelUnrotatedLocation(), {700.5, 400.5});
    f.view.mouseExited();
    EXPECT_EQ(f.view.getPixelUnrotatedLocation(), QPointF(-1, -1));
}

} // namespace
