// The lumivar program itself on the X server, run by automation scripts on the bundled chart
// and the Pixel 7 sample: what its screenshots show, and its exit status.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <cstdlib>
#include <fstream>

#include "tests/app/main/gui/ProgramRun.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/Samples.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

using guitest::imageArea;
using guitest::kChart;
using guitest::ProgramRun;
using guitest::runLumivar;
using guitest::shot;

// Every pixel of the area exactly grey (R = G = B), and not all of one value.
::testing::AssertionResult greyAndNotBlank(const QImage& view, const QRect& area) {
    int lowest = 255, highest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = view.pixelColor(x, y);
            if (c.red() != c.green() || c.green() != c.blue())
                return ::testing::AssertionFailure() << "colour at " << x << "," << y;
            lowest = std::min(lowest, c.green());
            highest = std::max(highest, c.green());
        }
    if (highest - lowest < 8)
        return ::testing::AssertionFailure() << "blank: " << lowest << " to " << highest;
    return ::testing::AssertionSuccess();
}

int runWidth(const QImage& view, QPoint at) {
    const int level = view.pixelColor(at).green();
    const auto same = [&](int x) { return std::abs(view.pixelColor(x, at.y()).green() - level) <= 2; };
    int left = at.x(), right = at.x();
    while (left > 0 && same(left - 1))
        --left;
    while (right + 1 < view.width() && same(right + 1))
        ++right;
    return right - left + 1;
}

// Histogram columns with a bar: brighter than the histogram's dark background.
int columnsWithBars(const QImage& histogram) {
    int columns = 0;
    for (int x = 2; x + 2 < histogram.width(); ++x) {
        bool bar = false;
        for (int y = 2; y + 2 < histogram.height() && !bar; ++y)
            bar = histogram.pixelColor(x, y).green() > 60;
        columns += bar;
    }
    return columns;
}

} // namespace

TEST(LumivarOnXServer, TheChartAtFitZoomedCroppedAndCropDragged) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    const ProgramRun run =
        runLumivar(home, "open " + kChart.string() +
                             "\nwait-image 120\n"
                             "screenshot fit view\nscreenshot histogram histogram\nscreenshot window\n"
                             "zoom 2\nwait-image 60\nscreenshot zoom2 view\nfit\n"
                             "set Lumivar_CropRect_x 90\nset Lumivar_CropRect_y 60\n"
                             "set Lumivar_CropRect_width 180\nset Lumivar_CropRect_height 120\n"
                             "wait-image 60\nscreenshot crop view\n"
                             "mode crop\ndrag 270 180 300 200\n"
                             "expect Lumivar_CropRect_x 90\nexpect Lumivar_CropRect_y 60\n"
                             "expect Lumivar_CropRect_width 210\nexpect Lumivar_CropRect_height 140\n"
                             "wait-image 60\nscreenshot crop-dragged view\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;

    const QImage fit = shot("fit");
    const QRect area = imageArea(fit);
    // The 360 x 240 chart at factor 1, its aspect to the pixel.
    EXPECT_EQ(area.size(), QSize(360, 240));
    EXPECT_TRUE(greyAndNotBlank(fit, area));

    const QImage zoomed = shot("zoom2");
    const QRect zoomedArea = imageArea(zoomed);
    EXPECT_EQ(zoomedArea.size(), QSize(720, 480));
    // A step of the grey scale along the bottom, twice as wide on screen.
    const int step = runWidth(fit, area.topLeft() + QPoint(54, 225));
    EXPECT_GT(step, 20);
    EXPECT_NEAR(runWidth(zoomed, zoomedArea.topLeft() + QPoint(108, 450)), 2 * step, 2);

    const QImage cropped = shot("crop");
    for (QPoint p : {QPoint(30, 30), QPoint(340, 230), QPoint(200, 20)}) { // outside the crop
        SCOPED_TRACE(testing::Message() << "outside " << p.x() << "," << p.y());
        const QPoint at = area.topLeft() + p;
        EXPECT_LE(cropped.pixelColor(at).green(), 0.35 * fit.pixelColor(at).green() + 1);
    }
    const QPoint inside = area.topLeft() + QPoint(180, 120);
    EXPECT_NEAR(cropped.pixelColor(inside).green(), fit.pixelColor(inside).green(), 1);
    // The dragged crop reaches 300 x 200 now: a point inside it no longer shaded.
    const QPoint grown = area.topLeft() + QPoint(285, 190);
    EXPECT_LE(cropped.pixelColor(grown).green(), 0.35 * fit.pixelColor(grown).green() + 1);
    EXPECT_NEAR(shot("crop-dragged").pixelColor(grown).green(), fit.pixelColor(grown).green(), 1);

    const QImage histogram = shot("histogram");
    EXPECT_GT(columnsWithBars(histogram), 0);
}

TEST(LumivarOnXServer, ThePixel7AndItsHistogram) {
    LV_REQUIRE_X_SERVER();
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    testsupport::TempHome home;
    const ProgramRun run =
        runLumivar(home, "open " + kChart.string() + "\nwait-image 120\n" +
                             "screenshot chart-histogram histogram\nclose\n"
                             "open " +
                             testsupport::samplePath("Pixel7_small.dng").string() +
                             "\nwait-image 120\n"
                             // a night scene: brighter, so that its edges show
                             "set Lumivar_Filter_inputEV 3\nwait-image 120\n"
                             "screenshot pixel7 view\nscreenshot pixel7-histogram histogram\n"
                             "expect Lumivar_Filter_inputEV 3\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    const QImage view = shot("pixel7");
    const QRect area = imageArea(view);
    // The decoder's 382 x 510 at factor 1.
    EXPECT_EQ(area.size(), QSize(382, 510));
    EXPECT_TRUE(greyAndNotBlank(view, area));
    // Every display tile from the render after the change: no block as dark as before it.
    const auto mean = [&](const QRect& r) {
        double sum = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                sum += view.pixelColor(x, y).green();
        return sum / (double(r.width()) * r.height());
    };
    const double whole = mean(area);
    for (int y = area.top(); y + 128 <= area.bottom(); y += 128)
        for (int x = area.left(); x + 128 <= area.right(); x += 128)
            EXPECT_NEAR(mean(QRect(x, y, 128, 128)), whole, 0.3 * whole) << "block at " << x << "," << y;

    const QImage chart = shot("chart-histogram"), pixel7 = shot("pixel7-histogram");
    ASSERT_EQ(chart.size(), pixel7.size());
    int differing = 0;
    for (int y = 0; y < chart.height(); ++y)
        for (int x = 0; x < chart.width(); ++x)
            differing += chart.pixel(x, y) != pixel7.pixel(x, y);
    EXPECT_GT(differing, chart.width() * chart.height() / 20);
    EXPECT_GT(columnsWithBars(pixel7), 0);
}

// A CRW file through the Window menu's inspector: the rows its camera records give. With no
// window manager the inspector opens at the screen's top left, over the editing window.
TEST(LumivarOnXServer, TheEosD30AndItsInspector) {
    LV_REQUIRE_X_SERVER();
    LV_REQUIRE_SAMPLE("EOS_D30.CRW");
    testsupport::TempHome home;
    const ProgramRun run =
        runLumivar(home, "open " + testsupport::samplePath("EOS_D30.CRW").string() +
                             "\nwait-image 240\nscreenshot d30 view\nmenu Window/Inspector\n"
                             "screenshot d30-inspector screen\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    const QImage view = shot("d30");
    EXPECT_TRUE(greyAndNotBlank(view, imageArea(view)));
    // Text in the rows under the outline's header: dark pixels on the white list.
    const QImage screen = shot("d30-inspector");
    int text = 0;
    for (int y = 30; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            text += screen.pixelColor(x, y).lightness() < 100;
    EXPECT_GT(text, 500) << "the inspector shows no rows";
}

// Windows closed while their first render, or a zoomed one, is still under way (the program
// runs under the sanitizers in CI: any fault fails the run).
TEST(LumivarOnXServer, ClosingDuringARenderIsClean) {
    LV_REQUIRE_X_SERVER();
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    testsupport::TempHome home;
    const std::string pixel7 = testsupport::samplePath("Pixel7_small.dng").string();
    const ProgramRun run =
        runLumivar(home, "open " + pixel7 + "\nclose\nopen " + kChart.string() + "\nopen " + pixel7 +
                             "\nwait-image 120\nzoom 4\nset Lumivar_Filter_inputEV 1\nclose\nclose\nquit\n");
    EXPECT_EQ(run.status, 0) << run.output;
}

TEST(LumivarOnXServer, AFailedLineOrAMissingFileFailsTheRun) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    // The document opens; its render fails with the decoder's text, which the wait reports.
    const ProgramRun run = runLumivar(home, "open " + (home.path() / "gone.dng").string() +
                                                "\nwait-image 60\nclose\nfit\nquit\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("line 2: FAILED: wait-image 60: No such file or directory"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("line 4: FAILED: fit: no window is open"), std::string::npos) << run.output;

    const ProgramRun bad = runLumivar(home, "open\n");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("line 1: open takes 1 argument, not 0"), std::string::npos) << bad.output;
}

TEST(LumivarOnXServer, TheEditingWindowsCommands) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    const fs::path chart = home.path() / "chart.dng";
    fs::copy_file(kChart, chart);
    const fs::path out = home.path() / "out";
    fs::create_directories(out);
    const ProgramRun run = runLumivar(
        home, "open " + chart.string() + "\nwait-image 120\nscreenshot before view\n" +
                  "slider Lumivar_Filter_monochromeRed 2\nwait-image 60\nscreenshot red view\n" +
                  "expect Lumivar_Filter_monochromeRed 2\n" + "export jpeg " + (out / "chart.jpg").string() +
                  "\n" + "export tiff " + (out / "chart.tif").string() + "\n" +
                  "preset-save Red \"Monochrome Filters\"\n" +
                  "rotate cw\nexpect Lumivar_ImageOrientation 6\nwait-image 60\nscreenshot turned view\n" +
                  "key Ctrl+0\nslider Lumivar_Filter_monochromeRed 1\nwait-image 60\n" +
                  "preset-apply Red\nwait-image 60\nexpect Lumivar_Filter_monochromeRed 2\n" +
                  "click noSuchButton\nquit\n");
    // The last line names a button there is none of: the run fails on that line alone.
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("FAILED: click noSuchButton: no button noSuchButton"), std::string::npos)
        << run.output;
    for (const std::string line : {"ok: slider", "ok: export jpeg", "ok: export tiff", "ok: preset-save",
                                   "ok: rotate cw", "ok: key Ctrl+0", "ok: preset-apply Red"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;

    const QImage jpeg(QString::fromStdString((out / "chart.jpg").string()));
    EXPECT_EQ(jpeg.size(), QSize(360, 240));
    EXPECT_TRUE(fs::exists(out / "chart.tif"));
    // Raising red changed the picture; the quarter turn stood it on end.
    EXPECT_NE(shot("red"), shot("before"));
    const QRect turned = imageArea(shot("turned"));
    EXPECT_NEAR(turned.width(), 240, 1);
    EXPECT_NEAR(turned.height(), 360, 1);
}

TEST(LumivarOnXServer, AnExternalEditorsProxyIsReplacedByTheDevelopedImage) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    const fs::path raw = fs::exists(testsupport::samplePath("Pixel7_small.dng"))
                             ? testsupport::samplePath("Pixel7_small.dng")
                             : kChart;
    const QSize expected = raw == kChart ? QSize(360, 240) : QSize(382, 510);
    QProcess host;
    host.setProcessChannelMode(QProcess::MergedChannels);
    host.start("bash", {QString(LUMIVAR_SOURCE_DIR) + "/tests/app/external_editor_host.sh", LUMIVAR_PROGRAM,
                        QString::fromStdString(raw.string()), QString::fromStdString(home.path().string())});
    ASSERT_TRUE(host.waitForFinished(240000));
    const std::string output = host.readAll().toStdString();
    ASSERT_EQ(host.exitCode(), 0) << output;
    EXPECT_NE(output.find("ok: update"), std::string::npos) << output;

    const QImage proxy(QString::fromStdString((home.path() / "photos" / "IMG_1234-edit.jpg").string()));
    ASSERT_FALSE(proxy.isNull()) << "the proxy is not a JPEG\n" << output;
    EXPECT_EQ(proxy.size(), expected);
    int coloured = 0;
    for (int y = 0; y < proxy.height(); ++y)
        for (int x = 0; x < proxy.width(); ++x) {
            const QColor c = proxy.pixelColor(x, y);
            coloured += std::abs(c.red() - c.green()) > 4 || std::abs(c.green() - c.blue()) > 4;
        }
    EXPECT_EQ(coloured, 0) << "the update is monochrome";
}
