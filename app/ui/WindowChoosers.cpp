#include "app/ui/WindowChoosers.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

WindowChoosers& WindowChoosers::shared() {
    static WindowChoosers choosers{
        [](QWidget* window, const QString& proposedName,
           const QString& extension) -> std::optional<std::filesystem::path> {
            const QString file = QFileDialog::getSaveFileName(
                window, QString(), proposedName + "." + extension, QString("*.%1").arg(extension));
            if (file.isEmpty()) return std::nullopt;
            return std::filesystem::path(file.toStdString());
        },
        [](QWidget* window, const QString& title,
           const QStringList& nameFilters) -> std::vector<std::filesystem::path> {
            QFileDialog panel(window, title);
            panel.setObjectName("openPanel");
            panel.setOption(QFileDialog::DontUseNativeDialog, true);
            panel.setFileMode(QFileDialog::ExistingFiles);
            panel.setAcceptMode(QFileDialog::AcceptOpen);
            panel.setNameFilters(nameFilters);
            panel.setWindowModality(Qt::ApplicationModal);
            std::vector<std::filesystem::path> files;
            if (panel.exec() != QDialog::Accepted) return files;
            for (const QString& file : panel.selectedFiles())
                files.emplace_back(file.toStdString());
            return files;
        },
        [](QWidget* window, const QString& message, const QString& text) {
            QMessageBox box(QMessageBox::Warning, message, message, QMessageBox::Ok, window);
            box.setInformativeText(text);
            box.button(QMessageBox::Ok)->setText("Ok");
            // A sheet of its window: the other windows stay usable.
            if (window) box.setWindowModality(Qt::WindowModal);
            box.exec();
        },
        [](QWidget* window, const QString& message, const QString& text, const QString& cancel,
           const QString& act) {
            QMessageBox box(QMessageBox::Warning, message, message, QMessageBox::NoButton, window);
            box.setInformativeText(text);
            box.addButton(cancel, QMessageBox::RejectRole);
            QPushButton* go = box.addButton(act, QMessageBox::AcceptRole);
            box.exec();
            return box.clickedButton() == go;
        },
        [](const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }};
    return choosers;
}
