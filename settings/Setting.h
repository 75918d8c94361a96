#pragma once
// One document setting as a row of the schema: its stored key and everything the layers
// above need to know about it. Rows are constexpr; code passes a `const Setting&` around
// instead of the key's string.
#include <cstdint>
#include <optional>
#include <string_view>

namespace settings {

// The kind of value the setting holds in a settings dictionary, a preset or the catalog.
enum class Type : uint8_t {
    Number,      // an integer or a real
    Boolean,     // a boolean, or a number read as one
    Text,        // a string
    ProfileForm, // a profile's property-list form: a dictionary
};

// The engine's stages by the number a change of a setting restarts from.
enum class Stage : int8_t {
    None = -1,           // a change renders nothing
    Decode = 0,          // the wrapper decodes again; also the answer for keys the engine does not list
    RawCombine = 1,      // blending the demosaiced renderings
    ArtifactFilters = 2, // the medians and the mean
    Sharpening = 3,
    Output = 4, // the output stage's tables only
};

// The steps that take a setting up when it changes (a bit each): the wrapper's decode and the
// tiled stages of the chain.
enum Reader : uint8_t {
    NoReader = 0,
    DecodeStep = 1 << 0,
    RawCombineStage = 1 << 1,
    MedianStage = 1 << 2,
    MeanStage = 1 << 3,
    SharpeningStage = 1 << 4,
    OutputStage = 1 << 5,
};

// The stage number each reader runs at.
constexpr Stage stageOf(Reader reader) {
    switch (reader) {
    case DecodeStep:
        return Stage::Decode;
    case RawCombineStage:
        return Stage::RawCombine;
    case MedianStage:
    case MeanStage:
        return Stage::ArtifactFilters;
    case SharpeningStage:
        return Stage::Sharpening;
    case OutputStage:
        return Stage::Output;
    default:
        return Stage::None;
    }
}

// The check boxes of the new-preset sheet, in the sheet's order: a group copies its settings
// into the preset.
enum class PresetGroup : uint8_t {
    None,
    EttrAdjust,
    ToneCurve,
    LumaArtifactSuppression,
    PostDemosaicFilter,
    SceneReferred,
    MaintainWhites,
    MonochromeSensor,
    IRUVSensor,
    Exposure,
    CameraProfile,
    MonochromeFilters,
    Sharpening,
    ExportSettings,
};

// What a new document holds before its catalog entry or preset is applied.
struct Default {
    enum class Kind : uint8_t {
        None,             // no default: the key stays absent until set
        Real,             // a real, stored as a real
        Integer,          // an integer, stored as an integer
        Boolean,          // value != 0
        AutomaticProfile, // the automatic profile's property-list form
    };
    Kind kind = Kind::None;
    double value = 0;

    static constexpr Default none() { return {}; }
    static constexpr Default real(double v) { return {Kind::Real, v}; }
    static constexpr Default integer(int v) { return {Kind::Integer, double(v)}; }
    static constexpr Default boolean(bool v) { return {Kind::Boolean, v ? 1.0 : 0.0}; }
    static constexpr Default automaticProfile() { return {Kind::AutomaticProfile, 0}; }
};

// The control's range, where the setting has a slider or a numeric field.
struct Range {
    double minimum = 0;
    double maximum = 0;
};

struct Setting {
    std::string_view key; // as stored in settings dictionaries, presets and the catalog
    Type type = Type::Number;
    Default documentDefault = Default::none();
    std::optional<Range> range = std::nullopt;
    std::string_view label = {};                 // the control's label in the editing window
    Stage invalidates = Stage::Decode;           // the first stage a change runs again
    uint8_t readers = NoReader;                  // Reader bits
    bool observed = false;                       // a change re-renders once the document has a window
    PresetGroup presetGroup = PresetGroup::None; // the new-preset sheet's group that copies it

    // Rows are made from string literals, so the key is terminated.
    constexpr const char* c_str() const { return key.data(); }
    constexpr bool readBy(Reader reader) const { return (readers & reader) != 0; }
    bool operator==(const Setting& other) const { return key == other.key; }
};

} // namespace settings
