// The browser window offscreen, with a fake thumbnailer, fake documents and the dialogs
// replaced by the test.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

#include "app/browser/BrowserDataSource.h"
#include "app/browser/FSNodeInfo.h"
#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "app/core/PresetManager.h"
#include "app/ui/browser/BrowserWindowController.h"
#include "app/ui/browser/HelpBubbles.h"
#include "app/ui/browser/PathBar.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "tests/app/browser/BrowserTestSupport.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using namespace app::defaults;
using browser::BrowserHistory;

namespace {

class FakeDocument : public browser::BatchDocument {
  public:
    explicit FakeDocument(fs::path source, std::function<bool(const fs::path&)> fails)
        : source_(std::move(source)), fails_(std::move(fails)) {}
    void addSettingValues(const platform::Dictionary&) override {}
    bool exportToURL(const fs::path& destination, std::string_view, platform::Error* error) override {
        if (fails_ && fails_(source_)) {
            *error = {"RawOpenErrorDomain", -15, "cannot decode " + source_.filename().string()};
            return false;
        }
        testsupport::writeFile(destination.parent_path(), destination.filename().string(),
                               std::string("jpeg"));
        return true;
    }
    void close() override {}

  private:
    fs::path source_;
    std::function<bool(const fs::path&)> fails_;
};

class FakeDocuments : public browser::BatchDocumentFactory {
  public:
    std::unique_ptr<browser::BatchDocument> makeDocument(const fs::path& source, platform::Error*) override {
        return std::make_unique<FakeDocument>(source, fails);
    }
    std::function<bool(const fs::path&)> fails;
};

class BrowserWindow : public testing::Test {
  protected:
    void SetUp() override {
        app::registerApplicationDefaults(platform::UserDefaults::standard());
        platform::UserDefaults::standard().setBool(false, ShowPopoverHelp);
        PresetManager::sharedPresetManager().forgetPresetDirectory();
        for (const char* name : {"a.dng", "b.kdc", "c.nef", "d.crw"})
            testsupport::writeFile(folder.path(), name, std::string("raw"));
        fs::create_directory(folder / "Sub");
        platform::UserDefaults::standard().setObject(platform::Value(folder.path().string()),
                                                     ImageDirectoryBookmark);
        hooks.runAlert = [this](const QString& m, const QString& i) {
            alerts.push_back((m + "|" + i).toStdString());
        };
        hooks.presentError = [this](const platform::Error& e) { errors.push_back(e); };
        hooks.runFolderPanel = [this](const BrowserWindowController::FolderPanel& p) {
            panels.push_back(p);
            return panelAnswer;
        };
        hooks.openDocument = [this](const fs::path& p, platform::Error* e) {
            opened.push_back(p);
            *e = {"LumivarErrorDomain", -2, "no decoder"};
            return false;
        };
        menuTokens[0] = platform::NotificationCenter::defaultCenter().addObserver(
            platform::notification::DisableMenus, nullptr,
            [this](const platform::Notification&) { menus.push_back("off"); });
        menuTokens[1] = platform::NotificationCenter::defaultCenter().addObserver(
            platform::notification::EnableMenus, nullptr,
            [this](const platform::Notification&) { menus.push_back("on"); });
    }
    void TearDown() override {
        for (auto token : menuTokens)
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        PresetManager::sharedPresetManager().forgetPresetDirectory();
    }
    std::unique_ptr<BrowserWindowController> window() {
        return std::make_unique<BrowserWindowController>(documents, thumbs, hooks);
    }
    // Runs the batch menu item and waits for the end of the batch.
    void runBatch(BrowserWindowController& w, const std::string& title) {
        const auto item = w.batchItemTitled(title);
        ASSERT_TRUE(item) << title;
        w.popAction(*item);
        EXPECT_TRUE(platform::MainQueue::shared().runUntil([&] { return !w.isBatchRunning(); },
                                                           std::chrono::seconds(20)));
        platform::MainQueue::shared().drain();
    }

    testsupport::TempHome home;
    testsupport::TempFolder folder;
    std::shared_ptr<FakeDocuments> documents = std::make_shared<FakeDocuments>();
    std::shared_ptr<browsertest::FakeThumbnailer> thumbs = std::make_shared<browsertest::FakeThumbnailer>();
    BrowserWindowController::Hooks hooks;
    std::vector<std::string> alerts, menus;
    std::vector<platform::Error> errors;
    std::vector<BrowserWindowController::FolderPanel> panels;
    std::optional<fs::path> panelAnswer;
    std::vector<fs::path> opened;
    platform::ObserverToken menuTokens[2];
};

TEST_F(BrowserWindow, OpensTheGrantedFolderOrTheLastOneInsideIt) {
    EXPECT_EQ(window()->history().current(), folder.path());
    platform::UserDefaults::standard().setObject(platform::Value((folder / "Sub").string()), ImageDirectory);
    EXPECT_EQ(window()->history().current(), folder / "Sub");
    platform::UserDefaults::standard().setObject(platform::Value("/"), ImageDirectory); // outside the grant
    EXPECT_EQ(window()->history().current(), folder.path());
    platform::UserDefaults::standard().setObject(platform::Value((folder / "a.dng").string()),
                                                 ImageDirectoryBookmark);
    EXPECT_EQ(window()->history().current(), browser::picturesFolder()); // not a folder: no grant
}

TEST_F(BrowserWindow, HistoryButtonsAndThePathBar) {
    auto w = window();
    EXPECT_FALSE(w->backButton()->isEnabled()); // a history of one folder
    EXPECT_FALSE(w->forwardButton()->isEnabled());
    EXPECT_EQ(w->pathControl()->componentURLs().back(), folder.path());
    EXPECT_EQ(w->pathControl()->componentURLs().size(),
              size_t(std::distance(folder.path().begin(), folder.path().end())));

    int sub = -1;
    for (int row = 0; row < w->dataSource()->rowCount(); ++row)
        if (w->dataSource()->itemAtIndex(row)->lastPathComponent() == "Sub") sub = row;
    ASSERT_GE(sub, 0);
    w->cellWasDoubleClicked(sub);
    EXPECT_EQ(w->history().current(), folder / "Sub");
    EXPECT_TRUE(w->backButton()->isEnabled());
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(ImageDirectory), (folder / "Sub").string());
    w->backButton()->click();
    EXPECT_EQ(w->history().current(), folder.path());
    EXPECT_TRUE(w->forwardButton()->isEnabled());
    w->backButtonClick(7); // no such segment
    EXPECT_EQ(w->history().current(), folder.path());
    w->forwardButton()->click();
    EXPECT_EQ(w->history().current(), folder / "Sub");

    // Inside the grant the path bar moves; outside it, the panel asks first.
    w->pathControlClick(folder.path());
    EXPECT_EQ(w->history().current(), folder.path());
    EXPECT_TRUE(panels.empty());
    panelAnswer = home.path();
    w->pathControlClick(folder.path().parent_path());
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].message, "Select a folder to browse.");
    EXPECT_EQ(panels[0].start, folder.path().parent_path());
    EXPECT_EQ(w->history().current(), home.path());
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(ImageDirectoryBookmark), home.path().string());
}

TEST_F(BrowserWindow, DoubleClickOpensAFileAndShowsItsError) {
    auto w = window();
    ASSERT_TRUE(w->selectNames({"b.kdc"}));
    const int row = w->imageBrowser()->selectionModel()->selectedIndexes().front().row();
    w->cellWasDoubleClicked(row);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], folder / "b.kdc");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, -2);
}

TEST_F(BrowserWindow, PresetMenuTitlesAndTheDefaultFallback) {
    {
        auto w = window();
        QMenu* exportWith = w->batchMenu()->actions().at(0)->menu();
        ASSERT_TRUE(exportWith);
        EXPECT_EQ(w->batchMenu()->actions().at(0)->text(), "Export with...");
        EXPECT_EQ(exportWith->windowTitle(), "Export to JPEG with...");
        QStringList titles;
        for (QAction* a : exportWith->actions())
            titles << a->text();
        titles.sort();
        EXPECT_EQ(titles,
                  (QStringList{"Default TIFF export settings", "Default settings", "Zero'd settings"}));
    }
    PresetManager::sharedPresetManager().forgetPresetDirectory();
    fs::remove_all(platform::paths::applicationSupport() / "presets");
    fs::create_directories(platform::paths::applicationSupport() / "presets"); // there, but empty
    auto w = window();
    QMenu* exportWith = w->batchMenu()->actions().at(0)->menu();
    ASSERT_EQ(exportWith->actions().size(), 1);
    EXPECT_EQ(exportWith->actions()[0]->text(), "Default settings");
    EXPECT_FALSE(w->batchItemTitled("Default settings")->preset);
}

TEST_F(BrowserWindow, ExportLocationMenu) {
    auto w = window();
    ASSERT_EQ(w->exportLocationMenu()->actions().size(), 2);
    EXPECT_EQ(w->exportLocationButton()->text(), "This folder");
    panelAnswer = folder / "Sub";
    w->exportLocationMenu()->actions()[1]->trigger(); // "Select export folder..."
    EXPECT_EQ(panels.back().message, "Select export folder");
    EXPECT_TRUE(w->useExportLocation());
    EXPECT_EQ(w->exportLocation(), folder / "Sub");
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(ExportDirectoryBookmark),
              (folder / "Sub").string());
    ASSERT_EQ(w->exportLocationMenu()->actions().size(), 3);
    EXPECT_EQ(w->exportLocationButton()->text().toStdString(), (folder / "Sub").string());
    w->exportPopAction(0);
    EXPECT_EQ(w->exportLocationButton()->text(), "This folder");
    EXPECT_EQ(window()->exportLocation(), folder / "Sub"); // the next window resolves the stored folder
}

TEST_F(BrowserWindow, BatchWithoutSelectionOnlyAlerts) {
    auto w = window();
    w->popAction(*w->batchItemTitled("Default settings"));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "No files selected.|Select files by cmd+click, click+drag, etc");
    EXPECT_TRUE(menus.empty());
    EXPECT_FALSE(w->isBatchRunning());
}

TEST_F(BrowserWindow, BatchExportsTheSelectionBehindTheSheet) {
    // Each export waits for the test, so the bar is read after each file's report.
    std::atomic<int> started{0}, allowed{0};
    documents->fails = [&](const fs::path&) {
        const int mine = ++started;
        while (allowed < mine)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return false;
    };
    auto w = window();
    ASSERT_TRUE(w->selectNames({"a.dng", "c.nef"}));
    EXPECT_TRUE(w->batchButton()->isEnabled());
    w->popAction(*w->batchItemTitled("Default settings"));
    EXPECT_TRUE(w->progressSheet()->isVisible());
    EXPECT_EQ(menus, std::vector<std::string>{"off"});
    for (int file = 1; file <= 2; ++file) {
        ASSERT_TRUE(platform::MainQueue::shared().runUntil([&] { return started == file; },
                                                           std::chrono::seconds(20)));
        platform::MainQueue::shared().drain();
        EXPECT_NEAR(w->progressValue(), file == 1 ? 33.3 : 66.7, 0.05);
        allowed = file;
    }
    ASSERT_TRUE(platform::MainQueue::shared().runUntil([&] { return !w->isBatchRunning(); },
                                                       std::chrono::seconds(20)));
    EXPECT_EQ(w->progressText()->text(), "c.nef");
    EXPECT_FALSE(w->progressSheet()->isVisible());
    EXPECT_EQ(menus, (std::vector<std::string>{"off", "on"}));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(fs::exists(folder / "a.jpg"));
    EXPECT_TRUE(fs::exists(folder / "c.jpg"));
    EXPECT_FALSE(fs::exists(folder / "b.jpg"));
    EXPECT_EQ(w->dataSource()->rowCount(), 7); // the grid lists the new files
}

TEST_F(BrowserWindow, FailingFileIsNamedInOneSummaryAndTheOthersExported) {
    documents->fails = [](const fs::path& p) { return p.filename() == "c.nef"; };
    auto w = window();
    w->selectAll();
    runBatch(*w, "Default settings");
    EXPECT_TRUE(errors.empty()); // not a blocking alert: the browser's own sheet
    QMessageBox* sheet = w->batchSummarySheet();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    // Four files and the folder "Sub".
    EXPECT_EQ(sheet->text().toStdString(), "1 of 5 files could not be exported; nothing was written for it.");
    EXPECT_EQ(sheet->informativeText().toStdString(), "c.nef: cannot decode c.nef");
    ASSERT_TRUE(w->lastBatchError());
    for (const char* written : {"a.jpg", "b.jpg", "d.jpg"})
        EXPECT_TRUE(fs::exists(folder / written)) << written;
    EXPECT_FALSE(fs::exists(folder / "c.jpg"));
    EXPECT_EQ(menus, (std::vector<std::string>{"off", "on"}));

    // A batch without failures leaves no summary behind.
    documents->fails = [](const fs::path&) { return false; };
    sheet->close();
    ASSERT_TRUE(w->selectNames({"a.dng"}));
    runBatch(*w, "Default settings");
    EXPECT_FALSE(w->lastBatchError());
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(BrowserWindow, QuittingDuringABatchStopsAfterTheFileInHand) {
    std::atomic<int> exporting{0};
    documents->fails = [&](const fs::path&) {
        ++exporting;
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the window goes meanwhile
        return false;
    };
    {
        auto w = window();
        ASSERT_TRUE(w->selectNames({"a.dng", "b.kdc", "c.nef"}));
        w->popAction(*w->batchItemTitled("Default settings"));
        while (exporting == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } // the window goes while the first file is in hand
    platform::MainQueue::shared().drain();
    EXPECT_EQ(exporting, 1);
    EXPECT_TRUE(fs::exists(folder / "a.jpg"));
    EXPECT_FALSE(fs::exists(folder / "b.jpg"));
}

TEST_F(BrowserWindow, FolderChangesWaitForTheWatchersQuiet) {
    auto w = window();
    const int before = w->dataSource()->rowCount();
    testsupport::writeFile(folder.path(), "e.nef", std::string("raw"));
    ASSERT_TRUE(platform::MainQueue::shared().runUntil(
        [&] {
            QApplication::processEvents();
            return w->watcherTimer()->isActive();
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(w->watcherTimer()->interval(), 1000);
    EXPECT_EQ(w->dataSource()->rowCount(), before); // not yet
    w->watcherTimer()->stop();
    QMetaObject::invokeMethod(w->watcherTimer(), "timeout", Qt::DirectConnection);
    EXPECT_EQ(w->dataSource()->rowCount(), before + 1);

    // A change of what is listed lists the folder again.
    platform::UserDefaults::standard().setInteger(2, BrowserFileSelect);
    testsupport::writeFile(folder.path(), "notes.txt", std::string("text"));
    platform::MainQueue::shared().drain();
    EXPECT_EQ(w->dataSource()->rowCount(), before + 2);
}

TEST_F(BrowserWindow, AppearanceFollowsTheDesktopPalette) {
    auto w = window();
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    QApplication::setPalette(dark);
    QApplication::processEvents();
    EXPECT_TRUE(w->darkAppearance());
    EXPECT_EQ(w->imageBrowser()->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(w->imageBrowser()->palette().color(QPalette::Text), QColor(Qt::white));
    QApplication::setPalette(original);
    QApplication::processEvents();
    EXPECT_FALSE(w->darkAppearance());
    EXPECT_EQ(w->imageBrowser()->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(w->helpPopovers().size(), 5u);
}

} // namespace

namespace {

// Where the help bubbles go: beside their control inside the window, on the other side when
// the preferred one has no room, and apart from one another.
TEST(HelpBubbles, PlacedInsideTheWindowBesideTheirControls) {
    using help_bubbles::Request;
    const QRect window(0, 0, 1000, 600);
    const QSize bubble(200, 50);
    const struct {
        const char* what;
        QRect anchor;
        Qt::Edge wanted, got;
    } cases[] = {
        {"top bar, wants above", QRect(10, 5, 30, 24), Qt::TopEdge, Qt::BottomEdge},
        {"room above", QRect(400, 300, 30, 24), Qt::TopEdge, Qt::TopEdge},
        {"bottom, wants below", QRect(400, 570, 30, 24), Qt::BottomEdge, Qt::TopEdge},
        {"right edge, wants right", QRect(960, 300, 30, 24), Qt::RightEdge, Qt::LeftEdge},
        {"room on the right", QRect(50, 300, 30, 24), Qt::RightEdge, Qt::RightEdge},
    };
    for (const auto& c : cases) {
        const auto placed = help_bubbles::placeBubbles(window, {Request{c.anchor, bubble, c.wanted}});
        ASSERT_EQ(placed.size(), 1u);
        EXPECT_EQ(placed[0].edge, c.got) << c.what;
        EXPECT_TRUE(window.contains(placed[0].rect)) << c.what;
        EXPECT_FALSE(placed[0].rect.intersects(c.anchor)) << c.what;
    }
    // Centred under a control in the middle; kept inside near the right edge.
    const auto centred =
        help_bubbles::placeBubbles(window, {{QRect(490, 5, 20, 24), bubble, Qt::BottomEdge}});
    EXPECT_NEAR(centred[0].rect.center().x(), 499, 1);
    EXPECT_EQ(centred[0].rect.top(), 29 + help_bubbles::kGap);
    const auto corner = help_bubbles::placeBubbles(window, {{QRect(970, 5, 20, 24), bubble, Qt::BottomEdge}});
    EXPECT_EQ(corner[0].rect.right(), 999);

    // Neighbours' bubbles: the later one moves further out.
    const auto pair = help_bubbles::placeBubbles(window, {{QRect(900, 5, 40, 24), bubble, Qt::BottomEdge},
                                                          {QRect(850, 5, 40, 24), bubble, Qt::BottomEdge}});
    EXPECT_FALSE(pair[0].rect.intersects(pair[1].rect));
    EXPECT_GT(pair[1].rect.top(), pair[0].rect.bottom());
    EXPECT_TRUE(window.contains(pair[1].rect));
}

} // namespace
