#pragma once
// Settings lookups shared by the stages: which keys concern a stage, and their values. A
// stage's keys are the schema's rows that name it among their readers.
#include <algorithm>
#include <optional>
#include <string>

#include "platform/Value.h"
#include "settings/Reads.h"
#include "settings/Schema.h"

namespace stages {

// A missing key (a whole-settings update) concerns every stage.
inline bool concerns(const std::optional<std::string>& key, settings::Reader stage) {
    if (!key) return true;
    const settings::Setting* setting = settings::find(*key);
    return setting && setting->readBy(stage);
}

// Absent settings read as 0, as a missing number would.
inline float floatSetting(const platform::Dictionary& parameters, const settings::Setting& setting) {
    return settings::number(parameters, setting, 0.0f);
}

inline uint16_t clampU16(int64_t value) { return uint16_t(std::clamp<int64_t>(value, 0, 65535)); }

} // namespace stages
