#include "export/ExifFields.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "platform/TextEncoding.h"

using platform::Value;

namespace exif {

namespace {

using E = Encoding;

// Types and counts as EXIF 2.3 gives them. Left out: Orientation, Software, the versions,
// ComponentsConfiguration, ColorSpace and the pixel dimensions (the block's own), and what
// describes the raw file's data (Compression, PhotometricInterpretation, TransferFunction,
// WhitePoint, PrimaryChromaticities, MakerNote with its offsets into the raw file).
constexpr FieldRule kRules[] = {
    // IFD0
    {270, E::Ascii, 0},    // ImageDescription
    {271, E::Ascii, 0},    // Make
    {272, E::Ascii, 0},    // Model
    {282, E::Rational, 1}, // XResolution
    {283, E::Rational, 1}, // YResolution
    {296, E::Short, 1},    // ResolutionUnit
    {306, E::Ascii, 0},    // DateTime
    {315, E::Ascii, 0},    // Artist
    {316, E::Ascii, 0},    // HostComputer
    {33432, E::Ascii, 0},  // Copyright
    // EXIF directory
    {33434, E::Rational, 1},      // ExposureTime
    {33437, E::Rational, 1},      // FNumber
    {34850, E::Short, 1},         // ExposureProgram
    {34852, E::Ascii, 0},         // SpectralSensitivity
    {34855, E::Short, 0},         // ISOSpeedRatings
    {34856, E::Undefined, 0},     // OECF
    {36867, E::Ascii, 0},         // DateTimeOriginal
    {36868, E::Ascii, 0},         // DateTimeDigitized
    {37122, E::Rational, 1},      // CompressedBitsPerPixel
    {37377, E::SRational, 1},     // ShutterSpeedValue
    {37378, E::Rational, 1},      // ApertureValue
    {37379, E::SRational, 1},     // BrightnessValue
    {37380, E::SRational, 1},     // ExposureBiasValue
    {37381, E::Rational, 1},      // MaxApertureValue
    {37382, E::Rational, 1},      // SubjectDistance
    {37383, E::Short, 1},         // MeteringMode
    {37384, E::Short, 1},         // LightSource
    {37385, E::Short, 1},         // Flash
    {37386, E::Rational, 1},      // FocalLength
    {37396, E::Short, 0},         // SubjectArea
    {37510, E::CharacterCode, 0}, // UserComment
    {37520, E::Ascii, 0},         // SubsecTime
    {37521, E::Ascii, 0},         // SubsecTimeOriginal
    {37522, E::Ascii, 0},         // SubsecTimeDigitized
    {40964, E::Ascii, 0},         // RelatedSoundFile
    {41483, E::Rational, 1},      // FlashEnergy
    {41484, E::Undefined, 0},     // SpatialFrequencyResponse
    {41486, E::Rational, 1},      // FocalPlaneXResolution
    {41487, E::Rational, 1},      // FocalPlaneYResolution
    {41488, E::Short, 1},         // FocalPlaneResolutionUnit
    {41492, E::Short, 2},         // SubjectLocation
    {41493, E::Rational, 1},      // ExposureIndex
    {41495, E::Short, 1},         // SensingMethod
    {41728, E::Undefined, 1},     // FileSource
    {41729, E::Undefined, 1},     // SceneType
    {41730, E::Undefined, 0},     // CFAPattern
    {41985, E::Short, 1},         // CustomRendered
    {41986, E::Short, 1},         // ExposureMode
    {41987, E::Short, 1},         // WhiteBalance
    {41988, E::Rational, 1},      // DigitalZoomRatio
    {41989, E::Short, 1},         // FocalLengthIn35mmFilm
    {41990, E::Short, 1},         // SceneCaptureType
    {41991, E::Short, 1},         // GainControl
    {41992, E::Short, 1},         // Contrast
    {41993, E::Short, 1},         // Saturation
    {41994, E::Short, 1},         // Sharpness
    {41995, E::Undefined, 0},     // DeviceSettingDescription
    {41996, E::Short, 1},         // SubjectDistanceRange
    {42016, E::Ascii, 0},         // ImageUniqueID
    {42032, E::Ascii, 0},         // CameraOwnerName
    {42033, E::Ascii, 0},         // BodySerialNumber
    {42034, E::Rational, 4},      // LensSpecification
    {42036, E::Ascii, 0},         // LensModel
    {42037, E::Ascii, 0},         // LensSerialNumber
    {42240, E::Rational, 1},      // Gamma
};

// The GPS directory's tags are 0 to 30, in order.
constexpr std::array<FieldRule, 31> kGpsRules{{
    {0, E::Byte, 4},           {1, E::Ascii, 0},     {2, E::Degrees, 3},   {3, E::Ascii, 0},
    {4, E::Degrees, 3},        {5, E::Byte, 1},      {6, E::Rational, 1},  {7, E::TimeOfDay, 3},
    {8, E::Ascii, 0},          {9, E::Ascii, 0},     {10, E::Ascii, 0},    {11, E::Rational, 1},
    {12, E::Ascii, 0},         {13, E::Rational, 1}, {14, E::Ascii, 0},    {15, E::Rational, 1},
    {16, E::Ascii, 0},         {17, E::Rational, 1}, {18, E::Ascii, 0},    {19, E::Ascii, 0},
    {20, E::Degrees, 3},       {21, E::Ascii, 0},    {22, E::Degrees, 3},  {23, E::Ascii, 0},
    {24, E::Rational, 1},      {25, E::Ascii, 0},    {26, E::Rational, 1}, {27, E::CharacterCode, 0},
    {28, E::CharacterCode, 0}, {29, E::Ascii, 0},    {30, E::Short, 1},
}};

constexpr int64_t kUnsignedLimit = 0xFFFFFFFF;
constexpr int64_t kSignedLimit = 0x7FFFFFFF;

struct Rational {
    int64_t numerator = 0;
    int64_t denominator = 1;
};

// The continued-fraction convergent of x >= 0 that first matches it to single precision
// (the reader's values went through floats), with both terms at most `limit`.
Rational approximate(double x, int64_t limit) {
    int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0; // the two previous convergents
    Rational best{0, 1};
    double y = x;
    for (int i = 0; i < 64; ++i) {
        double a = std::floor(y);
        if (a > double(limit)) break;
        int64_t ai = int64_t(a);
        if (h1 != 0 && ai > (limit - h0) / h1) break;
        if (k1 != 0 && ai > (limit - k0) / k1) break;
        int64_t h2 = ai * h1 + h0, k2 = ai * k1 + k0;
        h0 = h1, h1 = h2, k0 = k1, k1 = k2;
        best = {h1, k1};
        double fraction = y - a;
        if (fraction == 0 || std::fabs(double(h1) / double(k1) - x) <= x * 1e-7) break;
        y = 1 / fraction;
    }
    return best;
}

// An array's items, or the value itself.
std::vector<const Value*> elements(const Value& v) {
    std::vector<const Value*> items;
    if (const platform::Array* array = v.array()) {
        for (const Value& item : *array)
            items.push_back(&item);
    } else {
        items.push_back(&v);
    }
    return items;
}

std::optional<double> realNumber(const Value& v) {
    if (!v.isNumber()) return std::nullopt;
    double d = v.doubleValue();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<int64_t> wholeNumber(const Value& v, int64_t low, int64_t high) {
    auto d = realNumber(v);
    if (!d || *d != std::floor(*d) || *d < double(low) || *d > double(high)) return std::nullopt;
    return int64_t(*d);
}

Field fieldOf(uint16_t tag, dng_tag_type type) { return Field{tag, uint16_t(type), 0, {}}; }

bool putRational(Field& f, double x) {
    bool sign = f.type == ttSRational;
    int64_t limit = sign ? kSignedLimit : kUnsignedLimit;
    if (std::fabs(x) > double(limit) || (!sign && x < 0)) return false;
    Rational r = approximate(std::fabs(x), limit);
    put32(f.value, uint32_t(x < 0 ? -r.numerator : r.numerator));
    put32(f.value, uint32_t(r.denominator));
    ++f.count;
    return true;
}

std::optional<Field> numbers(uint16_t tag, Encoding encoding, const Value& value) {
    static constexpr struct {
        Encoding encoding;
        dng_tag_type type;
        int64_t high;
    } kWhole[] = {{E::Byte, ttByte, 255}, {E::Short, ttShort, 65535}, {E::Undefined, ttUndefined, 255}};
    for (const auto& w : kWhole) {
        if (w.encoding != encoding) continue;
        Field f = fieldOf(tag, w.type);
        for (const Value* item : elements(value)) {
            auto n = wholeNumber(*item, 0, w.high);
            if (!n) return std::nullopt;
            if (w.type == ttShort) {
                put16(f.value, uint32_t(*n));
            } else {
                f.value.push_back(uint8_t(*n));
            }
            ++f.count;
        }
        return f;
    }
    Field f = fieldOf(tag, encoding == E::SRational ? ttSRational : ttRational);
    for (const Value* item : elements(value)) {
        auto x = realNumber(*item);
        if (!x || !putRational(f, *x)) return std::nullopt;
    }
    return f;
}

std::optional<Field> ascii(uint16_t tag, const Value& value) {
    const std::string* text = value.string();
    if (!text || text->find('\0') != std::string::npos) return std::nullopt;
    return asciiField(tag, *text);
}

std::optional<Field> undefinedBytes(uint16_t tag, const Value& value) {
    if (const platform::Data* data = value.data())
        return undefinedField(tag,
                              std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    if (const std::string* text = value.string()) return undefinedField(tag, *text);
    return numbers(tag, E::Undefined, value);
}

// Text behind "ASCII" when it is all ASCII, else behind "UNICODE" as UTF-16 in the block's
// byte order.
std::optional<Field> characterCode(uint16_t tag, const Value& value) {
    const std::string* text = value.string();
    if (!text) return undefinedBytes(tag, value);
    bool plain = std::all_of(text->begin(), text->end(), [](char c) { return uint8_t(c) < 0x80; });
    if (plain) return undefinedField(tag, std::string("ASCII\0\0\0", 8) + *text);
    auto utf16 = platform::convertText(*text, "UTF-8", "UTF-16BE");
    if (!utf16) return std::nullopt;
    return undefinedField(tag, std::string("UNICODE\0", 8) + *utf16);
}

// Decimal degrees as whole degrees, whole minutes and seconds to 1/100.
std::optional<Field> degrees(uint16_t tag, const Value& value) {
    auto x = realNumber(value);
    if (value.isArray() || !x) return numbers(tag, E::Rational, value);
    if (*x < 0 || *x > 360) return std::nullopt;
    int64_t hundredths = std::llround(*x * 360000);
    Field f = fieldOf(tag, ttRational);
    const int64_t parts[3][2] = {
        {hundredths / 360000, 1}, {hundredths % 360000 / 6000, 1}, {hundredths % 6000, 100}};
    for (const auto& [n, d] : parts) {
        put32(f.value, uint32_t(n));
        put32(f.value, uint32_t(d));
        ++f.count;
    }
    return f;
}

// "h:m:s" (blanks allowed around the numbers) as three rationals.
std::optional<Field> timeOfDay(uint16_t tag, const Value& value) {
    const std::string* text = value.string();
    if (!text) return numbers(tag, E::Rational, value);
    platform::Array parts;
    std::string_view rest = *text;
    while (true) {
        size_t colon = rest.find(':');
        std::string_view part = rest.substr(0, colon);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        double n = 0;
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), n);
        if (ec != std::errc() || end != part.data() + part.size()) return std::nullopt;
        parts.emplace_back(n);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return numbers(tag, E::Rational, Value(std::move(parts)));
}

// The text of a character-coded value: behind its 8-byte header when given as bytes.
std::string characterCodedText(const Value& value) {
    if (const std::string* text = value.string()) return *text;
    std::string bytes;
    if (const platform::Data* data = value.data()) {
        bytes.assign(data->begin(), data->end());
    } else {
        for (const Value* item : elements(value))
            bytes += char(wholeNumber(*item, 0, 255).value_or(0));
    }
    bytes.erase(0, 8);
    while (!bytes.empty() && (bytes.back() == '\0' || bytes.back() == ' '))
        bytes.pop_back();
    return bytes;
}

constexpr uint16_t kGpsProcessingMethod = 27;

std::optional<Field> encode(const FieldRule& rule, const Value& value) {
    switch (rule.encoding) {
    case E::Ascii:
        return ascii(rule.tag, value);
    case E::Undefined:
        return undefinedBytes(rule.tag, value);
    case E::CharacterCode:
        return characterCode(rule.tag, value);
    case E::Degrees:
        return degrees(rule.tag, value);
    case E::TimeOfDay:
        return timeOfDay(rule.tag, value);
    default:
        return numbers(rule.tag, rule.encoding, value);
    }
}

} // namespace

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

const FieldRule* writableField(uint16_t tag, bool gps) {
    if (gps) return tag < kGpsRules.size() ? &kGpsRules[tag] : nullptr;
    for (const FieldRule& rule : kRules)
        if (rule.tag == tag) return &rule;
    return nullptr;
}

bool writesValue(const FieldRule& rule, const Value& value) {
    if (value.isNull() || (value.isArray() && value.array()->empty())) return false;
    if (&rule != &kGpsRules[kGpsProcessingMethod]) return true;
    const std::string method = characterCodedText(value);
    return method == "GPS" || method == "CELLID" || method == "WLAN" || method == "MANUAL";
}

std::optional<Field> encodeField(const FieldRule& rule, const Value& value) {
    auto field = encode(rule, value);
    if (!field || field->count == 0 || (rule.count != 0 && field->count != rule.count)) return std::nullopt;
    return field;
}

Field shortField(uint16_t tag, std::initializer_list<uint16_t> values) {
    Field f = fieldOf(tag, ttShort);
    for (uint16_t v : values)
        put16(f.value, v);
    f.count = uint32_t(values.size());
    return f;
}

Field longField(uint16_t tag, uint32_t value) {
    Field f = fieldOf(tag, ttLong);
    put32(f.value, value);
    f.count = 1;
    return f;
}

Field asciiField(uint16_t tag, std::string_view text) {
    Field f = fieldOf(tag, ttAscii);
    f.value.assign(text.begin(), text.end());
    f.value.push_back(0);
    f.count = uint32_t(f.value.size());
    return f;
}

Field undefinedField(uint16_t tag, std::string_view bytes) {
    Field f = fieldOf(tag, ttUndefined);
    f.value.assign(bytes.begin(), bytes.end());
    f.count = uint32_t(f.value.size());
    return f;
}

Field rationalField(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    Field f = fieldOf(tag, ttRational);
    put32(f.value, numerator);
    put32(f.value, denominator);
    f.count = 1;
    return f;
}

} // namespace exif
