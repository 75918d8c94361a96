#include "app/ui/LumivarApplication.h"

#include <QKeyEvent>
#include <array>

#include "app/ui/AppIcon.h"

// Qt's own entry to its shortcut map with a key of the caller's choosing (what its test
// library presses keys through): the rewritten combination then finds its shortcut under
// Qt's usual rules of context, enabled state and ambiguity.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace {

// Characters typed with Ctrl that stand for the minus key. Shift, needed on some layouts to
// type them, is dropped so that they meet the shortcut Ctrl+-.
constexpr std::array<int, 6> kDashes{Qt::Key_Underscore, Qt::Key_macron, 0x2013, 0x2014, 0x2012, 0x2212};

} // namespace

LumivarApplication::LumivarApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Lumivar"));
    setApplicationVersion(QStringLiteral(LUMIVAR_VERSION));
    setWindowIcon(appui::lumivarIcon());
}

std::optional<QKeyCombination> LumivarApplication::rewrittenKey(int key, Qt::KeyboardModifiers modifiers) {
    if (!(modifiers & Qt::ControlModifier)) return std::nullopt;
    if (modifiers & Qt::AltModifier) {
        if (key == Qt::Key_0) return QKeyCombination(modifiers & ~Qt::AltModifier, Qt::Key_1);
        return std::nullopt;
    }
    if (key == Qt::Key_S) return QKeyCombination(modifiers, Qt::Key_E);
    if (key == Qt::Key_0) return QKeyCombination(modifiers, Qt::Key_F);
    for (int dash : kDashes)
        if (key == dash) return QKeyCombination(modifiers & ~Qt::ShiftModifier, Qt::Key_Minus);
    return std::nullopt;
}

bool LumivarApplication::notify(QObject* receiver, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (auto mapped = rewrittenKey(key->key(), key->modifiers())) {
            return type == QEvent::ShortcutOverride ? rewriteShortcutOverride(receiver, key, *mapped)
                                                    : rewriteKeyPress(receiver, key, *mapped);
        }
        if (type == QEvent::KeyPress) fired_.reset();
    }
    return QApplication::notify(receiver, event);
}

// The original combination must not find a shortcut of its own: the override is accepted
// (so Qt skips its lookup), and the rewritten combination goes through the lookup instead.
bool LumivarApplication::rewriteShortcutOverride(QObject* receiver, QKeyEvent* event,
                                                 QKeyCombination mapped) {
    const bool shortcutFired = qt_sendShortcutOverrideEvent(
        receiver, ulong(event->timestamp()), int(mapped.key()), mapped.keyboardModifiers(), event->text(),
        event->isAutoRepeat(), ushort(event->count()));
    if (shortcutFired)
        fired_ = Fired{event->key(), event->modifiers(), event->timestamp()};
    else
        fired_.reset();
    event->accept();
    return true;
}

bool LumivarApplication::rewriteKeyPress(QObject* receiver, QKeyEvent* event, QKeyCombination mapped) {
    if (fired_ && fired_->key == event->key() && fired_->modifiers == event->modifiers() &&
        fired_->timestamp == event->timestamp()) {
        fired_.reset();
        event->accept();
        return true;
    }
    fired_.reset();
    QKeyEvent rewritten(event->type(), int(mapped.key()), mapped.keyboardModifiers(), event->nativeScanCode(),
                        event->nativeVirtualKey(), event->nativeModifiers(), event->text(),
                        event->isAutoRepeat(), ushort(event->count()));
    rewritten.setTimestamp(event->timestamp());
    const bool handled = QApplication::notify(receiver, &rewritten);
    event->setAccepted(rewritten.isAccepted());
    return handled;
}
