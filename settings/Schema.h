#pragma once
// Every document setting, once: its stored key, kind, the new document's value, the control's
// range and label, the stage a change restarts from, the stages that read it, whether the
// document watches it and its new-preset group. The engine's key table, the stages' concern
// lists, the document's defaults and watched keys, the control ranges, the pane rows, the
// preset groups and the application's key constants are all read off these rows.
//
// Keys are the stored names: changing one breaks every catalog and preset written before.
#include <array>
#include <cstddef>
#include <string_view>

#include "settings/Setting.h"

namespace settings {

// Every key beginning with one of the first two is a setting; "Tarnwell_" is the older
// program's prefix, still read as a setting.
inline constexpr std::string_view Prefix = "Lumivar_";
inline constexpr std::string_view LegacyPrefix = "Tarnwell_";
// The adjustments: any key under it is a number, and a change re-renders.
inline constexpr std::string_view FilterPrefix = "Lumivar_Filter_";
// Keys under it read the image's metadata dictionary; never stored.
inline constexpr std::string_view MetaDataPrefix = "Lumivar_metaData";
// Not a setting: the engine's request to render the visible area again, handed in among the
// changed keys.
inline constexpr std::string_view ActiveAreaKey = "Lumivar_ActiveRectDirty";

// --- adjustments -------------------------------------------------------------------------------

inline constexpr Setting InputIntensity{.key = "Lumivar_Filter_inputIntensity",
                                        .documentDefault = Default::real(1.0),
                                        .range = Range{0.0, 4.0},
                                        .label = "Intensity",
                                        .invalidates = Stage::Sharpening,
                                        .readers = SharpeningStage,
                                        .presetGroup = PresetGroup::Sharpening};
inline constexpr Setting InputRadius{.key = "Lumivar_Filter_inputRadius",
                                     .documentDefault = Default::real(0.8),
                                     .range = Range{0.05, 4.0},
                                     .label = "Radius",
                                     .invalidates = Stage::Sharpening,
                                     .readers = SharpeningStage,
                                     .presetGroup = PresetGroup::Sharpening};
inline constexpr Setting InputEV{.key = "Lumivar_Filter_inputEV",
                                 .documentDefault = Default::real(0.0),
                                 .range = Range{-5.0, 5.0},
                                 .label = "Exposure (EV)",
                                 .invalidates = Stage::Output,
                                 .readers = OutputStage,
                                 .presetGroup = PresetGroup::Exposure};
inline constexpr Setting InputContrast{.key = "Lumivar_Filter_inputContrast",
                                       .documentDefault = Default::real(0.0),
                                       .range = Range{-2.0, 2.0},
                                       .label = "Contrast",
                                       .invalidates = Stage::Output,
                                       .readers = OutputStage,
                                       .presetGroup = PresetGroup::Exposure};
inline constexpr Setting InputBrightness{.key = "Lumivar_Filter_inputBrightness",
                                         .documentDefault = Default::real(0.0),
                                         .range = Range{-1.0, 1.0},
                                         .label = "Brightness",
                                         .invalidates = Stage::Output,
                                         .readers = OutputStage,
                                         .presetGroup = PresetGroup::Exposure};
inline constexpr Setting InputFillLight{.key = "Lumivar_Filter_inputFillLight",
                                        .documentDefault = Default::real(0.0),
                                        .range = Range{-2.0, 2.0},
                                        .label = "Fill Light",
                                        .invalidates = Stage::Output,
                                        .readers = OutputStage,
                                        .presetGroup = PresetGroup::Exposure};
inline constexpr Setting InputHighLight{.key = "Lumivar_Filter_inputHighLight",
                                        .documentDefault = Default::real(0.0),
                                        .range = Range{-1.0, 1.0},
                                        .label = "Highlights",
                                        .invalidates = Stage::Output,
                                        .readers = OutputStage,
                                        .presetGroup = PresetGroup::Exposure};
inline constexpr Setting InputKneeLow{.key = "Lumivar_Filter_inputKneeLow",
                                      .documentDefault = Default::real(0.0),
                                      .range = Range{-2.0, 3.5},
                                      .label = "Knee Low",
                                      .invalidates = Stage::Output,
                                      .readers = OutputStage,
                                      .presetGroup = PresetGroup::Exposure};
inline constexpr Setting InputKneeHigh{.key = "Lumivar_Filter_inputKneeHigh",
                                       .documentDefault = Default::real(3.5),
                                       .range = Range{0.0, 8.0},
                                       .label = "Knee High",
                                       .invalidates = Stage::Output,
                                       .readers = OutputStage,
                                       .presetGroup = PresetGroup::Exposure};
// The output stage takes a change of these two up, though no step reads them yet.
inline constexpr Setting InputSaturation{.key = "Lumivar_Filter_inputSaturation",
                                         .documentDefault = Default::real(1.0),
                                         .range = Range{0.0, 2.0},
                                         .label = "Saturation",
                                         .invalidates = Stage::Output,
                                         .readers = OutputStage};
inline constexpr Setting InputAngle{.key = "Lumivar_Filter_inputAngle",
                                    .documentDefault = Default::real(0.0),
                                    .invalidates = Stage::Output,
                                    .readers = OutputStage};
// No default: the document takes the as-shot white of the image's metadata.
inline constexpr Setting InputTemperature{.key = "Lumivar_Filter_inputTemperature",
                                          .range = Range{1000.0, 14000.0},
                                          .label = "Temperature",
                                          .invalidates = Stage::Output,
                                          .readers = OutputStage};
inline constexpr Setting InputTint{.key = "Lumivar_Filter_inputTint",
                                   .range = Range{-150.0, 150.0},
                                   .label = "Tint",
                                   .invalidates = Stage::Output,
                                   .readers = OutputStage};
inline constexpr Setting MonochromeRed{.key = "Lumivar_Filter_monochromeRed",
                                       .documentDefault = Default::real(1.0),
                                       .range = Range{0.0, 2.0},
                                       .label = "Red",
                                       .invalidates = Stage::Output,
                                       .readers = OutputStage,
                                       .presetGroup = PresetGroup::MonochromeFilters};
inline constexpr Setting MonochromeYellow{.key = "Lumivar_Filter_monochromeYellow",
                                          .documentDefault = Default::real(1.0),
                                          .range = Range{0.0, 2.0},
                                          .label = "Yellow",
                                          .invalidates = Stage::Output,
                                          .readers = OutputStage,
                                          .presetGroup = PresetGroup::MonochromeFilters};
inline constexpr Setting MonochromeGreen{.key = "Lumivar_Filter_monochromeGreen",
                                         .documentDefault = Default::real(1.0),
                                         .range = Range{0.0, 2.0},
                                         .label = "Green",
                                         .invalidates = Stage::Output,
                                         .readers = OutputStage,
                                         .presetGroup = PresetGroup::MonochromeFilters};
inline constexpr Setting MonochromeCyan{.key = "Lumivar_Filter_monochromeCyan",
                                        .documentDefault = Default::real(1.0),
                                        .range = Range{0.0, 2.0},
                                        .label = "Cyan",
                                        .invalidates = Stage::Output,
                                        .readers = OutputStage,
                                        .presetGroup = PresetGroup::MonochromeFilters};
inline constexpr Setting MonochromeBlue{.key = "Lumivar_Filter_monochromeBlue",
                                        .documentDefault = Default::real(1.0),
                                        .range = Range{0.0, 2.0},
                                        .label = "Blue",
                                        .invalidates = Stage::Output,
                                        .readers = OutputStage,
                                        .presetGroup = PresetGroup::MonochromeFilters};

// --- processing --------------------------------------------------------------------------------

// The two profiles are held as their property-list forms.
inline constexpr Setting CameraProfile{.key = "Lumivar_CameraProfile",
                                       .type = Type::ProfileForm,
                                       .documentDefault = Default::automaticProfile(),
                                       .label = "Camera profile",
                                       .invalidates = Stage::Decode,
                                       .readers = DecodeStep | OutputStage,
                                       .observed = true,
                                       .presetGroup = PresetGroup::CameraProfile};
inline constexpr Setting IccProfile{.key = "Lumivar_iccProfile",
                                    .type = Type::ProfileForm,
                                    .documentDefault = Default::automaticProfile(),
                                    .label = "ICC profile",
                                    .invalidates = Stage::Decode,
                                    .readers = DecodeStep,
                                    .observed = true};
inline constexpr Setting MaintainWhites{.key = "Lumivar_MaintainWhites",
                                        .type = Type::Boolean,
                                        .documentDefault = Default::boolean(true),
                                        .label = "Maintain Saturated Whites",
                                        .invalidates = Stage::Decode,
                                        .readers = DecodeStep | OutputStage,
                                        .observed = true,
                                        .presetGroup = PresetGroup::MaintainWhites};
// The raw combine stage takes a change up, though only the decode reads it.
inline constexpr Setting MonochromeSensor{.key = "Lumivar_MonochromeSensor",
                                          .type = Type::Boolean,
                                          .documentDefault = Default::boolean(false),
                                          .label = "Sensor CFA Removed",
                                          .invalidates = Stage::Decode,
                                          .readers = DecodeStep | RawCombineStage,
                                          .observed = true,
                                          .presetGroup = PresetGroup::MonochromeSensor};
// Stored and offered, but no step reads it: a change runs the output stage for nothing.
inline constexpr Setting IRUVSensor{.key = "Lumivar_IRUVSensor",
                                    .type = Type::Boolean,
                                    .documentDefault = Default::boolean(false),
                                    .label = "Sensor IR/UV Modified",
                                    .invalidates = Stage::Output,
                                    .presetGroup = PresetGroup::IRUVSensor};
// No default: set after the first render, from whether the image is output-referred.
inline constexpr Setting SceneReferred{.key = "Lumivar_SceneReferred",
                                       .type = Type::Boolean,
                                       .label = "Scene Referred",
                                       .invalidates = Stage::Output,
                                       .readers = OutputStage,
                                       .observed = true,
                                       .presetGroup = PresetGroup::SceneReferred};
inline constexpr Setting ArtifactSuppression{.key = "Lumivar_ArtifactSuppression",
                                             .documentDefault = Default::real(0.0),
                                             .range = Range{0.0, 1.0},
                                             .label = "Luma Artifacts",
                                             .invalidates = Stage::RawCombine,
                                             .readers = RawCombineStage,
                                             .observed = true,
                                             .presetGroup = PresetGroup::LumaArtifactSuppression};
inline constexpr Setting ChromaArtifactSuppression{.key = "Lumivar_ChromaArtifactSuppression",
                                                   .documentDefault = Default::real(0.0),
                                                   .range = Range{0.0, 1.0},
                                                   .label = "Chroma Artifacts",
                                                   .invalidates = Stage::RawCombine,
                                                   .readers = RawCombineStage,
                                                   .observed = true};
inline constexpr Setting EttrAdjust{.key = "Lumivar_ettrAdjust",
                                    .documentDefault = Default::real(0.0),
                                    .range = Range{-2.0, 2.0},
                                    .label = "ETTR Adjust",
                                    .invalidates = Stage::Output,
                                    .readers = OutputStage,
                                    .observed = true,
                                    .presetGroup = PresetGroup::EttrAdjust};
inline constexpr Setting ToneCurveAdjust{.key = "Lumivar_toneCurveAdjust",
                                         .documentDefault = Default::real(1.0),
                                         .range = Range{0.0, 1.0},
                                         .label = "Tone Curve",
                                         .invalidates = Stage::Output,
                                         .readers = OutputStage,
                                         .observed = true,
                                         .presetGroup = PresetGroup::ToneCurve};
inline constexpr Setting ArtifactFilter{.key = "Lumivar_ArtifactFilter",
                                        .documentDefault = Default::real(0.0),
                                        .range = Range{0.0, 1.0},
                                        .label = "Post-demosaic Filter",
                                        .invalidates = Stage::ArtifactFilters,
                                        .readers = MedianStage | MeanStage,
                                        .observed = true,
                                        .presetGroup = PresetGroup::PostDemosaicFilter};
// The mean stage takes a change up, though no step reads it.
inline constexpr Setting KodakProcessing{.key = "Lumivar_KodakProcessing",
                                         .type = Type::Boolean,
                                         .documentDefault = Default::boolean(true),
                                         .label = "Kodak Processing",
                                         .invalidates = Stage::ArtifactFilters,
                                         .readers = MeanStage,
                                         .observed = true};

// --- export ------------------------------------------------------------------------------------

// The export menu's index: 0 JPEG, 1 TIFF, 2 DNG, 3 to 6 OpenEXR.
inline constexpr Setting ExportFileType{.key = "Lumivar_ExportFileType",
                                        .documentDefault = Default::integer(0),
                                        .label = "File type",
                                        .invalidates = Stage::None,
                                        .presetGroup = PresetGroup::ExportSettings};
inline constexpr Setting JPEGQuality{.key = "Lumivar_JPEGQuality",
                                     .documentDefault = Default::real(10.0),
                                     .range = Range{0.0, 10.0},
                                     .label = "JPEG Quality",
                                     .invalidates = Stage::None,
                                     .presetGroup = PresetGroup::ExportSettings};

// --- kept by the document ----------------------------------------------------------------------
// The engine's key table does not list the keys below whose stage is Decode: as unknown keys
// they restart from the decode.

// Present (true) in a new document's settings, not among its defaults, until the first render.
inline constexpr Setting UseAsShotWB{.key = "Lumivar_UseAsShotWB", .type = Type::Boolean};
// The crop in pixels of the unrotated image, and the orientation code.
inline constexpr Setting CropRectX{.key = "Lumivar_CropRect_x"};
inline constexpr Setting CropRectY{.key = "Lumivar_CropRect_y"};
inline constexpr Setting CropRectWidth{.key = "Lumivar_CropRect_width"};
inline constexpr Setting CropRectHeight{.key = "Lumivar_CropRect_height"};
inline constexpr Setting ImageOrientation{.key = "Lumivar_ImageOrientation"};
// The raw file's path: its identity in the catalog.
inline constexpr Setting UUID{.key = "Lumivar_UUID", .type = Type::Text};
// A preset's identity (also its file name) and its name.
inline constexpr Setting PresetUUID{
    .key = "Lumivar_PresetUUID", .type = Type::Text, .invalidates = Stage::None};
inline constexpr Setting DisplayName{.key = "displayName", .type = Type::Text, .invalidates = Stage::None};

// --- the table ---------------------------------------------------------------------------------

inline constexpr std::array<const Setting*, 41> kAll{
    &InputIntensity,
    &InputRadius,
    &InputEV,
    &InputContrast,
    &InputBrightness,
    &InputFillLight,
    &InputHighLight,
    &InputKneeLow,
    &InputKneeHigh,
    &InputSaturation,
    &InputAngle,
    &InputTemperature,
    &InputTint,
    &MonochromeRed,
    &MonochromeYellow,
    &MonochromeGreen,
    &MonochromeCyan,
    &MonochromeBlue,
    &CameraProfile,
    &IccProfile,
    &MaintainWhites,
    &MonochromeSensor,
    &IRUVSensor,
    &SceneReferred,
    &ArtifactSuppression,
    &ChromaArtifactSuppression,
    &EttrAdjust,
    &ToneCurveAdjust,
    &ArtifactFilter,
    &KodakProcessing,
    &ExportFileType,
    &JPEGQuality,
    &UseAsShotWB,
    &CropRectX,
    &CropRectY,
    &CropRectWidth,
    &CropRectHeight,
    &ImageOrientation,
    &UUID,
    &PresetUUID,
    &DisplayName,
};

// The row of a stored key (exact case); none for any other key.
constexpr const Setting* find(std::string_view key) {
    for (const Setting* setting : kAll)
        if (setting->key == key) return setting;
    return nullptr;
}

// The titles of the new-preset sheet's groups, in its order.
struct PresetGroupTitle {
    PresetGroup group;
    std::string_view title;
};
inline constexpr std::array<PresetGroupTitle, 13> kPresetGroups{{
    {PresetGroup::EttrAdjust, "ETTR Adjust"},
    {PresetGroup::ToneCurve, "Tone Curve"},
    {PresetGroup::LumaArtifactSuppression, "Luma Artifact Suppression"},
    {PresetGroup::PostDemosaicFilter, "Post-demosaic Filter"},
    {PresetGroup::SceneReferred, "Scene Referred"},
    {PresetGroup::MaintainWhites, "Maintain Saturated Whites"},
    {PresetGroup::MonochromeSensor, "Sensor CFA Removed"},
    {PresetGroup::IRUVSensor, "Sensor IR/UV Modified"},
    {PresetGroup::Exposure, "Exposure"},
    {PresetGroup::CameraProfile, "Camera Profile"},
    {PresetGroup::MonochromeFilters, "Monochrome Filters"},
    {PresetGroup::Sharpening, "Sharpening"},
    {PresetGroup::ExportSettings, "Export Settings"},
}};

// The keys of the rows that pass the test, in the table's order.
template <size_t N, class Predicate>
constexpr std::array<std::string_view, N> keysWhere(Predicate predicate) {
    std::array<std::string_view, N> keys{};
    size_t n = 0;
    for (const Setting* setting : kAll)
        if (predicate(*setting)) keys[n++] = setting->key;
    return keys;
}
template <class Predicate> constexpr size_t countWhere(Predicate predicate) {
    size_t n = 0;
    for (const Setting* setting : kAll)
        n += predicate(*setting) ? 1 : 0;
    return n;
}

// The settings the document watches once it has a window.
inline constexpr auto isObserved = [](const Setting& setting) { return setting.observed; };
inline constexpr auto kObservedKeys = keysWhere<countWhere(isObserved)>(isObserved);

namespace detail {

constexpr bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

constexpr bool keysAreUnique() {
    for (size_t i = 0; i < kAll.size(); ++i)
        for (size_t j = i + 1; j < kAll.size(); ++j)
            if (kAll[i]->key == kAll[j]->key) return false;
    return true;
}

// A reader runs at or after the stage a change restarts from, or it would miss the change.
constexpr bool readersFollowTheirStage() {
    for (const Setting* setting : kAll)
        for (uint8_t bit = 1; bit != 0 && bit <= OutputStage; bit = uint8_t(bit << 1))
            if ((setting->readers & bit) != 0 &&
                (setting->invalidates == Stage::None || stageOf(Reader(bit)) < setting->invalidates))
                return false;
    return true;
}

constexpr bool adjustmentsAreNumbers() {
    for (const Setting* setting : kAll)
        if (startsWith(setting->key, FilterPrefix) && setting->type != Type::Number) return false;
    return true;
}

constexpr bool groupsHaveTitles() {
    for (const Setting* setting : kAll) {
        if (setting->presetGroup == PresetGroup::None) continue;
        bool titled = false;
        for (const PresetGroupTitle& group : kPresetGroups)
            titled = titled || group.group == setting->presetGroup;
        if (!titled) return false;
    }
    return true;
}

} // namespace detail

static_assert(detail::keysAreUnique());
static_assert(detail::readersFollowTheirStage());
static_assert(detail::adjustmentsAreNumbers());
static_assert(detail::groupsHaveTitles());

} // namespace settings
