#include "dng/dng_tag_types.h"

uint32_t TagTypeSize(uint32_t tagType) {
    switch (tagType) {
    case ttByte:
    case ttAscii:
    case ttSByte:
    case ttUndefined:
        return 1;
    case ttShort:
    case ttSShort:
    case ttUnicode:
        return 2;
    case ttLong:
    case ttSLong:
    case ttFloat:
    case ttIFD:
        return 4;
    case ttRational:
    case ttSRational:
    case ttDouble:
    case ttComplex:
        return 8;
    default:
        return 0;
    }
}
