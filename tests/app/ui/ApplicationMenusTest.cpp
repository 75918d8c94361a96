// The application's one menu bar: what each item needs to be enabled, the same bar on a
// plain window and on a document's window, Open Recent, the open panel and the help item.
#include "app/ui/ApplicationMenus.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "app/core/AppTables.h"
#include "app/core/MyDocument.h"
#include "app/ui/DocumentController.h"
#include "app/ui/EditingWindow.h"
#include "app/ui/WindowChoosers.h"
#include "display/widgets/SegmentedControl.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "tests/app/ui/WindowTestSupport.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using menus::MenuState;
using menus::Needs;

namespace {

std::set<std::string> enabledItems(QWidget& window) {
    std::set<std::string> names;
    for (QAction* action : window.findChild<QMenuBar*>()->findChildren<QAction*>())
        if (!action->isSeparator() && action->isEnabled() && !action->objectName().isEmpty())
            names.insert(action->objectName().toStdString());
    return names;
}

QAction* item(QWidget& window, const char* name) {
    return window.findChild<QMenuBar*>()->findChild<QAction*>(name);
}

const fs::path kChart = fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";

// A plain window (the browser's kind) with the application's menu bar.
struct PlainMenuWindow {
    bool started = (windowtest::app(), true);
    testsupport::TempHome home;
    DocumentController controller;
    QWidget window;
    PlainMenuWindow() {
        new QVBoxLayout(&window);
        controller.installMenus(&window);
    }
};

} // namespace

TEST(ApplicationMenus, WhatEachItemNeeds) {
    const struct {
        Needs needs;
        MenuState state;
        bool enabled;
    } cases[] = {
        {Needs::Always, {false, false, false, false}, true},
        {Needs::Nothing, {true, false, false, false}, true},
        {Needs::Nothing, {false, true, true, true}, false},
        {Needs::Document, {true, false, false, false}, false},
        {Needs::Document, {true, true, false, false}, true},
        {Needs::Document, {false, true, false, false}, false},
        {Needs::ExternalEditor, {true, true, false, false}, false},
        {Needs::ExternalEditor, {true, true, true, false}, true},
        {Needs::ExternalEditor, {true, false, true, false}, false},
        {Needs::RecentDocuments, {true, false, false, false}, false},
        {Needs::RecentDocuments, {true, false, false, true}, true},
        {Needs::RecentDocuments, {false, false, false, true}, false},
        {Needs::PhotoCdDocument, {true, true, false, false, true}, true},
        {Needs::PhotoCdDocument, {true, true, false, false, false}, false},
        {Needs::PhotoCdDocument, {true, false, false, false, true}, false},
        {Needs::PhotoCdDocument, {false, true, false, false, true}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(menus::itemEnabled(c.needs, c.state), c.enabled)
            << int(c.needs) << " active " << c.state.menusActive << " document " << c.state.hasDocument;

    // Every item has its own name, in one of the six menus.
    std::set<std::string_view> names;
    for (const menus::Item& i : menus::applicationMenuItems()) {
        EXPECT_TRUE(names.insert(i.name).second) << i.name;
        EXPECT_NE(std::find(menus::menuTitles().begin(), menus::menuTitles().end(), i.menu),
                  menus::menuTitles().end())
            << i.name;
    }
}

TEST(ApplicationMenus, APlainWindowAndADocumentsWindowCarryTheSameBar) {
    windowtest::app();
    testsupport::TempHome home;
    DocumentController controller;
    QWidget browserLike;
    new QVBoxLayout(&browserLike);
    controller.installMenus(&browserLike);
    QMenuBar* bar = browserLike.findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QStringList titles;
    for (QAction* menu : bar->actions())
        titles << menu->text();
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "View", "Window", "Lumivar", "Help"}));

    // Without a document, its items are off; the rest is on.
    const std::set<std::string> plain = enabledItems(browserLike);
    for (const char* off : {"export", "exportAsJPEG", "exportAsEXR", "update", "savePreset", "resetCrop",
                            "cursorCrop", "zoomIn", "rotateCW", "openRecent"})
        EXPECT_FALSE(plain.count(off)) << off;
    for (const char* on : {"open", "close", "quit", "selectAll", "showBrowser", "preferences", "reset",
                           "help", "quickReference", "about"})
        EXPECT_TRUE(plain.count(on)) << on;
    EXPECT_FALSE(item(browserLike, "website")->isVisible()); // no invented address

    auto document = MyDocument::create();
    const fs::path chart = home.path() / "chart.dng";
    fs::copy_file(kChart, chart);
    ASSERT_TRUE(document->read(chart.string(), nullptr));
    QPointer<EditingWindow> window = EditingWindow::makeWindowControllers(document);
    controller.installMenus(window);
    const std::set<std::string> editing = enabledItems(*window);
    for (const char* on :
         {"export", "exportAsJPEG", "exportAsTIFF", "exportAsDNG", "exportAsEXR", "savePreset", "resetCrop",
          "cursorPan", "cursorCrop", "cursorEyedropper", "zoomIn", "rotateCW"})
        EXPECT_TRUE(editing.count(on)) << on;
    EXPECT_FALSE(editing.count("update"));            // not opened as an external editor
    EXPECT_FALSE(editing.count("photoCDResolution")); // a DNG is no Photo CD image
    EXPECT_FALSE(plain.count("photoCDResolution"));

    // The mode items follow the window's mode, from the menu, the control or elsewhere.
    EXPECT_TRUE(item(*window, "cursorPan")->isChecked());
    item(*window, "cursorCrop")->trigger();
    EXPECT_EQ(window->cursorMode(), 1u);
    EXPECT_EQ(window->cursorModeControl()->selectedSegment(), 1);
    window->cursorModeControl()->segment(2)->click();
    EXPECT_TRUE(item(*window, "cursorEyedropper")->isChecked());
    item(*window, "resetCrop")->trigger();
    EXPECT_TRUE(item(*window, "cursorPan")->isChecked());

    // A batch leaves only Quit and About, on every window; its end gives the rest back.
    platform::NotificationCenter::defaultCenter().post(platform::notification::DisableMenus);
    ASSERT_TRUE(windowtest::waitFor([&] { return !controller.menusActive(); }));
    EXPECT_EQ(enabledItems(*window), (std::set<std::string>{"about", "quit"}));
    EXPECT_EQ(enabledItems(browserLike), (std::set<std::string>{"about", "quit"}));
    platform::NotificationCenter::defaultCenter().post(platform::notification::EnableMenus);
    ASSERT_TRUE(windowtest::waitFor([&] { return controller.menusActive(); }));
    EXPECT_EQ(enabledItems(*window), editing);
    window->close();
    windowtest::waitFor([] { return false; }, std::chrono::milliseconds(50));
}

// The keys the quick reference teaches are shown beside their items, and each belongs to
// one item only (two would make Qt ignore both).
TEST(ApplicationMenus, ItemsShowTheQuickReferencesKeys) {
    PlainMenuWindow plain;
    QWidget& window = plain.window;
    const std::map<std::string, std::string> taught{
        {"open", "Ctrl+O"},    {"export", "Ctrl+E"},     {"zoomFit", "Ctrl+F"},   {"zoom1", "Ctrl+1"},
        {"zoom2", "Ctrl+2"},   {"zoom3", "Ctrl+3"},      {"zoom4", "Ctrl+4"},     {"zoomIn", "Ctrl+="},
        {"zoomOut", "Ctrl+-"}, {"rotateCW", "Ctrl+R"},   {"rotateCCW", "Ctrl+L"}, {"cursorPan", "P"},
        {"cursorCrop", "C"},   {"cursorEyedropper", "I"}};
    for (const auto& [name, keys] : taught) {
        QAction* action = item(window, name.c_str());
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromStdString(keys))) << name;
    }
    std::set<QString> seen;
    for (QAction* action : window.findChild<QMenuBar*>()->findChildren<QAction*>()) {
        if (action->shortcut().isEmpty()) continue;
        EXPECT_TRUE(seen.insert(action->shortcut().toString()).second)
            << action->shortcut().toString().toStdString();
    }
    // Every key of the quick reference's table is on some item.
    QFile reference(":/help/quick-reference.html");
    ASSERT_TRUE(reference.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(reference.readAll());
    for (const char* keys :
         {"Ctrl+O", "Ctrl+E", "Ctrl+F", "Ctrl+1", "Ctrl+4", "Ctrl+=", "Ctrl+-", "Ctrl+R", "Ctrl+L"}) {
        EXPECT_TRUE(text.contains(keys)) << keys;
        EXPECT_TRUE(seen.count(QKeySequence(keys).toString())) << keys;
    }
}

TEST(ApplicationMenus, OpenRecentKeepsTheLastTenNewestFirst) {
    PlainMenuWindow plain;
    auto& [started, home, controller, window] = plain;
    EXPECT_FALSE(item(window, "openRecent")->isEnabled());
    for (int i = 0; i < 12; ++i)
        controller.noteRecentDocument(home.path() / ("photo" + std::to_string(i) + ".dng"));
    controller.noteRecentDocument(home.path() / "photo5.dng"); // again: to the front, once
    const auto recent = controller.recentDocuments();
    ASSERT_EQ(recent.size(), menus::kRecentDocumentCount);
    EXPECT_EQ(recent.front(), home.path() / "photo5.dng");
    EXPECT_EQ(recent[1], home.path() / "photo11.dng");
    EXPECT_EQ(std::count(recent.begin(), recent.end(), home.path() / "photo5.dng"), 1);
    EXPECT_TRUE(item(window, "openRecent")->isEnabled());

    QMenu* menu = item(window, "openRecent")->menu();
    Q_EMIT menu->aboutToShow();
    QStringList shown;
    for (QAction* action : menu->actions())
        if (action->objectName() == "recentDocument") shown << action->text();
    EXPECT_EQ(shown.size(), 10);
    EXPECT_EQ(shown.front(), "photo5.dng");
    menu->findChild<QAction*>("clearRecent")->trigger();
    EXPECT_TRUE(controller.recentDocuments().empty());
    EXPECT_FALSE(item(window, "openRecent")->isEnabled());
}

TEST(ApplicationMenus, OpenOffersTheDesktopEntrysTypesAndOpensEachChosenFile) {
    windowtest::app();
    testsupport::TempHome home;
    // The desktop entry and the open panel list the same types.
    std::ifstream desktop(fs::path(LUMIVAR_SOURCE_DIR) / "resources" / "lumivar.desktop");
    std::string line, listed;
    while (std::getline(desktop, line))
        if (line.rfind("MimeType=", 0) == 0) listed = line.substr(9);
    std::string ours;
    for (std::string_view type : app::openableMimeTypes())
        ours += std::string(type) + ";";
    EXPECT_EQ(listed, ours);
    const QStringList filters = DocumentController::openPanelFilters();
    ASSERT_FALSE(filters.isEmpty());
    for (const char* pattern : {"*.dng", "*.cr2", "*.nef", "*.arw", "*.jpg", "*.tif"})
        EXPECT_TRUE(filters.front().contains(pattern)) << pattern << " in " << filters.front().toStdString();

    const fs::path first = home.path() / "first.dng", second = home.path() / "second.dng";
    fs::copy_file(kChart, first);
    fs::copy_file(kChart, second);
    const WindowChoosers saved = WindowChoosers::shared();
    QStringList offered;
    WindowChoosers::shared().openFiles = [&](QWidget*, const QString&, const QStringList& f) {
        offered = f;
        return std::vector<fs::path>{first, second};
    };
    DocumentController controller;
    std::vector<EditingWindow*> opened;
    QObject::connect(&controller, &DocumentController::documentWindowOpened,
                     [&](EditingWindow* w) { opened.push_back(w); });
    QWidget window;
    new QVBoxLayout(&window);
    controller.installMenus(&window);
    item(window, "open")->trigger();
    WindowChoosers::shared() = saved;
    EXPECT_EQ(offered, filters);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(controller.recentDocuments().front(), second);
    EXPECT_EQ(controller.lastShownWindow(), opened.back());
    for (auto* w : opened)
        w->close();
    windowtest::waitFor([] { return false; }, std::chrono::milliseconds(50));
}

TEST(ApplicationMenus, HelpWithoutAnAddressIsTheQuickReference) {
    windowtest::app();
    testsupport::TempHome home;
    DocumentController controller;
    controller.setHelpAddresses({});
    QWidget window;
    new QVBoxLayout(&window);
    controller.installMenus(&window);
    item(window, "help")->trigger();
    EXPECT_TRUE(controller.quickReferenceLoaded());
    bool shown = false;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* text = qobject_cast<QTextBrowser*>(top))
            shown = shown || (text->isVisible() && text->toPlainText().contains("Lumivar quick reference"));
    EXPECT_TRUE(shown);
}
