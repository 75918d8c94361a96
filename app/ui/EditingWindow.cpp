#include "app/ui/EditingWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/core/AppTables.h"
#include "app/core/DocumentWindow.h"
#include "app/core/Keys.h"
#include "app/core/MyDocument.h"
#include "app/core/PresetManager.h"
#include "app/core/SettingTypes.h"
#include "app/ui/BindableSettings.h"
#include "app/ui/ControlRanges.h"
#include "app/ui/EditingPanes.h"
#include "app/ui/EditingSidebar.h"
#include "app/ui/LumivarClickTextField.h"
#include "app/ui/SettingBinder.h"
#include "app/ui/WindowChoosers.h"
#include "color/ColorSyncProfileWrap.h"
#include "color/ProfileManager.h"
#include "color/iccProfileManager.h"
#include "display/TiledImageView.h"
#include "display/TiledViewGeometry.h"
#include "display/widgets/BackGroundView.h"
#include "display/widgets/HistogramView.h"
#include "display/widgets/LumivarNumberFormatter.h"
#include "display/widgets/ProgressSpinner.h"
#include "display/widgets/SegmentedControl.h"
#include "dng/CameraProfileManager.h"
#include "engine/core/QueueEngine.h"
#include "engine/core/TiledEngine.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Notifications.h"
#include "platform/UserDefaults.h"

using window_commands::StepCommand;

// The document holds its windows; it holds this link, which never keeps the widget alive.
class EditingWindow::Link : public DocumentWindow {
  public:
    explicit Link(EditingWindow* window) : window_(window) {}
    platform::Rect activeTiledRect() override {
        return window_ ? window_->activeTiledRect() : platform::Rect{-1, -1, -1, -1};
    }
    void setTempAndTint(float temperature, float tint) override {
        if (window_) window_->setTempAndTint(temperature, tint);
    }
    void setSceneReferred(bool sceneReferred) override {
        if (window_) window_->setSceneReferred(sceneReferred);
    }
    void closeWindow() override {
        if (window_) window_->close();
    }

  private:
    QPointer<EditingWindow> window_;
};

// The document's settings as the controls see them; observations arrive on the main thread.
class EditingWindow::Settings : public BindableSettings {
  public:
    explicit Settings(std::shared_ptr<MyDocument> document) : document_(std::move(document)) {}
    ~Settings() override {
        for (const auto& [id, token] : tokens_)
            document_->removeObserver(token);
    }
    platform::Value settingValue(std::string_view key) const override {
        return document_->valueForKey(key).value_or(platform::Value());
    }
    void setSettingValue(std::string_view key, const platform::Value& value) override {
        document_->setValue(value, key);
    }
    int observeSetting(std::string_view key, std::function<void()> changed) override {
        auto alive = alive_;
        const platform::ObserverToken token =
            document_->addObserver(key, [alive, changed = std::move(changed)](const std::string&) {
                auto call = [alive, changed] {
                    if (*alive) changed();
                };
                if (platform::MainQueue::isMainThread())
                    call();
                else
                    platform::MainQueue::shared().async(call);
            });
        tokens_[++lastId_] = token;
        return lastId_;
    }
    void stopObserving(int id) override {
        auto it = tokens_.find(id);
        if (it == tokens_.end()) return;
        document_->removeObserver(it->second);
        tokens_.erase(it);
    }
    void detach() { *alive_ = false; }

  private:
    std::shared_ptr<MyDocument> document_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::map<int, platform::ObserverToken> tokens_;
    int lastId_ = 0;
};

const std::vector<EditingWindow::PresetGroup>& EditingWindow::presetGroups() {
    // The schema's groups in order, each with the keys of its rows.
    static const std::vector<PresetGroup> groups = [] {
        std::vector<PresetGroup> list;
        for (const settings::PresetGroupTitle& group : settings::kPresetGroups) {
            list.push_back({group.title.data(), {}});
            for (const settings::Setting* setting : settings::kAll)
                if (setting->presetGroup == group.group) list.back().keys.push_back(setting->c_str());
        }
        return list;
    }();
    return groups;
}

EditingWindow::EditingWindow(std::shared_ptr<MyDocument> document, QWidget* parent)
    : QMainWindow(parent), document_(std::move(document)), link_(std::make_shared<Link>(this)),
      settings_(std::make_unique<Settings>(document_)) {
    auto& center = platform::NotificationCenter::defaultCenter();
    QPointer<EditingWindow> self(this);
    auto onMain = [self](void (EditingWindow::*handler)(const platform::Notification&)) {
        return [self, handler](const platform::Notification& note) {
            if (self) (self.data()->*handler)(note);
        };
    };
    notifications_.push_back(center.addObserver(platform::notification::NewProcessedImage, nullptr,
                                                onMain(&EditingWindow::newProcessedImage),
                                                &platform::MainQueue::shared()));
    notifications_.push_back(center.addObserver(platform::notification::UpdatedImage, nullptr,
                                                onMain(&EditingWindow::updatedImage),
                                                &platform::MainQueue::shared()));
    notifications_.push_back(center.addObserver(platform::notification::EngineDidStart, nullptr,
                                                onMain(&EditingWindow::engineDidStart),
                                                &platform::MainQueue::shared()));
    buildWindow();
    windowDidLoad();
}

EditingWindow::~EditingWindow() {
    for (const auto& token : notifications_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    CameraProfileManager::sharedCameraProfileManager().removeObserver(cameraProfilesToken_);
    ProfileManager::sharedManager().removeObserver(iccProfilesToken_);
    if (!windowHasClosed_) windowWillClose();
    settings_->detach();
}

EditingWindow* EditingWindow::makeWindowControllers(const std::shared_ptr<MyDocument>& document) {
    auto* window = new EditingWindow(document);
    window->setAttribute(Qt::WA_DeleteOnClose, true);
    document->addWindowController(window->documentWindow());
    window->show();
    document->documentIsForDisplay(true);
    return window;
}

std::shared_ptr<MyDocument> EditingWindow::document() const { return document_; }

std::shared_ptr<DocumentWindow> EditingWindow::documentWindow() const { return link_; }

void EditingWindow::buildWindow() {
    setWindowTitle(QString::fromStdString(document_->displayName()));
    auto* central = new QWidget(this);
    auto* outer = new QHBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    splitView = new QSplitter(Qt::Horizontal, central);
    splitView->setChildrenCollapsible(false);
    outer->addWidget(splitView);

    // Left: the image with the probe line under it.
    auto* left = new QWidget(splitView);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    leftLayout->addWidget(buildImageBar(left));
    mImageView = new TiledImageView(left);
    mImageView->setObjectName("imageView");
    mImageView->hide(); // until the first image
    leftLayout->addWidget(mImageView, 1);
    openProgress = new ProgressSpinner(left);
    openProgress->setObjectName("openProgress");
    openProgress->setFixedSize(48, 48);
    leftLayout->addWidget(openProgress, 1, Qt::AlignCenter);
    auto* status = new QHBoxLayout;
    status->setContentsMargins(6, 2, 6, 2);
    mPixelValues = new QLabel("-", left);
    mPixelValues->setObjectName("pixelValues");
    // One line whatever it reads, so that the image above does not move with the text.
    mPixelValues->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    mPixelValues->setFixedHeight(mPixelValues->fontMetrics().height() + 2);
    mProgress = new ProgressSpinner(left);
    mProgress->setObjectName("renderProgress");
    mProgress->setFixedSize(16, 16);
    mProgress->setDisplayedWhenStopped(false);
    status->addWidget(mPixelValues, 1);
    status->addWidget(mProgress);
    leftLayout->addLayout(status);

    // Right: histogram over the sidebar.
    auto* bgView = new BackGroundView(splitView);
    auto* right = new QVBoxLayout(bgView);
    right->setContentsMargins(0, 0, 0, 0);
    histogramView_ = new HistogramView(bgView);
    histogramView_->setObjectName("histogramView");
    histogramView_->setMinimumHeight(100);
    right->addWidget(histogramView_);
    const bool cinematic = platform::UserDefaults::standard().boolForKey("enableCinematic");
    panes_ = std::make_unique<EditingPanes>(bgView, cinematic);
    sidebar_ = new EditingSidebar(bgView);
    sidebar_->setObjectName("sidebar");
    sidebar_->setSections(panes_->sections());
    const QColor background = sidebar_->palette().color(QPalette::Base);
    sidebar_->setRowBackground(background);
    bgView->setBg(background);
    right->addWidget(sidebar_, 1);

    // The divider stays 120 points from either end.
    left->setMinimumWidth(120);
    bgView->setMinimumWidth(120);
    splitView->addWidget(left);
    splitView->addWidget(bgView);
    splitView->setStretchFactor(0, 1);
    splitView->setStretchFactor(1, 0);
    splitView->setSizes({900, 340});
    setCentralWidget(central);

    fillPopups();
    binder_ = new SettingBinder(settings_.get(), this);
    binder_->bindTree(bgView);
    observeListSources();
    showRenderingIntent();

    for (LumivarClickTextField* label : panes_->labels)
        connect(label, &LumivarClickTextField::lablelDoubleClicked, this,
                [this](LumivarClickTextField* l) { resetControl(l); });
    for (QSlider* slider : panes_->sliders)
        slider->installEventFilter(this);
    for (QLineEdit* field : panes_->fields)
        field->installEventFilter(this);

    connect(panes_->presetPopup, &QComboBox::activated, this, [this](int index) {
        const QVariant data = panes_->presetPopup->itemData(index);
        if (index > 0 && data.canConvert<platform::Value>()) {
            const platform::Value value = data.value<platform::Value>();
            if (const auto* preset = value.dictionary()) applyPreset(*preset);
        }
    });
    connect(panes_->savePresetButton, &QPushButton::clicked, this, [this] { showNewPresetWindow(); });
    connect(panes_->eyedropperButton, &QPushButton::clicked, this,
            [this] { setCursorMode(TiledViewGeometry::kEyedropperMode); });
    connect(panes_->exportButton, &QPushButton::clicked, this, [this] { exportAsSelected(); });
    connect(panes_->updateButton, &QPushButton::clicked, this, [this] { extEditorUpdate(); });
    connect(panes_->pcdResolutionButton, &QPushButton::clicked, this, [this] { photoCDResolution(); });
    panes_->pcdResolutionButton->setEnabled(photoCdDocument());
    if (!photoCdDocument()) panes_->pcdResolutionButton->setToolTip("For Photo CD images only");
    panes_->updateButton->setEnabled(document_->extEditorURL().has_value());
    if (const auto& proxy = document_->extEditorURL())
        panes_->proxyPath->setText(QString::fromStdString(proxy->string()));

    mImageView->setTileDelegate(this);
    mImageView->setEyeDropperDelegate(this);
    installActions();

    // Frame kept between sessions.
    if (auto frame = platform::UserDefaults::standard().stringForKey(kFrameKey))
        restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(*frame)));
    else
        resize(1280, 860);

    pixelTimer = new QTimer(this);
    pixelTimer->setInterval(30);
    connect(pixelTimer, &QTimer::timeout, this, [this] { pixelTick(); });
    pixelTimer->start();
    openProgress->startAnimation();
}

void EditingWindow::fillPopups() {
    {
        auto* presets = panes_->presetPopup;
        const QSignalBlocker quiet(presets);
        presets->clear();
        for (const auto& preset : PresetManager::sharedPresetManager().presetListForMenu()) {
            auto it = preset.find("displayName");
            const QString name = it != preset.end() && it->second.string()
                                     ? QString::fromStdString(*it->second.string())
                                     : QString("?");
            presets->addItem(name, QVariant::fromValue(platform::Value(preset)));
        }
        presets->setCurrentIndex(0);
    }
    {
        auto* profiles = panes_->cameraProfilePopup;
        const QSignalBlocker quiet(profiles);
        profiles->clear();
        for (const auto& profile : CameraProfileManager::sharedCameraProfileManager().profileListForMenu())
            profiles->addItem(QString::fromStdString(profile->displayName()),
                              QVariant::fromValue(platform::Value(profile->objectSerializeForPList())));
    }
    {
        auto* icc = panes_->iccProfilePopup;
        const QSignalBlocker quiet(icc);
        icc->clear();
        for (const auto& profile : iccProfileManager::sharediccProfileManager().profileListForMenu())
            icc->addItem(QString::fromStdString(profile->description()),
                         QVariant::fromValue(platform::Value(profile->objectSerializeForPList())));
    }
    // The new lists show the document's choices again.
    if (binder_) {
        binder_->refresh(std::string(app::keys::CameraProfile));
        binder_->refresh(std::string(app::keys::IccProfile));
    }
}

void EditingWindow::observeListSources() {
    QPointer<EditingWindow> self(this);
    const auto refill = [self] {
        if (self && !self->windowHasClosed_) self->fillPopups();
    };
    notifications_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        platform::notification::PresetsChanged, nullptr,
        [refill](const platform::Notification&) { refill(); }, &platform::MainQueue::shared()));
    // The managers announce on the thread that changed them; the pop-ups live on this one.
    const auto afterChange = [refill](std::string_view, bool willChange) {
        if (!willChange) platform::MainQueue::shared().async(refill);
    };
    cameraProfilesToken_ = CameraProfileManager::sharedCameraProfileManager().addObserver(afterChange);
    iccProfilesToken_ = ProfileManager::sharedManager().addObserver(afterChange);
    settings_->observeSetting(app::keys::IccProfile, [self] {
        if (self) self->showRenderingIntent();
    });
}

void EditingWindow::showRenderingIntent() {
    std::optional<uint32_t> intent;
    const auto value = document_->valueForKey(app::keys::IccProfile);
    if (value && value->dictionary())
        if (auto profile = ColorSyncProfileWrap::createFromPList(*value->dictionary());
            profile && !profile->isAutoProfile())
            intent = profile->renderingIntent();
    panes_->renderingIntentPopup->setCurrentIndex(window_commands::renderingIntentIndex(intent));
}

QWidget* EditingWindow::buildImageBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    bar->setObjectName("imageBar");
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);
    cursorModeControl_ =
        new SegmentedControl({"Pan", "Crop", "Eyedropper"}, {"cursorPan", "cursorCrop", "cursorEyedropper"},
                             SegmentedControl::Tracking::SelectOne, bar);
    cursorModeControl_->setObjectName("cursorMode");
    cursorModeControl_->setToolTip("Cursor mode: drag to pan, drag a crop, or click a neutral area");
    cursorModeControl_->setSelectedSegment(int(cursorMode_));
    connect(cursorModeControl_, &SegmentedControl::segmentClicked, this,
            [this](int tag) { setCursorMode(uint64_t(tag)); });
    auto* reset = new QToolButton(bar);
    reset->setObjectName("resetCrop");
    reset->setText("Reset Crop");
    connect(reset, &QToolButton::clicked, this, [this] { resetCropArea(); });
    auto* zoomSet = new SegmentedControl({"100%", "200%", "300%", "400%", "Fit"},
                                         {"zoom1", "zoom2", "zoom3", "zoom4", "zoomFit"},
                                         SegmentedControl::Tracking::Momentary, bar);
    connect(zoomSet, &SegmentedControl::segmentClicked, this,
            [this](int tag) { segmentedZoomSetClick(tag); });
    auto* zoomDelta = new SegmentedControl({"+", "\u2212"}, {"zoomIn", "zoomOut"},
                                           SegmentedControl::Tracking::Momentary, bar);
    connect(zoomDelta, &SegmentedControl::segmentClicked, this,
            [this](int tag) { segmentedZoomDeltaClick(tag); });
    auto* turn = new SegmentedControl({"\u27f2", "\u27f3"}, {"rotateCCW", "rotateCW"},
                                      SegmentedControl::Tracking::Momentary, bar);
    turn->segment(0)->setToolTip("Rotate left");
    turn->segment(1)->setToolTip("Rotate right");
    connect(turn, &SegmentedControl::segmentClicked, this, [this](int tag) { segmentedControlClick(tag); });
    row->addWidget(cursorModeControl_);
    row->addWidget(reset);
    row->addStretch(1);
    row->addWidget(zoomSet);
    row->addWidget(zoomDelta);
    row->addWidget(turn);
    return bar;
}

void EditingWindow::installActions() {
    auto add = [this](const QKeySequence& keys, auto handler) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    // The other keys are the menu items' own (ApplicationMenus.cpp), shown beside them; a
    // second action with the same key would make both ambiguous.
    add(QKeySequence("Ctrl++"), [this] { zoomIn(); });
}

void EditingWindow::windowDidLoad() {
    for (int ms : {100, 500, 1000, 5000}) {
        QPointer<EditingWindow> self(this);
        QTimer::singleShot(ms, this, [self] {
            if (self) self->scrollViewBugFix();
        });
    }
    mPixelValues->setText("-");
    const platform::Rect crop = document_->getCropRect();
    mImageView->setCropRect(QRectF(crop.x, crop.y, crop.width, crop.height));
}

void EditingWindow::scrollViewBugFix() {
    splitView->refresh();
    sidebar_->updateGeometry();
}

void EditingWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        platform::NotificationCenter::defaultCenter().post(platform::notification::DocumentChange, this);
    QMainWindow::changeEvent(event);
}

void EditingWindow::closeEvent(QCloseEvent* event) {
    platform::UserDefaults::standard().setObject(platform::Value(saveGeometry().toBase64().toStdString()),
                                                 kFrameKey);
    windowWillClose();
    document_->removeWindowController(link_);
    if (document_->windowControllers().empty()) document_->close();
    QMainWindow::closeEvent(event);
}

void EditingWindow::windowWillClose() {
    if (windowHasClosed_) return;
    if (mImageView) {
        mImageView->setEyeDropperDelegate(nullptr);
        mImageView->setCursorTrackingMode(0);
        mImageView->setTileDelegate(nullptr);
        mImageView->doneWithView();
    } else {
        platform::logMessage(">>>>> ERROR %s mImageView is null A", __func__);
    }
    openProgress->stopAnimation();
    openProgress->hide();
    pixelTimer->stop();
    if (binder_) binder_->unbindAll();
    windowHasClosed_ = true;
}

platform::Rect EditingWindow::activeTiledRect() const {
    if (!mImageView) return {};
    return mImageView->activeTiledRect();
}

void EditingWindow::setTempAndTint(float, float) {
    binder_->refresh(settings::InputTemperature.c_str());
    binder_->refresh(settings::InputTint.c_str());
}

void EditingWindow::setSceneReferred(bool) { binder_->refresh(settings::SceneReferred.c_str()); }

void EditingWindow::engineDidStart(const platform::Notification& note) {
    if (note.object != document_.get()) return;
    mProgress->startAnimation();
    spinner_.engineStarted();
    engineRunning_ = true;
}

void EditingWindow::newProcessedImage(const platform::Notification& note) {
    // Another document's render says nothing of this one's engine.
    if (note.object != document_.get()) return;
    engineRunning_ = false;
    pixelLocation = QPointF(-1, -1);
    if (windowHasClosed_) return;
    if (openProgress->isAnimating() || openProgress->isVisible()) {
        openProgress->stopAnimation();
        openProgress->hide();
        mImageView->show();
    }
    auto image = document_->outputImage();
    if (!image || !mImageView->setImage(image, document_->getOrientation(), 0)) {
        WindowChoosers::shared().alert(
            this, "Fatal error",
            QString::fromUtf8(app::errors::NoGraphicsMemoryText.data(),
                              qsizetype(app::errors::NoGraphicsMemoryText.size())));
        return;
    }
    histogramView_->setImage(image->getThumbnail(true));
}

void EditingWindow::updatedImage(const platform::Notification& note) {
    if (note.object != document_.get()) return;
    pixelLocation = QPointF(-1, -1);
    if (windowHasClosed_) return;
    showImage();
}

void EditingWindow::showImage() {
    mImageView->show();
    if (auto image = document_->outputImage()) mImageView->setImage(image, document_->getOrientation(), 0);
}

void EditingWindow::zoomIn() {
    mImageView->setPixelScaleFactor(window_commands::zoomedIn(mImageView->pixelScaleFactor()));
}
void EditingWindow::zoomOut() {
    mImageView->setPixelScaleFactor(window_commands::zoomedOut(mImageView->pixelScaleFactor()));
}
void EditingWindow::zoomImageToFit() { mImageView->setScaleFactorToFit(); }
void EditingWindow::zoomImageTo(double factor) { mImageView->setPixelScaleFactor(factor); }

void EditingWindow::rotateCW() {
    if (auto code = window_commands::rotatedClockwise(document_->getOrientation())) {
        document_->orientationChanged(*code);
        updatedImage(platform::Notification{"UpdatedImage", document_.get(), {}});
    }
}

void EditingWindow::rotateCCW() {
    if (auto code = window_commands::rotatedCounterClockwise(document_->getOrientation())) {
        document_->orientationChanged(*code);
        updatedImage(platform::Notification{"UpdatedImage", document_.get(), {}});
    }
}

void EditingWindow::cropRectChanged(const QRectF& rect) {
    document_->cropRectChanged(platform::Rect{rect.x(), rect.y(), rect.width(), rect.height()});
}

void EditingWindow::resetCropArea() {
    document_->cropRectChanged(platform::Rect{-1, -1, -1, -1});
    mImageView->setCropRect(QRectF(-1, -1, -1, -1));
    setCursorMode(0);
}

void EditingWindow::setCursorMode(uint64_t mode) {
    cursorMode_ = mode;
    mImageView->setCursorTrackingMode(mode);
    cursorModeControl_->setSelectedSegment(int(mode));
    Q_EMIT cursorModeChanged(int(mode));
}

void EditingWindow::segmentedZoomSetClick(int tag) {
    if (tag >= 0 && tag <= 3)
        zoomImageTo(tag + 1);
    else if (tag == 4)
        zoomImageToFit();
}

void EditingWindow::segmentedZoomDeltaClick(int tag) {
    if (tag == 0)
        zoomIn();
    else if (tag == 1)
        zoomOut();
}

void EditingWindow::segmentedControlClick(int tag) {
    if (tag == 0)
        rotateCCW();
    else if (tag == 1)
        rotateCW();
}

void EditingWindow::eyedropperWasClicked(TiledViewGeometry&, QPointF imagePoint) {
    setCursorMode(0);
    document_->setWBFromPoint(imagePoint.x(), imagePoint.y());
}

void EditingWindow::regionOfInterestChanged(const TileRegion&) {
    platform::logMessage("%s Unhandled ROI change", __func__);
}

void EditingWindow::resetControl(const QWidget* control) {
    const std::string key = window_commands::parameterID(control->objectName().toStdString());
    if (!key.empty()) document_->setToDefault(key);
}

void EditingWindow::setViaControlBindings(const std::string& key, const platform::Value& value) {
    document_->setValue(value, key);
}

bool EditingWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && qobject_cast<QSlider*>(watched)) {
        // Consumed: the slider's own handling of the second press would move it off the default.
        resetControl(static_cast<QWidget*>(watched));
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        if (auto* field = qobject_cast<QLineEdit*>(watched)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool extend = key->modifiers() & Qt::ShiftModifier;
            StepCommand command = StepCommand::Other;
            switch (key->key()) {
            case Qt::Key_Up:
                command = extend ? StepCommand::PageUp : StepCommand::Up;
                break;
            case Qt::Key_Down:
                command = extend ? StepCommand::PageDown : StepCommand::Down;
                break;
            case Qt::Key_PageUp:
                command = StepCommand::PageUp;
                break;
            case Qt::Key_PageDown:
                command = StepCommand::PageDown;
                break;
            default:
                break;
            }
            if (command != StepCommand::Other && stepField(field, command)) return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool EditingWindow::stepField(QLineEdit* field, StepCommand command) {
    const std::string key = window_commands::parameterID(field->objectName().toStdString());
    const auto range = controlRangeForKey(key);
    if (!range) return false;
    const double current = document_->valueForKey(key).value_or(platform::Value(0.0)).doubleValue();
    const auto stepped = window_commands::steppedValue(current, range->minimum, range->maximum, command);
    if (!stepped) return false;
    setViaControlBindings(key, *stepped);
    return true;
}

void EditingWindow::pixelTick() {
    const bool active = mImageView->getDrawInProgress() || engineRunning_;
    switch (spinner_.tick(active)) {
    case window_commands::SpinnerCountdown::Action::Start:
        mProgress->startAnimation();
        break;
    case window_commands::SpinnerCountdown::Action::Stop:
        mProgress->stopAnimation();
        break;
    case window_commands::SpinnerCountdown::Action::None:
        break;
    }
    std::optional<QString> text;
    const QPointF location = mImageView->getPixelUnrotatedLocation();
    if (location != pixelLocation) {
        pixelLocation = location;
        if (location.x() >= 0) {
            text = QString::fromStdString(document_->pixelValueString(location.x(), location.y()));
            zoomFactor = -1;
        }
    }
    if (pixelLocation.x() < 0) {
        const double factor = mImageView->pixelScaleFactor();
        if (factor > 0.01 && factor != zoomFactor) {
            zoomFactor = factor;
            text = QString::fromStdString(window_commands::zoomText(factor));
        }
    }
    if (text) mPixelValues->setText(*text);
}

QString EditingWindow::probeText() const { return mPixelValues->text(); }

bool EditingWindow::applyPreset(const platform::Dictionary& preset) {
    if (auto wrong = app::wrongSettingType(preset)) {
        WindowChoosers::shared().alert(this, "The preset could not be applied",
                                       QString::fromStdString(wrong->failureReason));
        return false;
    }
    currentPreset = preset;
    document_->addSettingValues(preset);
    return true;
}

bool EditingWindow::applyPresetNamed(const std::string& name) {
    auto preset = PresetManager::sharedPresetManager().presetNamed(name);
    return preset && applyPreset(*preset);
}

void EditingWindow::showNewPresetWindow() {
    QDialog sheet(this);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.setWindowTitle("New Preset");
    auto* layout = new QVBoxLayout(&sheet);
    auto* name = new QLineEdit(&sheet);
    name->setObjectName("presetName");
    if (currentPreset) {
        auto it = currentPreset->find("displayName");
        if (it != currentPreset->end() && it->second.string())
            name->setText(QString::fromStdString(*it->second.string()));
    }
    layout->addWidget(name);
    auto* grid = new QGridLayout;
    std::vector<QCheckBox*> boxes;
    const auto& groups = presetGroups();
    for (size_t n = 0; n < groups.size(); ++n) {
        auto* box = new QCheckBox(groups[n].title, &sheet);
        bool on = true;
        if (currentPreset) {
            on = false;
            for (const char* key : groups[n].keys)
                on = on || currentPreset->count(key);
        }
        box->setChecked(on);
        grid->addWidget(box, int(n / 2), int(n % 2));
        boxes.push_back(box);
    }
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &sheet);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, &sheet, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &sheet, [&] {
        std::vector<bool> on;
        for (QCheckBox* box : boxes)
            on.push_back(box->isChecked());
        platform::Error error;
        if (saveNewPreset(name->text().toStdString(), on, &error)) {
            sheet.accept();
            return;
        }
        WindowChoosers::shared().alert(&sheet, QString::fromStdString(error.failureReason), QString());
        if (error.code != app::errors::EmptyPresetName) sheet.reject(); // an empty name keeps the sheet open
    });
    sheet.exec();
}

bool EditingWindow::saveNewPreset(const std::string& name, const std::vector<bool>& groupsOn,
                                  platform::Error* error) {
    if (name.empty()) return platform::fail(error, app::errors::Table.error(app::errors::EmptyPresetName));
    platform::Dictionary preset{{"displayName", platform::Value(name)}};
    const platform::Dictionary settings = document_->getSettingsDictionary();
    const auto& groups = presetGroups();
    for (size_t n = 0; n < groups.size() && n < groupsOn.size(); ++n) {
        if (!groupsOn[n]) continue;
        for (const char* key : groups[n].keys)
            if (auto it = settings.find(key); it != settings.end()) preset[key] = it->second;
    }
    if (!PresetManager::sharedPresetManager().addPreset(&preset, error)) return false;
    currentPreset = preset;
    return true;
}

void EditingWindow::exportAsSelected() {
    const int64_t selection =
        document_->valueForKey(app::keys::ExportFileType).value_or(platform::Value(0)).int64Value();
    exportAsType(std::string(window_commands::typeForExportSelection(selection)));
}

void EditingWindow::exportAsType(const std::string& type) {
    const platform::Rect crop = document_->getCropRect();
    const QString extension = QString::fromUtf8(window_commands::extensionForType(type).data());
    const QString proposed =
        QString::fromStdString(std::filesystem::path(document_->displayName()).stem().string());
    // The photo's own folder, not wherever the program was started from.
    std::filesystem::path folder;
    if (const auto& raw = document_->rawFile()) folder = raw->parent_path();
    const auto url = WindowChoosers::shared().saveFile(this, folder, proposed, extension);
    if (!url) return;
    startTask(*url, type, crop, QString::fromStdString(url->filename().string()));
}

void EditingWindow::extEditorUpdate() {
    const auto& proxy = document_->extEditorURL();
    if (!proxy) return;
    std::string extension = proxy->extension().string();
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    startTask(*proxy, std::string(window_commands::typeForProxyExtension(extension)), platform::Rect{},
              QString::fromStdString(proxy->filename().string()));
}

void EditingWindow::startTask(const std::filesystem::path& url, const std::string& type,
                              const platform::Rect& crop, const QString& title) {
    showProgressSheet(33, title);
    ++exportsRunning_;
    QPointer<EditingWindow> self(this);
    std::shared_ptr<MyDocument> document = document_;
    QueueEngine::sharedQueueEngine().sharedQueue().async([self, document, url, type, crop] {
        platform::Error error;
        const bool ok = document->exportToURL(url, type, crop, false, &error);
        std::optional<platform::Error> failure;
        if (!ok) failure = error;
        platform::MainQueue::shared().async([self, failure] {
            if (self) self->exportPresentError(failure);
        });
    });
}

void EditingWindow::showProgressSheet(int value, const QString& text) {
    if (!progressSheet) {
        progressSheet = new QDialog(this);
        progressSheet->setWindowModality(Qt::WindowModal);
        progressSheet->setWindowOpacity(0.9);
        auto* layout = new QVBoxLayout(progressSheet);
        progressText = new QLabel(progressSheet);
        progressBar = new QProgressBar(progressSheet);
        progressBar->setRange(0, 100);
        layout->addWidget(progressText);
        layout->addWidget(progressBar);
    }
    progressBar->setValue(value);
    progressText->setText(text);
    progressSheet->show();
}

void EditingWindow::exportPresentError(std::optional<platform::Error> error) {
    --exportsRunning_;
    if (progressBar) progressBar->setValue(90);
    if (progressSheet) progressSheet->hide();
    if (!error) {
        lastError_.clear();
        return;
    }
    lastError_ = QString::fromStdString(error->failureReason);
    WindowChoosers::shared().alert(this, "The export failed.", lastError_);
}

QString EditingWindow::pcdCurrentResolution() const {
    auto image = document_->outputImage();
    if (!image) return "n/a";
    const platform::Size size = image->outputSize();
    const int level = window_commands::resolutionLevel(size.width, size.height);
    return QString::asprintf("%1.0f x %1.0f (%s)", size.width, size.height,
                             window_commands::resStringForInt(level).c_str());
}

QString EditingWindow::pcdResolutionDiagnostic() const {
    auto image = document_->outputImage();
    int level = 2;
    if (image) {
        const platform::Size size = image->outputSize();
        level = window_commands::resolutionLevel(size.width, size.height);
    }
    const int selected = int(platform::UserDefaults::standard().integerForKey("ResolutionSelect"));
    std::optional<int64_t> ipe;
    if (auto parameters = document_->getCameraParameters())
        if (auto it = parameters->find("ipeStatus"); it != parameters->end()) ipe = it->second.int64Value();
    std::optional<std::string> scanner;
    if (auto icc = document_->valueForKey(app::keys::IccProfile); icc && icc->dictionary()) {
        auto it = icc->dictionary()->find("description");
        if (it != icc->dictionary()->end() && it->second.string()) scanner = *it->second.string();
    }
    return QString::fromStdString(window_commands::resolutionDiagnostic(level, selected, ipe, scanner));
}

bool EditingWindow::photoCdDocument() const {
    return window_commands::isPhotoCdFile(document_->displayName());
}

void EditingWindow::photoCDResolution() {
    if (!photoCdDocument()) return;
    QDialog sheet(this);
    sheet.setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(&sheet);
    auto* current = new QLabel(pcdCurrentResolution(), &sheet);
    auto* diagnostic = new QLabel(pcdResolutionDiagnostic(), &sheet);
    diagnostic->setWordWrap(true);
    // The resolution the preferences ask for, from the same list.
    auto* selected = new QComboBox(&sheet);
    selected->setObjectName("ResolutionSelect");
    for (std::string_view name : app::pcdResolutionMenuList())
        selected->addItem(QString::fromUtf8(name.data(), qsizetype(name.size())));
    auto& defaults = platform::UserDefaults::standard();
    selected->setCurrentIndex(int(defaults.integerForKey(app::defaults::ResolutionSelect)));
    connect(selected, &QComboBox::activated, &sheet, [this, diagnostic, &defaults](int index) {
        defaults.setInteger(index, app::defaults::ResolutionSelect);
        diagnostic->setText(pcdResolutionDiagnostic());
    });
    auto* form = new QFormLayout;
    form->addRow("Resolution in Preferences", selected);
    layout->addWidget(current);
    layout->addLayout(form);
    layout->addWidget(diagnostic);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &sheet);
    connect(buttons, &QDialogButtonBox::rejected, &sheet, &QDialog::reject);
    layout->addWidget(buttons);
    sheet.exec();
}
