#include "app/ui/ControlRanges.h"

#include "settings/Schema.h"

const std::vector<ControlRange>& controlRanges() {
    static const std::vector<ControlRange> table = [] {
        std::vector<ControlRange> ranges;
        for (const settings::Setting* setting : settings::kAll)
            if (setting->range)
                ranges.push_back({setting->key, setting->range->minimum, setting->range->maximum});
        return ranges;
    }();
    return table;
}

std::optional<ControlRange> controlRangeForKey(std::string_view key) {
    for (const auto& range : controlRanges())
        if (range.key == key) return range;
    return std::nullopt;
}
