#pragma once
// Fields of the EXIF directories the JPEG writer makes, and the rules by which a value of
// the metadata dictionary becomes one: the TIFF type and count each writable tag takes.
// Values are stored big-endian, the byte order of the whole block. Internal to export/.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "dng/dng_tag_types.h"
#include "platform/Value.h"

namespace exif {

struct Field {
    uint16_t tag = 0;
    uint16_t type = 0; // a dng_tag_type
    uint32_t count = 0;
    std::vector<uint8_t> value;
};

// How a dictionary value is written.
enum class Encoding {
    Ascii,
    Byte,
    Short,
    Rational,
    SRational,
    Undefined,
    CharacterCode, // UNDEFINED behind an 8-byte character-code header, as user comments are
    Degrees,       // three RATIONALs (degrees, minutes, seconds) from decimal degrees
    TimeOfDay,     // three RATIONALs (hours, minutes, seconds) from "h:m:s"
};

struct FieldRule {
    uint16_t tag;
    Encoding encoding;
    uint32_t count; // 0: any count from 1
};

// The rule of a tag the block copies from the dictionary (gps: of the GPS directory);
// nullptr for a tag it leaves out (fields it writes itself, and fields that describe the raw
// file rather than the JPEG).
const FieldRule* writableField(uint16_t tag, bool gps);

// False for a value the block leaves out: an empty one, and a GPS processing method other
// than the names EXIF gives ("GPS", "CELLID", "WLAN", "MANUAL"), which readers call invalid.
bool writesValue(const FieldRule& rule, const platform::Value& value);

// The field for a value the block writes; nullopt when the value does not fit the rule (a text
// for a number, a number out of range, a count the tag does not take).
std::optional<Field> encodeField(const FieldRule& rule, const platform::Value& value);

// Fields the block writes of its own.
Field shortField(uint16_t tag, std::initializer_list<uint16_t> values);
Field longField(uint16_t tag, uint32_t value);
Field asciiField(uint16_t tag, std::string_view text);
Field undefinedField(uint16_t tag, std::string_view bytes);
Field rationalField(uint16_t tag, uint32_t numerator, uint32_t denominator);

void put16(std::vector<uint8_t>& out, uint32_t v);
void put32(std::vector<uint8_t>& out, uint32_t v);

} // namespace exif
