#pragma once
// The application object. It rewrites a few key combinations before anything sees them, so
// that keys the photographer reaches for act as the menu's own: Ctrl+S as Ctrl+E, Ctrl+0 as
// Ctrl+F, Ctrl with "_", the macron or any dash as Ctrl+-, and Ctrl+Alt+0 as Ctrl+1.
// Both the shortcut lookup (ShortcutOverride) and the key press itself are rewritten.
#include <QApplication>
#include <QKeyCombination>
#include <optional>

class LumivarApplication : public QApplication {
    Q_OBJECT
  public:
    LumivarApplication(int& argc, char** argv);

    // The combination a key press acts as, or none when it passes unchanged.
    static std::optional<QKeyCombination> rewrittenKey(int key, Qt::KeyboardModifiers modifiers);

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    bool rewriteShortcutOverride(QObject* receiver, class QKeyEvent* event, QKeyCombination mapped);
    bool rewriteKeyPress(QObject* receiver, class QKeyEvent* event, QKeyCombination mapped);

    // The press whose rewritten combination already fired a shortcut: it is not delivered.
    struct Fired {
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        quint64 timestamp = 0;
    };
    std::optional<Fired> fired_;
};
