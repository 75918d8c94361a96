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
#include "settings/Schema.h"

namespace {
QStringList qstrings(const std::vector<std::string>& list) {
    QStringList out;
    for (const std::string& item : list)
        out << QString::fromStdString(item);
    return out;
}

QString labelText(const settings::Setting& setting) {
    return QString::fromUtf8(setting.label.data(), qsizetype(setting.label.size()));
}
} // namespace

QWidget* EditingPanes::pane(QWidget* owner) {
    auto* view = new QWidget(owner);
    auto* form = new QFormLayout(view);
    form->setContentsMargins(8, 4, 8, 4);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return view;
}

QSlider* EditingPanes::sliderRow(QWidget* paneView, const settings::Setting& setting) {
    const QString key = setting.c_str();
    auto* label = new LumivarClickTextField(labelText(setting), paneView);
    label->setObjectName(key + "1");
    auto* slider = new QSlider(Qt::Horizontal, paneView);
    slider->setObjectName(key);
    auto* field = new QLineEdit(paneView);
    field->setObjectName(key + "2");
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

QCheckBox* EditingPanes::checkRow(QWidget* paneView, const settings::Setting& setting) {
    auto* check = new QCheckBox(labelText(setting), paneView);
    check->setObjectName(setting.c_str());
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
    cameraProfilePopup->setObjectName(settings::CameraProfile.c_str());
    processing->addRow(labelText(settings::CameraProfile), cameraProfilePopup);
    iccProfilePopup = new QComboBox(monochromeProcessingOptionsContentView);
    iccProfilePopup->setObjectName(settings::IccProfile.c_str());
    processing->addRow(labelText(settings::IccProfile), iccProfilePopup);
    // The colour matching takes the intent from the profile's header: shown, not chosen.
    renderingIntentPopup = new QComboBox(monochromeProcessingOptionsContentView);
    renderingIntentPopup->setObjectName("renderingIntent");
    renderingIntentPopup->addItems(qstrings(window_commands::renderingIntents()));
    renderingIntentPopup->setEnabled(false);
    renderingIntentPopup->setToolTip("The rendering intent in the ICC profile's header");
    processing->addRow("Rendering intent", renderingIntentPopup);
    tempSlider = sliderRow(monochromeProcessingOptionsContentView, settings::InputTemperature);
    tintSlider = sliderRow(monochromeProcessingOptionsContentView, settings::InputTint);
    eyedropperButton = new QPushButton("White Balance Eyedropper", monochromeProcessingOptionsContentView);
    eyedropperButton->setObjectName("eyedropper");
    processing->addRow(eyedropperButton);
    sceneReferredButton = checkRow(monochromeProcessingOptionsContentView, settings::SceneReferred);
    checkRow(monochromeProcessingOptionsContentView, settings::MaintainWhites);
    checkRow(monochromeProcessingOptionsContentView, settings::MonochromeSensor);
    checkRow(monochromeProcessingOptionsContentView, settings::IRUVSensor);
    pcdResolutionButton = new QPushButton("Photo CD Resolution…", monochromeProcessingOptionsContentView);
    pcdResolutionButton->setObjectName("photoCDResolution");
    processing->addRow(pcdResolutionButton);

    monochromeDemosiacContentView = pane(owner);
    sliderRow(monochromeDemosiacContentView, settings::ArtifactSuppression);
    sliderRow(monochromeDemosiacContentView, settings::ChromaArtifactSuppression);
    sliderRow(monochromeDemosiacContentView, settings::ArtifactFilter);
    checkRow(monochromeDemosiacContentView, settings::KodakProcessing);

    exposureContentView = pane(owner);
    sliderRow(exposureContentView, settings::InputEV);
    sliderRow(exposureContentView, settings::InputContrast);
    sliderRow(exposureContentView, settings::InputBrightness);
    sliderRow(exposureContentView, settings::InputFillLight);
    sliderRow(exposureContentView, settings::InputHighLight);
    sliderRow(exposureContentView, settings::InputSaturation);
    sliderRow(exposureContentView, settings::EttrAdjust);
    sliderRow(exposureContentView, settings::ToneCurveAdjust);
    if (enableCinematic) {
        sliderRow(exposureContentView, settings::InputKneeLow);
        sliderRow(exposureContentView, settings::InputKneeHigh);
    }

    monochromeFilterView = pane(owner);
    sliderRow(monochromeFilterView, settings::MonochromeRed);
    sliderRow(monochromeFilterView, settings::MonochromeYellow);
    sliderRow(monochromeFilterView, settings::MonochromeGreen);
    sliderRow(monochromeFilterView, settings::MonochromeCyan);
    sliderRow(monochromeFilterView, settings::MonochromeBlue);

    sharpeningContentView = pane(owner);
    sliderRow(sharpeningContentView, settings::InputIntensity);
    sliderRow(sharpeningContentView, settings::InputRadius);

    exportContentView = pane(owner);
    auto* exporting = static_cast<QFormLayout*>(exportContentView->layout());
    exportTypePopup = new QComboBox(exportContentView);
    exportTypePopup->setObjectName(settings::ExportFileType.c_str());
    for (const app::ExportType& type : app::kExportTypes)
        exportTypePopup->addItem(QString::fromUtf8(type.menuTitle.data(), qsizetype(type.menuTitle.size())));
    exporting->addRow(labelText(settings::ExportFileType), exportTypePopup);
    sliderRow(exportContentView, settings::JPEGQuality);
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
