#include "app/ui/LumivarClickTextField.h"

#include <QMouseEvent>

void LumivarClickTextField::mousePressEvent(QMouseEvent* event) { QLabel::mousePressEvent(event); }

// Qt reports the second press of a double click as its own event.
void LumivarClickTextField::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_EMIT lablelDoubleClicked(this);
    QLabel::mouseDoubleClickEvent(event);
}
