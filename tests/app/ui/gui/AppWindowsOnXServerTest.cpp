#include <gtest/gtest.h>

#include <QScreen>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTreeView>
#include <QWindow>
#include <fstream>
#include <mutex>
#include <set>

#include "app/ui/InspectorController.h"
#include "app/ui/ItemTableWindow.h"
#include "app/ui/LumivarAppDelegate.h"
#include "app/ui/PresetWindowController.h"
#include "app/ui/ProfileController.h"
#include "app/ui/SplashScreenPanel.h"
#include "dng/CameraProfileManager.h"
#include "platform/ImageProperties.h"
#include "raw/core/DCRaw.h"
#include "tests/app/AppHome.h"
#include "tests/app/ui/ProfileFiles.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/Samples.h"

namespace fs = std::filesystem;

namespace {

using appuitest::writeDcp;

// The window as the X server shows it, saved under the test's screenshots.
QImage shoot(QWidget* window, const std::string& name) {
    window->move(40, 40);
    appui::bringToFront(window);
    EXPECT_TRUE(guitest::processEventsUntil(
        [&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
    guitest::processEventsFor(300);
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    guitest::saveScreenshot(shot, name);
    return shot.toImage();
}

// How many different colours a region holds: a blank region holds one or two.
size_t colours(const QImage& image, QRect region) {
    std::set<QRgb> seen;
    region = region.intersected(image.rect());
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            seen.insert(image.pixel(x, y));
    return seen.size();
}

platform::Dictionary pixel7OrStandIn() {
    const fs::path sample = testsupport::samplePath("Pixel7_small.dng");
    if (fs::exists(sample)) {
        std::scoped_lock lock(DCRaw::decodeLock());
        DCRaw decoder;
        decoder.loadFile(sample.string(), nullptr);
        return decoder.metaData();
    }
    using namespace platform;
    return {{kCGImagePropertyExifDictionary, Dictionary{{kCGImagePropertyExifExposureTime, 1.0 / 16}}}};
}

} // namespace

TEST(AppWindowsOnXServer, TheInspectorShowsGroupsAndValues) {
    LV_REQUIRE_X_SERVER();
    InspectorController inspector;
    inspector.setData(pixel7OrStandIn());
    const QImage shot = shoot(inspector.window(), "inspector");
    ASSERT_GT(inspector.treeModel()->rowCount(), 0);
    const QRect firstRow = inspector.outlineView()->visualRect(inspector.treeModel()->index(0, 0));
    EXPECT_GT(firstRow.height(), 0);
    EXPECT_GT(colours(shot, shot.rect()), 8u) << "text drawn";
}

TEST(AppWindowsOnXServer, TheProfileWindowShowsEachProfileWithItsIcon) {
    LV_REQUIRE_X_SERVER();
    apptest::AppHome home;
    const auto folder = *CameraProfileManager::profileDirectory();
    writeDcp(folder / "Studio.dcp", "Google Pixel 7", "Studio");
    writeDcp(folder / "Landscape.dcp", "Canon EOS D30", "Landscape");
    ProfileController controller;
    ASSERT_EQ(controller.tableContents().size(), 2u);
    const QImage shot = shoot(controller.browserWindow(), "profiles");
    QTableWidget* table = controller.tableWindow()->table();
    const qreal ratio = controller.browserWindow()->devicePixelRatioF();
    for (int row = 0; row < 2; ++row) {
        const QRect cell = table->visualRect(table->model()->index(row, 0));
        const QPoint origin = table->viewport()->mapTo(controller.browserWindow(), cell.topLeft());
        const QRect onShot(QPointF(origin * ratio).toPoint(), QSizeF(cell.size() * ratio).toSize());
        EXPECT_GT(colours(shot, onShot), 16u) << "the tone-curve icon of row " << row;
    }
}

TEST(AppWindowsOnXServer, ThePresetWindowAndTheSplash) {
    LV_REQUIRE_X_SERVER();
    apptest::AppHome home;
    PresetWindowController presets;
    ASSERT_EQ(presets.tableContents().size(), 3u);
    const QImage list = shoot(presets.browserWindow(), "presets");
    EXPECT_GT(colours(list, list.rect()), 8u);

    SplashScreenPanel splash;
    splash.centreOnScreen();
    splash.show();
    EXPECT_TRUE(guitest::processEventsUntil([&] { return splash.windowHandle()->isExposed(); }));
    guitest::processEventsFor(300);
    const QImage shot = splash.screen()->grabWindow(splash.winId()).toImage();
    guitest::saveScreenshot(QPixmap::fromImage(shot), "splash");
    EXPECT_GT(colours(shot, shot.rect()), 16u) << "icon and text painted";
    const QRect screen = splash.screen()->geometry();
    EXPECT_LT(std::abs(splash.geometry().center().x() - screen.center().x()), 4);
}
