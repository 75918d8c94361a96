#include "dng/dng_string.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_safe_arithmetic.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

uint32_t CheckedLength(const char* s) {
    const std::size_t length = std::strlen(s);
    if (length > UINT32_MAX) ThrowProgramError("Overflow in unsigned integer conversion");
    return uint32_t(length);
}

uint32_t SequenceLength(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    if (lead < 0xFC) return 5;
    return 6;
}

bool IsContinuation(uint8_t c) { return (c & 0xC0) == 0x80; }

// Decodes one code point from s (which has `remaining` bytes) and advances s past it.
uint32_t DecodeUTF8(const char*& s, uint32_t remaining, bool* isValid = nullptr) {
    const auto* p = reinterpret_cast<const uint8_t*>(s);
    const uint32_t length = SequenceLength(p[0]);
    if (length == 1) {
        s += 1;
        return p[0];
    }
    uint32_t value = 0;
    bool valid = false;
    if (length == 0) {
        s += 1;
    } else if (length > remaining) {
        s += remaining;
    } else {
        s += length;
        value = p[0] & (0x7Fu >> length);
        valid = true;
        for (uint32_t i = 1; i < length; ++i) {
            valid = valid && IsContinuation(p[i]);
            value = (value << 6) | (p[i] & 0x3F);
        }
        valid = valid && value >= 0x7F && value <= 0x10FFFF;
    }
    if (valid) return value;
    if (isValid) *isValid = false;
    return kReplacementCharacter;
}

// Appends the shortest UTF-8 form of cp, never writing at or past `end`.
void EncodeUTF8(uint32_t cp, char*& out, const char* end) {
    uint8_t bytes[4];
    uint32_t count;
    if (cp < 0x80) {
        bytes[0] = uint8_t(cp);
        count = 1;
    } else if (cp < 0x800) {
        bytes[0] = uint8_t(0xC0 | (cp >> 6));
        bytes[1] = uint8_t(0x80 | (cp & 0x3F));
        count = 2;
    } else if (cp < 0x10000) {
        bytes[0] = uint8_t(0xE0 | (cp >> 12));
        bytes[1] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = uint8_t(0x80 | (cp & 0x3F));
        count = 3;
    } else {
        bytes[0] = uint8_t(0xF0 | (cp >> 18));
        bytes[1] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = uint8_t(0x80 | (cp & 0x3F));
        count = 4;
    }
    if (end - out < std::ptrdiff_t(count)) ThrowMemoryFull("Buffer overrun");
    std::memcpy(out, bytes, count);
    out += count;
}

char FoldASCII(char c, bool caseSensitive) {
    return (!caseSensitive && c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool MatchesPrefix(const char* text, const char* prefix, uint32_t length, bool caseSensitive) {
    for (uint32_t i = 0; i < length; ++i)
        if (FoldASCII(text[i], caseSensitive) != FoldASCII(prefix[i], caseSensitive)) return false;
    return true;
}

bool IsASCIIText(const char* s) {
    for (; *s; ++s)
        if (uint8_t(*s) >= 0x80) return false;
    return true;
}

// Builds a replacement text, reporting exhausted memory as the DNG memory error.
template <typename F> std::string BuildText(F build) {
    return dng_guard_allocation([&build] {
        std::string out;
        build(out);
        return out;
    });
}

bool IsNumberCharacter(uint32_t cp) {
    return (cp >= '0' && cp <= '9') || cp == '+' || cp == '-' || cp == '.' || cp == 'E' || cp == 'e';
}

} // namespace

dng_string::dng_string(const dng_string& other) { Set(other.Get()); }

dng_string& dng_string::operator=(const dng_string& other) {
    if (this != &other) Set(other.Get());
    return *this;
}

void dng_string::Set(const char* s) {
    if (!s || !*s) {
        Clear();
        return;
    }
    const uint32_t newLength = CheckedLength(s);
    if (Length() < newLength) {
        // s cannot lie inside our storage: it is longer than our text.
        fData.Allocate(SafeUint32Add(newLength, 1));
        std::memcpy(fData.Buffer(), s, newLength + 1);
        return;
    }
    // The source may lie inside our own storage.
    std::memmove(fData.Buffer(), s, newLength + 1);
}

const char* dng_string::Get() const { return fData.Buffer() ? fData.Buffer_char() : ""; }

uint32_t dng_string::Length() const { return CheckedLength(Get()); }

bool dng_string::IsEmpty() const { return Get()[0] == 0; }

bool dng_string::IsASCII() const { return IsASCIIText(Get()); }

bool dng_string::operator==(const dng_string& other) const { return std::strcmp(Get(), other.Get()) == 0; }

bool dng_string::Matches(const char* s, bool caseSensitive) const {
    const uint32_t length = CheckedLength(s);
    return Length() == length && MatchesPrefix(Get(), s, length, caseSensitive);
}

bool dng_string::StartsWith(const char* s, bool caseSensitive) const {
    const uint32_t length = CheckedLength(s);
    return Length() >= length && MatchesPrefix(Get(), s, length, caseSensitive);
}

bool dng_string::EndsWith(const char* s, bool caseSensitive) const {
    const uint32_t length = CheckedLength(s);
    const uint32_t own = Length();
    return own >= length && MatchesPrefix(Get() + (own - length), s, length, caseSensitive);
}

bool dng_string::Contains(const char* s, bool caseSensitive, int32_t* matchOffset) const {
    if (matchOffset) *matchOffset = -1;
    const uint32_t length = CheckedLength(s);
    const uint32_t own = Length();
    if (length > own) return false;
    for (uint32_t offset = 0; offset + length <= own; ++offset) {
        if (MatchesPrefix(Get() + offset, s, length, caseSensitive)) {
            if (matchOffset) *matchOffset = int32_t(offset);
            return true;
        }
    }
    return false;
}

void dng_string::Append(const char* s) {
    const uint32_t added = CheckedLength(s);
    if (added == 0) return;
    const uint32_t own = Length();
    dng_memory_data joined(SafeUint32Add(SafeUint32Add(own, added), 1));
    std::memcpy(joined.Buffer_char(), Get(), own);
    std::memcpy(joined.Buffer_char() + own, s, added + 1);
    Set(joined.Buffer_char());
}

void dng_string::Truncate(uint32_t maxBytes) {
    if (Length() <= maxBytes) return;
    char* text = fData.Buffer_char();
    uint32_t cut = maxBytes;
    while (cut > 0 && IsContinuation(uint8_t(text[cut])))
        --cut;
    if (cut == 0) {
        Clear();
        return;
    }
    text[cut] = 0;
}

bool dng_string::TrimTrailingBlanks() {
    uint32_t length = Length();
    if (length == 0 || Get()[length - 1] != ' ') return false;
    char* text = fData.Buffer_char();
    while (length > 0 && text[length - 1] == ' ')
        --length;
    text[length] = 0;
    return true;
}

void dng_string::SetLineEndings(char ending) {
    const std::string text = BuildText([&](std::string& out) {
        for (const char* p = Get(); *p; ++p) {
            if (*p != '\r' && *p != '\n') {
                out += *p;
                continue;
            }
            // A CR-LF or LF-CR pair counts as one line break.
            if ((p[1] == '\r' || p[1] == '\n') && p[1] != *p) ++p;
            if (ending) out += ending;
        }
    });
    Set(text.c_str());
}

void dng_string::StripLowASCII() {
    const std::string text = BuildText([&](std::string& out) {
        for (const char* p = Get(); *p; ++p) {
            const uint8_t c = uint8_t(*p);
            if (c >= 0x20 || c == '\r' || c == '\n') out += *p;
        }
    });
    Set(text.c_str());
}

void dng_string::NormalizeNumberList() {
    const std::string text = BuildText([&](std::string& out) {
        bool inSeparator = false;
        const char* p = Get();
        const char* end = p + Length();
        while (p < end) {
            const char* start = p;
            const uint32_t cp = DecodeUTF8(p, uint32_t(end - p));
            if (IsNumberCharacter(cp)) {
                out.append(start, std::size_t(p - start));
                inSeparator = false;
            } else if (!inSeparator) {
                out += ',';
                inSeparator = true;
            }
        }
    });
    Set(text.c_str());
}

void dng_string::Set_UTF8(const char* s) {
    const uint32_t length = CheckedLength(s);
    dng_memory_data buffer(SafeUint32Add(SafeUint32Mult(length, 3), 1));
    char* out = buffer.Buffer_char();
    const char* outEnd = out + SafeUint32Mult(length, 3);
    const char* end = s + length;
    while (s < end)
        EncodeUTF8(DecodeUTF8(s, uint32_t(end - s)), out, outEnd);
    *out = 0;
    Set(buffer.Buffer_char());
}

bool dng_string::IsValidUTF8(const char* s) {
    const char* end = s + CheckedLength(s);
    bool valid = true;
    while (s < end)
        DecodeUTF8(s, uint32_t(end - s), &valid);
    return valid;
}

void dng_string::SetFromLegacy(const char* s, const char* encoding) {
    if (IsASCIIText(s)) {
        Set(s);
        return;
    }
    const uint32_t length = CheckedLength(s);
    const uint64_t limit = uint64_t(SafeUint32Add(SafeUint32Mult(length, 6), 256));
    const std::optional<std::string> utf8 =
        dng_guard_allocation([&] { return platform::convertText(s, encoding, "UTF-8"); });
    if (utf8 && !utf8->empty() && utf8->size() <= limit)
        Set(utf8->c_str());
    else
        Clear();
}

void dng_string::Set_SystemEncoding(const char* s) {
    SetFromLegacy(s, platform::defaultLegacyEncoding().c_str());
}

void dng_string::Set_UTF8_or_System(const char* s) {
    if (IsASCIIText(s))
        Set(s);
    else if (IsValidUTF8(s))
        Set_UTF8(s);
    else
        Set_SystemEncoding(s);
}

void dng_string::Set_JIS(const char* s) { SetFromLegacy(s, platform::kJISX0208Encoding); }

uint32_t dng_string::Get_SystemEncoding(dng_memory_data& buffer) const {
    const uint32_t length = Length();
    if (IsASCII()) {
        buffer.Allocate(SafeUint32Add(length, 1));
        std::memcpy(buffer.Buffer(), Get(), length + 1);
        return length;
    }
    // Characters the legacy set lacks get a stand-in rather than failing the whole text.
    const std::optional<std::string> legacy = dng_guard_allocation([&] {
        const std::string target = platform::defaultLegacyEncoding() + "//TRANSLIT";
        return platform::convertText(Get(), "UTF-8", target.c_str());
    });
    if (legacy && legacy->size() > UINT32_MAX) ThrowProgramError("Overflow in unsigned integer conversion");
    if (!legacy || legacy->empty()) {
        buffer.Allocate(1);
        buffer.Buffer_char()[0] = 0;
        return 0;
    }
    const uint32_t converted = uint32_t(legacy->size());
    buffer.Allocate(SafeUint32Add(converted, 1));
    std::memcpy(buffer.Buffer(), legacy->c_str(), converted + 1);
    return converted;
}

uint32_t dng_string::Get_UTF16(dng_memory_data& buffer) const {
    const char* text = Get();
    const char* end = text + Length();
    uint32_t units = 0;
    for (const char* p = text; p < end;)
        units = SafeUint32Add(units, DecodeUTF8(p, uint32_t(end - p)) > 0xFFFF ? 2 : 1);

    buffer.Allocate(SafeUint32Add(units, 1), sizeof(uint16_t));
    uint16_t* out = buffer.Buffer_uint16();
    const uint16_t* outEnd = out + units;
    auto put = [&](uint32_t unit) {
        if (out >= outEnd) ThrowMemoryFull("Buffer overrun");
        *out++ = uint16_t(unit);
    };
    for (const char* p = text; p < end;) {
        const uint32_t cp = DecodeUTF8(p, uint32_t(end - p));
        if (cp > 0xFFFF) {
            put((cp >> 10) + 0xD7C0);
            put((cp & 0x3FF) | 0xDC00);
        } else {
            put(cp);
        }
    }
    *out = 0;
    return units;
}

void dng_string::Set_UTF16(const uint16_t* s) {
    if (!s) {
        Clear();
        return;
    }
    bool swap = false;
    if (s[0] == 0xFEFF) {
        ++s;
    } else if (s[0] == 0xFFFE) {
        swap = true;
        ++s;
    }
    uint32_t units = 0;
    while (s[units])
        units = SafeUint32Add(units, 1);

    const uint32_t capacity = SafeUint32Mult(units, 6);
    dng_memory_data buffer(SafeUint32Add(capacity, 1));
    char* out = buffer.Buffer_char();
    const char* outEnd = out + capacity;
    auto unitAt = [&](uint32_t i) -> uint32_t { return swap ? uint16_t((s[i] << 8) | (s[i] >> 8)) : s[i]; };
    for (uint32_t i = 0; i < units; ++i) {
        uint32_t cp = unitAt(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units) {
            const uint32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        EncodeUTF8(cp, out, outEnd);
    }
    *out = 0;
    Set(buffer.Buffer_char());
}

dng_string_list::~dng_string_list() { Clear(); }

void dng_string_list::Clear() {
    for (uint32_t i = 0; i < fCount; ++i)
        delete fList[i];
    std::free(fList);
    fList = nullptr;
    fCount = 0;
    fAllocated = 0;
}

void dng_string_list::Reserve(uint32_t count) {
    if (fAllocated >= count) return;
    const uint32_t allocate =
        std::max(count, uint32_t(std::min<uint64_t>(uint64_t(fAllocated) * 2, UINT32_MAX)));
    auto** list = static_cast<dng_string**>(std::malloc(uint64_t(allocate) * sizeof(dng_string*)));
    if (!list) ThrowMemoryFull();
    if (fCount) std::memcpy(list, fList, fCount * sizeof(dng_string*));
    std::free(fList);
    fList = list;
    fAllocated = allocate;
}

void dng_string_list::Insert(uint32_t index, const dng_string& s) {
    if (index > fCount) ThrowProgramError();
    Reserve(SafeUint32Add(fCount, 1));
    dng_string* copy = dng_guard_allocation([&s] { return new dng_string(s); });
    std::memmove(fList + index + 1, fList + index, (fCount - index) * sizeof(dng_string*));
    fList[index] = copy;
    ++fCount;
}
