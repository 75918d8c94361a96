#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <fstream>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "app/ui/LumivarAppDelegate.h"
#include "app/ui/SplashScreenPanel.h"
#include "platform/Paths.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
namespace keys = app::defaults;
using platform::UserDefaults;

namespace {

struct Defaults {
    testsupport::TempHome home;
    UserDefaults defaults{home.path() / "defaults.plist"};
    Defaults() { app::registerApplicationDefaults(defaults); }
};

} // namespace

TEST(LumivarAppDelegate, CrashGuardTable) {
    struct Case {
        bool wasRunning, frameBufferOff, cacheOff;
        bool frameBufferAfter, cacheAfter;
    } cases[] = {
        {false, false, false, false, false}, // the last run ended normally
        {true, false, false, true, true},    // it did not: both off
        {true, true, false, true, false},    // frame buffer already off: the cache keeps its value
        {true, true, true, true, true},      {false, true, false, true, false},
    };
    for (const auto& c : cases) {
        Defaults d;
        d.defaults.setBool(c.wasRunning, keys::LumivarIsRunning);
        d.defaults.setBool(c.frameBufferOff, keys::DisableFrameBuffer);
        d.defaults.setBool(c.cacheOff, keys::DisableImageCache);
        LumivarAppDelegate::applyCrashGuard(d.defaults);
        EXPECT_EQ(d.defaults.boolForKey(keys::DisableFrameBuffer), c.frameBufferAfter)
            << c.wasRunning << c.frameBufferOff;
        EXPECT_EQ(d.defaults.boolForKey(keys::DisableImageCache), c.cacheAfter)
            << c.wasRunning << c.frameBufferOff;
    }
}

TEST(LumivarAppDelegate, LaunchEmptiesOnlyItsOwnTemporaryFolderAndKeepsTheRunningFlag) {
    Defaults d;
    const fs::path temporary = platform::paths::ensure(platform::paths::temporary());
    fs::create_directories(temporary / "pixels");
    std::ofstream(temporary / "pixels" / "buffer-1") << "left by an earlier run";
    std::ofstream(temporary / "buffer-2") << "left by an earlier run";
    const fs::path neighbour = temporary.parent_path() / "not-ours.txt";
    std::ofstream(neighbour) << "another program's";

    {
        LumivarAppDelegate delegate(d.defaults);
        EXPECT_FALSE(delegate.applicationShouldOpenUntitledFile());
        delegate.applicationDidFinishLaunching();
        EXPECT_TRUE(fs::is_empty(temporary));
        EXPECT_TRUE(fs::exists(neighbour));
        EXPECT_TRUE(d.defaults.boolForKey(keys::LumivarIsRunning));
        EXPECT_FALSE(d.defaults.boolForKey(keys::DisableFrameBuffer)) << "a first launch is no crash";
        ASSERT_NE(delegate.splashScreenPanel(), nullptr) << "shown at once, over the start";
        EXPECT_TRUE(delegate.splashScreenPanel()->isVisible());
        delegate.applicationWillTerminate();
        EXPECT_FALSE(d.defaults.boolForKey(keys::LumivarIsRunning));
    }
    // The flag is on the disk at once: a run that dies leaves it for the next launch.
    LumivarAppDelegate first(d.defaults);
    first.applicationDidFinishLaunching();
    UserDefaults reread(d.home.path() / "defaults.plist");
    EXPECT_TRUE(reread.boolForKey(keys::LumivarIsRunning));
    app::registerApplicationDefaults(reread);
    LumivarAppDelegate second(reread);
    second.applicationDidFinishLaunching();
    EXPECT_TRUE(reread.boolForKey(keys::DisableFrameBuffer));
    EXPECT_TRUE(reread.boolForKey(keys::DisableImageCache));
}

TEST(LumivarAppDelegate, NoSplashWhenThePreferenceIsOff) {
    Defaults d;
    d.defaults.setBool(false, keys::ShowSplashScreen);
    LumivarAppDelegate delegate(d.defaults);
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(delegate.splashScreenPanel(), nullptr);
    EXPECT_FALSE(delegate.splashScreenTimer()->isActive());
}

// 230 ticks of 50 ms: opaque for 90, fading over 140, then gone.
TEST(LumivarAppDelegate, TheSplashStaysThenFadesAndGoes) {
    Defaults d;
    LumivarAppDelegate delegate(d.defaults);
    delegate.startSplashScreenPanel();
    SplashScreenPanel* panel = delegate.splashScreenPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(delegate.splashScreenTimer()->interval(), 50);
    EXPECT_TRUE(delegate.splashScreenTimer()->isActive());
    for (int tick = 0; tick < 90; ++tick)
        delegate.splashTimerFireMethod();
    EXPECT_EQ(delegate.splashScreenCountDown(), 140);
    EXPECT_DOUBLE_EQ(panel->windowOpacity(), 1.0);
    delegate.splashTimerFireMethod();
    EXPECT_NEAR(panel->windowOpacity(), 139.0 / 140, 0.01);
    for (int tick = 0; tick < 70; ++tick)
        delegate.splashTimerFireMethod();
    EXPECT_NEAR(panel->windowOpacity(), 0.5, 0.01);
    for (int tick = 0; tick < 69; ++tick)
        delegate.splashTimerFireMethod();
    EXPECT_EQ(delegate.splashScreenCountDown(), 0);
    EXPECT_NE(delegate.splashScreenPanel(), nullptr);
    delegate.splashTimerFireMethod();
    EXPECT_EQ(delegate.splashScreenPanel(), nullptr);
    EXPECT_FALSE(delegate.splashScreenTimer()->isActive());
}

TEST(LumivarAppDelegate, AClickOrAKeyHidesTheSplashAtOnce) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::KeyPress}) {
        SplashScreenPanel panel;
        panel.show();
        if (type == QEvent::KeyPress) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
            QCoreApplication::sendEvent(&panel, &key);
        } else {
            QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                              Qt::RightButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&panel, &click);
        }
        EXPECT_FALSE(panel.isVisible()) << int(type);
    }
}

// The first window of any kind ends the splash, so it never lies over a document, the
// browser or an alert; menus and tooltips opening do not count.
TEST(LumivarAppDelegate, AnyWindowThatAppearsEndsTheSplash) {
    Defaults d;
    LumivarAppDelegate delegate(d.defaults);
    delegate.applicationDidFinishLaunching();
    ASSERT_NE(delegate.splashScreenPanel(), nullptr);

    QWidget child;
    QWidget inner(&child); // a widget inside a window is no window
    inner.show();
    QMenu menu;
    menu.addAction("Item");
    menu.popup(QPoint(10, 10));
    EXPECT_NE(delegate.splashScreenPanel(), nullptr);
    menu.close();

    QMessageBox alert(QMessageBox::Critical, "Lumivar", "D7100_truncated.NEF: Unsupported file type");
    alert.show();
    EXPECT_EQ(delegate.splashScreenPanel(), nullptr);
    EXPECT_FALSE(delegate.splashScreenTimer()->isActive());
    EXPECT_EQ(delegate.splashScreenCountDown(), 0);

    // Later windows find nothing to hide, and the splash does not come back.
    QWidget window;
    window.show();
    delegate.splashTimerFireMethod();
    EXPECT_EQ(delegate.splashScreenPanel(), nullptr);
}

TEST(LumivarAppDelegate, ADocumentOrBrowserWindowEndsTheSplash) {
    Defaults d;
    LumivarAppDelegate delegate(d.defaults);
    delegate.startSplashScreenPanel();
    QWidget window;
    window.resize(200, 100);
    window.show();
    EXPECT_EQ(delegate.splashScreenPanel(), nullptr);
}
