#include "display/widgets/LumivarOutlineView.h"

#include <QAbstractSpinBox>
#include <QChildEvent>
#include <QLineEdit>

LumivarOutlineView::LumivarOutlineView(QWidget* parent) : QTreeView(parent) {
    viewport()->installEventFilter(this);
}

bool LumivarOutlineView::validateProposedFirstResponder(const QWidget* responder) const {
    if (qobject_cast<const QAbstractSpinBox*>(responder) || qobject_cast<const QLineEdit*>(responder))
        return true;
    return responder && (responder->focusPolicy() & Qt::ClickFocus);
}

// Row contents (index widgets) become children of the viewport.
bool LumivarOutlineView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport() && event->type() == QEvent::ChildPolished) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            adoptFocusRules(child);
    }
    return QTreeView::eventFilter(watched, event);
}

void LumivarOutlineView::adoptFocusRules(QWidget* rowContent) {
    QList<QWidget*> widgets = rowContent->findChildren<QWidget*>();
    widgets.prepend(rowContent);
    for (QWidget* widget : widgets) {
        if (validateProposedFirstResponder(widget) && !(widget->focusPolicy() & Qt::ClickFocus))
            widget->setFocusPolicy(Qt::FocusPolicy(widget->focusPolicy() | Qt::ClickFocus));
    }
}
