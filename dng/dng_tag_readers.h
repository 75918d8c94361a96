#pragma once
// Checks and value readers shared by the TIFF tag parsers. The parent directory and tag codes
// only identify the tag; the readers expect the stream at the tag's data.
#include <cstdint>

class dng_date_time_info;
class dng_matrix;
class dng_stream;
class dng_string;
class dng_vector;

bool TagTypeIs(uint32_t parentCode, uint32_t tagCode, uint32_t tagType, uint32_t type1, uint32_t type2 = 0,
               uint32_t type3 = 0, uint32_t type4 = 0);
// maxCount 0 means exactly minCount.
bool TagCountInRange(uint32_t parentCode, uint32_t tagCode, uint32_t tagCount, uint32_t minCount,
                     uint32_t maxCount = 0);
bool HasColorChannels(uint32_t parentCode, uint32_t tagCode, uint32_t colorChannels);
bool IsMainImage(uint32_t parentCode, uint32_t tagCode, uint32_t newSubFileType);
bool IsRawPhotometric(uint32_t parentCode, uint32_t tagCode, uint32_t photometric);
bool IsCFAPhotometric(uint32_t parentCode, uint32_t tagCode, uint32_t photometric);

void ReadStringTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagCount,
                   dng_string& s, bool trimBlanks = true);
// Two NUL-separated texts in one tag.
void ReadStringPairTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagCount,
                       dng_string& first, dng_string& second);
// An 8-byte character-set code, then the text (EXIF's UserComment form).
void ReadCharsetStringTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagCount,
                          dng_string& s);
// False, with `m` untouched, unless rows x cols equals the count.
bool ReadMatrixTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagType,
                   uint32_t tagCount, uint32_t rows, uint32_t cols, dng_matrix& m);
bool ReadVectorTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagType,
                   uint32_t tagCount, uint32_t count, dng_vector& v);
// True for a valid date or a blank one (spaces, zeros and colons), which clears the value.
bool ReadDateTimeTag(dng_stream& stream, uint32_t parentCode, uint32_t tagCode, uint32_t tagType,
                     uint32_t tagCount, dng_date_time_info& dt);
