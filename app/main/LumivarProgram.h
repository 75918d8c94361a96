#pragma once
// The lumivar program's windows, one for each opened document, and the automation commands
// carried out on them. The newest document window that is still open is the current one;
// the window in front (the last application window shown or activated) takes the menu and
// button commands, a dialog over it first.
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
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

class BrowserWindowController;

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
    // A window opened another way (the open panel, the browser, Open Recent) joins the others.
    void adopt(ProgramWindow* window);
    // The browser of the browse, select, batch and cancel commands.
    void setBrowser(BrowserWindowController* browser) { browser_ = browser; }
    // The window the menu and button commands act on; none when no window is shown.
    QWidget* frontWindow() const;
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
    automation::Outcome drag(ProgramWindow& window, const automation::Command& command);
    automation::Outcome wheel(ProgramWindow& window, const automation::Command& command);
    // The commands of any window and of the browser; none for the others.
    std::optional<automation::Outcome> applicationCommand(const automation::Command& command);
    std::optional<automation::Outcome> browserCommand(const automation::Command& command);
    automation::Outcome menu(const automation::Command& command);
    automation::Outcome click(const automation::Command& command);
    automation::Outcome choose(const automation::Command& command);
    // Runs the work from the event loop, so that a modal dialog it opens does not stop the
    // script; the command is done once the work has begun.
    automation::Outcome later(QObject* context, std::function<void()> work);
    // Whether the thumbnails the browser's grid asked for so far have been made: a mark queued
    // behind them on the icon queue has run.
    bool browserThumbnailsMade();
    // Where a command looks for a named control: a dialog, the window in front, the document.
    std::vector<QWidget*> searchWindows() const;
    std::filesystem::path resolve(const std::string& path) const;

    WindowOpener opener_;
    Options options_;
    std::vector<Entry> windows_;
    BrowserWindowController* browser_ = nullptr;
    class FrontTracker;
    std::unique_ptr<FrontTracker> front_;
    // Work handed to the event loop: begun (the command may go on), and still running.
    std::shared_ptr<bool> laterBegun_ = std::make_shared<bool>(false);
    std::shared_ptr<int> laterRunning_ = std::make_shared<int>(0);
    QPointer<QWidget> closing_;
    bool closingStarted_ = false;
    QElapsedTimer settled_; // since the current window's tiles were all in place
    std::shared_ptr<std::atomic<bool>> thumbnailsMark_;
};
