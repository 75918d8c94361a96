#include "app/ui/WindowChoosers.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "app/ui/WindowCommands.h"

namespace {

// Qt's own dialog, as the open panel: scripts and tests drive it as a hand would.
std::optional<std::filesystem::path> runSavePanel(QWidget* window, const std::filesystem::path& folder,
                                                  const QString& proposedName, const QString& extension) {
    QFileDialog panel(window);
    panel.setObjectName("savePanel");
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setNameFilter(QString("*.%1").arg(extension));
    panel.setDefaultSuffix(extension);
    panel.setDirectory(QString::fromStdString(folder.string()));
    panel.selectFile(proposedName + "." + extension);
    panel.setWindowModality(Qt::WindowModal);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    const std::filesystem::path chosen(panel.selectedFiles().front().toStdString());
    // The panel adds its suffix only to a name without any ("print.v2" keeps its own), and
    // asked about replacing only the file it named.
    const std::filesystem::path file = window_commands::withTypeExtension(chosen, extension.toStdString());
    std::error_code ec;
    if (file != chosen && std::filesystem::exists(file, ec) &&
        !WindowChoosers::shared().confirm(
            window, QString("“%1” already exists.").arg(QString::fromStdString(file.filename().string())),
            "Do you want to replace it?", "Cancel", "Replace"))
        return std::nullopt;
    return file;
}

} // namespace

WindowChoosers& WindowChoosers::shared() {
    static WindowChoosers choosers{
        runSavePanel,
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
