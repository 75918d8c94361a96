#include "app/ui/PresetWindowController.h"

#include <QEvent>
#include <QPushButton>
#include <QThread>

#include "app/core/Keys.h"
#include "app/core/PresetManager.h"
#include "app/ui/AppIcon.h"
#include "app/ui/ItemTableWindow.h"

namespace {
PresetManager& manager() { return PresetManager::sharedPresetManager(); }
} // namespace

PresetWindowController::PresetWindowController(QObject* parent)
    : QObject(parent),
      window_(std::make_unique<ItemTableWindow>(QStringLiteral("Presets"), QStringLiteral("New Preset…"))) {
    window_->setObjectName(QStringLiteral("PresetWindow"));
    window_->importButton()->setObjectName(QStringLiteral("newPreset"));
    connect(window_.get(), &ItemTableWindow::importRequested, this, [this] {
        if (makeNewPreset_) makeNewPreset_();
    });
    window_->installEventFilter(this);
    updateNewPresetButton();
    connect(window_.get(), &ItemTableWindow::deleteRequested, this, [this](std::vector<int> rows) {
        std::vector<platform::Dictionary> chosen;
        for (int row : rows)
            if (row >= 0 && size_t(row) < tableContents_.size())
                chosen.push_back(tableContents_[size_t(row)].preset);
        for (const auto& preset : chosen)
            deleteDisplayedItem(preset);
    });
    loadTable();
    observer_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::notification::PresetsChanged, nullptr,
        [this](const platform::Notification&) { presetsDidChange(); });
}

PresetWindowController::~PresetWindowController() {
    platform::NotificationCenter::defaultCenter().removeObserver(observer_);
}

QWidget* PresetWindowController::browserWindow() const { return window_.get(); }

void PresetWindowController::presetsDidChange() {
    // The batch export's worker may change presets too; the table lives on the GUI thread.
    if (QThread::currentThread() != thread())
        QMetaObject::invokeMethod(
            this, [this] { loadTable(); }, Qt::QueuedConnection);
    else
        loadTable();
}

void PresetWindowController::loadTable() {
    std::vector<Row> rows;
    std::vector<ItemTableWindow::Row> shown;
    for (auto& preset : manager().presetList(false)) {
        const auto name = preset.find(std::string(app::keys::DisplayName));
        Row row{preset, name != preset.end() ? name->second.stringValue() : std::string(), kShortDescription,
                appui::lumivarIcon()};
        shown.push_back(
            {row.imagePreview, QString::fromStdString(row.name), QString::fromUtf8(kShortDescription)});
        rows.push_back(std::move(row));
    }
    tableContents_ = std::move(rows);
    window_->setRows(shown);
}

void PresetWindowController::showBrowser() {
    updateNewPresetButton();
    appui::bringToFront(window_.get());
}

void PresetWindowController::setNewPresetHooks(std::function<bool()> available, std::function<void()> make) {
    newPresetAvailable_ = std::move(available);
    makeNewPreset_ = std::move(make);
    updateNewPresetButton();
}

void PresetWindowController::updateNewPresetButton() {
    window_->importButton()->setEnabled(makeNewPreset_ && newPresetAvailable_ && newPresetAvailable_());
}

bool PresetWindowController::eventFilter(QObject* watched, QEvent* event) {
    // Whether an image is shown may have changed while the window was behind.
    if (watched == window_.get() &&
        (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show))
        updateNewPresetButton();
    return QObject::eventFilter(watched, event);
}

void PresetWindowController::deleteDisplayedItem(const platform::Dictionary& preset) {
    platform::Error error;
    if (!manager().removePreset(&preset, &error)) presentError_(window_.get(), error);
}
