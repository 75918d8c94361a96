// A batch over the application's own documents on the X server: the document controller's
// menus go off while it runs and on after it, and each file becomes a monochrome JPEG.
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QScreen>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/core/CatalogStore.h"
#include "app/core/PresetManager.h"
#include "app/ui/DocumentController.h"
#include "app/ui/browser/BrowserWindowController.h"
#include "platform/UserDefaults.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

int worstChannelSpread(const QImage& image) {
    int worst = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qGreen(p)), std::abs(qGreen(p) - qBlue(p))});
        }
    return worst;
}

TEST(BatchOnXServer, RealDocumentsBehindTheSheetWithMenusOff) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    CatalogStore::sharedMultiDataStore().forgetStores();
    PresetManager::sharedPresetManager().forgetPresetDirectory();
    testsupport::TempFolder folder;
    DocumentController& controller = DocumentController::sharedDocumentController();
    platform::UserDefaults::standard().setBool(false, "ShowPopoverHelp");
    fs::copy_file(fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng",
                  folder / "lumivar-chart.dng");
    std::vector<std::string> names{"lumivar-chart.dng"};
    for (const char* name : {"Pixel7_small.dng", "DC120_P003908_uncompressed.KDC"})
        if (fs::exists(testsupport::samplePath(name))) {
            fs::copy_file(testsupport::samplePath(name), folder / name);
            names.push_back(name);
        }
    platform::UserDefaults::standard().setObject(platform::Value(folder.path().string()),
                                                 "imageDirectoryBookmark");

    BrowserWindowController window;
    window.resize(1000, 700);
    window.showBrowser();
    ASSERT_TRUE(guitest::processEventsUntil([&] { return window.isVisible(); }));
    ASSERT_TRUE(window.selectNames(names));
    window.popAction(*window.batchItemTitled("Default settings"));
    ASSERT_TRUE(guitest::processEventsUntil([&] { return !controller.menusActive(); }));
    EXPECT_TRUE(window.progressSheet()->isVisible());
    guitest::processEventsFor(150);
    guitest::saveScreenshot(window.screen()->grabWindow(window.winId()), "sheet");
    ASSERT_TRUE(guitest::processEventsUntil([&] { return !window.isBatchRunning(); }, 120000));
    ASSERT_TRUE(guitest::processEventsUntil([&] { return controller.menusActive(); }));
    EXPECT_FALSE(window.progressSheet()->isVisible());
    for (const std::string& name : names) {
        const QImage jpeg(QString::fromStdString((folder / name).replace_extension(".jpg").string()));
        ASSERT_FALSE(jpeg.isNull()) << name;
        EXPECT_LE(worstChannelSpread(jpeg), 3) << name;
    }
    guitest::processEventsFor(300);
    guitest::saveScreenshot(window.screen()->grabWindow(window.winId()), "after");
    CatalogStore::sharedMultiDataStore().forgetStores();
    PresetManager::sharedPresetManager().forgetPresetDirectory();
}

} // namespace
