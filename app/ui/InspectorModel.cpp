#include "app/ui/InspectorModel.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <exception>

#include "platform/ImageProperties.h"
#include "platform/Log.h"

namespace {

using platform::Value;
using Property = InspectorModel::Property;

#define LV_ROW(name, format, display)                                                                        \
    Property { platform::kCGImageProperty##name, format, display }
#define LV_PLAIN(name) LV_ROW(name, 1, "")

constexpr std::array<Property, 119> kProperties{{
    LV_PLAIN(PixelWidth),
    LV_PLAIN(PixelHeight),
    LV_PLAIN(Depth),
    LV_PLAIN(TIFFCompression),
    LV_ROW(TIFFPhotometricInterpretation, 2, ""),
    LV_PLAIN(TIFFImageDescription),
    LV_PLAIN(TIFFMake),
    LV_PLAIN(TIFFModel),
    LV_PLAIN(TIFFOrientation),
    LV_PLAIN(TIFFXResolution),
    LV_PLAIN(TIFFYResolution),
    LV_PLAIN(TIFFResolutionUnit),
    LV_PLAIN(TIFFTransferFunction),
    LV_PLAIN(TIFFSoftware),
    LV_PLAIN(TIFFDateTime),
    LV_PLAIN(TIFFArtist),
    LV_PLAIN(TIFFHostComputer),
    LV_PLAIN(TIFFWhitePoint),
    LV_PLAIN(TIFFPrimaryChromaticities),
    LV_PLAIN(TIFFCopyright),
    LV_ROW(ExifExposureTime, 3, ""),
    LV_ROW(ExifFNumber, 4, ""),
    LV_ROW(ExifExposureProgram, 5, ""),
    LV_ROW(ExifSpectralSensitivity, 0, ""),
    LV_ROW(ExifISOSpeedRatings, 1, "ISO Speed Ratings"),
    LV_ROW(ExifOECF, 0, "OECF"),
    LV_ROW(ExifVersion, 6, ""),
    LV_PLAIN(ExifDateTimeOriginal),
    LV_PLAIN(ExifDateTimeDigitized),
    LV_PLAIN(ExifComponentsConfiguration),
    LV_PLAIN(ExifCompressedBitsPerPixel),
    LV_ROW(ExifShutterSpeedValue, 7, ""),
    LV_ROW(ExifApertureValue, 8, ""),
    LV_ROW(ExifBrightnessValue, 9, ""),
    LV_PLAIN(ExifExposureBiasValue),
    LV_ROW(ExifMaxApertureValue, 8, ""),
    LV_PLAIN(ExifSubjectDistance),
    LV_ROW(ExifMeteringMode, 10, ""),
    LV_ROW(ExifLightSource, 11, ""),
    LV_ROW(ExifFlash, 12, ""),
    LV_PLAIN(ExifFocalLength),
    LV_PLAIN(ExifSubjectArea),
    LV_ROW(ExifMakerNote, 0, ""),
    LV_PLAIN(ExifUserComment),
    LV_PLAIN(ExifSubsecTime),
    LV_PLAIN(ExifSubsecTimeOrginal),
    LV_PLAIN(ExifSubsecTimeDigitized),
    LV_ROW(ExifFlashPixVersion, 6, "FlashPix Version"),
    LV_PLAIN(ExifColorSpace),
    LV_PLAIN(ExifPixelXDimension),
    LV_PLAIN(ExifPixelYDimension),
    LV_PLAIN(ExifRelatedSoundFile),
    LV_ROW(ExifFlashEnergy, 13, ""),
    LV_PLAIN(ExifSpatialFrequencyResponse),
    LV_PLAIN(ExifFocalPlaneXResolution),
    LV_PLAIN(ExifFocalPlaneYResolution),
    LV_ROW(ExifFocalPlaneResolutionUnit, 23, ""),
    LV_PLAIN(ExifSubjectLocation),
    LV_PLAIN(ExifExposureIndex),
    LV_ROW(ExifSensingMethod, 14, ""),
    LV_ROW(ExifFileSource, 15, ""),
    LV_ROW(ExifSceneType, 16, ""),
    LV_ROW(ExifCFAPattern, 1, "CFA Pattern"),
    LV_ROW(ExifCustomRendered, 17, ""),
    LV_ROW(ExifExposureMode, 18, ""),
    LV_ROW(ExifWhiteBalance, 19, ""),
    LV_PLAIN(ExifDigitalZoomRatio),
    LV_ROW(ExifFocalLenIn35mmFilm, 1, "Focal Length In 35mm Film"),
    LV_ROW(ExifSceneCaptureType, 20, ""),
    LV_ROW(ExifGainControl, 21, ""),
    LV_ROW(ExifContrast, 22, ""),
    LV_ROW(ExifSaturation, 22, ""),
    LV_ROW(ExifSharpness, 22, ""),
    LV_PLAIN(ExifDeviceSettingDescription),
    LV_PLAIN(ExifSubjectDistRange),
    LV_ROW(ExifImageUniqueID, 1, "Image Unique ID"),
    LV_PLAIN(ExifAuxSerialNumber),
    LV_PLAIN(ExifAuxOwnerName),
    LV_PLAIN(ExifAuxLensInfo),
    LV_PLAIN(ExifAuxLensModel),
    LV_PLAIN(ExifAuxLensSerialNumber),
    LV_PLAIN(ExifGamma),
    LV_ROW(DNGVersion, 6, "DNG Version"),
    LV_ROW(DNGBackwardVersion, 6, "DNG Backward Version"),
    LV_PLAIN(DNGUniqueCameraModel),
    LV_PLAIN(DNGLocalizedCameraModel),
    LV_PLAIN(DNGCameraSerialNumber),
    LV_PLAIN(DNGLensInfo),
    LV_ROW(GPSVersion, 6, "GPS Version"),
    LV_ROW(GPSLatitudeRef, 25, ""),
    LV_ROW(GPSLatitude, 24, ""),
    LV_ROW(GPSLongitudeRef, 25, ""),
    LV_ROW(GPSLongitude, 24, ""),
    LV_ROW(GPSAltitudeRef, 26, ""),
    LV_PLAIN(GPSAltitude),
    LV_PLAIN(GPSTimeStamp),
    LV_PLAIN(GPSSatellites),
    LV_PLAIN(GPSStatus),
    LV_PLAIN(GPSMeasureMode),
    LV_PLAIN(GPSDOP),
    LV_PLAIN(GPSSpeedRef),
    LV_PLAIN(GPSSpeed),
    LV_PLAIN(GPSTrackRef),
    LV_PLAIN(GPSTrack),
    LV_PLAIN(GPSImgDirectionRef),
    LV_PLAIN(GPSImgDirection),
    LV_PLAIN(GPSMapDatum),
    LV_ROW(GPSDestLatitudeRef, 25, ""),
    LV_ROW(GPSDestLatitude, 24, ""),
    LV_ROW(GPSDestLongitudeRef, 25, ""),
    LV_ROW(GPSDestLongitude, 24, ""),
    LV_PLAIN(GPSDestBearingRef),
    LV_PLAIN(GPSDestBearing),
    LV_PLAIN(GPSDestDistanceRef),
    LV_PLAIN(GPSDestDistance),
    LV_PLAIN(GPSProcessingMethod),
    LV_PLAIN(GPSAreaInformation),
    LV_PLAIN(GPSDateStamp),
    LV_PLAIN(GPSDifferental),
}};

#undef LV_PLAIN
#undef LV_ROW

struct Group {
    std::string_view key;
    std::string_view title;
};
constexpr std::array<Group, 5> kGroups{{
    {platform::kCGImagePropertyTIFFDictionary, "TIFF Metadata"},
    {platform::kCGImagePropertyExifDictionary, "EXIF Metadata"},
    {platform::kCGImagePropertyExifAuxDictionary, "EXIF Auxiliary Metadata"},
    {platform::kCGImagePropertyDNGDictionary, "DNG Metadata"},
    {platform::kCGImagePropertyGPSDictionary, "GPS Data"},
}};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
    return true;
}

std::string groupTitle(std::string_view key) {
    for (const auto& g : kGroups)
        if (equalsIgnoringCase(key, g.key)) return std::string(g.title);
    return std::string(key);
}

std::string format(const char* fmt, double x) {
    char text[64];
    std::snprintf(text, sizeof text, fmt, x);
    return text;
}

std::string trimmed(const std::string& s) {
    const char* space = " \t\n\r\f\v";
    const size_t first = s.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}

// A text from a table of codes, or "" when the code lies outside it.
template <size_t N> std::string pick(const std::array<const char*, N>& names, int64_t n, int64_t first = 0) {
    if (n < first || n >= first + int64_t(N)) return {};
    return names[size_t(n - first)];
}

std::string orOther(std::string text) { return text.empty() ? "Other" : text; }

// Seconds as the photographer reads them. A time of zero (or less) has no reciprocal.
std::string exposureTime(double t) {
    if (!std::isfinite(t) || t <= 0) return {};
    if (t < 1) return format("1/%1.0f", 1 / t);
    if (t < 10) return format("%1.1f", t);
    return format("%1.0f", t);
}

std::string fNumber(double x) {
    if (!std::isfinite(x)) return {};
    return format(x < 1 ? "%1.2f" : "%1.1f", x);
}

// Degrees, minutes ' and seconds ", rounded to hundredths of a second first so that a
// value just short of a whole minute reads as the next minute, not as 60 seconds.
std::string gpsCoordinate(double x) {
    if (!std::isfinite(x) || std::fabs(x) > 1e6) return {};
    const auto hundredths = int64_t(std::llround(std::fabs(x) * 360000.0));
    const int64_t degrees = hundredths / 360000, minutes = hundredths % 360000 / 6000;
    const double seconds = double(hundredths % 6000) / 100.0;
    char text[96];
    std::snprintf(text, sizeof text, "%s%lld\u00b0 %lld' %2.2f\"", x < 0 ? "-" : "", (long long)degrees,
                  (long long)minutes, seconds);
    return text;
}

std::string gpsReference(const std::string& s) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kRefs{
        {{"N", "North"}, {"S", "South"}, {"W", "West"}, {"E", "East"}}};
    for (const auto& [ref, word] : kRefs)
        if (equalsIgnoringCase(s, ref)) return std::string(word);
    return s;
}

std::string versionText(const Value& v) {
    const platform::Array* parts = v.array();
    if (!parts) return {};
    std::string text;
    for (const Value& part : *parts)
        text = InspectorModel::appendWithSeparator(text, part.stringValue(), ".");
    return text;
}

// The first `count` characters of UTF-8 text.
std::string firstCharacters(const std::string& text, size_t count) {
    size_t i = 0;
    for (size_t seen = 0; i < text.size() && seen < count; ++seen) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    return text.substr(0, i);
}

size_t characterCount(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        n += (c & 0xC0) != 0x80;
    return n;
}

constexpr std::array<const char*, 9> kExposurePrograms{
    "Undefined",        "Manual",         "Normal program", "Aperture priority", "Shutter priority",
    "Creative program", "Action program", "Portrait mode",  "Landscape mode"};
constexpr std::array<const char*, 6> kMeteringModes{
    "Average", "Center Weighted Average", "Spot", "MultiSpot", "Pattern", "Partial"};
constexpr std::array<const char*, 25> kLightSources{"Unknown",
                                                    "Daylight",
                                                    "Fluorescent",
                                                    "Tungsten (incandescent light)",
                                                    "Flash",
                                                    "Other",
                                                    "Other",
                                                    "Other",
                                                    "Other",
                                                    "Fine weather",
                                                    "Cloudy weather",
                                                    "Shade",
                                                    "Daylight fluorescent (D 5700 - 7100K)",
                                                    "Day white fluorescent (N 4600 - 5500K)",
                                                    "Cool white fluorescent (W 3800 - 4500K)",
                                                    "White fluorescent (WW 3250 - 3800K)",
                                                    "Warm white fluorescent (L 2600 - 3250K)",
                                                    "Standard light A",
                                                    "Standard light B",
                                                    "Standard light C",
                                                    "D55",
                                                    "D65",
                                                    "D75",
                                                    "D50",
                                                    "ISO studio tungsten"};
constexpr std::array<const char*, 9> kSensingMethods{"None",
                                                     "Not defined",
                                                     "One-chip color area sensor",
                                                     "Two-chip color area sensor",
                                                     "Three-chip color area sensor",
                                                     "Color sequential area sensor",
                                                     "Other",
                                                     "Trilinear sensor",
                                                     "Color sequential linear sensor"};
constexpr std::array<const char*, 4> kFileSources{"Others", "Scanner of transparent type",
                                                  "Scanner of reflex type", "Digital camera"};
constexpr std::array<const char*, 3> kExposureModes{"Auto exposure", "Manual exposure", "Auto bracket"};
constexpr std::array<const char*, 4> kSceneCaptureTypes{"Standard", "Landscape", "Portrait", "Night scene"};
constexpr std::array<const char*, 5> kGainControls{"None", "Low gain up", "High gain up", "Low gain down",
                                                   "High gain down"};
constexpr std::array<const char*, 3> kNormalLowHigh{"Normal", "Low", "High"};

// The formatter's text for a number, or "" to fall through to the plain text.
std::string numberText(int formatter, int64_t n, double x) {
    switch (formatter) {
    case 2:
        return n == 2 ? "RGB" : "";
    case 3:
        return exposureTime(x);
    case 4:
        return fNumber(x);
    case 5:
        return pick(kExposurePrograms, n);
    case 7:
        return exposureTime(std::pow(2.0, -x));
    case 8:
        return fNumber(std::pow(2.0, x / 2));
    case 9:
        return std::isfinite(x) ? format("%1.5g ft-L", std::pow(2.0, x)) : "";
    case 10:
        return orOther(pick(kMeteringModes, n, 1));
    case 11:
        return orOther(pick(kLightSources, n));
    case 12:
        return InspectorModel::flashText(n);
    case 13:
        return format("%1.5g BCPS", x);
    case 14:
        return orOther(pick(kSensingMethods, n));
    case 15:
        return orOther(pick(kFileSources, n));
    case 16:
        return n == 1 ? "A directly photographed image" : "";
    case 17:
        return n == 0 ? "Normal process" : n == 1 ? "Custom process" : "";
    case 18:
        return orOther(pick(kExposureModes, n));
    case 19:
        return n == 0 ? "Auto white balance" : n == 1 ? "Manual white balance" : "";
    case 20:
        return pick(kSceneCaptureTypes, n);
    case 21:
        return pick(kGainControls, n);
    case 22:
        return pick(kNormalLowHigh, n);
    case 23:
        return n == 2 ? "Inches" : n == 3 ? "Centimeters" : "";
    case 24:
        return gpsCoordinate(x);
    case 26:
        return n == 0 ? "Sea level" : n == 1 ? "Sea level reference (negative value)" : "";
    default:
        return {};
    }
}

std::string plainText(const Value& v, int index) {
    switch (v.kind()) {
    case Value::Kind::String:
        return trimmed(*v.string());
    case Value::Kind::Real:
        return format(*v.real() >= 1000 ? "%.5g" : "%.3g", *v.real());
    case Value::Kind::Integer:
    case Value::Kind::Bool:
        return std::to_string(v.int64Value());
    case Value::Kind::Array: {
        const platform::Array& items = *v.array();
        if (items.size() == 1) return InspectorModel::prettyValue(items[0], index);
        std::string text;
        for (const Value& item : items)
            text = InspectorModel::appendWithSeparator(text, InspectorModel::prettyValue(item, index), ", ");
        if (characterCount(text) > 20) text = firstCharacters(text, 17) + "...";
        return "( " + text + " )";
    }
    default:
        return InspectorModel::describe(v);
    }
}

} // namespace

std::span<const Property> InspectorModel::propertyTable() { return kProperties; }

int InspectorModel::itemIndex(std::string_view key) {
    for (size_t i = 0; i < kProperties.size(); ++i)
        if (kProperties[i].key == key) return int(i);
    return -1;
}

std::string InspectorModel::prettyName(std::string_view key) {
    std::string name(key);
    if (name.size() <= 2) return name;
    size_t from = 1;
    while (from < name.size()) {
        size_t at = from;
        while (at < name.size() && !std::isupper(static_cast<unsigned char>(name[at])))
            ++at;
        if (at >= name.size()) break;
        name.insert(at, 1, ' ');
        from = at + 2; // past the letter, which now stands at at + 1
        if (name.size() - from <= 1) break;
    }
    return name;
}

std::string InspectorModel::flashText(int64_t n) {
    std::string text = (n & 1) ? "Flash fired" : "Flash did not fire";
    const int64_t returnLight = (n >> 1) & 3, mode = (n >> 3) & 3;
    if (returnLight == 2) text = appendWithSeparator(text, "strobe return light not detected", "; ");
    if (returnLight == 3) text = appendWithSeparator(text, "strobe return light detected", "; ");
    static constexpr std::array<const char*, 4> kModes{"", "compulsory flash firing",
                                                       "compulsory flash suppression", "auto mode"};
    if (mode != 0) text = appendWithSeparator(text, kModes[size_t(mode)], "; ");
    text =
        appendWithSeparator(text, (n & 0x20) ? "no flash function present" : "flash function present", "; ");
    if (n & 0x40) text = appendWithSeparator(text, "red-eye reduction supported", "; ");
    return text;
}

std::string InspectorModel::prettyValue(const Value& v, int index) {
    const int kind = index >= 0 && size_t(index) < kProperties.size() ? kProperties[size_t(index)].format : 1;
    std::string text;
    if (kind == 6) return versionText(v);
    if (kind == 25 && v.isString())
        text = gpsReference(trimmed(*v.string()));
    else if (v.isNumber())
        text = numberText(kind, v.int64Value(), v.doubleValue());
    return text.empty() ? plainText(v, index) : text;
}

std::string InspectorModel::appendWithSeparator(std::string_view s, std::string_view t,
                                                std::string_view separator) {
    std::string out(s);
    if (!out.empty()) out += separator;
    out += t;
    return out;
}

std::string InspectorModel::describe(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Null:
        return "(null)";
    case Value::Kind::Date:
        return format("%.0f", v.date()->secondsSince1970);
    case Value::Kind::Data: {
        static const char* hex = "0123456789abcdef";
        std::string text = "<";
        const platform::Data& bytes = *v.data();
        for (size_t i = 0; i < bytes.size() && i < 64; ++i) {
            if (i && i % 4 == 0) text += ' ';
            text += hex[bytes[i] >> 4];
            text += hex[bytes[i] & 15];
        }
        return text + (bytes.size() > 64 ? " ...>" : ">");
    }
    case Value::Kind::Dictionary: {
        std::string text = "{";
        for (const auto& [key, value] : *v.dictionary())
            text += " " + key + " = " + describe(value) + ";";
        return text + " }";
    }
    case Value::Kind::Array: {
        std::string text;
        for (const Value& item : *v.array())
            text = appendWithSeparator(text, describe(item), ", ");
        return "( " + text + " )";
    }
    default:
        return plainText(v, -1);
    }
}

std::vector<InspectorRow> InspectorModel::propTree(const platform::Dictionary& metadata) {
    std::vector<InspectorRow> rows;
    for (const auto& [key, value] : metadata) {
        try {
            if (const platform::Dictionary* group = value.dictionary()) {
                rows.push_back({groupTitle(key), "", propTree(*group), true});
                continue;
            }
            const int index = itemIndex(key);
            if (index < 0 || kProperties[size_t(index)].format == 0) continue;
            const auto& property = kProperties[size_t(index)];
            std::string name =
                property.displayName.empty() ? prettyName(key) : std::string(property.displayName);
            rows.push_back({std::move(name), prettyValue(value, index), {}, false});
        } catch (const std::exception& e) {
            LV_LOG("%s MetaData exception: %s - %s", __PRETTY_FUNCTION__, key.c_str(), e.what());
        }
    }
    return rows;
}
