// The preferences window offscreen: pages, bound controls, the raw search folder.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QToolBar>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "app/ui/preferences/PreferencesController.h"
#include "platform/UserDefaults.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using namespace app::defaults;

namespace {

class Preferences : public testing::Test {
  protected:
    void SetUp() override { app::registerApplicationDefaults(platform::UserDefaults::standard()); }
    testsupport::TempHome home;
    testsupport::TempFolder folder;
};

TEST_F(Preferences, ElevenPagesOneToolbarItemEach) {
    PreferencesController prefs;
    ASSERT_EQ(prefs.tabView()->count(), PreferencesController::kPageCount);
    ASSERT_EQ(prefs.prefsToolBar()->actions().size(), PreferencesController::kPageCount);
    for (int i = PreferencesController::kPageCount - 1; i >= 0; --i) {
        prefs.prefsToolBar()->actions()[i]->trigger();
        EXPECT_EQ(prefs.tabView()->currentIndex(), i);
    }
    prefs.selectTab(11);
    EXPECT_EQ(prefs.tabView()->currentIndex(), 0);
}

TEST_F(Preferences, ControlsFollowTheDefaultsBothWays) {
    PreferencesController prefs;
    auto* overwrite = prefs.findChild<QCheckBox*>(QString::fromUtf8(SilentlyOverwrite.data()));
    auto* select = prefs.findChild<QComboBox*>(QString::fromUtf8(BrowserFileSelect.data()));
    ASSERT_TRUE(overwrite && select);
    EXPECT_FALSE(overwrite->isChecked());
    EXPECT_EQ(select->currentIndex(), 1);
    overwrite->click();
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(SilentlyOverwrite));
    platform::UserDefaults::standard().setInteger(2, BrowserFileSelect);
    EXPECT_EQ(select->currentIndex(), 2);
    platform::UserDefaults::standard().setBool(false, SilentlyOverwrite);
    EXPECT_FALSE(overwrite->isChecked());
    EXPECT_EQ(prefs.findChildren<QCheckBox*>().size(), 13);
}

TEST_F(Preferences, RawSearchFolderIsStoredOnlyWhenItIsAReadableFolder) {
    PreferencesController prefs;
    EXPECT_FALSE(prefs.rawSearch());
    EXPECT_TRUE(prefs.pathControlLabel()->text().isEmpty());

    EXPECT_TRUE(prefs.setRawSearch(folder.path()));
    EXPECT_EQ(prefs.rawSearch(), folder.path());
    EXPECT_EQ(prefs.pathControlLabel()->text().toStdString(), folder.path().string());
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(RawSearchDirectoryBookmark),
              folder.path().string());

    const fs::path file = testsupport::writeFile(folder.path(), "a.nef", std::string("x"));
    for (const fs::path& refused : {file, folder / "missing", fs::path()}) {
        EXPECT_FALSE(prefs.setRawSearch(refused)) << refused;
        EXPECT_EQ(prefs.rawSearch(), folder.path());
    }
    // A stored folder that went away no longer resolves.
    fs::create_directory(folder / "gone");
    ASSERT_TRUE(prefs.setRawSearch(folder / "gone"));
    fs::remove(folder / "gone");
    EXPECT_FALSE(prefs.rawSearch());
    platform::UserDefaults::standard().setInteger(7, RawSearchDirectoryBookmark); // not a path at all
    EXPECT_FALSE(prefs.rawSearch());
}

TEST_F(Preferences, PathMenuHoldsOnlyChooseWhichSetsTheFolder) {
    PreferencesController prefs;
    ASSERT_TRUE(prefs.setRawSearch(folder.path()));
    QMenu* menu = prefs.pathControlMenu();
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "Choose...");

    QMenu other;
    other.addAction("one");
    other.addSeparator();
    other.addAction("two");
    PreferencesController::pathControlWillPopUpMenu(&other);
    EXPECT_EQ(other.actions().size(), 1);

    fs::create_directory(folder / "raws");
    bool panelWasForFolders = false;
    prefs.setFolderChooser([&](QFileDialog& panel) -> std::optional<fs::path> {
        panelWasForFolders = panel.fileMode() == QFileDialog::Directory;
        return folder / "raws";
    });
    menu->actions()[0]->trigger();
    EXPECT_TRUE(panelWasForFolders);
    EXPECT_EQ(prefs.rawSearch(), folder / "raws");
}

} // namespace
