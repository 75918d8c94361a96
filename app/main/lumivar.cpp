// The lumivar program: each raw file of the command line in a window of its own, or an
// automation script driving the windows (see AutomationScript.h).
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string_view>

#include "app/core/AlertPresenter.h"
#include "app/core/AppTables.h"
#include "app/core/MyDocument.h"
#include "app/main/AutomationRunner.h"
#include "app/main/LumivarCommandLine.h"
#include "app/main/LumivarProgram.h"
#include "app/main/OpenDocument.h"
#include "display/MainQueuePump.h"
#include "platform/UserDefaults.h"

namespace {

// Errors the documents present: a dialog, or a line on stderr under a script.
class ProgramAlerts : public AlertPresenter {
  public:
    explicit ProgramAlerts(bool automation) : automation_(automation) {}
    void presentError(const platform::Error& error, const MyDocument* document) override {
        std::string text = error.failureReason;
        if (document && !document->displayName().empty()) text = document->displayName() + ": " + text;
        if (automation_)
            std::cerr << "lumivar: " << text << "\n";
        else
            QMessageBox::critical(nullptr, QObject::tr("Lumivar"), QString::fromStdString(text));
    }

  private:
    bool automation_;
};

std::vector<std::string> programArguments() {
    std::vector<std::string> arguments;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(all[i].toStdString());
    return arguments;
}

std::optional<std::string> readScript(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

std::vector<std::filesystem::path> askForFiles() {
    QStringList patterns;
    for (std::string_view extension : app::rawExtensions()) {
        const QString e = QString::fromUtf8(extension.data(), qsizetype(extension.size()));
        patterns << "*." + e << "*." + e.toUpper();
    }
    const QStringList chosen =
        QFileDialog::getOpenFileNames(nullptr, QObject::tr("Open raw files"), QString(),
                                      QObject::tr("Raw files (%1);;All files (*)").arg(patterns.join(' ')));
    std::vector<std::filesystem::path> files;
    for (const QString& file : chosen)
        files.emplace_back(file.toStdString());
    return files;
}

int run(QApplication& application, const LumivarCommandLine& line) {
    LumivarProgram::Options options;
    options.automation = line.automation.has_value();
    options.shots = line.screenshots;
    std::optional<automation::Script> script;
    if (line.automation) {
        const auto text = readScript(*line.automation);
        if (!text) {
            std::cerr << "lumivar: cannot read the script " << line.automation->string() << "\n";
            return 2;
        }
        script = automation::parseScript(*text);
        options.scriptFolder = std::filesystem::absolute(*line.automation).parent_path();
    }

    ProgramAlerts alerts(options.automation);
    AlertPresenter::setShared(&alerts);
    struct Restore {
        ~Restore() { AlertPresenter::setShared(nullptr); }
    } restore;
    LumivarProgram program(openDocument, options);
    int failedOpens = 0;
    auto files = line.files;
    if (files.empty() && !line.automation) files = askForFiles();
    for (const auto& file : files)
        if (auto error = program.open(std::filesystem::absolute(file))) {
            ++failedOpens;
            const std::string text = file.string() + ": " + error->failureReason;
            if (line.automation)
                std::cerr << "lumivar: " << text << "\n";
            else
                QMessageBox::warning(nullptr, QObject::tr("Lumivar"), QString::fromStdString(text));
        }

    if (!line.automation) {
        if (program.windows().empty()) return failedOpens ? 1 : 0;
        return application.exec();
    }

    // The script decides when the program ends, not the last window.
    application.setQuitOnLastWindowClosed(false);
    automation::Runner runner(std::move(*script), program, std::cout);
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &application, [&] {
        if (runner.step()) return;
        ticks.stop();
        program.closeAll();
        application.exit(0);
    });
    ticks.start(15);
    application.exec();
    return runner.exitStatus() == 0 && failedOpens == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    // Help needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::cout << LumivarCommandLine::usage();
            return 0;
        } else if (std::string_view(argv[i]) == "--") {
            break;
        }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Lumivar");
    const LumivarCommandLine line = LumivarCommandLine::parse(programArguments());
    if (!line.error.empty()) {
        std::cerr << "lumivar: " << line.error << "\n" << LumivarCommandLine::usage();
        return 2;
    }
    installMainQueuePump(application);
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    const int status = run(application, line);
    removeMainQueuePump();
    return status;
}
