#pragma once
// The kind of value each setting the program reads must hold. Presets and catalog entries are
// property lists a person can edit: a weight written as the text "lots" would otherwise be
// read as some number, so a preset holding one is refused whole, naming the key.
#include <optional>
#include <string_view>

#include "platform/Error.h"
#include "platform/Value.h"
#include "settings/Setting.h"

namespace app {

// The schema's kinds (settings/Setting.h).
using SettingType = settings::Type;

// The kind of a known setting; none for keys the program does not read as settings.
std::optional<SettingType> settingTypeForKey(std::string_view key);
bool valueHasType(const platform::Value& value, SettingType type);

// The first (by key) setting of the preset whose value has the wrong kind, as an error whose
// text names the preset and the key; none when every known key holds its kind.
std::optional<platform::Error> wrongSettingType(const platform::Dictionary& preset);

} // namespace app
