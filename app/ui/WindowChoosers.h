#pragma once
// The windows' questions to the photographer: the open and save panels and alerts. Automation
// and tests replace them with answers of their own.
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

struct WindowChoosers {
    // The file to write: the panel starts in `folder` (the photo's) with the proposed name, and
    // a name chosen without the allowed extension gets it; none when cancelled.
    std::function<std::optional<std::filesystem::path>(QWidget* window, const std::filesystem::path& folder,
                                                       const QString& proposedName, const QString& extension)>
        saveFile;
    // The open panel: existing files, one filter chosen of the name filters; none when
    // cancelled. Qt's own dialog, so that scripts can drive it as a hand would.
    std::function<std::vector<std::filesystem::path>(QWidget* window, const QString& title,
                                                     const QStringList& nameFilters)>
        openFiles;
    // An alert with one button "Ok", modal to its window when it has one.
    std::function<void(QWidget* window, const QString& message, const QString& text)> alert;

    // A modal warning with two buttons; true for the second (the one that acts).
    std::function<bool(QWidget* window, const QString& message, const QString& text, const QString& cancel,
                       const QString& act)>
        confirm;
    // Opens a web page or a mail in the user's programs; false when nothing took it.
    std::function<bool(const QString& url)> openUrl;

    // The choosers windows use: dialogs unless replaced.
    static WindowChoosers& shared();
};
