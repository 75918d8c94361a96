#include "app/ui/EditingPanes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "app/core/AppTables.h"
#include "app/ui/LumivarClickTextField.h"
#include "app/ui/WindowCommands.h"

namespace {
QStringList qstrings(const std::vector<std::string>& list) {
    QStringList out;
    for (const std::string& item : list)
        out << QString::fromStdString(item);
    return out;
}
} // namespace

QWidget* EditingPanes::pane(QWidget* owner) {
    auto* view = new QWidget(owner);
    auto* form = new QFormLayout(view);
    form->setContentsMargins(8, 4, 8, 4);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return view;
}

QSlider* EditingPanes::sliderRow(QWidget* paneView, const char* title, const char* key) {
    auto* label = new LumivarClickTextField(title, paneView);
    label->setObjectName(QString(key) + "1");
    auto* slider = new QSlider(Qt::Horizontal, paneView);
    slider->setObjectName(key);
    auto* field = new QLineEdit(paneView);
    field->setObjectName(QString(key) + "2");
    field->setFixedWidth(64);
    auto* row = new QHBoxLayout;
    row->addWidget(slider, 1);
    row->addWidget(field);
    static_cast<QFormLayout*>(paneView->layout())->addRow(label, row);
    labels.push_back(label);
    sliders.push_back(slider);
    fields.push_back(field);
    return slider;
}

QCheckBox* EditingPanes::checkRow(QWidget* paneView, const char* title, const char* key) {
    auto* check = new QCheckBox(title, paneView);
    check->setObjectName(key);
    static_cast<QFormLayout*>(paneView->layout())->addRow(check);
    return check;
}

EditingPanes::EditingPanes(QWidget* owner, bool enableCinematic) {
    presetsContentView = pane(owner);
    presetPopup = new QComboBox(presetsContentView);
    presetPopup->setObjectName("presetPopup");
    savePresetButton = new QPushButton("Save Preset…", presetsContentView);
    savePresetButton->setObjectName("savePreset");
    static_cast<QFormLayout*>(presetsContentView->layout())->addRow(presetPopup);
    static_cast<QFormLayout*>(presetsContentView->layout())->addRow(savePresetButton);

    monochromeProcessingOptionsContentView = pane(owner);
    auto* processing = static_cast<QFormLayout*>(monochromeProcessingOptionsContentView->layout());
    cameraProfilePopup = new QComboBox(monochromeProcessingOptionsContentView);
    cameraProfilePopup->setObjectName("Lumivar_CameraProfile");
    processing->addRow("Camera profile", cameraProfilePopup);
    iccProfilePopup = new QComboBox(monochromeProcessingOptionsContentView);
    iccProfilePopup->setObjectName("Lumivar_iccProfile");
    processing->addRow("ICC profile", iccProfilePopup);
    // The colour matching takes the intent from the profile's header: shown, not chosen.
    renderingIntentPopup = new QComboBox(monochromeProcessingOptionsContentView);
    renderingIntentPopup->setObjectName("renderingIntent");
    renderingIntentPopup->addItems(qstrings(window_commands::renderingIntents()));
    renderingIntentPopup->setEnabled(false);
    renderingIntentPopup->setToolTip("The rendering intent in the ICC profile's header");
    processing->addRow("Rendering intent", renderingIntentPopup);
    tempSlider =
        sliderRow(monochromeProcessingOptionsContentView, "Temperature", "Lumivar_Filter_inputTemperature");
    tintSlider = sliderRow(monochromeProcessingOptionsContentView, "Tint", "Lumivar_Filter_inputTint");
    eyedropperButton = new QPushButton("White Balance Eyedropper", monochromeProcessingOptionsContentView);
    eyedropperButton->setObjectName("eyedropper");
    processing->addRow(eyedropperButton);
    sceneReferredButton =
        checkRow(monochromeProcessingOptionsContentView, "Scene Referred", "Lumivar_SceneReferred");
    checkRow(monochromeProcessingOptionsContentView, "Maintain Saturated Whites", "Lumivar_MaintainWhites");
    checkRow(monochromeProcessingOptionsContentView, "Sensor CFA Removed", "Lumivar_MonochromeSensor");
    checkRow(monochromeProcessingOptionsContentView, "Sensor IR/UV Modified", "Lumivar_IRUVSensor");
    pcdResolutionButton = new QPushButton("Photo CD Resolution…", monochromeProcessingOptionsContentView);
    pcdResolutionButton->setObjectName("photoCDResolution");
    processing->addRow(pcdResolutionButton);

    monochromeDemosiacContentView = pane(owner);
    sliderRow(monochromeDemosiacContentView, "Luma Artifacts", "Lumivar_ArtifactSuppression");
    sliderRow(monochromeDemosiacContentView, "Chroma Artifacts", "Lumivar_ChromaArtifactSuppression");
    sliderRow(monochromeDemosiacContentView, "Post-demosaic Filter", "Lumivar_ArtifactFilter");
    checkRow(monochromeDemosiacContentView, "Kodak Processing", "Lumivar_KodakProcessing");

    exposureContentView = pane(owner);
    sliderRow(exposureContentView, "Exposure (EV)", "Lumivar_Filter_inputEV");
    sliderRow(exposureContentView, "Contrast", "Lumivar_Filter_inputContrast");
    sliderRow(exposureContentView, "Brightness", "Lumivar_Filter_inputBrightness");
    sliderRow(exposureContentView, "Fill Light", "Lumivar_Filter_inputFillLight");
    sliderRow(exposureContentView, "Highlights", "Lumivar_Filter_inputHighLight");
    sliderRow(exposureContentView, "Saturation", "Lumivar_Filter_inputSaturation");
    sliderRow(exposureContentView, "ETTR Adjust", "Lumivar_ettrAdjust");
    sliderRow(exposureContentView, "Tone Curve", "Lumivar_toneCurveAdjust");
    if (enableCinematic) {
        sliderRow(exposureContentView, "Knee Low", "Lumivar_Filter_inputKneeLow");
        sliderRow(exposureContentView, "Knee High", "Lumivar_Filter_inputKneeHigh");
    }

    monochromeFilterView = pane(owner);
    sliderRow(monochromeFilterView, "Red", "Lumivar_Filter_monochromeRed");
    sliderRow(monochromeFilterView, "Yellow", "Lumivar_Filter_monochromeYellow");
    sliderRow(monochromeFilterView, "Green", "Lumivar_Filter_monochromeGreen");
    sliderRow(monochromeFilterView, "Cyan", "Lumivar_Filter_monochromeCyan");
    sliderRow(monochromeFilterView, "Blue", "Lumivar_Filter_monochromeBlue");

    sharpeningContentView = pane(owner);
    sliderRow(sharpeningContentView, "Intensity", "Lumivar_Filter_inputIntensity");
    sliderRow(sharpeningContentView, "Radius", "Lumivar_Filter_inputRadius");

    exportContentView = pane(owner);
    auto* exporting = static_cast<QFormLayout*>(exportContentView->layout());
    exportTypePopup = new QComboBox(exportContentView);
    exportTypePopup->setObjectName("Lumivar_ExportFileType");
    for (const app::ExportType& type : app::kExportTypes)
        exportTypePopup->addItem(QString::fromUtf8(type.menuTitle.data(), qsizetype(type.menuTitle.size())));
    exporting->addRow("File type", exportTypePopup);
    sliderRow(exportContentView, "JPEG Quality", "Lumivar_JPEGQuality");
    exportButton = new QPushButton("Export…", exportContentView);
    exportButton->setObjectName("exportAsSelected");
    exporting->addRow(exportButton);

    extEditView = pane(owner);
    auto* integration = static_cast<QFormLayout*>(extEditView->layout());
    proxyPath = new QLabel("-", extEditView);
    proxyPath->setObjectName("proxyPath");
    proxyPath->setWordWrap(true);
    integration->addRow(proxyPath);
    updateButton = new QPushButton("Update", extEditView);
    updateButton->setObjectName("extEditorUpdate");
    integration->addRow(updateButton);
}

std::vector<std::pair<std::string, QWidget*>> EditingPanes::sections() const {
    return {{"Presets", presetsContentView},
            {"Processing Options", monochromeProcessingOptionsContentView},
            {"Demosaic", monochromeDemosiacContentView},
            {"Exposure", exposureContentView},
            {"Monochrome Filters", monochromeFilterView},
            {"Sharpening", sharpeningContentView},
            {"Export", exportContentView},
            {"App Integration", extEditView}};
}
