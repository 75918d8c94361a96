// Phase One backs: after a byte-order word and "Raw", a directory of records
// {tag, type, length, data}, each data a value or an offset from the header.
#include <algorithm>
#include <cstring>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffParser.h"

namespace raw {
namespace {

using namespace container_io;

constexpr uint32_t kRawMark = 0x526177; // "Raw"
constexpr uint64_t kRecordSize = 16;

struct PhaseOneRecord {
    uint32_t tag, type, length, data;
    uint64_t next; // where the following record starts
};

void clear_phase_one_fields(DecoderState& s) {
    s.phase_one_format = 0;
    s.phase_one_black = 0;
    s.phase_one_split_column = s.phase_one_split_row = 0;
    s.phase_one_row_blacks_offset = s.phase_one_column_blacks_offset = 0;
    s.phase_one_key_offset = 0;
    s.phase_one_calibration_key = 0;
    s.phase_one_curve_reference = 0;
}

void read_romm_matrix(DecoderState& s) {
    float m[3][3];
    for (auto& row : m)
        for (float& v : row)
            v = read_float(s);
    romm_to_camera_matrix(s, m);
}

void read_model(DecoderState& s) {
    read_text(s, s.camera_model, 63);
    if (char* cut = std::strstr(s.camera_model, " camera")) *cut = 0;
}

void apply_record(DecoderState& s, uint64_t base, const PhaseOneRecord& r) {
    switch (r.tag) {
    case 0x100:
        s.orientation_code = "0653"[r.data & 3] - '0';
        break;
    case 0x106:
        read_romm_matrix(s);
        break;
    case 0x107:
        for (int c = 0; c < 3; ++c)
            s.as_shot_multipliers[c] = read_float(s);
        break;
    case 0x108:
        s.sensor_width = fit16(r.data);
        break;
    case 0x109:
        s.sensor_height = fit16(r.data);
        break;
    case 0x10A:
        s.margin_left = fit16(r.data);
        break;
    case 0x10B:
        s.margin_top = fit16(r.data);
        break;
    case 0x10C:
        s.visible_width = fit16(r.data);
        break;
    case 0x10D:
        s.visible_height = fit16(r.data);
        break;
    case 0x10E:
        s.phase_one_format = int32_t(r.data);
        break;
    case 0x10F:
        s.sensor_data_offset = base + r.data;
        break;
    case 0x110:
        s.maker_data_offset = base + r.data;
        s.meta_block_length = r.length;
        break;
    case 0x112:
        s.phase_one_key_offset = r.next - 4;
        break; // the data word itself
    case 0x210:
        s.phase_one_curve_reference = word_float(r.data);
        break;
    case 0x21A:
        s.phase_one_calibration_key = uint16_t(r.data);
        break;
    case 0x21C:
        s.strip_table_offset = base + r.data;
        break;
    case 0x21D:
        s.phase_one_black = int32_t(r.data);
        break;
    case 0x222:
        s.phase_one_split_column = int32_t(r.data);
        break;
    case 0x223:
        s.phase_one_row_blacks_offset = base + r.data;
        break;
    case 0x224:
        s.phase_one_split_row = int32_t(r.data);
        break;
    case 0x225:
        s.phase_one_column_blacks_offset = base + r.data;
        break;
    case 0x301:
        read_model(s);
        break;
    default:
        break;
    }
}

// Names the backs whose header carries no model text.
void name_by_sensor_height(DecoderState& s) {
    switch (s.sensor_height) {
    case 2060:
        set_text(s.camera_model, "LightPhase");
        break;
    case 2682:
        set_text(s.camera_model, "H 10");
        break;
    case 4128:
        set_text(s.camera_model, "H 20");
        break;
    case 5488:
        set_text(s.camera_model, "H 25");
        break;
    default:
        break;
    }
}

} // namespace

void parse_phase_one_header(DecoderState& s, uint64_t base) {
    clear_phase_one_fields(s);
    if (!seek(s, base)) return;
    s.byte_order = uint16_t(read_u32(s));
    if (read_u32(s) >> 8 != kRawMark) return;
    if (!seek(s, base + read_u32(s))) return;
    uint64_t entries = read_u32(s);
    read_u32(s);
    const uint64_t length = file_length(s);
    const uint64_t first = tell(s);
    // A count larger than the file can hold would only read past its end.
    entries = std::min(entries, first < length ? (length - first) / kRecordSize : 0);
    for (uint64_t i = 0; i < entries; ++i) {
        PhaseOneRecord r;
        r.tag = read_u32(s);
        r.type = read_u32(s);
        r.length = read_u32(s);
        r.data = read_u32(s);
        r.next = tell(s);
        seek(s, base + r.data);
        apply_record(s, base, r);
        seek(s, r.next);
    }
    s.raw_loader = s.phase_one_format < 3 ? phase_one_plain_load_raw : phase_one_load_raw_c;
    s.white_level = 0xFFFF;
    set_text(s.camera_make, "Phase One");
    if (!s.camera_model[0]) name_by_sensor_height(s);
}

} // namespace raw
