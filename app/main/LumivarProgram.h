#pragma once
// The lumivar program's windows, one for each opened document, and the automation commands
// carried out on them. The newest window that is still open is the current one.
#include <QElapsedTimer>
#include <QPointer>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/main/AutomationRunner.h"
#include "app/main/LumivarWindow.h"
#include "app/main/ViewerDocument.h"

class LumivarProgram : public automation::Host {
  public:
    struct Options {
        bool automation = false;                    // no dialogs: failures are reported as text
        std::filesystem::path scriptFolder;         // relative paths in a script start here
        std::optional<std::filesystem::path> shots; // where screenshots go
    };

    LumivarProgram(DocumentOpener opener, Options options);
    ~LumivarProgram() override;
    LumivarProgram(const LumivarProgram&) = delete;
    LumivarProgram& operator=(const LumivarProgram&) = delete;

    // Opens the file in a new window; the error when it cannot be opened.
    std::optional<platform::Error> open(const std::filesystem::path& file);
    LumivarWindow* currentWindow() const;
    std::vector<LumivarWindow*> windows() const;
    // Closes every window and lets the documents go.
    void closeAll();

    automation::Outcome start(const automation::Command& command) override;
    automation::Outcome poll(const automation::Command& command) override;

    // How long a screenshot waits with every tile in place, for the last paint to reach the screen.
    static constexpr int kSettleMilliseconds = 300;

  private:
    automation::Outcome waitForImage(LumivarWindow& window);
    automation::Outcome screenshot(const automation::Command& command);
    automation::Outcome drag(LumivarWindow& window, const automation::Command& command);
    automation::Outcome wheel(LumivarWindow& window, const automation::Command& command);
    std::filesystem::path resolve(const std::string& path) const;

    DocumentOpener opener_;
    Options options_;
    std::vector<QPointer<LumivarWindow>> windows_;
    QPointer<LumivarWindow> closing_;
    bool closingStarted_ = false;
    QElapsedTimer settled_; // since the current window's tiles were all in place
};
