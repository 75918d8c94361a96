#pragma once
// What the metadata inspector shows: the image metadata dictionary turned into rows of a
// two-column outline (name, value), grouped by its sub-dictionaries. A fixed property table
// says which keys are shown and how each value reads; keys it does not list, and the keys it
// hides (spectral sensitivity, OECF, the maker note), give no row. No Qt here.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.h"

struct InspectorRow {
    std::string key; // the name column: a group's title or the property's display name
    std::string val; // the value column; empty for a group
    std::vector<InspectorRow> children;
    bool isGroup = false;
};

class InspectorModel {
  public:
    // format 0 hides the key, 1 is plain, 2 to 26 pick a formatter; an empty display name
    // means prettyName() of the key.
    struct Property {
        std::string_view key;
        int format;
        std::string_view displayName;
    };

    static std::span<const Property> propertyTable();

    // Rows in ascending key order; a failure while one key is formatted costs that row only.
    static std::vector<InspectorRow> propTree(const platform::Dictionary& metadata);
    // The table row of the key, or -1.
    static int itemIndex(std::string_view key);
    // "ExposureTime" -> "Exposure Time", "FNumber" -> "F Number", "ISO" -> "I SO".
    static std::string prettyName(std::string_view key);
    static std::string prettyValue(const platform::Value& value, int index);
    static std::string appendWithSeparator(std::string_view s, std::string_view t,
                                           std::string_view separator);
    // The EXIF Flash bits in words, joined with "; ".
    static std::string flashText(int64_t flash);
    // A value as plain text when no formatter applies.
    static std::string describe(const platform::Value& value);
};
