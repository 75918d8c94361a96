// The help bubbles of the browser and the preferences window, on the X server.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QStackedWidget>
#include <gtest/gtest.h>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "app/ui/browser/BrowserWindowController.h"
#include "app/ui/preferences/PreferencesController.h"
#include "platform/UserDefaults.h"
#include "tests/display/gui/GuiTestSupport.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace {

TEST(WindowsOnXServer, HelpBubblesAppearHalfASecondAfterLoadAndGoAtAClick) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    testsupport::TempFolder folder;
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    platform::UserDefaults::standard().setObject(platform::Value(folder.path().string()),
                                                 app::defaults::ImageDirectoryBookmark);
    BrowserWindowController window;
    window.resize(1000, 600);
    window.move(300, 200);
    window.showBrowser();
    guitest::processEventsFor(200);
    for (QWidget* bubble : window.helpPopovers())
        EXPECT_FALSE(bubble->isVisible());
    ASSERT_TRUE(
        guitest::processEventsUntil([&] { return window.helpPopovers().front()->isVisible(); }, 3000));
    guitest::processEventsFor(200);
    for (QWidget* bubble : window.helpPopovers())
        EXPECT_TRUE(bubble->isVisible());
    guitest::saveScreenshot(QApplication::primaryScreen()->grabWindow(0, 250, 120, 1100, 760), "bubbles");
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
    for (QWidget* bubble : window.helpPopovers())
        EXPECT_FALSE(bubble->isVisible());
}

TEST(WindowsOnXServer, PreferencesPages) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    testsupport::TempFolder folder;
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    PreferencesController prefs;
    ASSERT_TRUE(prefs.setRawSearch(folder.path()));
    prefs.show();
    ASSERT_TRUE(guitest::processEventsUntil([&] { return prefs.isVisible(); }));
    for (int page : {1, 3}) {
        prefs.selectTab(page);
        guitest::processEventsFor(200);
        guitest::saveScreenshot(prefs.screen()->grabWindow(prefs.winId()), "page" + std::to_string(page));
    }
    EXPECT_EQ(prefs.pathControlLabel()->text().toStdString(), folder.path().string());
}

} // namespace
