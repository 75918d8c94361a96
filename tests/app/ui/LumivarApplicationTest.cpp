#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>
#include <map>

#include "app/ui/LumivarApplication.h"

namespace {

// A window with a menu of the shortcuts the rewriting aims at, counting what fires.
class MenuWindow {
  public:
    MenuWindow() {
        QMenu* menu = window.menuBar()->addMenu("View");
        for (const char* keys : {"Ctrl+E", "Ctrl+F", "Ctrl+-", "Ctrl+1", "Ctrl+S", "Ctrl+0", "Ctrl+Alt+0"}) {
            QAction* action = menu->addAction(keys);
            action->setShortcut(QKeySequence(keys));
            QObject::connect(action, &QAction::triggered, [this, keys] { ++fired[keys]; });
        }
        field = new QLineEdit(&window);
        window.setCentralWidget(field);
        window.show();
        window.activateWindow();
        field->setFocus();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // What one key press fired.
    std::map<std::string, int> press(int key, Qt::KeyboardModifiers modifiers) {
        fired.clear();
        // QTest makes the text of ASCII keys only; a dash's text is its own character.
        const QString text = key < 0x80 ? QString() : QString(QChar(char16_t(key)));
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key(key), modifiers);
        else
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key(key), text, modifiers);
        return fired;
    }

    QMainWindow window;
    QLineEdit* field = nullptr;
    std::map<std::string, int> fired;
};

using Fired = std::map<std::string, int>;

} // namespace

TEST(LumivarApplication, KeysActAsTheMenusOwn) {
    MenuWindow w;
    EXPECT_EQ(w.press(Qt::Key_S, Qt::ControlModifier), (Fired{{"Ctrl+E", 1}}));
    EXPECT_EQ(w.press(Qt::Key_0, Qt::ControlModifier), (Fired{{"Ctrl+F", 1}}));
    EXPECT_EQ(w.press(0x2013, Qt::ControlModifier), (Fired{{"Ctrl+-", 1}})) << "en dash";
    EXPECT_EQ(w.press(0x2212, Qt::ControlModifier), (Fired{{"Ctrl+-", 1}})) << "minus sign";
    EXPECT_EQ(w.press(Qt::Key_macron, Qt::ControlModifier), (Fired{{"Ctrl+-", 1}}));
    EXPECT_EQ(w.press(Qt::Key_Underscore, Qt::ControlModifier | Qt::ShiftModifier), (Fired{{"Ctrl+-", 1}}));
    EXPECT_EQ(w.press(Qt::Key_0, Qt::ControlModifier | Qt::AltModifier), (Fired{{"Ctrl+1", 1}}));
    EXPECT_EQ(w.press(Qt::Key_1, Qt::ControlModifier), (Fired{{"Ctrl+1", 1}}));
    EXPECT_EQ(w.press(Qt::Key_E, Qt::ControlModifier), (Fired{{"Ctrl+E", 1}}));
}

TEST(LumivarApplication, PlainKeysAndDisabledTargetsPassUntouched) {
    MenuWindow w;
    EXPECT_EQ(w.press(Qt::Key_S, Qt::NoModifier), Fired{});
    EXPECT_EQ(w.field->text(), "s");
    // With the aimed-at item disabled (as during a batch export) nothing fires at all, not
    // even the original combination's own item.
    for (QAction* action : w.window.menuBar()->actions()[0]->menu()->actions())
        if (action->text() == "Ctrl+E") action->setEnabled(false);
    EXPECT_EQ(w.press(Qt::Key_S, Qt::ControlModifier), Fired{});
    EXPECT_EQ(w.field->text(), "s");
}

TEST(LumivarApplication, TheRewriteTable) {
    using R = LumivarApplication;
    const auto ctrl = Qt::ControlModifier;
    EXPECT_EQ(R::rewrittenKey(Qt::Key_S, ctrl), QKeyCombination(ctrl, Qt::Key_E));
    EXPECT_EQ(R::rewrittenKey(Qt::Key_S, ctrl | Qt::ShiftModifier),
              QKeyCombination(ctrl | Qt::ShiftModifier, Qt::Key_E));
    EXPECT_EQ(R::rewrittenKey(0x2014, ctrl), QKeyCombination(ctrl, Qt::Key_Minus));
    EXPECT_EQ(R::rewrittenKey(0x2012, ctrl), QKeyCombination(ctrl, Qt::Key_Minus));
    EXPECT_EQ(R::rewrittenKey(Qt::Key_0, ctrl | Qt::AltModifier), QKeyCombination(ctrl, Qt::Key_1));
    EXPECT_EQ(R::rewrittenKey(Qt::Key_S, ctrl | Qt::AltModifier), std::nullopt);
    EXPECT_EQ(R::rewrittenKey(Qt::Key_0, Qt::AltModifier), std::nullopt);
    EXPECT_EQ(R::rewrittenKey(Qt::Key_S, Qt::NoModifier), std::nullopt);
    EXPECT_EQ(R::rewrittenKey(Qt::Key_1, ctrl), std::nullopt);
    EXPECT_EQ(R::rewrittenKey(Qt::Key_Minus, ctrl), std::nullopt);
}

// With no shortcut for the rewritten combination, the focus widget gets the rewritten press.
TEST(LumivarApplication, TheKeyPressItselfIsRewritten) {
    struct Recorder : QWidget {
        std::vector<QKeyCombination> presses;
        void keyPressEvent(QKeyEvent* e) override {
            if (e->key() != Qt::Key_Control) presses.push_back(e->keyCombination());
        }
    } recorder;
    recorder.setFocusPolicy(Qt::StrongFocus);
    recorder.show();
    recorder.activateWindow();
    recorder.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&recorder));
    QTest::keyClick(&recorder, Qt::Key_0, Qt::ControlModifier);
    QTest::keyClick(&recorder, Qt::Key_2, Qt::ControlModifier);
    ASSERT_EQ(recorder.presses.size(), 2u);
    EXPECT_EQ(recorder.presses[0], QKeyCombination(Qt::ControlModifier, Qt::Key_F));
    EXPECT_EQ(recorder.presses[1], QKeyCombination(Qt::ControlModifier, Qt::Key_2));
}
