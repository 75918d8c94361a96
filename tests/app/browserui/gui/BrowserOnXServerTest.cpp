// The browser window on the X server with the real thumbnailer over a copy of the sample
// files: thumbnails arrive, the folder is watched, a batch runs behind its sheet.
#include <QApplication>
#include <QDialog>
#include <QListView>
#include <QScreen>
#include <QToolButton>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/browser/BrowserDataSource.h"
#include "app/browser/FSNodeInfo.h"
#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "app/ui/browser/BrowserWindowController.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "platform/UserDefaults.h"
#include "tests/app/browser/BrowserTestSupport.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/Samples.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using browser::BrowserDataSource;

namespace {

QImage picture(QColor left, QColor right) {
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(left);
    for (int y = 0; y < 240; ++y)
        for (int x = 160; x < 320; ++x)
            image.setPixelColor(x, y, right);
    return image;
}

// Written beside and renamed into place, as programs that save files do.
void writeSyntheticDng(const fs::path& folder, const std::string& name, QColor left, QColor right) {
    testsupport::SyntheticDngSpec spec;
    spec.jpegThumbnail = browsertest::jpegBytes(picture(left, right));
    testsupport::writeFile(folder, name + ".tmp", testsupport::buildSyntheticDng(spec));
    fs::rename(folder / (name + ".tmp"), folder / name);
}

std::atomic<int> exportsStarted{0};
std::atomic<bool> holdExports{false}; // the test lets the file in hand finish

class FakeDocuments : public browser::BatchDocumentFactory {
    class Document : public browser::BatchDocument {
      public:
        void addSettingValues(const platform::Dictionary&) override {}
        bool exportToURL(const fs::path& destination, std::string_view, platform::Error*) override {
            ++exportsStarted;
            while (holdExports)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            testsupport::writeFile(destination.parent_path(), destination.filename().string(),
                                   std::string("x"));
            return true;
        }
        void close() override {}
    };

  public:
    std::unique_ptr<browser::BatchDocument> makeDocument(const fs::path&, platform::Error*) override {
        return std::make_unique<Document>();
    }
};

class BrowserOnXServer : public testing::Test {
  protected:
    void SetUp() override {
        LV_REQUIRE_X_SERVER();
        app::registerApplicationDefaults(platform::UserDefaults::standard());
        platform::UserDefaults::standard().setBool(false, app::defaults::ShowPopoverHelp);
        if (fs::exists(testsupport::samplePath("")))
            for (const auto& entry : fs::directory_iterator(testsupport::samplePath("")))
                if (entry.path().extension() != ".md")
                    fs::copy_file(entry.path(), folder / entry.path().filename().string());
        writeSyntheticDng(folder.path(), "synthetic_preview.dng", Qt::red, Qt::blue);
        platform::UserDefaults::standard().setObject(platform::Value(folder.path().string()),
                                                     app::defaults::ImageDirectoryBookmark);
        BrowserWindowController::Hooks hooks;
        hooks.presentError = [this](const platform::Error& e) { errors.push_back(e); };
        window = std::make_unique<BrowserWindowController>(std::make_shared<FakeDocuments>(), nullptr, hooks);
        window->resize(1200, 900);
        window->showBrowser();
        ASSERT_TRUE(guitest::processEventsUntil([&] { return window->isVisible(); }));
    }
    int row(const std::string& name) const {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->itemAtIndex(r)->lastPathComponent() == name) return r;
        return -1;
    }
    BrowserDataSource* model() const { return window->dataSource(); }
    QImage cell(const std::string& name) const {
        return model()->data(model()->index(row(name)), Qt::DecorationRole).value<QImage>();
    }
    int version(const std::string& name) const {
        return model()->data(model()->index(row(name)), BrowserDataSource::VersionRole).toInt();
    }
    // Asks for every cell's image and waits until the icon queue has worked through them.
    bool allCellsSettled(int milliseconds) {
        for (int r = 0; r < model()->rowCount(); ++r)
            model()->data(model()->index(r), Qt::DecorationRole);
        auto idle = std::make_shared<std::atomic<bool>>(false);
        model()->iconProcessingQueue().async([idle] { *idle = true; });
        const bool done = guitest::processEventsUntil([&] { return idle->load(); }, milliseconds);
        platform::MainQueue::shared().drain(); // the thumbnails' hand-over to the cells
        return done;
    }
    QPixmap shot() { return window->screen()->grabWindow(window->winId()); }

    testsupport::TempHome home;
    testsupport::TempFolder folder;
    std::unique_ptr<BrowserWindowController> window;
    std::vector<platform::Error> errors;
};

TEST_F(BrowserOnXServer, EveryCellGetsAThumbnailOrAnIcon) {
    ASSERT_TRUE(allCellsSettled(60000)) << "thumbnails did not finish";
    guitest::processEventsFor(300);
    guitest::saveScreenshot(shot(), "grid");
    for (int r = 0; r < model()->rowCount(); ++r)
        EXPECT_FALSE(model()->data(model()->index(r), Qt::DecorationRole).value<QImage>().isNull())
            << model()->itemAtIndex(r)->lastPathComponent();
    EXPECT_EQ(version("synthetic_preview.dng"), 1);
    EXPECT_EQ(cell("synthetic_preview.dng").size(), QSize(128, 96));
    const struct {
        const char* name;
        bool portrait;
    } previews[] = {{"Pixel7_small.dng", true}, {"EOS_D30.CRW", false}, {"PowerShotG2_CRW_0304.CRW", false}};
    for (const auto& p : previews) {
        if (row(p.name) < 0) continue;
        EXPECT_EQ(version(p.name), 1) << p.name;
        EXPECT_EQ(cell(p.name).height() > cell(p.name).width(), p.portrait) << p.name;
    }
    if (row("PhotoCD.pcd") >= 0) {
        EXPECT_EQ(version("PhotoCD.pcd"), 0); // too short to decode: its icon
    }
}

TEST_F(BrowserOnXServer, RewrittenAndAddedFilesShowAfterTheWatchersDelay) {
    ASSERT_TRUE(allCellsSettled(60000));
    const QColor before = cell("synthetic_preview.dng").pixelColor(10, 48);
    EXPECT_GT(before.red(), 200);

    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a later modification time
    writeSyntheticDng(folder.path(), "synthetic_preview.dng", Qt::green, Qt::green);
    writeSyntheticDng(folder.path(), "added.dng", Qt::yellow, Qt::yellow);
    guitest::processEventsFor(500);
    EXPECT_LT(row("added.dng"), 0) << "listed before the watcher's second";
    ASSERT_TRUE(guitest::processEventsUntil([&] { return row("added.dng") >= 0; }, 4000));
    ASSERT_TRUE(allCellsSettled(20000));
    guitest::processEventsFor(200);
    EXPECT_GT(cell("synthetic_preview.dng").pixelColor(10, 48).green(), 200);
    EXPECT_LT(cell("synthetic_preview.dng").pixelColor(10, 48).red(), 60);
    EXPECT_EQ(version("added.dng"), 1);
    guitest::saveScreenshot(shot(), "after-changes");
}

TEST_F(BrowserOnXServer, BatchShowsItsSheetAndCancelStopsAfterTheFirst) {
    std::vector<std::string> names;
    for (const char* n : {"Pixel7_small.dng", "DC120_P003908_uncompressed.KDC", "synthetic_preview.dng"})
        if (row(n) >= 0) names.push_back(n);
    ASSERT_TRUE(window->selectNames(names));
    exportsStarted = 0;
    holdExports = true;
    window->popAction(*window->batchItemTitled("Default settings"));
    ASSERT_TRUE(guitest::processEventsUntil([&] { return window->progressSheet()->isVisible(); }));
    ASSERT_TRUE(guitest::processEventsUntil([&] { return exportsStarted > 0; }, 10000));
    guitest::processEventsFor(100);
    guitest::saveScreenshot(shot(), "sheet");
    EXPECT_FALSE(window->batchButton()->isEnabled());
    window->userCancelAction();
    holdExports = false;
    ASSERT_TRUE(guitest::processEventsUntil([&] { return !window->isBatchRunning(); }, 10000));
    EXPECT_FALSE(window->progressSheet()->isVisible());
    EXPECT_TRUE(errors.empty());
    int exported = 0;
    for (const auto& n : names)
        exported += fs::exists((folder / n).replace_extension(".jpg"));
    EXPECT_EQ(exported, 1);
    EXPECT_TRUE(window->batchButton()->isEnabled());
}

} // namespace
