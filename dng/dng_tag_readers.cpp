#include "dng/dng_tag_readers.h"

#include "dng/dng_date_time.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_matrix.h"
#include "dng/dng_memory.h"
#include "dng/dng_stream.h"
#include "dng/dng_string.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kPhotometricCFA = 32803;
constexpr uint32_t kPhotometricLinearRaw = 34892;

// A tag may claim far more than the file holds; refuse before allocating for it.
void CheckRemaining(dng_stream& stream, uint64_t bytes) {
    const uint64_t length = stream.Length();
    if (stream.Position() > length || bytes > length - stream.Position()) ThrowEndOfFile();
}

// `count` bytes from the stream and a NUL after them.
std::vector<char> ReadTerminated(dng_stream& stream, uint32_t count) {
    CheckRemaining(stream, count);
    std::vector<char> bytes(uint64_t(count) + 1, 0);
    stream.Get(bytes.data(), count);
    return bytes;
}

bool IsBlankDate(const char* s) {
    for (; *s; ++s)
        if (*s != ' ' && *s != '0' && *s != ':') return false;
    return true;
}

bool IsPrintableASCII(const char* s) {
    for (; *s; ++s)
        if (uint8_t(*s) < 32 || uint8_t(*s) > 126) return false;
    return true;
}

void ReadUTF16(dng_stream& stream, uint32_t bytes, dng_string& s) {
    const uint32_t units = bytes / 2;
    CheckRemaining(stream, uint64_t(units) * 2);
    std::vector<uint16_t> text(uint64_t(units) + 1, 0);
    for (uint32_t i = 0; i < units; ++i)
        text[i] = stream.Get_uint16();
    s.Set_UTF16(text.data());
}

} // namespace

bool TagTypeIs(uint32_t, uint32_t, uint32_t tagType, uint32_t type1, uint32_t type2, uint32_t type3,
               uint32_t type4) {
    return tagType == type1 || tagType == type2 || tagType == type3 || tagType == type4;
}

bool TagCountInRange(uint32_t, uint32_t, uint32_t tagCount, uint32_t minCount, uint32_t maxCount) {
    return tagCount >= minCount && tagCount <= std::max(minCount, maxCount);
}

bool HasColorChannels(uint32_t, uint32_t, uint32_t colorChannels) { return colorChannels > 1; }

bool IsMainImage(uint32_t, uint32_t, uint32_t newSubFileType) { return newSubFileType == 0; }

bool IsRawPhotometric(uint32_t, uint32_t, uint32_t photometric) {
    return photometric == kPhotometricCFA || photometric == kPhotometricLinearRaw;
}

bool IsCFAPhotometric(uint32_t, uint32_t, uint32_t photometric) { return photometric == kPhotometricCFA; }

void ReadStringTag(dng_stream& stream, uint32_t, uint32_t, uint32_t tagCount, dng_string& s,
                   bool trimBlanks) {
    if (tagCount == 0 || tagCount == 0xFFFFFFFF) {
        s.Clear();
        return;
    }
    const std::vector<char> text = ReadTerminated(stream, tagCount);
    s.Set_UTF8_or_System(text.data());
    if (trimBlanks) s.TrimTrailingBlanks();
}

void ReadStringPairTag(dng_stream& stream, uint32_t, uint32_t, uint32_t tagCount, dng_string& first,
                       dng_string& second) {
    second.Clear();
    if (tagCount == 0 || tagCount == 0xFFFFFFFF) {
        first.Clear();
        return;
    }
    const std::vector<char> text = ReadTerminated(stream, tagCount);
    first.Set_UTF8_or_System(text.data());
    first.TrimTrailingBlanks();
    for (uint32_t i = 1; i + 1 < tagCount; ++i) {
        if (text[i] == 0 && text[i - 1] != 0) {
            second.Set_UTF8_or_System(text.data() + i + 1);
            second.TrimTrailingBlanks();
            break;
        }
    }
}

void ReadCharsetStringTag(dng_stream& stream, uint32_t, uint32_t, uint32_t tagCount, dng_string& s) {
    if (tagCount <= 7) {
        s.Clear();
        return;
    }
    char code[8];
    stream.Get(code, 8);
    for (char& c : code)
        c = char(std::toupper(uint8_t(c)));
    const uint32_t rest = tagCount - 8;
    if (std::memcmp(code, "UNICODE\0", 8) == 0) {
        ReadUTF16(stream, rest, s);
    } else {
        const std::vector<char> text = ReadTerminated(stream, rest);
        if (std::memcmp(code, "ASCII\0\0\0", 8) == 0)
            s.Set_UTF8_or_System(text.data());
        else if (std::memcmp(code, "JIS\0\0\0\0\0", 8) == 0)
            s.Set_JIS(text.data());
        else if (IsPrintableASCII(text.data()))
            s.Set_UTF8_or_System(text.data());
        else
            s.Clear();
    }
    s.TrimTrailingBlanks();
}

bool ReadMatrixTag(dng_stream& stream, uint32_t, uint32_t, uint32_t tagType, uint32_t tagCount, uint32_t rows,
                   uint32_t cols, dng_matrix& m) {
    if (uint64_t(rows) * cols != tagCount) return false;
    dng_matrix temp(rows, cols);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c)
            temp[r][c] = stream.TagValue_real64(tagType);
    m = temp;
    return true;
}

bool ReadVectorTag(dng_stream& stream, uint32_t, uint32_t, uint32_t tagType, uint32_t tagCount,
                   uint32_t count, dng_vector& v) {
    if (tagCount != count) return false;
    dng_vector temp(count);
    for (uint32_t i = 0; i < count; ++i)
        temp[i] = stream.TagValue_real64(tagType);
    v = temp;
    return true;
}

bool ReadDateTimeTag(dng_stream& stream, uint32_t, uint32_t, uint32_t tagType, uint32_t tagCount,
                     dng_date_time_info& dt) {
    if ((tagType != ttAscii && tagType != 0) || tagCount < 20) return false;
    char text[21] = {};
    stream.Get(text, 20);
    dng_date_time parsed;
    if (parsed.Parse(text)) {
        dt.SetDateTime(parsed);
        return true;
    }
    dt.Clear();
    return IsBlankDate(text);
}
