#include "app/core/SettingTypes.h"

#include <array>
#include <string>
#include <utility>

#include "app/core/Keys.h"

namespace app {
namespace {

using enum SettingType;

// Every "Lumivar_Filter_" key is a number; these are the others.
constexpr std::array<std::pair<std::string_view, SettingType>, 23> kSettingTypes{{
    {keys::ArtifactSuppression, Number},
    {keys::ChromaArtifactSuppression, Number},
    {keys::EttrAdjust, Number},
    {keys::ToneCurveAdjust, Number},
    {keys::ArtifactFilter, Number},
    {keys::ExportFileType, Number},
    {keys::JPEGQuality, Number},
    {keys::CropRectX, Number},
    {keys::CropRectY, Number},
    {keys::CropRectWidth, Number},
    {keys::CropRectHeight, Number},
    {keys::ImageOrientation, Number},
    {keys::SceneReferred, Boolean},
    {keys::MaintainWhites, Boolean},
    {keys::MonochromeSensor, Boolean},
    {keys::IRUVSensor, Boolean},
    {keys::UseAsShotWB, Boolean},
    {keys::KodakProcessing, Boolean},
    {keys::DisplayName, Text},
    {keys::PresetUUID, Text},
    {keys::UUID, Text},
    {keys::CameraProfile, ProfileForm},
    {keys::IccProfile, ProfileForm},
}};

std::string_view typeName(SettingType type) {
    switch (type) {
    case Number:
        return "a number";
    case Boolean:
        return "a yes or no";
    case Text:
        return "a text";
    case ProfileForm:
        return "a profile";
    }
    return "a value";
}

std::string describe(const platform::Value& value) {
    if (const std::string* text = value.string()) return "the text \"" + *text + "\"";
    if (value.boolean()) return *value.boolean() ? "yes" : "no";
    if (value.integer() || value.real()) return "the number " + value.stringValue();
    if (value.date()) return "a date";
    if (value.data()) return "data";
    if (value.array()) return "a list";
    if (value.dictionary()) return "a dictionary";
    return "empty";
}

std::string presetName(const platform::Dictionary& preset) {
    auto it = preset.find(std::string(keys::DisplayName));
    if (it != preset.end() && it->second.string()) return *it->second.string();
    return "without a name";
}

} // namespace

std::optional<SettingType> settingTypeForKey(std::string_view key) {
    for (const auto& [name, type] : kSettingTypes)
        if (name == key) return type;
    if (key.starts_with(keys::FilterPrefix)) return Number;
    return std::nullopt;
}

bool valueHasType(const platform::Value& value, SettingType type) {
    const bool number = value.integer() || value.real();
    switch (type) {
    case Number:
        return number;
    case Boolean:
        return number || value.boolean();
    case Text:
        return value.string() != nullptr;
    case ProfileForm:
        return value.dictionary() != nullptr;
    }
    return false;
}

std::optional<platform::Error> wrongSettingType(const platform::Dictionary& preset) {
    for (const auto& [key, value] : preset) {
        const auto type = settingTypeForKey(key);
        if (!type || valueHasType(value, *type)) continue;
        return errors::Table.error(errors::WrongSettingType,
                                   {presetName(preset), key, describe(value), typeName(*type)});
    }
    return std::nullopt;
}

} // namespace app
