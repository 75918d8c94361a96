#include "app/core/SettingTypes.h"

#include <string>
#include <utility>

#include "app/core/Keys.h"
#include "settings/Schema.h"

namespace app {
namespace {

using enum settings::Type;

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
    if (const settings::Setting* setting = settings::find(key)) return setting->type;
    // Every adjustment is a number, listed or not.
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
