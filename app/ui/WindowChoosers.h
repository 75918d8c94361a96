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

    // The choosers windows use: dialogs unless replaced.
    static WindowChoosers& shared();
};
