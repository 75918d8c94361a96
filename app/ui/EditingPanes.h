#pragma once
// The sidebar's content views, built in code: one control for every settings key the
// window offers, each named by its key (a slider "K", its field "K2", its label "K1") so the
// setting binder finds them. Pop-ups are filled by the window from the managers' lists.
#include <QWidget>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class LumivarClickTextField;
namespace settings {
struct Setting;
}

struct EditingPanes {
    // Builds every pane as a child of `owner` (the sidebar reparents them into its rows).
    EditingPanes(QWidget* owner, bool enableCinematic);

    QWidget* presetsContentView;
    QComboBox* presetPopup;
    QPushButton* savePresetButton;

    QWidget* monochromeProcessingOptionsContentView;
    QComboBox* cameraProfilePopup;
    QComboBox* iccProfilePopup;
    QComboBox* renderingIntentPopup;
    QSlider* tempSlider;
    QSlider* tintSlider;
    QPushButton* eyedropperButton;
    QCheckBox* sceneReferredButton;
    QPushButton* pcdResolutionButton;

    QWidget* monochromeDemosiacContentView;
    QWidget* exposureContentView; // or the gamma view with the knee, by "enableCinematic"
    QWidget* monochromeFilterView;
    QWidget* sharpeningContentView;

    QWidget* exportContentView;
    QComboBox* exportTypePopup;
    QPushButton* exportButton;

    QWidget* extEditView;
    QPushButton* updateButton;
    QLabel* proxyPath;

    std::vector<LumivarClickTextField*> labels;
    std::vector<QLineEdit*> fields;
    std::vector<QSlider*> sliders;

    // Section titles in order, with their content views.
    std::vector<std::pair<std::string, QWidget*>> sections() const;

  private:
    QWidget* pane(QWidget* owner);
    // A row of the setting, with its label and its key as the controls' names.
    QSlider* sliderRow(QWidget* pane, const settings::Setting& setting);
    QCheckBox* checkRow(QWidget* pane, const settings::Setting& setting);
};
