#pragma once
// The lumivar program's windows, one for each opened document, and the automation commands
// carried out on them. The newest window that is still open is the current one.
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "app/main/AutomationRunner.h"
#include "app/main/ProgramWindow.h"
#include "app/main/ViewerDocument.h"

// Opens a file in a new, shown window that starts its first render; the error otherwise.
using WindowOpener =
    std::function<std::variant<ProgramWindow*, platform::Error>(const std::filesystem::path&)>;

// Windows of the plain kind over the opener's viewer documents.
WindowOpener plainWindows(DocumentOpener opener, bool closeOnFailure);

class LumivarProgram : public automation::Host {
  public:
    struct Options {
        bool automation = false;                    // no dialogs: failures are reported as text
        std::filesystem::path scriptFolder;         // relative paths in a script start here
        std::optional<std::filesystem::path> shots; // where screenshots go
    };

    LumivarProgram(DocumentOpener opener, Options options);
    LumivarProgram(WindowOpener opener, Options options);
    ~LumivarProgram() override;
    LumivarProgram(const LumivarProgram&) = delete;
    LumivarProgram& operator=(const LumivarProgram&) = delete;

    // Opens the file in a new window; the error when it cannot be opened.
    std::optional<platform::Error> open(const std::filesystem::path& file);
    ProgramWindow* currentWindow() const;
    std::vector<ProgramWindow*> windows() const;
    // Closes every window and lets the documents go.
    void closeAll();

    automation::Outcome start(const automation::Command& command) override;
    automation::Outcome poll(const automation::Command& command) override;

    // How long a screenshot waits with every tile in place, for the last paint to reach the screen.
    static constexpr int kSettleMilliseconds = 300;

  private:
    struct Entry {
        QPointer<QWidget> widget; // the window is valid while this is
        ProgramWindow* window;
        // What made a failed window close (an editing window closes itself).
        std::function<std::optional<platform::Error>()> failure;
    };
    // The editing window's own commands; none for the others.
    std::optional<automation::Outcome> editingCommand(class EditingProgramWindow& window,
                                                      const automation::Command& command);
    automation::Outcome waitForImage(ProgramWindow& window);
    automation::Outcome screenshot(const automation::Command& command);
    automation::Outcome chooseMenuItem(ProgramWindow& window, const std::string& name);
    automation::Outcome drag(ProgramWindow& window, const automation::Command& command);
    automation::Outcome wheel(ProgramWindow& window, const automation::Command& command);
    std::filesystem::path resolve(const std::string& path) const;

    WindowOpener opener_;
    Options options_;
    std::vector<Entry> windows_;
    QPointer<QWidget> closing_;
    bool closingStarted_ = false;
    QElapsedTimer settled_; // since the current window's tiles were all in place
};
