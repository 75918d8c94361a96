#pragma once
// The range of every numeric control of the editing window, by settings key: one table for
// the sliders, their fields' formatters and keyboard stepping, read off the schema's rows. The
// ranges cover what the seeded presets hold and what the engine accepts.
#include <optional>
#include <string_view>
#include <vector>

struct ControlRange {
    std::string_view key;
    double minimum;
    double maximum;
};

const std::vector<ControlRange>& controlRanges();
std::optional<ControlRange> controlRangeForKey(std::string_view key);
