#pragma once
// The presets window: every preset in the preset folder, with delete, and New Preset, which
// saves the settings of the image shown (through its window's new-preset sheet). It follows
// "Tarnwell_PresetsChanged", so a preset saved or removed anywhere shows at once.
#include <QIcon>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/WindowSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/Value.h"

class ItemTableWindow;
class QWidget;

class PresetWindowController : public QObject {
    Q_OBJECT
  public:
    struct Row {
        platform::Dictionary preset; // "class"
        std::string name;            // its "displayName"
        std::string shortDescription;
        QIcon imagePreview;
    };
    static constexpr const char* kShortDescription = "Lumivar Preset";

    explicit PresetWindowController(QObject* parent = nullptr);
    ~PresetWindowController() override;

    void loadTable();
    const std::vector<Row>& tableContents() const { return tableContents_; }
    void showBrowser();
    void deleteDisplayedItem(const platform::Dictionary& preset);
    // New Preset: enabled while `available` says an image is shown; `make` saves its preset.
    void setNewPresetHooks(std::function<bool()> available, std::function<void()> make);
    void updateNewPresetButton();

    QWidget* browserWindow() const;
    ItemTableWindow* tableWindow() const { return window_.get(); }
    void setErrorPresenter(appui::ErrorPresenter presenter) { presentError_ = std::move(presenter); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void presetsDidChange();

    std::unique_ptr<ItemTableWindow> window_;
    std::vector<Row> tableContents_;
    platform::ObserverToken observer_;
    appui::ErrorPresenter presentError_ = appui::presentErrorSheet;
    std::function<bool()> newPresetAvailable_;
    std::function<void()> makeNewPreset_;
};
