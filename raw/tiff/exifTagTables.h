#pragma once
// The tag tables of the metadata builder (exifEngine): which TIFF/EXIF/GPS tags become
// which entries of the image metadata dictionary.
#include <cstdint>
#include <span>

namespace raw {

// Replaces the type of an entry stored as UNDEFINED (7).
enum ExifTypeOverride : uint32_t {
    kNoOverride = 7,
    kVersionDigits = 16, // four digit characters, e.g. "0230"
    kUserComment = 17,   // 8-byte character-code header, then the text
    kByteNumbers = 18,   // bytes as numbers
};

struct ExifTagRow {
    uint32_t tag;
    const char* name;
    const char* dictionary; // sub-dictionary key; nullptr puts the value in the root
    const char* property;   // nullptr: the tag produces nothing
    uint32_t typeOverride;
    bool enabled;
};

// Rows in lookup order: the first row with a tag wins.
std::span<const ExifTagRow> exifMainTags();
std::span<const ExifTagRow> exifGpsTags();

// The first row for the tag, or nullptr.
const ExifTagRow* findExifTag(std::span<const ExifTagRow> table, uint32_t tag);

} // namespace raw
