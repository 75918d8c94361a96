// The fixed 1376-byte TIFF header of the file writers. Every directory and value has its
// own place in the record, so the header's size never depends on the file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <numeric>
#include <string_view>

#include "raw/output/ColourOutput.h"
#include "raw/output/FileOutput.h"

namespace raw {
namespace {

// Where each part of the record lives.
constexpr size_t kMainIfd = 10, kMainIfdCapacity = 23;
constexpr size_t kExifIfd = 294, kExifIfdCapacity = 4;
constexpr size_t kGpsIfd = 346, kGpsIfdCapacity = 10;
constexpr size_t kBitsAt = 468;
constexpr size_t kXResolutionAt = 476, kYResolutionAt = 484;
constexpr size_t kExposureAt = 492, kFNumberAt = 500, kFocalLengthAt = 508;
constexpr size_t kLatitudeAt = 516, kLongitudeAt = 540, kGpsTimeAt = 564, kAltitudeAt = 588;
constexpr size_t kGpsDatumAt = 596, kGpsDateAt = 608;
constexpr size_t kDescriptionAt = 620, kMakeAt = 1132, kModelAt = 1196;
constexpr size_t kSoftwareAt = 1260, kDateAt = 1292, kArtistAt = 1312;

enum Type : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

// The decoder's orientation bits (1 mirror, 2 flip, 4 transpose) as a TIFF orientation.
constexpr char kTiffOrientation[] = "12435867";

class HeaderWriter {
  public:
    explicit HeaderWriter(tiff_header& out) : out_(out) { out_.fill(0); }

    void put16(size_t at, uint32_t v) {
        out_[at] = uint8_t(v);
        out_[at + 1] = uint8_t(v >> 8);
    }
    void put32(size_t at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    }
    void rational(size_t at, uint32_t numerator, uint32_t denominator) {
        put32(at, numerator);
        put32(at + 4, denominator);
    }
    // Copies at most size - 1 bytes and returns the stored length with its NUL.
    uint32_t text(size_t at, size_t size, std::string_view value) {
        const size_t n = std::min(value.size(), size - 1);
        std::memcpy(out_.data() + at, value.data(), n);
        return uint32_t(n + 1);
    }

    // Directories are filled in tag order; their counts are written as entries are added.
    void begin_directory(size_t at, size_t capacity) {
        directory_ = at;
        capacity_ = capacity;
        put16(at, 0);
    }
    // A value of at most 4 bytes sits in the entry itself. Returns where the entry went,
    // 0 when the directory is full.
    size_t entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        const uint32_t n = out_[directory_] | uint32_t(out_[directory_ + 1]) << 8;
        if (n >= capacity_) return 0;
        const size_t at = directory_ + 2 + size_t(n) * 12;
        put16(at, tag);
        put16(at + 2, type);
        put32(at + 4, count);
        if (type == kShort && count == 1)
            put16(at + 8, value);
        else
            put32(at + 8, value);
        put16(directory_, n + 1);
        return at;
    }
    void text_entry(uint16_t tag, size_t at, size_t size, std::string_view value) {
        const uint32_t count = text(at, size, value);
        if (count > 4) {
            entry(tag, kAscii, count, uint32_t(at));
        } else if (const size_t slot = entry(tag, kAscii, count, 0)) {
            std::memcpy(out_.data() + slot + 8, out_.data() + at, count);
        }
    }

  private:
    tiff_header& out_;
    size_t directory_ = 0, capacity_ = 0;
};

uint32_t clamp_u32(double v) {
    if (!(v > 0)) return 0;
    return v >= 4294967295.0 ? 4294967295u : uint32_t(std::lround(v));
}

// A positive value as a reduced fraction; exposure times below a second become 1/n when
// that is what they are.
void to_rational(double v, uint32_t& numerator, uint32_t& denominator) {
    numerator = 0;
    denominator = 1;
    if (!(v > 0) || !std::isfinite(v)) return;
    if (v < 1) {
        const double n = std::round(1 / v);
        if (n <= 4294967295.0 && std::fabs(1 / n - v) <= v * 1e-3) {
            numerator = 1;
            denominator = uint32_t(n);
            return;
        }
    }
    const uint32_t scale = v < 1000 ? 10000 : 1;
    numerator = clamp_u32(v * scale);
    denominator = scale;
    const uint32_t g = std::gcd(numerator, denominator);
    if (g > 1) numerator /= g, denominator /= g;
}

void rational_value(HeaderWriter& w, size_t at, double v) {
    uint32_t n, d;
    to_rational(v, n, d);
    w.rational(at, n, d);
}

std::string_view field_text(const char* field, size_t size) { return {field, strnlen(field, size)}; }

bool has_gps(const DecoderState& s) {
    return std::any_of(std::begin(s.gps_data), std::end(s.gps_data), [](uint32_t v) { return v != 0; });
}

void write_photo_values(HeaderWriter& w, const DecoderState& s, tiff_header& out) {
    w.rational(kXResolutionAt, 300, 1);
    w.rational(kYResolutionAt, 300, 1);
    rational_value(w, kExposureAt, s.exposure_time);
    rational_value(w, kFNumberAt, s.f_number);
    rational_value(w, kFocalLengthAt, s.focal_length_mm);
    // The GPS words are the parser's: three rationals each of latitude, longitude and
    // time, the altitude, then two 12-byte texts.
    for (size_t i = 0; i < 20; ++i)
        w.put32(kLatitudeAt + 4 * i, s.gps_data[i]);
    std::memcpy(out.data() + kGpsDatumAt, &s.gps_data[20], 12);
    std::memcpy(out.data() + kGpsDateAt, &s.gps_data[23], 12);
    out[kGpsDatumAt + 11] = out[kGpsDateAt + 11] = 0;
}

void write_date(HeaderWriter& w, const DecoderState& s) {
    const std::time_t when = std::time_t(s.capture_time);
    std::tm local{};
    char date[80] = {};
    if (localtime_r(&when, &local))
        std::snprintf(date, sizeof date, "%04d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    w.text_entry(306, kDateAt, 20, date);
}

void write_main_directory(HeaderWriter& w, const DecoderState& s, const tiff_image_shape* image, bool gps) {
    w.begin_directory(kMainIfd, kMainIfdCapacity);
    if (image) {
        w.entry(254, kLong, 1, 0);
        w.entry(256, kLong, 1, image->width);
        w.entry(257, kLong, 1, image->height);
        if (image->colours > 1) {
            for (uint32_t c = 0; c < std::min<uint32_t>(image->colours, 4); ++c)
                w.put16(kBitsAt + 2 * c, image->bits);
            w.entry(258, kShort, image->colours, kBitsAt);
        } else {
            w.entry(258, kShort, 1, image->bits);
        }
        w.entry(259, kShort, 1, 1);
        w.entry(262, kShort, 1, image->colours > 2 ? 2 : 1);
    }
    w.text_entry(270, kDescriptionAt, 512, field_text(s.description_text, sizeof s.description_text));
    w.text_entry(271, kMakeAt, 64, field_text(s.camera_make, sizeof s.camera_make));
    w.text_entry(272, kModelAt, 64, field_text(s.camera_model, sizeof s.camera_model));
    if (image) {
        w.entry(273, kLong, 1, uint32_t(kTiffHeaderSize) + image->profile_length);
        w.entry(277, kShort, 1, image->colours);
        w.entry(278, kLong, 1, image->height);
        const uint64_t bytes = uint64_t(image->width) * image->height * image->colours * image->bits / 8;
        w.entry(279, kLong, 1, uint32_t(std::min<uint64_t>(bytes, 0xFFFFFFFFu)));
    } else {
        w.entry(274, kShort, 1, uint32_t(kTiffOrientation[s.orientation_code & 7] - '0'));
    }
    w.entry(282, kRational, 1, kXResolutionAt);
    w.entry(283, kRational, 1, kYResolutionAt);
    w.entry(284, kShort, 1, 1);
    w.entry(296, kShort, 1, 2);
    w.text_entry(305, kSoftwareAt, 32, "Lumivar");
    write_date(w, s);
    w.text_entry(315, kArtistAt, 64, field_text(s.artist_text, sizeof s.artist_text));
    w.entry(34665, kLong, 1, kExifIfd);
    if (image && image->profile_length) w.entry(34675, kUndefined, image->profile_length, kTiffHeaderSize);
    if (gps) w.entry(34853, kLong, 1, kGpsIfd);
}

void write_exif_directory(HeaderWriter& w, const DecoderState& s) {
    w.begin_directory(kExifIfd, kExifIfdCapacity);
    w.entry(33434, kRational, 1, kExposureAt);
    w.entry(33437, kRational, 1, kFNumberAt);
    w.entry(34855, kShort, 1, std::min<uint32_t>(clamp_u32(s.iso_value), 65535));
    w.entry(37386, kRational, 1, kFocalLengthAt);
}

void write_gps_directory(HeaderWriter& w, const DecoderState& s) {
    w.begin_directory(kGpsIfd, kGpsIfdCapacity);
    w.entry(0, kByte, 4, 0x00000202); // version 2.2.0.0
    w.entry(1, kAscii, 2, s.gps_data[29] & 0xFF);
    w.entry(2, kRational, 3, kLatitudeAt);
    w.entry(3, kAscii, 2, s.gps_data[30] & 0xFF);
    w.entry(4, kRational, 3, kLongitudeAt);
    w.entry(5, kByte, 1, s.gps_data[31] & 0xFF);
    w.entry(6, kRational, 1, kAltitudeAt);
    w.entry(7, kRational, 3, kGpsTimeAt);
    // The parser keeps the map datum (tag 18) in this slot.
    w.entry(18, kAscii, 12, kGpsDatumAt);
    w.entry(29, kAscii, 12, kGpsDateAt);
}

} // namespace

uint32_t output_profile_length(const DecoderState& s) {
    if (!s.output_profile) return 0;
    const uint8_t* p = s.output_profile;
    const uint32_t length = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    return std::min(length, kOutputProfileCapacity);
}

tiff_header tiff_header_record(const DecoderState& s, const tiff_image_shape* image) {
    tiff_header out;
    HeaderWriter w(out);
    out[0] = out[1] = 'I';
    w.put16(2, 42);
    w.put32(4, uint32_t(kMainIfd));
    const bool gps = has_gps(s);
    write_photo_values(w, s, out);
    write_main_directory(w, s, image, gps);
    write_exif_directory(w, s);
    if (gps) write_gps_directory(w, s);
    return out;
}

} // namespace raw
