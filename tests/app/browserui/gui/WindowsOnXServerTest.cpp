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

// Every bubble inside the window, none over another.
void expectInsideAndApart(BrowserWindowController& window) {
    std::vector<QRect> seen;
    for (QWidget* bubble : window.helpPopovers()) {
        EXPECT_TRUE(bubble->isVisible());
        EXPECT_TRUE(window.rect().contains(bubble->geometry()))
            << bubble->geometry().x() << "," << bubble->geometry().y() << " in " << window.width() << "x"
            << window.height();
        for (const QRect& other : seen)
            EXPECT_FALSE(other.intersects(bubble->geometry()));
        seen.push_back(bubble->geometry());
    }
}

TEST(WindowsOnXServer, HelpBubblesStayInsideTheWindowUntilDismissedOnce) {
    LV_REQUIRE_X_SERVER();
    testsupport::TempHome home;
    testsupport::TempFolder folder;
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    platform::UserDefaults::standard().setObject(platform::Value(folder.path().string()),
                                                 app::defaults::ImageDirectoryBookmark);
    {
        BrowserWindowController window;
        window.resize(1000, 600);
        window.move(0, 0); // at the top of the screen, where bubbles above the bar would be lost
        window.showBrowser();
        guitest::processEventsFor(200);
        for (QWidget* bubble : window.helpPopovers())
            EXPECT_FALSE(bubble->isVisible());
        ASSERT_TRUE(
            guitest::processEventsUntil([&] { return window.helpPopovers().front()->isVisible(); }, 3000));
        guitest::processEventsFor(200);
        expectInsideAndApart(window);
        guitest::saveScreenshot(window.screen()->grabWindow(window.winId()), "bubbles");

        // A click elsewhere leaves them; a narrower window takes them along.
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &press);
        const QRect batchBubble = window.helpPopovers()[1]->geometry();
        window.resize(700, 500);
        ASSERT_TRUE(guitest::processEventsUntil([&] { return window.width() == 700; }, 3000));
        guitest::processEventsFor(200);
        expectInsideAndApart(window);
        EXPECT_LT(window.helpPopovers()[1]->geometry().x(), batchBubble.x()); // follows its control
        guitest::saveScreenshot(window.screen()->grabWindow(window.winId()), "bubbles-narrow");

        // A click on one hides them all, for good.
        QWidget* first = window.helpPopovers().front();
        QMouseEvent onBubble(QEvent::MouseButtonPress, QPointF(10, 10), first->mapToGlobal(QPointF(10, 10)),
                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(first, &onBubble);
        for (QWidget* bubble : window.helpPopovers())
            EXPECT_FALSE(bubble->isVisible());
        EXPECT_FALSE(platform::UserDefaults::standard().boolForKey(app::defaults::ShowPopoverHelp));
    }
    BrowserWindowController again;
    again.showBrowser();
    guitest::processEventsFor(1200);
    for (QWidget* bubble : again.helpPopovers())
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
