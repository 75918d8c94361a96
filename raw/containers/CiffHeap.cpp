// Canon CIFF heaps: a directory at the heap's end lists records of type, length and data
// offset; some records are heaps of their own.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/exifEngine.h"

namespace raw {
namespace {

using namespace container_io;

constexpr int kMaxDepth = 128;
constexpr uint32_t kMaxRecords = 128;
// A heap may list itself as its own sub-heap; this bounds the whole walk, not one level.
constexpr uint32_t kRecordBudget = 1u << 16;

// What one walk carries from record to record, sub-heaps included.
struct CiffWalk {
    uint32_t records_left = kRecordBudget;
    uint32_t wb_index = 0; // the camera's white-balance setting, from the shot info
};

struct CiffRecord {
    uint16_t type;
    uint32_t length;
    uint64_t data;
};

void read_make_and_model(DecoderState& s, uint64_t data) {
    char make[65] = {};
    read_text(s, make, 64);
    set_text(s.camera_make, make);
    // The model follows the make's zero; a make filling all 64 bytes has none.
    seek(s, data + std::min<size_t>(std::strlen(make) + 1, 64));
    read_text(s, s.camera_model, 64);
}

void read_shot_info(DecoderState& s, CiffWalk& w) {
    skip(s, 4);
    s.iso_value = 50 * std::pow(2.0f, read_u16(s) / 32.0f - 4);
    skip(s, 2);
    s.f_number = std::pow(2.0f, int16_t(read_u16(s)) / 64.0f);
    s.exposure_time = std::pow(2.0f, -int16_t(read_u16(s)) / 32.0f);
    skip(s, 2);
    const uint16_t wb = read_u16(s);
    w.wb_index = wb < 18 ? wb : 0;
    skip(s, 32);
    if (s.exposure_time > 1000000) s.exposure_time = read_u16(s) / 10.0f;
}

// Record 0x0032: plain reciprocals in the 768-byte kind, else gains at a slot chosen by
// the white-balance setting, encoded with the key words when the record starts with one.
void read_wb_gains(DecoderState& s, const CiffWalk& w, uint32_t length) {
    float* mul = s.as_shot_multipliers;
    if (length == 768) {
        skip(s, 72);
        for (int c = 0; c < 4; ++c) {
            const uint16_t v = read_u16(s);
            if (v) mul[c ^ (c >> 1)] = 1024.0f / v;
        }
    } else if (mul[0] == 0) {
        uint16_t key[2] = {kCiffKeyWords[0], kCiffKeyWords[1]};
        int slot;
        if (read_u16(s) == key[0]) {
            const char* slots =
                std::strstr(s.camera_model, "Pro1") ? "012346000000000000" : "01345:000000006008";
            slot = slots[w.wb_index] - '0' + 2;
        } else {
            slot = "023457000000006000"[w.wb_index] - '0';
            key[0] = key[1] = 0;
        }
        skip(s, 78 + 8 * slot);
        for (int c = 0; c < 4; ++c)
            mul[c ^ (c >> 1) ^ 1] = float(read_u16(s) ^ key[c & 1]);
    } else {
        return;
    }
    if (w.wb_index == 0) mul[0] = -1; // the camera balanced automatically
}

// Record 0x10A9: four gains per white-balance setting, in the camera's own slot order
// when the record is long.
void read_wb_slots(DecoderState& s, const CiffWalk& w, uint32_t length) {
    static constexpr char kSlotOrder[] = "0134567028";
    uint32_t slot = w.wb_index;
    if (length > 66) {
        if (slot >= sizeof kSlotOrder - 1) return; // a setting the table does not know
        slot = uint32_t(kSlotOrder[slot] - '0');
    }
    skip(s, 2 + 8 * int64_t(slot));
    for (int c = 0; c < 4; ++c)
        s.as_shot_multipliers[c ^ (c >> 1)] = read_u16(s);
}

void read_wb_levels(DecoderState& s) {
    float* mul = s.as_shot_multipliers;
    if (read_u16(s) > 512) {
        skip(s, 118);
        for (int c = 0; c < 4; ++c)
            mul[c ^ 2] = read_u16(s);
    } else {
        skip(s, 98);
        for (int c = 0; c < 4; ++c)
            mul[c ^ (c >> 1) ^ 1] = read_u16(s);
    }
}

void read_image_info(DecoderState& s) {
    s.visible_width = fit16(read_u32(s));
    s.visible_height = fit16(read_u32(s));
    const float aspect = read_float(s);
    if (std::isfinite(aspect) && aspect > 0) s.pixel_aspect_ratio = aspect;
    s.orientation_code = rotation_degrees_code(int32_t(read_u32(s))); // stored in degrees
}

void read_focal_length(DecoderState& s, uint32_t word) {
    s.focal_length_mm = float(word >> 16);
    if ((word & 0xFFFF) == 2) s.focal_length_mm /= 32;
}

void apply_record(DecoderState& s, CiffWalk& w, const CiffRecord& r) {
    switch (r.type) {
    case 0x080A:
        read_make_and_model(s, r.data);
        break;
    case 0x0810:
        read_text(s, s.artist_text, 64);
        break;
    case 0x0032:
        read_wb_gains(s, w, r.length);
        break;
    case 0x10A9:
        read_wb_slots(s, w, r.length);
        break;
    case 0x102A:
        read_shot_info(s, w);
        break;
    case 0x102C:
        read_wb_levels(s);
        break;
    case 0x1030:
        if (w.wb_index == 6 || w.wb_index == 15 || w.wb_index == 16) ciff_wb_table(s);
        break;
    case 0x1031:
        skip(s, 2);
        s.sensor_width = read_u16(s);
        s.sensor_height = read_u16(s);
        break;
    case 0x1810:
        read_image_info(s);
        break;
    case 0x1818:
        skip(s, 4);
        s.exposure_time = std::pow(2.0f, -read_float(s));
        s.f_number = std::pow(2.0f, read_float(s) / 2);
        break;
    case 0x1835:
        s.compression_code = read_u32(s);
        break;
    case 0x180E:
        s.capture_time = read_u32(s);
        break;
    case 0x580E:
        s.capture_time = r.length;
        break;
    case 0x2007:
        s.thumbnail_offset = r.data;
        s.thumbnail_length = r.length;
        break;
    case 0x5029:
        read_focal_length(s, r.length);
        break;
    case 0x5813:
        s.canon_flash_flag = word_float(r.length);
        break;
    case 0x5814:
        s.canon_exposure_value = word_float(r.length);
        break;
    case 0x5817:
        s.shot_order = r.length;
        break;
    case 0x5834:
        s.camera_model_id = r.length;
        break;
    default:
        break;
    }
}

void walk(DecoderState& s, CiffWalk& w, uint64_t offset, uint64_t length, int depth) {
    if (depth >= kMaxDepth || length < 4) return;
    if (!seek(s, offset + length - 4) || !seek(s, offset + read_u32(s))) return;
    const uint32_t count = read_u16(s);
    if (count >= kMaxRecords) return;
    for (uint32_t i = 0; i < count; ++i) {
        if (w.records_left == 0) return;
        --w.records_left;
        CiffRecord r;
        r.type = read_u16(s);
        r.length = read_u32(s);
        r.data = offset + read_u32(s);
        const uint64_t next = tell(s);
        const int kind = r.type >> 8;
        if (kind == 0x28 || kind == 0x30) walk(s, w, r.data, r.length, depth + 1);
        seek(s, r.data);
        apply_record(s, w, r);
        seek(s, next);
    }
}

// CIFF has no TIFF directories for the metadata engine to see: the records read above
// are handed to it as the tags that carry the same values in other files.
void add_metadata(const DecoderState& s) {
    exifEngine* engine = s.metadata_engine;
    if (!engine) return;
    const auto text = [&](uint32_t tag, const char* value) {
        if (value[0]) engine->addValue(tag, platform::Value(std::string(value)));
    };
    const auto positive = [&](uint32_t tag, double value) {
        if (value > 0 && std::isfinite(value)) engine->addValue(tag, platform::Value(value));
    };
    text(271, s.camera_make);
    text(272, s.camera_model);
    text(315, s.artist_text);
    positive(33434, s.exposure_time);
    positive(33437, s.f_number);
    positive(37386, s.focal_length_mm);
    if (s.iso_value >= 1 && s.iso_value < 1e7f)
        engine->addValue(34855, platform::Value(int64_t(std::lround(s.iso_value))));
    if (s.visible_width && s.visible_height) {
        engine->addValue(256, platform::Value(int64_t(s.visible_width)));
        engine->addValue(257, platform::Value(int64_t(s.visible_height)));
    }
    // The camera counts its own clock's reading in seconds, with no zone.
    const time_t when = time_t(s.capture_time);
    std::tm clock{};
    char date[32];
    if (s.capture_time && gmtime_r(&when, &clock) &&
        std::strftime(date, sizeof date, "%Y:%m:%d %H:%M:%S", &clock) == 19)
        text(36867, date);
}

} // namespace

void parse_ciff_heap(DecoderState& s, uint64_t offset, uint64_t length, int depth) {
    CiffWalk w;
    walk(s, w, offset, length, depth);
    if (depth == 0) add_metadata(s);
}

void ciff_wb_table(DecoderState& s) {
    skip(s, 2);
    if (read_u32(s) != 0x80008 || read_u32(s) == 0) return;
    const int bits = read_u16(s);
    if (bits != 10 && bits != 12) return;
    uint32_t buffer = 0;
    int held = 0, word = 0;
    for (auto& row : s.white_samples) {
        for (uint16_t& white : row) {
            if (held < bits) {
                buffer = buffer << 16 | (read_u16(s) ^ kCiffKeyWords[word++ & 1]);
                held += 16;
            }
            held -= bits;
            white = uint16_t(buffer >> held & ((1u << bits) - 1));
        }
    }
}

} // namespace raw
