#pragma once
// The editing window of one document: the tiled image view, the sidebar of adjustment panes
// with the histogram, the pixel probe and zoom read-out, the spinners, export and the
// external-editor update with their progress sheet, zoom and rotation, presets, crop and
// the eyedropper. The controls are bound to the document's settings by key; this class adds
// what bindings cannot do.
#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/WindowCommands.h"
#include "display/TiledViewDelegates.h"
#include "platform/Error.h"
#include "platform/Geometry.h"
#include "platform/NotificationCenter.h"
#include "platform/Value.h"

class HistogramView;
class DocumentWindow;
class EditingSidebar;
class LumivarClickTextField;
class MyDocument;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSplitter;
class QTimer;
class SegmentedControl;
class SettingBinder;
class ProgressSpinner;
class TiledImageView;
struct EditingPanes;

class EditingWindow : public QMainWindow, public ImageViewEyeDropperDelegate, public ImageViewTileDelegate {
    Q_OBJECT
  public:
    // New-preset groups: title and the keys the group copies.
    struct PresetGroup {
        const char* title;
        std::vector<const char*> keys;
    };
    static const std::vector<PresetGroup>& presetGroups();
    static constexpr const char* kFrameKey = "LumivarDocumentWindow";

    explicit EditingWindow(std::shared_ptr<MyDocument> document, QWidget* parent = nullptr);
    // A window for a read document: added to the document, shown, and the first render asked.
    static EditingWindow* makeWindowControllers(const std::shared_ptr<MyDocument>& document);
    ~EditingWindow() override;

    // The document on the main thread; its cached copy on other threads.
    std::shared_ptr<MyDocument> document() const;
    // What the document asks of its window, as the document holds it.
    std::shared_ptr<DocumentWindow> documentWindow() const;

    platform::Rect activeTiledRect() const;
    void setTempAndTint(float temperature, float tint);
    void setSceneReferred(bool sceneReferred);

    // Commands.
    void zoomIn();
    void zoomOut();
    void zoomImageToFit();
    void zoomImageTo(double factor);
    void rotateCW();
    void rotateCCW();
    // No crop, in the document and the view, and pan mode.
    void resetCropArea();
    uint64_t cursorMode() const { return cursorMode_; }
    // The view's cursor mode (pan, crop, eyedropper), shown by the segmented control and the
    // View menu; crop mode without a crop lays out a first one.
    void setCursorMode(uint64_t mode);
    // The segmented controls above the image, by segment tag: zoom to 1, 2, 3, 4 or fit;
    // zoom in or out; turn left or right.
    void segmentedZoomSetClick(int tag);
    void segmentedZoomDeltaClick(int tag);
    void segmentedControlClick(int tag);
    // A preset holding a value of the wrong kind is refused with an alert naming the key.
    bool applyPreset(const platform::Dictionary& preset);
    // False when there is no such preset or it was refused.
    bool applyPresetNamed(const std::string& name);
    void showNewPresetWindow();
    // The sheet's save: the name and, per group, whether its box is on. EmptyPresetName for no name.
    bool saveNewPreset(const std::string& name, const std::vector<bool>& groupsOn,
                       platform::Error* error = nullptr);
    void exportAsType(const std::string& type);
    void exportAsSelected();
    void extEditorUpdate();
    // The Photo CD resolution sheet; offered only for a Photo CD image's document.
    void photoCDResolution();
    bool photoCdDocument() const;
    // Resets a control's key when it was double-clicked.
    void resetControl(const QWidget* control);
    // Sets a key as a control would (automation's "slider").
    void setViaControlBindings(const std::string& key, const platform::Value& value);

    // The probe timer's work (every 30 ms); tests call it by hand.
    void pixelTick();
    const window_commands::SpinnerCountdown& spinner() const { return spinner_; }
    QString probeText() const;
    TiledImageView* imageView() const { return mImageView; }
    HistogramView* histogramView() const { return histogramView_; }
    EditingSidebar* sidebar() const { return sidebar_; }
    SegmentedControl* cursorModeControl() const { return cursorModeControl_; }
    const EditingPanes& panes() const { return *panes_; }
    bool exportRunning() const { return exportsRunning_ > 0; }
    // The text of the last export or update error shown, empty when none.
    const QString& lastPresentedError() const { return lastError_; }
    bool windowHasClosed() const { return windowHasClosed_; }
    // The resolution sheet's texts.
    QString pcdCurrentResolution() const;
    QString pcdResolutionDiagnostic() const;

    // Fills the preset, camera-profile and ICC pop-ups from their managers again (they follow
    // "Tarnwell_PresetsChanged" and profile changes), keeping each pop-up's setting shown.
    void fillPopups();

  Q_SIGNALS:
    void cursorModeChanged(int mode);

  public:
    // View delegates.
    void eyedropperWasClicked(TiledViewGeometry& view, QPointF imagePoint) override;
    void cropRectChanged(const QRectF& imageRect) override;
    void regionOfInterestChanged(const TileRegion& region) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class Link;
    class Settings;

    void buildWindow();
    void windowDidLoad();
    void windowWillClose();
    void scrollViewBugFix();
    void installActions();
    QWidget* buildImageBar(QWidget* parent);
    void observeListSources();
    void showRenderingIntent();
    void engineDidStart(const platform::Notification& note);
    void newProcessedImage(const platform::Notification& note);
    void updatedImage(const platform::Notification& note);
    void showImage();
    void startTask(const std::filesystem::path& url, const std::string& type, const platform::Rect& crop,
                   const QString& title);
    void exportPresentError(std::optional<platform::Error> error);
    void showProgressSheet(int value, const QString& text);
    bool stepField(QLineEdit* field, window_commands::StepCommand command);

    std::shared_ptr<MyDocument> document_;
    std::shared_ptr<Link> link_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<EditingPanes> panes_;
    SettingBinder* binder_ = nullptr;

    TiledImageView* mImageView = nullptr;
    QLabel* mPixelValues = nullptr;
    ProgressSpinner* mProgress = nullptr;
    ProgressSpinner* openProgress = nullptr;
    HistogramView* histogramView_ = nullptr;
    EditingSidebar* sidebar_ = nullptr;
    QSplitter* splitView = nullptr;
    QTimer* pixelTimer = nullptr;
    QDialog* progressSheet = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* progressText = nullptr;
    SegmentedControl* cursorModeControl_ = nullptr;

    QPointF pixelLocation{-1, -1};
    double zoomFactor = -1;
    bool windowHasClosed_ = false;
    window_commands::SpinnerCountdown spinner_;
    std::atomic<bool> engineRunning_{false};
    std::optional<platform::Dictionary> currentPreset;
    uint64_t cursorMode_ = 0;
    int exportsRunning_ = 0;
    QString lastError_;
    std::vector<platform::ObserverToken> notifications_;
    int cameraProfilesToken_ = 0;
    int iccProfilesToken_ = 0;
};
