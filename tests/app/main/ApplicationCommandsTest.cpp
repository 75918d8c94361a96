// The automation commands of any window (menu, click, type, choose, expect-item, the window in
// front) and of the browser (browse, select, batch, wait-batch, cancel), offscreen.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "app/core/PresetManager.h"
#include "app/main/LumivarProgram.h"
#include "app/ui/WindowChoosers.h"
#include "app/ui/browser/BrowserWindowController.h"
#include "platform/UserDefaults.h"
#include "tests/app/main/FakeViewerDocument.h"
#include "tests/app/main/RunScript.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using maintest::runScript;

namespace {

// A window of the application's kind: a menu bar, a field, a pop-up and a button.
struct FrontWindow {
    FrontWindow() {
        auto* body = new QWidget(&window);
        auto* layout = new QVBoxLayout(body);
        name->setObjectName("name");
        kinds->setObjectName("kinds");
        kinds->addItems({"Grey", "Sepia"});
        go->setObjectName("goButton");
        layout->addWidget(name);
        layout->addWidget(kinds);
        layout->addWidget(go);
        window.setCentralWidget(body);
        QObject::connect(go, &QPushButton::clicked, [this] { ++clicks; });
        QMenu* file = window.menuBar()->addMenu("&File");
        QObject::connect(file->addAction("Open…"), &QAction::triggered, [this] {
            chosen = WindowChoosers::shared().openFiles(&window, "Open", {"Images (*.dng *.jpg)"});
        });
        file->addAction("Later")->setEnabled(false);
        window.show();
    }
    QMainWindow window;
    QLineEdit* name = new QLineEdit;
    QComboBox* kinds = new QComboBox;
    QPushButton* go = new QPushButton("Go");
    int clicks = 0;
    std::vector<fs::path> chosen;
};

} // namespace

TEST(ApplicationCommands, MenusButtonsFieldsAndTheOpenDialog) {
    testsupport::TempHome home;
    for (const char* name : {"a.dng", "b.dng"})
        std::ofstream(home.path() / name) << "raw";
    auto log = std::make_shared<maintest::FakeViewerDocument::Log>();
    LumivarProgram program(maintest::chartOpener(log), {true, home.path(), std::nullopt});
    FrontWindow front;
    ASSERT_EQ(program.frontWindow(), &front.window);

    auto run = runScript(program, "menu \"File/Open...\"\nchoose a.dng\n"
                                  "menu \"File/Open\"\nchoose a.dng b.dng\n"
                                  "type name Noir\nexpect-item kinds Sepia\nclick goButton\nclick Go\n");
    EXPECT_EQ(run.status, 0) << run.report;
    EXPECT_EQ(front.chosen, (std::vector<fs::path>{home.path() / "a.dng", home.path() / "b.dng"}));
    EXPECT_EQ(front.name->text(), "Noir");
    EXPECT_EQ(front.clicks, 2);

    run = runScript(program, "menu \"File/Later\"\nmenu \"File/Nothing\"\nmenu \"Edit/Copy\"\n"
                             "click nothing\nexpect-item kinds Blue\nchoose a.dng\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.report, "line 1: FAILED: menu \"File/Later\": the item is disabled\n"
                          "line 2: FAILED: menu \"File/Nothing\": no menu item File/Nothing\n"
                          "line 3: FAILED: menu \"Edit/Copy\": no menu item Edit\n"
                          "line 4: FAILED: click nothing: no button nothing\n"
                          "line 5: FAILED: expect-item kinds Blue: the pop-up offers Grey, Sepia\n"
                          "line 6: FAILED: choose a.dng: no file dialog is open\n");

    // A dialog that does not take the name stays open: the script says so and goes on.
    run = runScript(program, "menu \"File/Open...\"\nchoose missing.dng\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.report.find("FAILED: choose missing.dng: no such file: "), std::string::npos) << run.report;
}

TEST(ApplicationCommands, TheBrowsersBatchOfTheChart) {
    testsupport::TempHome home;
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    platform::UserDefaults::standard().setBool(false, app::defaults::ShowPopoverHelp);
    PresetManager::sharedPresetManager().forgetPresetDirectory();
    const fs::path photos = home.path() / "photos", out = home.path() / "out";
    fs::create_directories(photos);
    fs::create_directories(out);
    for (const char* name : {"one.dng", "two.dng"})
        fs::copy_file(fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng", photos / name);
    auto log = std::make_shared<maintest::FakeViewerDocument::Log>();
    LumivarProgram program(maintest::chartOpener(log), {true, home.path(), std::nullopt});
    BrowserWindowController browser;
    program.setBrowser(&browser);

    auto run = runScript(program, "batch Default\nbrowse photos\nselect none.dng\nbatch Default\n"
                                  "select one.dng two.dng\nbatch Nonexistent\nbatch Default nowhere\n"
                                  "batch Default out\nwait-batch 120\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.report, "line 1: FAILED: batch Default: no files selected\n"
                          "line 2: ok: browse photos\n"
                          "line 3: FAILED: select none.dng: not all of them are in the folder\n"
                          "line 4: FAILED: batch Default: no files selected\n"
                          "line 5: ok: select one.dng two.dng\n"
                          "line 6: FAILED: batch Nonexistent: no preset Nonexistent\n"
                          "line 7: FAILED: batch Default nowhere: not a folder: " +
                              (home.path() / "nowhere").string() +
                              "\n"
                              "line 8: ok: batch Default out: started\n"
                              "line 9: ok: wait-batch 120\n");
    EXPECT_TRUE(fs::exists(out / "one.jpg"));
    EXPECT_TRUE(fs::exists(out / "two.jpg"));
    EXPECT_EQ(program.frontWindow(), &browser);

    // Beside the originals; cancelled at once, the file in hand still finishes.
    run = runScript(program, "select all\nbatch Default\ncancel\nwait-batch 120\n");
    EXPECT_EQ(run.status, 0) << run.report;
    EXPECT_FALSE(browser.isBatchRunning());
    PresetManager::sharedPresetManager().forgetPresetDirectory();
}
