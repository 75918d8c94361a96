// Key presses that come from the X server itself (through the XTEST extension), so the
// rewriting is seen on the road real keyboards take: X event, Qt's shortcut map, the menus.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <map>
#include <string>
#include <vector>

#include "tests/display/gui/GuiTestSupport.h"

namespace {

// libXtst is loaded when present; its header need not be installed.
class FakeKeyboard {
  public:
    FakeKeyboard() {
        library_ = dlopen("libXtst.so.6", RTLD_NOW);
        if (library_) fake_ = reinterpret_cast<Fake>(dlsym(library_, "XTestFakeKeyEvent"));
        display_ = XOpenDisplay(nullptr);
    }
    ~FakeKeyboard() {
        if (display_) XCloseDisplay(display_);
        if (library_) dlclose(library_);
    }
    bool usable() const { return fake_ && display_; }

    // Presses the keys in order and lets them go in reverse order.
    void chord(const std::vector<KeySym>& keys) {
        for (KeySym key : keys)
            fake_(display_, XKeysymToKeycode(display_, key), True, 0);
        for (auto key = keys.rbegin(); key != keys.rend(); ++key)
            fake_(display_, XKeysymToKeycode(display_, *key), False, 0);
        XFlush(display_);
    }

  private:
    using Fake = int (*)(Display*, unsigned int, int, unsigned long);
    void* library_ = nullptr;
    Fake fake_ = nullptr;
    Display* display_ = nullptr;
};

} // namespace

TEST(RealKeysOnXServer, CtrlSAndCtrlAlt0ReachTheMenusRewritten) {
    LV_REQUIRE_X_SERVER();
    FakeKeyboard keyboard;
    if (!keyboard.usable()) GTEST_SKIP() << "no XTEST library";

    QMainWindow window;
    std::map<std::string, int> fired;
    QMenu* menu = window.menuBar()->addMenu("View");
    for (const char* keys : {"Ctrl+E", "Ctrl+S", "Ctrl+1", "Ctrl+F"}) {
        QAction* action = menu->addAction(keys);
        action->setShortcut(QKeySequence(keys));
        QObject::connect(action, &QAction::triggered, [&fired, keys] { ++fired[keys]; });
    }
    auto* central = new QWidget(&window);
    auto* plain = new QWidget(central);
    plain->setFocusPolicy(Qt::StrongFocus);
    auto* field = new QLineEdit(central);
    field->move(0, 60);
    window.setCentralWidget(central);
    window.resize(400, 200);
    window.show();
    window.activateWindow();
    plain->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    const auto press = [&](const std::vector<KeySym>& keys) {
        fired.clear();
        keyboard.chord(keys);
        guitest::processEventsUntil([&] { return !fired.empty(); }, 400);
        guitest::processEventsFor(100);
        return fired;
    };
    using Fired = std::map<std::string, int>;
    EXPECT_EQ(press({XK_Control_L, XK_Alt_L, XK_0}), (Fired{{"Ctrl+1", 1}}));
    EXPECT_EQ(press({XK_Control_L, XK_s}), (Fired{{"Ctrl+E", 1}}));
    EXPECT_EQ(press({XK_Control_L, XK_0}), (Fired{{"Ctrl+F", 1}}));
    EXPECT_EQ(press({XK_Control_L, XK_1}), (Fired{{"Ctrl+1", 1}}));

    // In a text field Ctrl+E belongs to the field (end of line on X11), and so does Ctrl+S.
    field->setFocus();
    guitest::processEventsFor(50);
    EXPECT_EQ(press({XK_Control_L, XK_e}), Fired{});
    EXPECT_EQ(press({XK_Control_L, XK_s}), Fired{});
    EXPECT_EQ(press({XK_s}), Fired{});
    EXPECT_EQ(field->text(), "s");
}
