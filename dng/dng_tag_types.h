#pragma once
// TIFF field types; pixel types use the same codes.
#include <cstdint>

enum dng_tag_type : uint32_t {
    ttByte = 1,
    ttAscii = 2,
    ttShort = 3,
    ttLong = 4,
    ttRational = 5,
    ttSByte = 6,
    ttUndefined = 7,
    ttSShort = 8,
    ttSLong = 9,
    ttSRational = 10,
    ttFloat = 11,
    ttDouble = 12,
    ttIFD = 13,
    ttUnicode = 14,
    ttComplex = 15
};

// Bytes of one value of the type; 0 for an unknown type.
uint32_t TagTypeSize(uint32_t tagType);
