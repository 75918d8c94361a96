#pragma once
// The editing window's questions to the photographer: the save panel and alerts. Automation
// and tests replace them with answers of their own.
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

class QWidget;

struct WindowChoosers {
    // The file to write, for a proposed name and the allowed extension; none when cancelled.
    std::function<std::optional<std::filesystem::path>(QWidget* window, const QString& proposedName,
                                                       const QString& extension)>
        saveFile;
    // A modal alert with one button "Ok".
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
