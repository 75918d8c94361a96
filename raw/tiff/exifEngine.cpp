#include "raw/tiff/exifEngine.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

using platform::Array;
using platform::Dictionary;
using platform::Value;
using raw::ExifTagRow;

namespace {

// Sizes of the TIFF field types 1 to 15; other types are refused.
constexpr uint8_t kTypeSizes[16] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 2, 8};

uint64_t typeSize(uint32_t type) { return type < 16 ? kTypeSizes[type] : 0; }

// No kept tag needs more elements; a hostile count must not become a huge array.
constexpr uint32_t kMaxArrayCount = 65535;
// Directories an embedded TIFF may chain through its EXIF pointers.
constexpr int kMaxEmbeddedDirectories = 8;
constexpr size_t kMaxErrorLength = 215;

constexpr uint32_t kTagJpgFromRaw = 46;
constexpr uint32_t kTagImageWidth = 256;
constexpr uint32_t kTagImageLength = 257;
constexpr uint32_t kTagExifIFD = 34665;
constexpr uint32_t kTagISOSpeedRatings = 34855;
constexpr uint32_t kTagDNGVersion = 50706;
constexpr uint32_t kTagDNGBackwardVersion = 50707;
constexpr uint32_t kTagGPSTimeStamp = 7;

// Restores a file position when it goes out of scope.
class PositionKeeper {
  public:
    explicit PositionKeeper(FILE* f) : file_(f), position_(ftello(f)) {}
    ~PositionKeeper() {
        if (position_ >= 0) fseeko(file_, position_, SEEK_SET);
    }
    off_t position() const { return position_; }

  private:
    FILE* file_;
    off_t position_;
};

int64_t fileSize(FILE* f) {
    PositionKeeper keep(f);
    if (keep.position() < 0 || fseeko(f, 0, SEEK_END) != 0) return -1;
    return ftello(f);
}

// Reads exactly n bytes at pos, checked against the file's size first.
bool readAt(FILE* f, int64_t pos, uint8_t* out, uint64_t n) {
    const int64_t size = fileSize(f);
    if (pos < 0 || size < 0 || pos > size || n > uint64_t(size - pos)) return false;
    if (fseeko(f, pos, SEEK_SET) != 0) return false;
    return n == 0 || fread(out, 1, n, f) == n;
}

// A float value keeps the float's shortest decimal form, so 1/250 reads 0.004 and not
// 0.004000000189989805 once it is held as a double.
Value floatNumber(float f) {
    if (!std::isfinite(f)) return Value(double(f));
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, f);
    double d = f;
    std::from_chars(text, written.ptr, d);
    return Value(d);
}

std::optional<std::string> convertText(const char* fromEncoding, std::string_view bytes) {
    iconv_t cd = iconv_open("UTF-8", fromEncoding);
    if (cd == iconv_t(-1)) return std::nullopt;
    std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == size_t(-1)) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

std::string_view trimTrailing(std::string_view s) {
    while (!s.empty() && (s.back() == '\0' || s.back() == ' '))
        s.remove_suffix(1);
    return s;
}

// Camera texts are nominally ASCII; many cameras write UTF-8, older ones Latin-1.
std::string eightBitText(std::string_view bytes) {
    if (auto utf8 = convertText("UTF-8", bytes)) return *utf8;
    return convertText("ISO-8859-1", bytes).value_or(std::string());
}

std::optional<std::string> utf16Text(std::string_view bytes, bool little) {
    auto text = convertText(little ? "UTF-16LE" : "UTF-16BE", bytes);
    if (text) text = std::string(trimTrailing(*text));
    return text;
}

// JIS X 0208 row/cell bytes are EUC-JP with the high bit cleared.
std::optional<std::string> jisText(std::string_view bytes) {
    std::string euc(bytes);
    for (char& c : euc)
        if (uint8_t(c) >= 0x21 && uint8_t(c) <= 0x7e) c = char(uint8_t(c) | 0x80);
    return convertText("EUC-JP", euc);
}

Value textValue(std::optional<std::string> text) {
    if (!text || text->empty()) return Value();
    return Value(std::move(*text));
}

// An ASCII field: count - 1 bytes, up to the first NUL.
Value asciiValue(const std::vector<uint8_t>& bytes, uint32_t count) {
    if (count < 2 || bytes[0] == 0) return Value();
    std::string_view s(reinterpret_cast<const char*>(bytes.data()), count - 1);
    s = s.substr(0, s.find('\0'));
    return textValue(eightBitText(s));
}

// An EXIF user comment: an 8-byte character-code header, then the text.
Value userCommentValue(const std::vector<uint8_t>& bytes, uint32_t count, bool little) {
    if (count < 9) return Value();
    const std::string_view all(reinterpret_cast<const char*>(bytes.data()), count);
    const std::string_view header = all.substr(0, 8);
    if (header.starts_with("UNICODE"))
        return textValue(utf16Text(all.substr(8, (count - 8) / 2 * 2), little));
    const std::string_view body = trimTrailing(all.substr(8));
    if (body.empty()) return Value();
    if (header.starts_with("JIS")) return textValue(jisText(body));
    return textValue(eightBitText(body));
}

// Four digit characters d0 d1 d2 d3, e.g. "0230" -> [2, 3] and "0221" -> [2, 21].
Value versionValue(const std::vector<uint8_t>& bytes) {
    const int d0 = bytes[0] - '0', d1 = bytes[1] - '0', d2 = bytes[2] - '0', d3 = bytes[3] - '0';
    const int minor = bytes[3] != '0' ? 10 * d2 + d3 : d2;
    return Value(Array{Value(10 * d0 + d1), Value(minor)});
}

// Degrees, minutes, seconds -> decimal degrees.
bool collapseCoordinate(Value& value) {
    const Array* a = value.array();
    if (!a || a->size() != 3) return true;
    const double degrees = (*a)[0].doubleValue() + (*a)[1].doubleValue() / 60 + (*a)[2].doubleValue() / 3600;
    value = floatNumber(float(degrees));
    return true;
}

bool formatGpsTime(Value& value) {
    const Array* a = value.array();
    if (!a || a->size() != 3) return true;
    char text[96];
    snprintf(text, sizeof text, "%2.0f:%2.0f:%2.2f", (*a)[0].doubleValue(), (*a)[1].doubleValue(),
             (*a)[2].doubleValue());
    value = Value(text);
    return true;
}

// Keeps only a size larger than any seen so far, so that thumbnails do not override the
// main image.
bool keepLargest(Value& value, int64_t& largest) {
    const int64_t* size = value.integer();
    if (!size || *size <= largest) return false;
    largest = *size;
    return true;
}

} // namespace

void exifEngine::setByteOrder(bool little) { littleEndian_ = little; }

uint16_t exifEngine::get16(const uint8_t* p) const {
    return littleEndian_ ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
}

uint32_t exifEngine::get32(const uint8_t* p) const {
    const uint32_t a = get16(p), b = get16(p + 2);
    return littleEndian_ ? (b << 16 | a) : (a << 16 | b);
}

uint64_t exifEngine::get64(const uint8_t* p) const {
    const uint64_t a = get32(p), b = get32(p + 4);
    return littleEndian_ ? (b << 32 | a) : (a << 32 | b);
}

void exifEngine::addTag(FILE* file, uint32_t tag, uint32_t type, uint32_t count, bool gps) {
    addEntry(file, Field{tag, type, count}, gps, nullptr);
}

void exifEngine::addIFDEntry(FILE* file, const uint8_t* entry) {
    addEntry(file, Field{get16(entry), get16(entry + 2), get32(entry + 4)}, false, entry);
}

void exifEngine::addEntry(FILE* file, Field field, bool gps, const uint8_t* entry) {
    PositionKeeper keep(file);
    try {
        if (!gps && (field.tag == kTagDNGVersion || field.tag == kTagDNGBackwardVersion)) {
            // Read as bytes: the first two of the four version bytes give [major, minor].
            field.type = 1;
            field.count /= 2;
        }
        if (!gps && field.tag == kTagJpgFromRaw && !entry) walkEmbeddedTiffIfPresent(file);

        const ExifTagRow* row = raw::findExifTag(gps ? raw::exifGpsTags() : raw::exifMainTags(), field.tag);
        if (!row || !row->enabled || !row->property) return;
        std::vector<uint8_t> bytes;
        if (!readValue(file, field, entry, bytes)) return;
        if (field.type == 7) field.type = row->typeOverride;
        Value value = convert(field, bytes);
        if (value.isNull() || !postProcess(field.tag, value)) return;
        store(*row, std::move(value));
    } catch (...) {
        // Metadata never fails a decode: the entry is simply missing.
    }
}

void exifEngine::addValue(uint32_t tag, Value value) {
    const ExifTagRow* row = raw::findExifTag(raw::exifMainTags(), tag);
    if (!row || !row->enabled || !row->property || value.isNull()) return;
    if (const double* real = value.real()) value = floatNumber(float(*real));
    if (postProcess(tag, value)) store(*row, std::move(value));
}

// The value bytes, zero-padded to at least 4. Sizes are checked against the bytes left in
// the file before anything is allocated.
bool exifEngine::readValue(FILE* file, const Field& field, const uint8_t* entry,
                           std::vector<uint8_t>& bytes) const {
    const uint64_t size = uint64_t(field.count) * typeSize(field.type);
    if (typeSize(field.type) == 0) return false;
    if (entry && size <= 4) {
        bytes.assign(entry + 8, entry + 12);
        return true;
    }
    const int64_t position = entry ? baseOffset_ + int64_t(get32(entry + 8)) : int64_t(ftello(file));
    const int64_t available = fileSize(file) - position;
    if (position < 0 || available < 0 || size > uint64_t(available)) return false;
    bytes.assign(std::max<uint64_t>(size, 4), 0);
    return readAt(file, position, bytes.data(), size);
}

Value exifEngine::number(uint32_t type, const uint8_t* p) const {
    switch (type) {
    case 1:
    case 6:
    case 7:
    case raw::kByteNumbers:
        return Value(int(p[0]));
    case 3:
        return Value(int(get16(p)));
    case 4:
        return Value(int64_t(get32(p)));
    case 8:
        return Value(int(int16_t(get16(p))));
    case 9:
        return Value(int(int32_t(get32(p))));
    case 5: {
        const uint32_t num = get32(p), den = get32(p + 4);
        return floatNumber(den == 0 ? 0.0f : float(double(num) / den));
    }
    case 10: {
        const int32_t num = int32_t(get32(p)), den = int32_t(get32(p + 4));
        return floatNumber(den == 0 ? 0.0f : float(double(num) / den));
    }
    case 11:
        return floatNumber(std::bit_cast<float>(get32(p)));
    case 12:
        return Value(std::bit_cast<double>(get64(p)));
    default:
        return Value();
    }
}

Value exifEngine::convert(const Field& field, const std::vector<uint8_t>& bytes) const {
    const uint32_t type = field.type, count = field.count;
    switch (type) {
    case 2:
        return asciiValue(bytes, count);
    case 14:
        return textValue(
            utf16Text({reinterpret_cast<const char*>(bytes.data()), count * 2ul}, littleEndian_));
    case raw::kVersionDigits:
        return versionValue(bytes);
    case raw::kUserComment:
        return userCommentValue(bytes, count, littleEndian_);
    case 13:
    case 15:
        return Value();
    }
    const uint64_t size = typeSize(type == raw::kByteNumbers ? 1 : type);
    if (size == 0 || count > kMaxArrayCount) return Value();
    if (count == 1) return number(type, bytes.data());
    Array values;
    values.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        values.push_back(number(type, bytes.data() + i * size));
    return Value(std::move(values));
}

// Returns false when the value is to be dropped.
bool exifEngine::postProcess(uint32_t tag, Value& value) {
    switch (tag) {
    case 2:
    case 4:
    case 20:
    case 22:
        return collapseCoordinate(value);
    case kTagGPSTimeStamp:
        return formatGpsTime(value);
    case kTagImageWidth:
        return keepLargest(value, largestWidth_);
    case kTagImageLength:
        return keepLargest(value, largestHeight_);
    case kTagISOSpeedRatings:
        if (!value.isArray()) value = Value(Array{std::move(value)});
        return true;
    default:
        return true;
    }
}

void exifEngine::store(const ExifTagRow& row, Value value) {
    hasValues_ = true;
    Dictionary* target = &root_;
    if (row.dictionary) target = root_.try_emplace(row.dictionary, Dictionary{}).first->second.dictionary();
    target->insert_or_assign(row.property, std::move(value));
}

Value exifEngine::copyDictionary() const { return hasValues_ ? Value(root_) : Value(); }

// A JPEG whose first segment is an EXIF APP1 block carries a TIFF structure of its own.
void exifEngine::walkEmbeddedTiffIfPresent(FILE* file) {
    static constexpr uint8_t kSoi[] = {0xFF, 0xD8, 0xFF, 0xE1};
    static constexpr uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    PositionKeeper keep(file);
    const int64_t start = keep.position();
    uint8_t head[12];
    if (!readAt(file, start, head, sizeof head)) return;
    if (memcmp(head, kSoi, 4) != 0 || memcmp(head + 6, kExif, 6) != 0) return;

    const bool outerOrder = littleEndian_;
    baseOffset_ = start + 12;
    try {
        if (std::string error = walkEmbeddedTiff(file); !error.empty()) lastError_ = error;
    } catch (const std::exception& e) {
        lastError_ = std::string(e.what()) + " while processing image";
    }
    lastError_.resize(std::min(lastError_.size(), kMaxErrorLength));
    baseOffset_ = 0;
    // The enclosing directory goes on in its own byte order.
    littleEndian_ = outerOrder;
}

// Walks the embedded TIFF's first directory and the EXIF directories it points to. Each
// directory is visited once, so a pointer back to an earlier one ends the walk.
std::string exifEngine::walkEmbeddedTiff(FILE* file) {
    uint8_t header[8];
    if (!readAt(file, baseOffset_, header, sizeof header)) return "TIFF file is too small to be valid";
    if (memcmp(header, "II", 2) != 0 && memcmp(header, "MM", 2) != 0)
        return "File magic number did not match";
    littleEndian_ = header[0] == 'I';
    if (get16(header + 2) != 42) return "File magic number did not match";

    std::set<uint32_t> visited;
    uint32_t offset = get32(header + 4);
    for (int n = 0; n < kMaxEmbeddedDirectories && visited.insert(offset).second; ++n) {
        uint8_t countBytes[2];
        if (!readAt(file, baseOffset_ + offset, countBytes, 2)) return "IFD Offset could not be read";
        const uint16_t entryCount = get16(countBytes);
        std::vector<uint8_t> entries(size_t(entryCount) * 12);
        if (!readAt(file, baseOffset_ + offset + 2, entries.data(), entries.size()))
            return "IFD could not be read";

        std::optional<uint32_t> next;
        for (size_t i = 0; i < entries.size(); i += 12) {
            const uint8_t* entry = entries.data() + i;
            if (get16(entry) == kTagExifIFD)
                next = get32(entry + 8);
            else
                addIFDEntry(file, entry);
        }
        if (!next) break;
        offset = *next;
    }
    return {};
}

void exifEngine::dumpTag(FILE* file, uint32_t tag, uint32_t type, uint32_t count,
                         std::span<const ExifTagRow> table) {
    static constexpr const char* kTypeNames[16] = {
        "",        " Byte",  " Ascii",     " Short", " Long",   " Rational", " SByte",   " Undefined",
        " SShort", " SLong", " SRational", " Float", " Double", " IFD",      " Unicode", " Complex"};
    PositionKeeper keep(file);
    const ExifTagRow* row = raw::findExifTag(table, tag);
    printf("%s (%u):%s data", row ? row->name : "Unknown tag", tag,
           type < 16 ? kTypeNames[type] : " Unknown");
    std::vector<uint8_t> bytes;
    const Field field{tag, type, count};
    if (readValue(file, field, nullptr, bytes)) {
        const Value value = convert(field, bytes);
        if (const Array* values = value.array())
            for (const Value& v : *values)
                printf(" %s", v.stringValue().c_str());
        else
            printf(" %s", value.stringValue().c_str());
    }
    printf("\n");
}
