#include "app/ui/preferences/PreferencesController.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"

namespace fs = std::filesystem;
using namespace app::defaults;

namespace {

// Why a folder cannot be the search folder; empty when it can.
std::string refusal(const fs::path& folder) {
    std::error_code ec;
    if (folder.empty()) return "no folder given";
    if (!fs::is_directory(folder, ec)) return ec ? ec.message() : "not a folder";
    if (::access(folder.c_str(), R_OK | X_OK) != 0) return std::strerror(errno);
    return {};
}

} // namespace

PreferencesController::PreferencesController(platform::UserDefaults* defaults, QWidget* parent)
    : QWidget(parent, Qt::Window), defaults_(defaults ? *defaults : platform::UserDefaults::standard()) {
    setWindowTitle(tr("Preferences"));
    resize(900, 420); // every page's toolbar item in view
    auto* layout = new QVBoxLayout(this);
    prefsToolBar_ = new QToolBar(this);
    prefsToolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tabView_ = new QStackedWidget(this);
    layout->addWidget(prefsToolBar_);
    layout->addWidget(tabView_, 1);

    QWidget* general = page(tr("General"), tr("Start-up and help."));
    addCheckBox(general, ShowSplashScreen.data(), tr("Show the splash screen at start"));
    addCheckBox(general, ShowPopoverHelp.data(), tr("Show help bubbles in the browser"));
    QWidget* browser = page(tr("Browser"), tr("Which files the folder browser shows."));
    addChoice(browser, BrowserFileSelect.data(), tr("Show"),
              {tr("Raw files only"), tr("Raw files and other images"), tr("All files")});
    addCheckBox(browser, ShowOnlyPCDFiles.data(), tr("Show only Photo CD files"));
    QWidget* exporting = page(tr("Export"), tr("Batch export from the browser."));
    addCheckBox(exporting, SilentlyOverwrite.data(),
                tr("Replace existing files without numbering new names"));
    tabView_->addWidget(rawSearchPage());
    QWidget* colour = page(tr("Colour"), tr("Profiles offered and chosen."));
    addCheckBox(colour, AutomaticColorProfile.data(), tr("Choose the camera profile automatically"));
    addCheckBox(colour, ShowExternalProfiles.data(), tr("List the ICC profiles installed on this computer"));
    QWidget* interpolation = page(tr("Interpolation"), tr("Demosaicing of raw files."));
    addCheckBox(interpolation, UseAdvancedInterpolation.data(), tr("Use the advanced interpolation"));
    QWidget* resolution = page(tr("Photo CD"), tr("The resolution Photo CD images open at."));
    QStringList resolutions;
    for (std::string_view name : app::pcdResolutionMenuList())
        resolutions << QString::fromUtf8(name.data(), qsizetype(name.size()));
    addChoice(resolution, ResolutionSelect.data(), tr("Resolution"), resolutions);
    QWidget* display = page(tr("Display"), tr("How the editing window draws."));
    addCheckBox(display, EnableHighQualityDisplay.data(), tr("High-quality display"));
    addCheckBox(display, DisableFastScreenUpdates.data(), tr("Turn off fast screen updates"));
    QWidget* memory = page(tr("Memory"), tr("Buffers kept while editing (switched off after a crash)."));
    addCheckBox(memory, DisableFrameBuffer.data(), tr("Turn off the frame buffer"));
    addCheckBox(memory, DisableImageCache.data(), tr("Turn off the image cache"));
    QWidget* development = page(tr("Development"), tr("Raw development."));
    addCheckBox(development, EnableNewPV.data(), tr("Match the two green channels"));
    QWidget* tone = page(tr("Tone"), tr("Highlight handling of the output stage."));
    addCheckBox(tone, EnableCinematic.data(), tr("Enable the highlight knee"));

    auto* group = new QActionGroup(this);
    for (int i = 0; i < tabView_->count(); ++i) {
        QAction* action = prefsToolBar_->addAction(tabView_->widget(i)->objectName());
        action->setCheckable(true);
        action->setChecked(i == 0);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { selectTab(i); });
    }
    showRawSearch();
}

PreferencesController::~PreferencesController() {
    for (platform::ObserverToken token : observers_)
        defaults_.removeObserver(token);
}

void PreferencesController::selectTab(int index) {
    if (index < 0 || index >= tabView_->count()) return;
    tabView_->setCurrentIndex(index);
    const QList<QAction*> actions = prefsToolBar_->actions();
    if (index < actions.size()) actions[index]->setChecked(true);
}

QWidget* PreferencesController::page(const QString& title, const QString& about) {
    auto* widget = new QWidget(tabView_);
    widget->setObjectName(title);
    auto* form = new QFormLayout(widget);
    auto* label = new QLabel(about, widget);
    label->setWordWrap(true);
    form->addRow(label);
    tabView_->addWidget(widget);
    return widget;
}

// Runs `apply` with the key's value now and after every change, on the main thread.
template <class Apply> void PreferencesController::bind(const char* key, Apply apply) {
    apply(defaults_.objectForKey(key));
    QPointer<PreferencesController> self(this);
    observers_.push_back(
        defaults_.addObserver(key, [self, apply](const platform::Value&, const platform::Value& now) {
            auto update = [self, apply, now] {
                if (self) apply(now);
            };
            if (platform::MainQueue::isMainThread())
                update();
            else
                platform::MainQueue::shared().async(update);
        }));
}

void PreferencesController::addCheckBox(QWidget* page, const char* key, const QString& text) {
    auto* box = new QCheckBox(text, page);
    box->setObjectName(key);
    static_cast<QFormLayout*>(page->layout())->addRow(box);
    bind(key, [box](const platform::Value& v) {
        const QSignalBlocker quiet(box);
        box->setChecked(v.boolValue());
    });
    connect(box, &QCheckBox::toggled, this, [this, key](bool on) { defaults_.setBool(on, key); });
}

void PreferencesController::addChoice(QWidget* page, const char* key, const QString& text,
                                      const QStringList& choices) {
    auto* combo = new QComboBox(page);
    combo->setObjectName(key);
    combo->addItems(choices);
    static_cast<QFormLayout*>(page->layout())->addRow(text, combo);
    bind(key, [combo](const platform::Value& v) {
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(int(std::clamp<int64_t>(v.int64Value(), 0, combo->count() - 1)));
    });
    connect(combo, &QComboBox::activated, this, [this, key](int index) { defaults_.setInteger(index, key); });
}

QWidget* PreferencesController::rawSearchPage() {
    auto* widget = new QWidget(tabView_);
    widget->setObjectName(tr("External editor"));
    auto* layout = new QVBoxLayout(widget);
    auto* about =
        new QLabel(tr("When another program hands Lumivar an edited copy, the raw file of the same name "
                      "is looked for in this folder."),
                   widget);
    about->setWordWrap(true);
    layout->addWidget(about);
    auto* row = new QHBoxLayout();
    pathLabel_ = new QLabel(widget);
    pathLabel_->setObjectName("rawSearchPath");
    pathLabel_->setFrameShape(QFrame::StyledPanel);
    pathLabel_->setMinimumWidth(320);
    pathButton_ = new QToolButton(widget);
    pathButton_->setText(tr("Folder"));
    pathButton_->setPopupMode(QToolButton::InstantPopup);
    pathMenu_ = new QMenu(pathButton_);
    pathButton_->setMenu(pathMenu_);
    connect(pathMenu_, &QMenu::aboutToShow, this, [this] { pathControlMenu(); });
    auto* choose = new QPushButton(tr("Choose…"), widget);
    choose->setObjectName("chooseRawSearchFolder");
    connect(choose, &QPushButton::clicked, this, [this] { chooseRawSearchFolder(); });
    row->addWidget(pathLabel_, 1);
    row->addWidget(pathButton_);
    row->addWidget(choose);
    layout->addLayout(row);
    layout->addStretch(1);
    bind(RawSearchDirectoryBookmark.data(), [this](const platform::Value&) { showRawSearch(); });
    return widget;
}

void PreferencesController::showRawSearch() {
    if (!pathLabel_) return;
    const std::optional<fs::path> folder = rawSearch();
    pathLabel_->setText(folder ? QString::fromStdString(folder->string()) : QString());
}

QMenu* PreferencesController::pathControlMenu() {
    pathMenu_->clear();
    QAction* choose = pathMenu_->addAction(tr("Choose..."));
    connect(choose, &QAction::triggered, this, [this] { chooseRawSearchFolder(); });
    // What a path control offers besides: the folder's own components.
    if (const std::optional<fs::path> folder = rawSearch()) {
        pathMenu_->addSeparator();
        for (fs::path p = *folder; !p.empty() && p != p.parent_path(); p = p.parent_path())
            pathMenu_->addAction(QString::fromStdString(p.string()));
    }
    pathControlWillPopUpMenu(pathMenu_);
    return pathMenu_;
}

void PreferencesController::pathControlWillPopUpMenu(QMenu* menu) {
    if (!menu) return;
    const QList<QAction*> actions = menu->actions();
    for (qsizetype i = 1; i < actions.size(); ++i) {
        menu->removeAction(actions[i]);
        if (actions[i]->parent() == menu) delete actions[i];
    }
}

void PreferencesController::pathControlWillDisplayOpenPanel(QFileDialog& panel) {
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly, true);
    panel.setLabelText(QFileDialog::LookIn, tr("Select a folder location containing your raw images."));
    panel.setWindowTitle(tr("Select a folder location containing your raw images."));
}

void PreferencesController::chooseRawSearchFolder() {
    QFileDialog panel(this);
    pathControlWillDisplayOpenPanel(panel);
    if (const std::optional<fs::path> current = rawSearch())
        panel.setDirectory(QString::fromStdString(current->string()));
    std::optional<fs::path> chosen;
    if (chooser_) {
        chosen = chooser_(panel);
    } else if (panel.exec() == QDialog::Accepted && !panel.selectedFiles().isEmpty()) {
        chosen = fs::path(panel.selectedFiles().front().toStdString());
    }
    if (chosen) setRawSearch(*chosen);
}

std::optional<fs::path> PreferencesController::rawSearch() const {
    const platform::Value stored = defaults_.objectForKey(RawSearchDirectoryBookmark);
    if (!stored.isString() || !refusal(*stored.string()).empty()) return std::nullopt;
    return fs::path(*stored.string());
}

bool PreferencesController::setRawSearch(const fs::path& folder) {
    const std::string why = refusal(folder);
    bool stored = false;
    if (why.empty()) {
        const fs::path absolute = fs::absolute(folder).lexically_normal();
        defaults_.setObject(platform::Value(absolute.string()), RawSearchDirectoryBookmark);
        LV_LOG("%s rawSearchDirectoryBookmark set to %s", __PRETTY_FUNCTION__, absolute.c_str());
        stored = true;
    } else {
        LV_LOG("%s ERROR settingrawSearchDirectoryBookmark to %s : %s", __PRETTY_FUNCTION__, folder.c_str(),
               why.c_str());
    }
    defaults_.synchronize();
    showRawSearch();
    return stored;
}
