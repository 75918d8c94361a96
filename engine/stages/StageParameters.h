#pragma once
// Settings lookups shared by the stages: which keys concern a stage, and their values.
#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace stages {

// A missing key (a whole-settings update) concerns every stage.
inline bool concerns(const std::optional<std::string>& key, std::initializer_list<std::string_view> table) {
    return !key || std::find(table.begin(), table.end(), std::string_view(*key)) != table.end();
}

// Absent settings read as 0, as a missing number would.
inline float floatSetting(const platform::Dictionary& parameters, std::string_view key) {
    const auto found = parameters.find(std::string(key));
    return found == parameters.end() ? 0.0f : found->second.floatValue();
}

inline uint16_t clampU16(int64_t value) { return uint16_t(std::clamp<int64_t>(value, 0, 65535)); }

} // namespace stages
