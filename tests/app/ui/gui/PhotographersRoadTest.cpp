// The photographer's road through the editing window on a real X server, with screenshots.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QSlider>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "app/core/MyDocument.h"
#include "app/ui/DocumentController.h"
#include "app/ui/EditingPanes.h"
#include "app/ui/EditingWindow.h"
#include "app/ui/WindowChoosers.h"
#include "display/MainQueuePump.h"
#include "display/TiledImageView.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "settings/Schema.h"
#include "tests/app/ui/gui/RenderWaits.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/Samples.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using guitest::Renders;
using guitest::settle;

namespace {

QApplication& guiApp() { return *qobject_cast<QApplication*>(QCoreApplication::instance()); }

std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

struct Stats {
    double mean = 0;
    int maxChannelSpread = 0;
};

// The image view's pixels as the screen shows them.
QImage grabView(EditingWindow* window) {
    QWidget* view = window->imageView();
    return view->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

Stats stats(const QImage& image) {
    Stats s;
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            sum += (c.red() + c.green() + c.blue()) / 3.0;
            s.maxChannelSpread =
                std::max({s.maxChannelSpread, std::abs(c.red() - c.green()), std::abs(c.green() - c.blue())});
        }
    s.mean = sum / std::max(1, image.width() * image.height());
    return s;
}

} // namespace

TEST(PhotographersRoad, OpenAdjustExportPresetAndReopen) {
    LV_REQUIRE_X_SERVER();
    guiApp();
    testsupport::TempHome home;
    const WindowChoosers saved = WindowChoosers::shared();
    QStringList alerts;
    WindowChoosers::shared().alert = [&](QWidget*, const QString& m, const QString& t) {
        alerts << m + ": " + t;
    };
    WindowChoosers::shared().saveFile = [&](QWidget*, const fs::path&, const QString& name,
                                            const QString& ext) -> std::optional<fs::path> {
        // Beside the raw files would put the DNG export over the chart itself.
        fs::create_directories(home.path() / "exports");
        return home.path() / "exports" / (name + "." + ext).toStdString();
    };
    const fs::path chart = home.path() / "chart.dng";
    fs::copy_file(fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng", chart);

    Renders renders;
    auto& controller = DocumentController::sharedDocumentController();
    platform::Error error;
    auto document = controller.openDocumentWithContentsOfURL(chart, true, &error);
    ASSERT_TRUE(document) << error.failureReason;
    QPointer<EditingWindow> window = controller.windowForDocument(document.get());
    ASSERT_TRUE(window);
    window->resize(1400, 900);
    ASSERT_TRUE(guitest::processEventsUntil([&] { return window->imageView()->isVisible(); }, 60000));
    ASSERT_TRUE(settle(window));
    guitest::saveScreenshot(window->grab(), "1-opened");

    const QImage before = grabView(window);
    const Stats opened = stats(before);
    EXPECT_GT(opened.mean, 10) << "image area not blank";
    EXPECT_LE(opened.maxChannelSpread, 2) << "the image is grey";

    // Raising the red weight changes the image and keeps it grey.
    auto* red = window->findChild<QSlider*>(settings::MonochromeRed.c_str());
    ASSERT_NE(red, nullptr);
    const int seen = renders.count[document.get()];
    red->setValue(red->maximum());
    ASSERT_TRUE(renders.after(document.get(), seen));
    ASSERT_TRUE(settle(window));
    // The new tiles reach the screen a paint or two after the render: wait for them.
    EXPECT_TRUE(guitest::processEventsUntil([&] { return grabView(window) != before; }, 10000));
    guitest::saveScreenshot(window->grab(), "2-red-raised");
    const QImage after = grabView(window);
    EXPECT_LE(stats(after).maxChannelSpread, 2);
    EXPECT_DOUBLE_EQ(document->valueForKey(settings::MonochromeRed.c_str())->doubleValue(), 2.0);

    // Crop, then a JPEG of the crop's size through the window.
    document->cropRectChanged(platform::Rect{10, 20, 200, 100});
    window->exportAsType("public.jpeg");
    ASSERT_TRUE(guitest::processEventsUntil([&] { return !window->exportRunning(); }, 60000));
    EXPECT_TRUE(alerts.empty()) << (alerts.empty() ? "" : alerts.front().toStdString());
    const QImage jpeg(QString::fromStdString((home.path() / "exports" / "chart.jpg").string()));
    EXPECT_EQ(jpeg.size(), QSize(200, 100));

    // TIFF and DNG through the window, read by libtiff and exiftool.
    for (const auto& [type, extension] :
         std::vector<std::pair<std::string, std::string>>{{"public.tiff", "tif"}, {"com.adobe.dng", "dng"}}) {
        window->exportAsType(type);
        ASSERT_TRUE(guitest::processEventsUntil([&] { return !window->exportRunning(); }, 60000));
        EXPECT_TRUE(alerts.empty()) << alerts.join(" | ").toStdString();
        const fs::path file = home.path() / "exports" / ("chart." + extension);
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(std::system(("tiffinfo '" + file.string() + "' > /dev/null 2>&1").c_str()), 0) << file;
        const std::string validate = commandOutput("exiftool -validate -error '" + file.string() + "' 2>&1");
        EXPECT_EQ(validate.find("Error"), std::string::npos) << validate;
    }

    // A preset of the mix, applied in a window of another file.
    const auto& groups = EditingWindow::presetGroups();
    std::vector<bool> on;
    for (const auto& group : groups)
        on.push_back(std::string(group.title) == "Monochrome Filters");
    ASSERT_TRUE(window->saveNewPreset("Red", on, &error)) << error.failureReason;
    if (fs::exists(testsupport::samplePath("Pixel7_small.dng"))) {
        const fs::path pixel = home.path() / "Pixel7_small.dng";
        fs::copy_file(testsupport::samplePath("Pixel7_small.dng"), pixel);
        auto other = controller.openDocumentWithContentsOfURL(pixel, true, &error);
        ASSERT_TRUE(other) << error.failureReason;
        QPointer<EditingWindow> second = controller.windowForDocument(other.get());
        ASSERT_TRUE(guitest::processEventsUntil([&] { return second->imageView()->isVisible(); }, 60000));
        ASSERT_TRUE(settle(second));
        const QImage plain = grabView(second);
        const int seenOther = renders.count[other.get()];
        ASSERT_TRUE(second->applyPresetNamed("Red"));
        ASSERT_TRUE(renders.after(other.get(), seenOther));
        EXPECT_DOUBLE_EQ(other->valueForKey(settings::MonochromeRed.c_str())->doubleValue(), 2.0);
        ASSERT_TRUE(settle(second));
        EXPECT_TRUE(guitest::processEventsUntil([&] { return grabView(second) != plain; }, 10000));
        guitest::saveScreenshot(second->grab(), "3-preset-applied");
        second->close();
        guitest::processEventsFor(200);
    }

    // Rotation turns the picture on screen.
    window->rotateCW();
    ASSERT_TRUE(settle(window));
    guitest::saveScreenshot(window->grab(), "4-rotated");
    EXPECT_EQ(document->getOrientation(), 6);

    // Close and open again: the catalog brings the mix back.
    window->close();
    guitest::processEventsFor(300);
    document.reset();
    auto again = controller.openDocumentWithContentsOfURL(chart, true, &error);
    ASSERT_TRUE(again) << error.failureReason;
    EXPECT_DOUBLE_EQ(again->valueForKey(settings::MonochromeRed.c_str())->doubleValue(), 2.0);
    EXPECT_EQ(again->getOrientation(), 6);
    QPointer<EditingWindow> reopened = controller.windowForDocument(again.get());
    ASSERT_TRUE(guitest::processEventsUntil([&] { return reopened->imageView()->isVisible(); }, 60000));
    ASSERT_TRUE(settle(reopened));
    guitest::saveScreenshot(reopened->grab(), "5-reopened");
    reopened->close();
    guitest::processEventsFor(200);
    WindowChoosers::shared() = saved;
}
