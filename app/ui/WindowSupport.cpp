#include "app/ui/WindowSupport.h"

#include <QMessageBox>
#include <QPixmap>
#include <QWidget>

#include "display/DisplayImage.h"

namespace appui {

void bringToFront(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

void presentErrorSheet(QWidget* window, const platform::Error& error) {
    auto* box = new QMessageBox(QMessageBox::Warning, window ? window->windowTitle() : QString(),
                                QString::fromStdString(error.failureReason), QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("ErrorSheet"));
    box->setInformativeText(
        QStringLiteral("%1 error %2").arg(QString::fromStdString(error.domain)).arg(qlonglong(error.code)));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QIcon iconFromBitmap(const platform::Bitmap* bitmap) {
    if (!bitmap) return {};
    QImage view = bitmapView(*bitmap);
    if (view.isNull()) return {};
    return QIcon(QPixmap::fromImage(view.copy())); // the copy outlives the bitmap
}

} // namespace appui
