// The lumivar program: each raw file of the command line in a window of its own, or an
// automation script driving the windows (see AutomationScript.h).
#include <QApplication>
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
#include "app/main/EditingProgramWindow.h"
#include "app/main/LumivarCommandLine.h"
#include "app/main/LumivarProgram.h"
#include "app/ui/DocumentController.h"
#include "app/ui/EditingWindow.h"
#include "app/ui/InspectorController.h"
#include "app/ui/LumivarAppDelegate.h"
#include "app/ui/LumivarApplication.h"
#include "app/ui/PresetWindowController.h"
#include "app/ui/ProfileController.h"
#include "app/ui/SingleInstance.h"
#include "app/ui/UserDataAlerts.h"
#include "app/ui/WindowChoosers.h"
#include "app/ui/browser/BrowserWindowController.h"
#include "app/ui/preferences/PreferencesController.h"
#include "display/MainQueuePump.h"
#include "platform/UserDefaults.h"

namespace {

// Errors the documents present: a dialog, or a line on stderr under a script.
class ProgramAlerts : public AlertPresenter {
  public:
    explicit ProgramAlerts(bool automation) : automation_(automation) {}
    void presentError(const platform::Error& error, const MyDocument* document) override {
        notePresentedError(document, error);
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

    // A script answers no dialog: alerts go to standard error, save panels are cancelled
    // (the export command names its file), warnings are declined.
    if (options.automation) {
        auto& choosers = WindowChoosers::shared();
        choosers.alert = [](QWidget*, const QString& message, const QString& text) {
            std::cerr << "lumivar: " << message.toStdString() << " " << text.toStdString() << "\n";
        };
        choosers.saveFile = [](QWidget*, const std::filesystem::path&, const QString&,
                               const QString&) -> std::optional<std::filesystem::path> {
            return std::nullopt;
        };
        choosers.confirm = [](QWidget*, const QString&, const QString&, const QString&, const QString&) {
            return false;
        };
    }
    ProgramAlerts alerts(options.automation);
    AlertPresenter::setShared(&alerts);
    struct Restore {
        ~Restore() { AlertPresenter::setShared(nullptr); }
    } restore;
    // The application's other windows, reached from the menus of every editing window.
    auto& controller = DocumentController::sharedDocumentController();
    // A damaged catalog or preset found from here on (the preset windows read the presets as
    // they are made) is told on the window in front.
    UserDataAlerts damagedFiles([&controller]() -> QWidget* {
        if (QWidget* front = QApplication::activeWindow()) return front;
        return controller.lastShownWindow();
    });
    BrowserWindowController::Hooks browserHooks;
    browserHooks.openDocument = [&controller](const std::filesystem::path& file, platform::Error* error) {
        return controller.openDocumentWithContentsOfURL(file, true, error) != nullptr;
    };
    browserHooks.presentError = [](const platform::Error& error) {
        AlertPresenter::shared().presentError(error, nullptr);
    };
    browserHooks.runAlert = [](const QString& message, const QString& informative) {
        WindowChoosers::shared().alert(nullptr, message, informative);
    };
    BrowserWindowController browser(nullptr, nullptr, browserHooks);
    PreferencesController preferences;
    InspectorController inspector;
    ProfileController profiles;
    PresetWindowController presets;
    DocumentController::Windows windows;
    windows.showBrowser = [&browser] { browser.showBrowser(); };
    windows.rebuildBrowserMenus = [&browser] { browser.buildMenus(); };
    windows.showPreferences = [&preferences] {
        preferences.show();
        preferences.raise();
    };
    windows.showInspector = [&inspector] { inspector.showWindow(); };
    windows.inspectorSetData = [&inspector](const std::optional<platform::Dictionary>& data) {
        inspector.setData(data.value_or(platform::Dictionary{}));
    };
    windows.showProfiles = [&profiles] { profiles.showBrowser(); };
    windows.showPresets = [&presets] { presets.showBrowser(); };
    windows.documentsChanged = [&presets] { presets.updateNewPresetButton(); };
    controller.setWindows(windows);
    presets.setNewPresetHooks([&controller] { return controller.lastShownWindow() != nullptr; },
                              [&controller] { controller.newPresetForLastDocument(); });
    // One menu bar for the whole application, on every window.
    for (QWidget* window : {static_cast<QWidget*>(&browser), static_cast<QWidget*>(&preferences),
                            inspector.window(), profiles.browserWindow(), presets.browserWindow()})
        controller.installMenus(window);
    struct Unhook {
        DocumentController& controller;
        BrowserWindowController& browser;
        ~Unhook() {
            browser.applicationWillTerminate();
            controller.setWindows({});
        }
    } unhook{controller, browser};

    LumivarProgram program(editingWindows(), options);
    program.setBrowser(&browser);
    // Windows opened from the menus or the browser join the program's.
    QObject adoption; // the connection ends before the program does
    QObject::connect(&controller, &DocumentController::documentWindowOpened, &adoption,
                     [&program](EditingWindow* window) { program.adopt(editingProgramWindowFor(window)); });
    int failedOpens = 0;
    auto files = line.files;

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
        // Without a file to show, the browser is where a photographer starts.
        if (program.windows().empty()) {
            if (failedOpens) return 1;
            browser.showBrowser();
        }
        // A second start hands its files to this one.
        SingleInstance instance;
        instance.listen([&program](const QString& path) {
            if (auto error = program.open(std::filesystem::absolute(path.toStdString())))
                AlertPresenter::shared().presentError(*error, nullptr);
        });
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
    LumivarApplication application(argc, argv);
    QApplication::setApplicationName("Lumivar");
    const LumivarCommandLine line = LumivarCommandLine::parse(programArguments());
    if (!line.error.empty()) {
        std::cerr << "lumivar: " << line.error << "\n" << LumivarCommandLine::usage();
        return 2;
    }
    // One lumivar per user and home: a second start hands its files over and ends.
    if (!line.automation) {
        QStringList paths;
        for (const auto& file : line.files)
            paths << QString::fromStdString(std::filesystem::absolute(file).string());
        if (SingleInstance().handOff(paths, 500)) return 0;
    }
    installMainQueuePump(application);
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    // A script runs beside whatever else the user has open: it neither empties the shared
    // temporary folder nor takes the running flag, and shows no splash over its screenshots.
    LumivarAppDelegate delegate(platform::UserDefaults::standard());
    if (!line.automation) delegate.applicationDidFinishLaunching();
    const int status = run(application, line);
    if (!line.automation) delegate.applicationWillTerminate();
    removeMainQueuePump();
    return status;
}
