#pragma once
// The browser window: a folder's image files as a grid of thumbnails, back and forward
// history, a path bar, an open panel, double-click to open, and batch export of the selected
// files with a preset's settings on a worker thread behind a progress sheet. The shown folder
// is watched; changes reach the grid after a second's quiet.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QWidget>

#include "app/browser/BatchExport.h"
#include "app/browser/BrowserHistory.h"
#include "platform/Error.h"
#include "platform/NotificationCenter.h"

class PathBar;
class QDialog;
class QFileSystemWatcher;
class QLabel;
class QListView;
class QMenu;
class QMessageBox;
class QProgressBar;
class QTimer;
class QToolButton;

namespace help_bubbles {
class Bubbles;
}
namespace browser {
class BrowserDataSource;
class Thumbnailer;
} // namespace browser

class BrowserWindowController : public QWidget {
    Q_OBJECT
  public:
    // What the window asks of the rest of the program; each has a default that uses Qt's own
    // dialogs (tests replace them, the application gives the document controller's).
    struct FolderPanel {
        QString prompt;  // "Browse folder"
        QString message; // what the user is asked
        std::optional<std::filesystem::path> start;
    };
    struct Hooks {
        // Opens a file as a document for display; false with the error when it cannot.
        std::function<bool(const std::filesystem::path&, platform::Error*)> openDocument;
        std::function<void(const platform::Error&)> presentError;
        std::function<void(const QString& message, const QString& informative)> runAlert;
        std::function<std::optional<std::filesystem::path>(const FolderPanel&)> runFolderPanel;
    };

    static constexpr int kWatcherLatencyMs = 1000;
    static constexpr int kPopoverDelayMs = 500;

    // Without a factory, batches open the application's own documents.
    BrowserWindowController(std::shared_ptr<browser::BatchDocumentFactory> documents = nullptr,
                            std::shared_ptr<browser::Thumbnailer> thumbnailer = nullptr, Hooks hooks = {},
                            QWidget* parent = nullptr);
    // Quitting during a batch cancels it and waits for the file in hand.
    ~BrowserWindowController() override;

    void showBrowser();
    void changeDirectory(std::optional<std::filesystem::path> url, browser::BrowserHistory::Source source);
    // Tag 0 back, 1 forward; others nothing.
    void backButtonClick(int tag);
    void askForFolder() { newLocationClick(std::nullopt); }
    void newLocationClick(std::optional<std::filesystem::path> url);
    void newExportLocationClick(std::optional<std::filesystem::path> url);
    void pathControlClick(const std::filesystem::path& url);
    void pathControlDoubleClick(const std::filesystem::path& url) { pathControlClick(url); }
    void buildMenus();
    void buildExportLocationMenu();
    void exportPopAction(int tag);
    // Starts a batch with the item's preset (none: the default settings).
    void popAction(const browser::BatchMenuItem& item);
    void userCancelAction();
    void cellWasDoubleClicked(int index);
    void selectionDidChange();
    void progressUpdate(const std::filesystem::path& path);
    void runWorkerCompleted(const std::optional<platform::Error>& error);
    void setImageViewApearance(bool useControlColours);
    // The shown folder changed on disk: the grid lists it again.
    void folderDidChange();
    // Before the application quits: no further file of a running batch starts.
    void applicationWillTerminate();

    // Grants the folder (as the folder panel would) and shows it; false when it is not a
    // readable folder.
    bool browse(const std::filesystem::path& folder);
    // Selection by the automation script and the tests.
    void selectAll();
    // Selects the items of those names; false when one is not in the folder.
    bool selectNames(const std::vector<std::string>& names);
    std::vector<std::filesystem::path> selectedPaths() const;
    // Batches go into the folder, as choosing it with "Select export folder..." does; none:
    // beside the originals ("This folder").
    void setExportLocation(const std::optional<std::filesystem::path>& folder);
    // The summary of the files the last batch could not export; none when every file went.
    const std::optional<platform::Error>& lastBatchError() const { return lastBatchError_; }
    // The sheet that shows that summary (null until a batch has failed a file).
    QMessageBox* batchSummarySheet() const { return batchSummary_; }
    // The preset item of that title ("Default settings", "<name> settings"); none when absent.
    std::optional<browser::BatchMenuItem> batchItemTitled(const std::string& title) const;

    browser::BrowserDataSource* dataSource() const { return dataSource_; }
    QListView* imageBrowser() const { return mImageBrowser_; }
    PathBar* pathControl() const { return mPathControl_; }
    QToolButton* backButton() const { return backButton_; }
    QToolButton* forwardButton() const { return forwardButton_; }
    QToolButton* batchButton() const { return mpopUp_; }
    QMenu* batchMenu() const { return batchMenu_; }
    QToolButton* exportLocationButton() const { return exportLocationPopUp_; }
    QMenu* exportLocationMenu() const { return exportMenu_; }
    QDialog* progressSheet() const { return progressSheet_; }
    QLabel* progressText() const { return progressText_; }
    double progressValue() const { return progress_; }
    QTimer* watcherTimer() const { return watcherTimer_; }
    const browser::BrowserHistory& history() const { return history_; }
    bool isBatchRunning() const;
    bool useExportLocation() const { return useExportLocation_; }
    const std::optional<std::filesystem::path>& exportLocation() const { return exportLocation_; }
    const std::optional<std::filesystem::path>& secureBookmark() const { return secureBookmark_; }
    // The help bubbles, children of the window; shown until the photographer clicks one.
    const std::vector<QWidget*>& helpPopovers() const;
    bool darkAppearance() const { return dark_; }

  protected:
    void changeEvent(QEvent* event) override;
    // The help bubbles come half a second after the window is first shown.
    void showEvent(QShowEvent* event) override;

  private:
    void awakeFromNib();
    void buildWindow();
    void buildProgressSheet();
    void buildHelpPopovers();
    void showHelpPopovers();
    void initializeEventStream(const std::optional<std::filesystem::path>& path);
    void updateNavigation();
    std::optional<std::filesystem::path> runPanel(const FolderPanel& panel);
    void present(const platform::Error& error);
    void presentBatchSummary(const platform::Error& summary);

    std::shared_ptr<browser::BatchDocumentFactory> documents_;
    Hooks hooks_;
    browser::BrowserDataSource* dataSource_ = nullptr;
    QListView* mImageBrowser_ = nullptr;
    PathBar* mPathControl_ = nullptr;
    QToolButton* mpopUp_ = nullptr;
    QMenu* batchMenu_ = nullptr;
    QToolButton* backButton_ = nullptr;
    QToolButton* forwardButton_ = nullptr;
    QToolButton* newLocationButton_ = nullptr;
    QToolButton* exportLocationPopUp_ = nullptr;
    QMenu* exportMenu_ = nullptr;
    QDialog* progressSheet_ = nullptr;
    QLabel* progressText_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QMessageBox* batchSummary_ = nullptr;
    QFileSystemWatcher* stream_ = nullptr;
    QTimer* watcherTimer_ = nullptr;
    help_bubbles::Bubbles* helpBubbles_ = nullptr;
    bool helpAsked_ = false;

    uint64_t batchFileCount_ = 0;
    uint64_t currentFileIndex_ = 0;
    double progress_ = 0;
    std::optional<std::filesystem::path> secureBookmark_;
    std::optional<std::filesystem::path> exportBookmark_;
    std::optional<std::filesystem::path> exportLocation_;
    bool useExportLocation_ = false;
    bool batchRunning_ = false; // from the start until the completion has been handled
    std::optional<platform::Error> lastBatchError_;
    bool dark_ = false;
    browser::BrowserHistory history_;
    std::vector<platform::ObserverToken> defaultsObservers_;
    std::unique_ptr<browser::BatchExportWorker> worker_;
};
