#include "app/ui/browser/BrowserWindowController.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <unistd.h>

#include "app/browser/BrowserDataSource.h"
#include "app/browser/FSNodeInfo.h"
#include "app/browser/MyDocumentBatch.h"
#include "app/core/Keys.h"
#include "app/core/PresetManager.h"
#include "app/core/UrlContainment.h"
#include "app/ui/browser/HelpBubbles.h"
#include "app/ui/browser/PathBar.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

namespace fs = std::filesystem;
using browser::BrowserHistory;
using namespace app::defaults;

namespace {

QString qstr(const fs::path& p) { return QString::fromStdString(p.string()); }

// A stored folder counts only while it is a folder we may read.
std::optional<fs::path> resolveBookmark(std::string_view key) {
    const platform::Value stored = platform::UserDefaults::standard().objectForKey(key);
    if (!stored.isString() || stored.string()->empty()) return std::nullopt;
    const fs::path folder(*stored.string());
    std::error_code ec;
    if (!fs::is_directory(folder, ec) || ::access(folder.c_str(), R_OK | X_OK) != 0) return std::nullopt;
    return folder;
}

void storePath(std::string_view key, const fs::path& folder) {
    platform::UserDefaults::standard().setObject(platform::Value(folder.string()), key);
    platform::UserDefaults::standard().synchronize();
}

enum ExportTag { ThisFolder = 0, ExportFolder = 1, SelectFolder = 2 };

} // namespace

BrowserWindowController::BrowserWindowController(std::shared_ptr<browser::BatchDocumentFactory> documents,
                                                 std::shared_ptr<browser::Thumbnailer> thumbnailer,
                                                 Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window),
      documents_(documents ? std::move(documents) : std::make_shared<browser::MyDocumentBatchFactory>()),
      hooks_(std::move(hooks)) {
    dataSource_ =
        new browser::BrowserDataSource(thumbnailer ? thumbnailer : browser::sharedDefaultThumbnailer(), this);
    if (documents_) worker_ = std::make_unique<browser::BatchExportWorker>(documents_);
    buildWindow();
    buildProgressSheet();
    buildHelpPopovers();
    awakeFromNib();
}

BrowserWindowController::~BrowserWindowController() {
    for (platform::ObserverToken token : defaultsObservers_)
        platform::UserDefaults::standard().removeObserver(token);
    initializeEventStream(std::nullopt);
    worker_.reset(); // cancels and joins after the file in hand
}

void BrowserWindowController::buildWindow() {
    setWindowTitle(tr("Browser"));
    resize(980, 680);
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout();
    backButton_ = new QToolButton(this);
    backButton_->setArrowType(Qt::LeftArrow);
    backButton_->setToolTip(tr("Back"));
    forwardButton_ = new QToolButton(this);
    forwardButton_->setArrowType(Qt::RightArrow);
    forwardButton_->setToolTip(tr("Forward"));
    connect(backButton_, &QToolButton::clicked, this, [this] { backButtonClick(0); });
    connect(forwardButton_, &QToolButton::clicked, this, [this] { backButtonClick(1); });
    newLocationButton_ = new QToolButton(this);
    newLocationButton_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    newLocationButton_->setToolTip(tr("Browse another folder"));
    connect(newLocationButton_, &QToolButton::clicked, this,
            [this] { newLocationClick(history_.current()); });
    mPathControl_ = new PathBar(this);
    connect(mPathControl_, &PathBar::componentClicked, this,
            [this](const QString& p) { pathControlClick(fs::path(p.toStdString())); });
    connect(mPathControl_, &PathBar::componentDoubleClicked, this,
            [this](const QString& p) { pathControlDoubleClick(fs::path(p.toStdString())); });
    mpopUp_ = new QToolButton(this);
    mpopUp_->setText(tr("Batch"));
    mpopUp_->setPopupMode(QToolButton::InstantPopup);
    batchMenu_ = new QMenu(mpopUp_);
    mpopUp_->setMenu(batchMenu_);
    mpopUp_->setEnabled(false);
    exportLocationPopUp_ = new QToolButton(this);
    exportLocationPopUp_->setPopupMode(QToolButton::InstantPopup);
    exportMenu_ = new QMenu(exportLocationPopUp_);
    exportLocationPopUp_->setMenu(exportMenu_);
    bar->addWidget(backButton_);
    bar->addWidget(forwardButton_);
    bar->addWidget(newLocationButton_);
    bar->addWidget(mPathControl_, 1);
    bar->addWidget(new QLabel(tr("Export to:"), this));
    bar->addWidget(exportLocationPopUp_);
    bar->addWidget(mpopUp_);
    layout->addLayout(bar);

    mImageBrowser_ = new QListView(this);
    mImageBrowser_->setViewMode(QListView::IconMode);
    mImageBrowser_->setResizeMode(QListView::Adjust);
    mImageBrowser_->setMovement(QListView::Static);
    mImageBrowser_->setIconSize(browser::FSNodeInfo::kThumbnailSize);
    mImageBrowser_->setGridSize(QSize(160, 184));
    mImageBrowser_->setUniformItemSizes(true);
    mImageBrowser_->setWordWrap(true);
    mImageBrowser_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mImageBrowser_->setContextMenuPolicy(Qt::CustomContextMenu);
    mImageBrowser_->setModel(dataSource_);
    connect(mImageBrowser_, &QListView::doubleClicked, this,
            [this](const QModelIndex& index) { cellWasDoubleClicked(index.row()); });
    connect(mImageBrowser_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (mImageBrowser_->indexAt(at).isValid() && mpopUp_->isEnabled())
            batchMenu_->popup(mImageBrowser_->viewport()->mapToGlobal(at));
    });
    connect(mImageBrowser_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionDidChange(); });
    layout->addWidget(mImageBrowser_, 1);

    stream_ = new QFileSystemWatcher(this);
    watcherTimer_ = new QTimer(this);
    watcherTimer_->setSingleShot(true);
    watcherTimer_->setInterval(kWatcherLatencyMs);
    connect(stream_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!watcherTimer_->isActive()) watcherTimer_->start();
    });
    connect(watcherTimer_, &QTimer::timeout, this, [this] { folderDidChange(); });
}

void BrowserWindowController::buildProgressSheet() {
    progressSheet_ = new QDialog(this, Qt::Sheet);
    progressSheet_->setWindowModality(Qt::WindowModal);
    progressSheet_->setWindowOpacity(0.9);
    progressSheet_->setWindowTitle(tr("Batch export"));
    auto* layout = new QVBoxLayout(progressSheet_);
    progressText_ = new QLabel(progressSheet_);
    progressText_->setMinimumWidth(320);
    progressBar_ = new QProgressBar(progressSheet_);
    progressBar_->setRange(0, 1000);
    progressBar_->setTextVisible(false);
    auto* cancel = new QPushButton(tr("Cancel"), progressSheet_);
    connect(cancel, &QPushButton::clicked, this, [this] { userCancelAction(); });
    connect(progressSheet_, &QDialog::rejected, this, [this] { userCancelAction(); });
    layout->addWidget(progressText_);
    layout->addWidget(progressBar_);
    layout->addWidget(cancel, 0, Qt::AlignRight);
}

void BrowserWindowController::buildHelpPopovers() {
    helpBubbles_ = new help_bubbles::Bubbles(
        this, {
                  {backButton_, tr("Go back and forward through the folders you have browsed."), Qt::TopEdge},
                  {mpopUp_, tr("Select images, then export them all with the settings of a preset."),
                   Qt::BottomEdge},
                  {newLocationButton_, tr("Choose another folder to browse."), Qt::RightEdge},
                  {mPathControl_, tr("Click a folder of the path to go there."), Qt::TopEdge},
                  {exportLocationPopUp_,
                   tr("Batch exports go next to the originals or into a folder you choose."), Qt::BottomEdge},
              });
}

const std::vector<QWidget*>& BrowserWindowController::helpPopovers() const { return helpBubbles_->widgets(); }

void BrowserWindowController::showHelpPopovers() {
    // The preference may have been switched off since the bubbles were asked for.
    if (!isVisible() || !platform::UserDefaults::standard().boolForKey(ShowPopoverHelp)) return;
    helpBubbles_->show();
}

void BrowserWindowController::awakeFromNib() {
    setImageViewApearance(true);
    secureBookmark_ = resolveBookmark(ImageDirectoryBookmark);
    fs::path folder = browser::picturesFolder();
    if (secureBookmark_) {
        folder = *secureBookmark_;
        const std::optional<std::string> last =
            platform::UserDefaults::standard().stringForKey(ImageDirectory);
        if (last && !last->empty() && app::containsOrIsURL(*secureBookmark_, *last)) folder = *last;
    }
    changeDirectory(folder, BrowserHistory::New);
    exportBookmark_ = resolveBookmark(ExportDirectoryBookmark);
    exportLocation_ = exportBookmark_;
    buildMenus();

    QPointer<BrowserWindowController> self(this);
    for (std::string_view key : {ShowOnlyPCDFiles, BrowserFileSelect})
        defaultsObservers_.push_back(platform::UserDefaults::standard().addObserver(
            key, [self](const platform::Value&, const platform::Value&) {
                platform::MainQueue::shared().async([self] {
                    if (self) self->folderDidChange();
                });
            }));
}

void BrowserWindowController::showEvent(QShowEvent* event) {
    // Made at start-up, the window may first be shown much later (Window > Browser).
    if (!helpAsked_ && platform::UserDefaults::standard().boolForKey(ShowPopoverHelp)) {
        helpAsked_ = true;
        QTimer::singleShot(kPopoverDelayMs, this, [this] { showHelpPopovers(); });
    }
    QWidget::showEvent(event);
}

void BrowserWindowController::showBrowser() {
    show();
    raise();
    activateWindow();
}

void BrowserWindowController::changeDirectory(std::optional<fs::path> url, BrowserHistory::Source source) {
    url = history_.change(std::move(url), source);
    if (url) {
        dataSource_->setPath(*url, {browser::picturesFolder()});
        initializeEventStream(*url);
        storePath(ImageDirectory, *url);
    }
    if (const auto root = dataSource_->getRoot()) mPathControl_->setURL(root->getURL());
    updateNavigation();
    selectionDidChange();
}

void BrowserWindowController::updateNavigation() {
    backButton_->setEnabled(history_.canGoBack());
    forwardButton_->setEnabled(history_.canGoForward());
}

void BrowserWindowController::backButtonClick(int tag) {
    if (tag == 0 && history_.canGoBack())
        changeDirectory(history_.previous(), BrowserHistory::Back);
    else if (tag == 1)
        changeDirectory(std::nullopt, BrowserHistory::Forward);
}

void BrowserWindowController::initializeEventStream(const std::optional<fs::path>& path) {
    if (!stream_) return;
    const QStringList watched = stream_->directories() + stream_->files();
    if (!watched.isEmpty()) stream_->removePaths(watched);
    watcherTimer_->stop();
    if (path) stream_->addPath(qstr(*path));
}

void BrowserWindowController::folderDidChange() {
    dataSource_->invalidateFolder();
    selectionDidChange();
}

std::optional<fs::path> BrowserWindowController::runPanel(const FolderPanel& panel) {
    if (hooks_.runFolderPanel) return hooks_.runFolderPanel(panel);
    QFileDialog dialog(this, panel.message);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, panel.prompt);
    if (panel.start) dialog.setDirectory(qstr(*panel.start));
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return fs::path(dialog.selectedFiles().front().toStdString());
}

void BrowserWindowController::newLocationClick(std::optional<fs::path> url) {
    const FolderPanel panel{
        tr("Browse folder"),
        url ? tr("Select a folder to browse.") : tr("Select a folder to start browsing for images."), url};
    const std::optional<fs::path> chosen = runPanel(panel);
    if (!chosen) {
        mPathControl_->setVisible(url.has_value());
        return;
    }
    secureBookmark_ = *chosen;
    storePath(ImageDirectoryBookmark, *chosen);
    changeDirectory(*chosen, BrowserHistory::New);
    mPathControl_->setVisible(true);
}

void BrowserWindowController::newExportLocationClick(std::optional<fs::path> url) {
    std::optional<fs::path> start;
    if (url) start = url->parent_path();
    const std::optional<fs::path> chosen = runPanel({tr("Browse folder"), tr("Select export folder"), start});
    if (!chosen) return;
    exportLocation_ = *chosen;
    exportBookmark_ = *chosen;
    storePath(ExportDirectoryBookmark, *chosen);
    buildExportLocationMenu();
}

void BrowserWindowController::setExportLocation(const std::optional<fs::path>& folder) {
    if (folder) {
        exportLocation_ = *folder;
        exportBookmark_ = *folder;
        storePath(ExportDirectoryBookmark, *folder);
    }
    useExportLocation_ = folder.has_value();
    buildExportLocationMenu();
}

void BrowserWindowController::pathControlClick(const fs::path& url) {
    if (secureBookmark_ && app::containsOrIsURL(*secureBookmark_, url))
        changeDirectory(url, BrowserHistory::New);
    else
        newLocationClick(url); // the user grants the folder first
}

void BrowserWindowController::buildMenus() {
    batchMenu_->clear();
    QMenu* exportWith = batchMenu_->addMenu(QString::fromUtf8(browser::kBatchMenuTitle.data()));
    exportWith->setWindowTitle(QString::fromUtf8(browser::kBatchSubmenuTitle.data()));
    for (const browser::BatchMenuItem& item :
         browser::batchPresetItems(PresetManager::sharedPresetManager().presetList(false))) {
        QAction* action = exportWith->addAction(QString::fromStdString(item.title));
        connect(action, &QAction::triggered, this, [this, item] { popAction(item); });
    }
    buildExportLocationMenu();
}

void BrowserWindowController::buildExportLocationMenu() {
    exportMenu_->clear();
    const auto add = [this](const QString& title, int tag) {
        QAction* action = exportMenu_->addAction(title);
        action->setData(tag);
        connect(action, &QAction::triggered, this, [this, tag] { exportPopAction(tag); });
    };
    add(tr("This folder"), ThisFolder);
    if (exportLocation_) add(qstr(*exportLocation_), ExportFolder);
    add(tr("Select export folder..."), SelectFolder);
    exportLocationPopUp_->setText(useExportLocation_ && exportLocation_ ? qstr(*exportLocation_)
                                                                        : tr("This folder"));
}

void BrowserWindowController::exportPopAction(int tag) {
    switch (tag) {
    case ThisFolder:
        useExportLocation_ = false;
        break;
    case ExportFolder:
        useExportLocation_ = true;
        break;
    case SelectFolder:
        newExportLocationClick(exportBookmark_ ? exportBookmark_ : history_.current());
        useExportLocation_ = true;
        break;
    default:
        return;
    }
    buildExportLocationMenu();
}

std::optional<browser::BatchMenuItem>
BrowserWindowController::batchItemTitled(const std::string& title) const {
    for (browser::BatchMenuItem& item :
         browser::batchPresetItems(PresetManager::sharedPresetManager().presetList(false)))
        if (item.title == title) return item;
    return std::nullopt;
}

bool BrowserWindowController::isBatchRunning() const { return batchRunning_; }

std::vector<fs::path> BrowserWindowController::selectedPaths() const {
    QModelIndexList rows = mImageBrowser_->selectionModel()->selectedIndexes();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<fs::path> paths;
    for (const QModelIndex& row : rows)
        if (const auto node = dataSource_->itemAtIndex(row.row())) paths.push_back(node->getURL());
    return paths;
}

void BrowserWindowController::popAction(const browser::BatchMenuItem& item) {
    const std::vector<fs::path> sources = selectedPaths();
    batchFileCount_ = sources.size();
    if (sources.empty()) {
        const QString message = tr("No files selected."),
                      informative = tr("Select files by cmd+click, click+drag, etc");
        if (hooks_.runAlert) {
            hooks_.runAlert(message, informative);
        } else {
            QMessageBox alert(QMessageBox::Warning, message, message, QMessageBox::Ok, this);
            alert.setInformativeText(informative);
            alert.button(QMessageBox::Ok)->setText(tr("Ok"));
            alert.exec();
        }
        return;
    }
    if (!worker_ || batchRunning_) return;
    batchRunning_ = true;
    lastBatchError_.reset();
    currentFileIndex_ = 0;
    progress_ = 0;
    progressBar_->setValue(0);
    progressText_->clear();
    platform::NotificationCenter::defaultCenter().post(platform::notification::DisableMenus, this);
    mpopUp_->setEnabled(false);
    exportLocationPopUp_->setEnabled(false);
    progressSheet_->open();

    browser::BatchJob job;
    job.sources = sources;
    job.preset = item.preset;
    job.overwrite = platform::UserDefaults::standard().boolForKey(SilentlyOverwrite);
    if (useExportLocation_ && exportLocation_) job.exportFolder = exportLocation_;
    QPointer<BrowserWindowController> self(this);
    worker_->start(
        std::move(job),
        [self](const fs::path& source) {
            if (self) self->progressUpdate(source);
        },
        [self](const std::optional<platform::Error>& error) {
            if (self) self->runWorkerCompleted(error);
        });
}

void BrowserWindowController::userCancelAction() {
    if (worker_) worker_->cancel();
}

void BrowserWindowController::applicationWillTerminate() {
    if (!worker_) return;
    worker_->cancel();
    worker_->join();
}

void BrowserWindowController::progressUpdate(const fs::path& path) {
    const std::string name = path.filename().string();
    progressText_->setText(name.empty() ? QStringLiteral("<no filename>") : QString::fromStdString(name));
    ++currentFileIndex_;
    progress_ = browser::batchProgress(currentFileIndex_, batchFileCount_);
    progressBar_->setValue(int(progress_ * 10 + 0.5));
}

void BrowserWindowController::runWorkerCompleted(const std::optional<platform::Error>& error) {
    batchRunning_ = false;
    lastBatchError_ = error;
    progressSheet_->hide();
    platform::NotificationCenter::defaultCenter().post(platform::notification::EnableMenus, this);
    exportLocationPopUp_->setEnabled(true);
    mpopUp_->setEnabled(true);
    if (error) presentBatchSummary(*error);
    folderDidChange();
}

// A sheet on the browser, not a blocking alert: the grid behind it shows what was written.
void BrowserWindowController::presentBatchSummary(const platform::Error& summary) {
    const QString text = QString::fromStdString(summary.failureReason);
    const qsizetype split = text.indexOf(QStringLiteral("\n\n"));
    if (!batchSummary_) {
        batchSummary_ =
            new QMessageBox(QMessageBox::Warning, tr("Lumivar"), QString(), QMessageBox::Ok, this);
        batchSummary_->setWindowModality(Qt::WindowModal);
    }
    batchSummary_->setText(split < 0 ? text : text.left(split));
    batchSummary_->setInformativeText(split < 0 ? QString() : text.mid(split + 2));
    batchSummary_->open();
}

void BrowserWindowController::present(const platform::Error& error) {
    if (hooks_.presentError) {
        hooks_.presentError(error);
        return;
    }
    QMessageBox alert(QMessageBox::Warning, tr("Lumivar"), QString::fromStdString(error.failureReason),
                      QMessageBox::Ok, this);
    alert.exec();
}

void BrowserWindowController::cellWasDoubleClicked(int index) {
    const auto node = dataSource_->itemAtIndex(index);
    if (!node) return;
    if (node->isDirectory()) {
        changeDirectory(node->getURL(), BrowserHistory::New);
        return;
    }
    platform::Error error;
    if (!hooks_.openDocument) return;
    if (!hooks_.openDocument(node->getURL(), &error)) present(error);
}

void BrowserWindowController::selectionDidChange() {
    const std::vector<fs::path> selected = selectedPaths();
    if (!selected.empty()) {
        mPathControl_->setURL(selected.front());
        if (!isBatchRunning()) mpopUp_->setEnabled(true);
    } else if (const auto root = dataSource_->getRoot()) {
        mPathControl_->setURL(root->getURL());
    }
}

bool BrowserWindowController::browse(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec) || ::access(folder.c_str(), R_OK | X_OK) != 0) return false;
    const fs::path absolute = fs::weakly_canonical(fs::absolute(folder), ec);
    secureBookmark_ = absolute;
    storePath(ImageDirectoryBookmark, absolute);
    changeDirectory(absolute, BrowserHistory::New);
    return true;
}

void BrowserWindowController::selectAll() { mImageBrowser_->selectAll(); }

bool BrowserWindowController::selectNames(const std::vector<std::string>& names) {
    QItemSelection selection;
    bool all = true;
    for (const std::string& name : names) {
        int found = -1;
        for (int row = 0; row < dataSource_->rowCount(); ++row)
            if (dataSource_->itemAtIndex(row)->lastPathComponent() == name) found = row;
        if (found < 0) {
            all = false;
            continue;
        }
        selection.select(dataSource_->index(found), dataSource_->index(found));
    }
    mImageBrowser_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    return all;
}

void BrowserWindowController::setImageViewApearance(bool useControlColours) {
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSize(9);
    mImageBrowser_->setFont(font);
    QPalette palette = mImageBrowser_->palette();
    const QPalette system = QApplication::palette();
    QColor text, ground;
    if (useControlColours) {
        text = system.color(QPalette::ButtonText);
        ground = system.color(QPalette::Base);
        dark_ = ground.lightness() < 128;
    } else {
        dark_ = system.color(QPalette::Window).lightness() < 128;
        text = dark_ ? Qt::white : Qt::black;
        ground = dark_ ? Qt::black : Qt::white;
    }
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Base, ground);
    palette.setColor(QPalette::Window, ground);
    mImageBrowser_->setPalette(palette);
}

void BrowserWindowController::changeEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ApplicationPaletteChange || type == QEvent::PaletteChange ||
        type == QEvent::ThemeChange)
        setImageViewApearance(false);
    else if (event->type() == QEvent::ActivationChange && isActiveWindow())
        buildMenus(); // new presets appear
    QWidget::changeEvent(event);
}
