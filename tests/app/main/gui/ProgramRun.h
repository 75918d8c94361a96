#pragma once
// Runs the lumivar program on an automation script in a fresh home, screenshots in the
// current test's folder, and reads what it wrote.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TempHome.h"

namespace guitest {

inline std::filesystem::path shotFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    return std::filesystem::path(LUMIVAR_SCREENSHOTS_DIR) /
           (std::string(info->test_suite_name()) + "." + info->name());
}

inline const std::filesystem::path kChart =
    std::filesystem::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";

struct ProgramRun {
    int status = -1;
    std::string output;
};

// Runs lumivar on the script in a fresh home; screenshots go to this test's folder.
inline ProgramRun runLumivar(const testsupport::TempHome& home, const std::string& script,
                             int milliseconds = 240000) {
    const std::filesystem::path file = home.path() / "script.txt";
    std::ofstream(file) << script;
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(LUMIVAR_PROGRAM, {"--automation", QString::fromStdString(file.string()), "--screenshots",
                                    QString::fromStdString(shotFolder().string())});
    if (!program.waitForFinished(milliseconds)) {
        program.kill();
        program.waitForFinished();
        return {-1, program.readAll().toStdString() + "(timed out)"};
    }
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            program.readAll().toStdString()};
}

inline QImage shot(const std::string& name) {
    QImage image(QString::fromStdString((shotFolder() / (name + ".png")).string()));
    EXPECT_FALSE(image.isNull()) << name;
    return image.convertToFormat(QImage::Format_RGB32);
}

// The bounding box of the pixels that are not black: the image in the view.
inline QRect imageArea(const QImage& view) {
    QRect box;
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            if (view.pixelColor(x, y) != QColor(Qt::black)) box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace guitest
