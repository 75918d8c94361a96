#include "app/ui/EditingWindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <cmath>
#include <filesystem>

#include "app/core/MyDocument.h"
#include "app/core/PresetManager.h"
#include "app/ui/ControlRanges.h"
#include "app/ui/EditingPanes.h"
#include "app/ui/EditingSidebar.h"
#include "app/ui/WindowChoosers.h"
#include "app/ui/WindowCommands.h"
#include "display/CropLayerController.h"
#include "display/TiledImageView.h"
#include "display/widgets/SegmentedControl.h"
#include "dng/CameraProfileManager.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "platform/Plist.h"
#include "settings/Schema.h"
#include "tests/app/ui/ProfileFiles.h"
#include "tests/app/ui/WindowTestSupport.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

class EditingWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        windowtest::app();
        saved_ = WindowChoosers::shared();
        WindowChoosers::shared().alert = [this](QWidget*, const QString& message, const QString& text) {
            alerts.push_back(message + ": " + text);
        };
        WindowChoosers::shared().saveFile = [this](QWidget*, const fs::path& folder, const QString& name,
                                                   const QString& extension) -> std::optional<fs::path> {
            asked.push_back(extension);
            folders.push_back(folder);
            return home_.path() / (name + "." + extension).toStdString();
        };
        chart_ = home_.path() / "chart.dng";
        fs::copy_file(fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng", chart_);
        document = MyDocument::create();
        platform::Error error;
        ASSERT_TRUE(document->read(chart_.string(), &error)) << error.failureReason;
        window = EditingWindow::makeWindowControllers(document);
        ASSERT_TRUE(windowtest::waitFor([this] { return window->imageView()->isVisible(); }));
    }
    void TearDown() override {
        if (window) {
            window->close();
            windowtest::waitFor([] { return false; }, std::chrono::milliseconds(50));
        }
        WindowChoosers::shared() = saved_;
    }

    testsupport::TempHome home_;
    fs::path chart_;
    WindowChoosers saved_;
    std::vector<QString> alerts;
    std::vector<QString> asked;
    std::vector<fs::path> folders;
    std::shared_ptr<MyDocument> document;
    QPointer<EditingWindow> window;
};

} // namespace

TEST_F(EditingWindowTest, SidebarHoldsTheSectionsInOrderAndSelectsOnlyContentRows) {
    const std::vector<std::string> titles{"Presets",  "Processing Options", "Demosaic",
                                          "Exposure", "Monochrome Filters", "Sharpening",
                                          "Export",   "App Integration"};
    EXPECT_EQ(window->sidebar()->topLevelItems(), titles);
    auto* model = window->sidebar()->model();
    EXPECT_EQ(model->index(4, 0).data().toString(), "MONOCHROME FILTERS");
    EXPECT_TRUE(EditingSidebar::selectionAllowed(1));
    EXPECT_FALSE(EditingSidebar::selectionAllowed(2));
    // Every channel-mix slider is bound to its key.
    for (const char* key : {settings::MonochromeRed.c_str(), settings::MonochromeYellow.c_str(),
                            settings::MonochromeGreen.c_str(), settings::MonochromeCyan.c_str(),
                            settings::MonochromeBlue.c_str()})
        EXPECT_NE(window->panes().monochromeFilterView->findChild<QSlider*>(key), nullptr) << key;
}

TEST_F(EditingWindowTest, ZoomReadOutChangesOnlyWithTheScale) {
    window->zoomImageTo(0.5);
    window->pixelTick();
    EXPECT_EQ(window->probeText(), "Zoom: 50%");
    window->findChild<QLabel*>("pixelValues")->setText("kept");
    window->pixelTick();
    EXPECT_EQ(window->probeText(), "kept");
    window->zoomImageTo(2);
    window->pixelTick();
    EXPECT_EQ(window->probeText(), "Zoom: 200%");
}

TEST_F(EditingWindowTest, DoubleClickOnASliderResetsItsKey) {
    document->setValue(platform::Value(1.5), settings::InputEV.c_str());
    QSlider* slider = window->panes().exposureContentView->findChild<QSlider*>(settings::InputEV.c_str());
    ASSERT_NE(slider, nullptr);
    slider->setObjectName(QString(settings::InputEV.c_str()) + "2");
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &click);
    EXPECT_DOUBLE_EQ(document->valueForKey(settings::InputEV.c_str())->doubleValue(),
                     document->getDefaultsDictionary().at(settings::InputEV.c_str()).doubleValue());
}

TEST_F(EditingWindowTest, FieldArrowsStepWithinTheRange) {
    QLineEdit* field = window->panes().exportContentView->findChild<QLineEdit*>(
        QString(settings::JPEGQuality.c_str()) + "2");
    ASSERT_NE(field, nullptr);
    document->setValue(platform::Value(9.95), settings::JPEGQuality.c_str());
    QKeyEvent pageUp(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QApplication::sendEvent(field, &pageUp);
    EXPECT_DOUBLE_EQ(document->valueForKey(settings::JPEGQuality.c_str())->doubleValue(), 10.0);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(field, &down);
    EXPECT_NEAR(document->valueForKey(settings::JPEGQuality.c_str())->doubleValue(), 9.99, 1e-9);
}

TEST_F(EditingWindowTest, PresetsNeedANameAndCopyOnlyCheckedGroups) {
    platform::Error error;
    EXPECT_FALSE(window->saveNewPreset("", {}, &error));
    EXPECT_EQ(error.code, -14);
    EXPECT_EQ(error.failureReason, "Must have a valid name");

    const auto& groups = EditingWindow::presetGroups();
    std::vector<bool> on(groups.size(), false);
    for (size_t n = 0; n < groups.size(); ++n)
        on[n] = std::string(groups[n].title) == "Monochrome Filters";
    document->setValue(platform::Value(1.7), settings::MonochromeRed.c_str());
    ASSERT_TRUE(window->saveNewPreset("Red", on, &error)) << error.failureReason;
    auto saved = PresetManager::sharedPresetManager().presetNamed("Red");
    ASSERT_TRUE(saved);
    EXPECT_DOUBLE_EQ(saved->at(settings::MonochromeRed.c_str()).doubleValue(), 1.7);
    EXPECT_FALSE(saved->count(settings::InputEV.c_str()));
    EXPECT_FALSE(saved->count(settings::SceneReferred.c_str()));
}

// A preset edited by hand into a weight of "lots" is refused whole, on this window, naming
// the key; nothing of it reaches the document.
TEST_F(EditingWindowTest, APresetWithAValueOfTheWrongKindIsRefused) {
    QWidget* alertWindow = nullptr;
    WindowChoosers::shared().alert = [&](QWidget* on, const QString& message, const QString& text) {
        alertWindow = on;
        alerts.push_back(message + ": " + text);
    };
    document->setValue(platform::Value(1.0), settings::MonochromeRed.c_str());
    document->setValue(platform::Value(0.0), settings::InputEV.c_str());
    const platform::Dictionary lots{
        {"displayName", "Lots"}, {settings::InputEV.c_str(), 1.5}, {settings::MonochromeRed.c_str(), "lots"}};
    const auto folder = *PresetManager::sharedPresetManager().presetDirectory();
    ASSERT_TRUE(platform::writePlistFile(folder / "lots.plist", platform::Value(lots)));

    EXPECT_FALSE(window->applyPresetNamed("Lots"));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alertWindow, window.data());
    EXPECT_TRUE(
        alerts[0].contains(QString("\"%1\" is the text \"lots\"").arg(settings::MonochromeRed.c_str())))
        << alerts[0].toStdString();
    EXPECT_DOUBLE_EQ(document->valueForKey(settings::MonochromeRed.c_str())->doubleValue(), 1.0);
    EXPECT_DOUBLE_EQ(document->valueForKey(settings::InputEV.c_str())->doubleValue(), 0.0)
        << "not applied in part";

    EXPECT_TRUE(window->applyPresetNamed("Default"));
    EXPECT_EQ(alerts.size(), 1u);
    fs::remove(folder / "lots.plist");
}

TEST_F(EditingWindowTest, ExportAsSelectedFollowsTheTypeAndWritesTheFile) {
    document->setValue(platform::Value(0), settings::ExportFileType.c_str());
    window->exportAsSelected();
    ASSERT_TRUE(windowtest::waitFor([this] { return !window->exportRunning(); }));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "jpg");
    ASSERT_NE(fs::current_path(), home_.path());
    EXPECT_EQ(folders.at(0), home_.path()); // the photo's folder, not the working folder
    EXPECT_TRUE(alerts.empty()) << alerts.front().toStdString();
    EXPECT_TRUE(fs::exists(home_.path() / "chart.jpg"));
    for (const auto& [selection, extension] :
         std::vector<std::pair<int, QString>>{{1, "tif"}, {2, "dng"}, {3, "exr"}, {6, "exr"}}) {
        asked.clear();
        WindowChoosers::shared().saveFile = [this](QWidget*, const fs::path&, const QString&,
                                                   const QString& ext) -> std::optional<fs::path> {
            asked.push_back(ext);
            return std::nullopt; // cancelled: nothing runs
        };
        document->setValue(platform::Value(selection), settings::ExportFileType.c_str());
        window->exportAsSelected();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], extension) << selection;
        EXPECT_FALSE(window->exportRunning());
    }
}

// The program's own save panel, typed into as a hand would: it opens in the photo's folder
// with the photo's name, and a name typed without the type's extension gets it.
TEST_F(EditingWindowTest, SavePanelStartsBesideThePhotoAndAddsTheExtension) {
    WindowChoosers::shared().saveFile = saved_.saveFile;
    WindowChoosers::shared().confirm = [](QWidget*, const QString&, const QString&, const QString&,
                                          const QString&) { return true; };
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {{"print", "print.jpg"}, {"print.v2", "print.v2.jpg"}, {"kept.JPEG", "kept.JPEG"}};
    for (const auto& c : cases) {
        QString startedIn, proposed;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* panel = qobject_cast<QFileDialog*>(top);
                if (!panel || !panel->isVisible() || panel->objectName() != "savePanel") continue;
                answer.stop();
                startedIn = panel->directory().absolutePath();
                auto* field = panel->findChild<QLineEdit*>("fileNameEdit");
                proposed = field->text();
                field->setText(c.typed);
                panel->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Save)->click();
                break;
            }
        });
        answer.start(10);
        document->setValue(platform::Value(0), settings::ExportFileType.c_str());
        window->exportAsSelected();
        ASSERT_TRUE(windowtest::waitFor([this] { return !window->exportRunning(); }));
        EXPECT_EQ(startedIn.toStdString(), home_.path().string()) << c.typed;
        EXPECT_EQ(proposed, "chart.jpg");
        EXPECT_TRUE(fs::exists(home_.path() / c.written)) << c.typed;
        EXPECT_TRUE(alerts.empty()) << alerts.front().toStdString();
    }
}

// The resolution sheet and its menu item belong to Photo CD images: a DNG offers neither.
TEST_F(EditingWindowTest, PhotoCdResolutionIsOfferedOnlyForPhotoCdImages) {
    EXPECT_FALSE(window->photoCdDocument());
    EXPECT_FALSE(window->panes().pcdResolutionButton->isEnabled());
    for (const auto& [name, photoCd] : std::vector<std::pair<std::string, bool>>{{"IMG0001.PCD", true},
                                                                                 {"img0001.pcd", true},
                                                                                 {"DC50_DC0008L.KDC", false},
                                                                                 {"chart.dng", false},
                                                                                 {"pcd", false}})
        EXPECT_EQ(window_commands::isPhotoCdFile(name), photoCd) << name;
}

TEST_F(EditingWindowTest, RotationTurnsTheDocumentAndMirroredCodesStay) {
    const int start = document->getOrientation();
    window->rotateCW();
    EXPECT_EQ(document->getOrientation(), *window_commands::rotatedClockwise(start));
    const int turned = document->getOrientation();
    window->rotateCCW();
    EXPECT_EQ(document->getOrientation(), *window_commands::rotatedCounterClockwise(turned));
    document->orientationChanged(2);
    window->rotateCW();
    EXPECT_EQ(document->getOrientation(), 2);
}

TEST_F(EditingWindowTest, AnotherDocumentsFinishedRenderLeavesThisSpinnerTurning) {
    // A pass of this document's own may still finish and rightly stop the spinner: a round in
    // which one did proves nothing and is tried again.
    auto& center = platform::NotificationCenter::defaultCenter();
    std::atomic<int> own{0};
    const auto token = center.addObserver(platform::notification::NewProcessedImage, nullptr,
                                          [&](const platform::Notification& note) {
                                              if (note.object == document.get()) ++own;
                                          });
    bool shown = false;
    for (int round = 0; round < 10 && !shown; ++round) {
        const int before = own;
        center.post(platform::notification::EngineDidStart, document.get());
        ASSERT_TRUE(windowtest::waitFor([this] { return window->spinner().counter() == 15; }));
        int other = 0;
        center.post(platform::notification::NewProcessedImage, &other);
        windowtest::waitFor([] { return false; }, std::chrono::milliseconds(50));
        for (int i = 0; i < 20; ++i)
            window->pixelTick();
        if (own != before) continue;
        EXPECT_EQ(window->spinner().counter(), 15); // still rendering as far as this window knows
        shown = true;
    }
    center.removeObserver(token);
    EXPECT_TRUE(shown);
}

TEST_F(EditingWindowTest, CursorModesAndResetCrop) {
    TiledImageView& view = *window->imageView();
    ASSERT_TRUE(windowtest::waitFor([&] { return view.geometryModel().cropLayerCntrl() != nullptr; }));
    SegmentedControl& modes = *window->cursorModeControl();
    EXPECT_EQ(modes.selectedSegment(), 0);
    EXPECT_EQ(document->getCropRect().width, -1);

    // Crop from the control: the first crop is the centred half of what is shown, stored.
    const QRectF shown = view.displayedImageRect();
    window->findChild<QToolButton*>("cursorCrop")->click();
    EXPECT_EQ(window->cursorMode(), 1u);
    EXPECT_EQ(view.cursorTrackingMode(), 1u);
    EXPECT_TRUE(view.geometryModel().cropLayerCntrl()->areAdjusting());
    const platform::Rect crop = document->getCropRect();
    EXPECT_NEAR(crop.x, std::ceil(shown.x() + shown.width() / 4), 1);
    EXPECT_NEAR(crop.width, std::ceil(shown.width() / 2), 1);

    // Pan and back: the crop stays, shaded only.
    modes.segment(0)->click();
    EXPECT_EQ(view.cursorTrackingMode(), 0u);
    EXPECT_FALSE(view.geometryModel().cropLayerCntrl()->areAdjusting());
    EXPECT_EQ(document->getCropRect().width, crop.width);

    // The eyedropper's click ends in pan mode, as the control shows.
    modes.segment(2)->click();
    EXPECT_EQ(view.cursorTrackingMode(), 2u);
    window->eyedropperWasClicked(view.geometryModel(), QPointF(10, 10));
    EXPECT_EQ(modes.selectedSegment(), 0);

    // Reset Crop, from crop mode: no crop anywhere, pan mode; crop mode lays out a new one.
    window->setCursorMode(1);
    window->findChild<QToolButton*>("resetCrop")->click();
    EXPECT_EQ(document->getCropRect().width, -1);
    EXPECT_LT(view.geometryModel().cropLayerCntrl()->cropArea().width(), 0);
    EXPECT_EQ(window->cursorMode(), 0u);
    EXPECT_EQ(modes.selectedSegment(), 0);
    window->setCursorMode(1);
    EXPECT_EQ(document->getCropRect().width, crop.width);
}

TEST_F(EditingWindowTest, TheSegmentedZoomAndTurnControls) {
    window->findChild<QToolButton*>("zoom2")->click();
    EXPECT_DOUBLE_EQ(window->imageView()->pixelScaleFactor(), 2.0);
    window->findChild<QToolButton*>("zoomOut")->click();
    EXPECT_DOUBLE_EQ(window->imageView()->pixelScaleFactor(), 1.0);
    const int start = document->getOrientation();
    window->findChild<QToolButton*>("rotateCW")->click();
    EXPECT_EQ(document->getOrientation(), *window_commands::rotatedClockwise(start));
}

TEST_F(EditingWindowTest, EveryAdjustmentHasItsControlInRange) {
    const struct {
        const char* key;
        double value;
    } sliders[] = {{settings::InputSaturation.c_str(), 1.5},
                   {settings::ChromaArtifactSuppression.c_str(), 0.25}};
    for (const auto& s : sliders) {
        QSlider* slider = window->findChild<QSlider*>(s.key);
        ASSERT_NE(slider, nullptr) << s.key;
        const auto range = controlRangeForKey(s.key);
        ASSERT_TRUE(range) << s.key;
        slider->setValue(int(
            std::lround((s.value - range->minimum) / (range->maximum - range->minimum) * slider->maximum())));
        EXPECT_NEAR(document->valueForKey(s.key)->doubleValue(), s.value, 1e-9) << s.key;
    }
    auto* kodak = window->findChild<QCheckBox*>(settings::KodakProcessing.c_str());
    ASSERT_NE(kodak, nullptr);
    EXPECT_TRUE(kodak->isChecked()); // the default
    kodak->click();
    EXPECT_FALSE(document->valueForKey(settings::KodakProcessing.c_str())->boolValue());
    // The automatic ICC profile carries no intent of its own.
    EXPECT_EQ(window->panes().renderingIntentPopup->currentText(), "Default");
}

TEST_F(EditingWindowTest, PopUpsFollowPresetsAndProfilesSavedElsewhere) {
    QComboBox* presets = window->panes().presetPopup;
    platform::Dictionary preset{{"displayName", platform::Value("Noir")},
                                {settings::MonochromeRed.c_str(), platform::Value(1.8)}};
    ASSERT_TRUE(PresetManager::sharedPresetManager().addPreset(&preset, nullptr));
    ASSERT_TRUE(windowtest::waitFor([&] { return presets->findText("Noir") >= 0; }));
    EXPECT_EQ(presets->currentIndex(), 0);

    QComboBox* profiles = window->panes().cameraProfilePopup;
    const int before = profiles->count();
    const fs::path dcp = appuitest::writeDcp(home_.path() / "Test.dcp", "Test Camera", "Test Look");
    platform::Error error;
    CameraProfileManager::sharedCameraProfileManager().addProfile(dcp, &error);
    ASSERT_TRUE(windowtest::waitFor([&] { return profiles->count() == before + 1; }));
    // The document's profile is still the one shown.
    EXPECT_EQ(profiles->currentIndex(), 0);
}
