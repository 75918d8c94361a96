// The program's window on the X server, driven by automation scripts over the chart of a
// fake document: what the screenshots show at fit, at zoom 2, after a pan drag, with a
// crop drawn, and in the histogram.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>

#include "app/main/LumivarProgram.h"
#include "display/TiledImageView.h"
#include "tests/app/main/FakeViewerDocument.h"
#include "tests/app/main/RunScript.h"
#include "tests/display/gui/GuiTestSupport.h"

using maintest::runScript;

namespace {

std::filesystem::path shotFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    return std::filesystem::path(LUMIVAR_SCREENSHOTS_DIR) /
           (std::string(info->test_suite_name()) + "." + info->name());
}

struct ShownChart {
    std::shared_ptr<maintest::FakeViewerDocument::Log> log =
        std::make_shared<maintest::FakeViewerDocument::Log>();
    LumivarProgram program{maintest::chartOpener(log), {true, "/", shotFolder()}};

    ShownChart() {
        const auto run = runScript(program, "open chart.dng\nwait-image 30");
        EXPECT_EQ(run.status, 0) << run.report;
    }
    TiledImageView& view() { return program.currentWindow()->imageView(); }
    QImage shot(const std::string& name, const std::string& part = "view") {
        const auto run = runScript(program, "screenshot " + name + " " + part);
        EXPECT_EQ(run.status, 0) << run.report;
        QImage image(QString::fromStdString((shotFolder() / (name + ".png")).string()));
        EXPECT_FALSE(image.isNull()) << name;
        return image;
    }
    // An image pixel's place in a screenshot of the view.
    QPoint shotPoint(double x, double y) {
        const QPointF v = view().fromView(view().geometryModel().viewPointFromImagePoint({x + 0.5, y + 0.5}));
        const QPointF device = v * view().devicePixelRatioF();
        return QPoint(int(std::floor(device.x())), int(std::floor(device.y())));
    }
};

// The bounding box of the pixels that are not black.
QRect imageArea(const QImage& shot) {
    QRect box;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, y) != QColor(Qt::black)) box |= QRect(x, y, 1, 1);
    return box;
}

// The width of the run of one colour through (x, y) along the row.
int runWidth(const QImage& shot, int x, int y) {
    const QColor colour = shot.pixelColor(x, y);
    int left = x, right = x;
    while (left > 0 && shot.pixelColor(left - 1, y) == colour)
        --left;
    while (right + 1 < shot.width() && shot.pixelColor(right + 1, y) == colour)
        ++right;
    return right - left + 1;
}

} // namespace

TEST(WindowOnXServer, FitZoomAndPanInTheScreenshots) {
    LV_REQUIRE_X_SERVER();
    ShownChart shown;
    const double ratio = shown.view().devicePixelRatioF();
    const QImage fit = shown.shot("fit");
    const QRect area = imageArea(fit);
    // The whole chart at factor 1, with its aspect to the pixel.
    EXPECT_NEAR(area.width(), 360 * ratio, 1);
    EXPECT_NEAR(area.height(), 240 * ratio, 1);
    const QPoint patch = shown.shotPoint(150, 90); // the patch of column 2, row 1
    EXPECT_NEAR(runWidth(fit, patch.x(), patch.y()), 60 * ratio, 1);

    ASSERT_EQ(runScript(shown.program, "zoom 2").status, 0);
    const QImage zoomed = shown.shot("zoom2");
    const QPoint zoomedPatch = shown.shotPoint(150, 90);
    EXPECT_NEAR(runWidth(zoomed, zoomedPatch.x(), zoomedPatch.y()), 2 * 60 * ratio, 1);

    // A drag of 20 image pixels to the left moves the picture 40 device pixels with the mouse.
    const auto run = runScript(shown.program, "drag 180 120 160 120");
    ASSERT_EQ(run.status, 0) << run.report;
    const QImage panned = shown.shot("panned");
    const int shift = int(std::lround(2 * 20 * ratio));
    int same = 0, compared = 0;
    for (int y = 20; y < zoomed.height() - 20; y += 37)
        for (int x = shift + 20; x < zoomed.width() - 20; x += 41) {
            ++compared;
            same += panned.pixelColor(x - shift, y) == zoomed.pixelColor(x, y);
        }
    EXPECT_GT(same, compared * 95 / 100) << same << " of " << compared;
}

TEST(WindowOnXServer, ACropDragStoresTheCropAndShadesOutsideIt) {
    LV_REQUIRE_X_SERVER();
    ShownChart shown;
    const QImage before = shown.shot("uncropped");
    auto run =
        runScript(shown.program, "mode crop\ndrag 270 180 330 210\n"
                                 "expect Lumivar_CropRect_x 90\nexpect Lumivar_CropRect_y 60\n"
                                 "expect Lumivar_CropRect_width 240\nexpect Lumivar_CropRect_height 150\n"
                                 "mode pan");
    ASSERT_EQ(run.status, 0) << run.report;
    const QImage cropped = shown.shot("cropped");
    for (QPoint p : {QPoint(30, 30), QPoint(345, 225), QPoint(200, 20)}) { // outside the crop
        SCOPED_TRACE(testing::Message() << "outside " << p.x() << "," << p.y());
        const QColor was = before.pixelColor(shown.shotPoint(p.x(), p.y()));
        const QColor now = cropped.pixelColor(shown.shotPoint(p.x(), p.y()));
        EXPECT_LE(now.red(), 0.35 * was.red() + 1);
        EXPECT_LE(now.green(), 0.35 * was.green() + 1);
        EXPECT_LE(now.blue(), 0.35 * was.blue() + 1);
    }
    for (QPoint p : {QPoint(150, 90), QPoint(320, 200)}) // inside
        EXPECT_EQ(cropped.pixelColor(shown.shotPoint(p.x(), p.y())),
                  before.pixelColor(shown.shotPoint(p.x(), p.y())));
}

TEST(WindowOnXServer, TheHistogramHasBars) {
    LV_REQUIRE_X_SERVER();
    ShownChart shown;
    const QImage histogram = shown.shot("histogram", "histogram");
    ASSERT_FALSE(histogram.isNull());
    // The bars are coloured by channel; background and frame are grey.
    const auto coloured = [](QColor c) {
        return std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 60;
    };
    int columnsWithBars = 0;
    for (int x = 0; x < histogram.width(); ++x) {
        bool bar = false;
        for (int y = 0; y < histogram.height() && !bar; ++y)
            bar = coloured(histogram.pixelColor(x, y));
        columnsWithBars += bar;
    }
    // The chart has few distinct levels: some bars, though not in half the columns.
    EXPECT_GT(columnsWithBars, 0);
    const QImage window = shown.shot("window", "window");
    EXPECT_EQ(window.width(),
              int(shown.program.currentWindow()->widget()->width() * shown.view().devicePixelRatioF()));
}
