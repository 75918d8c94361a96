// The Kodak private directory: white balance by preset or colour temperature, ISO,
// linearisation curve and the visible size.
#include <cmath>

#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

struct KodakWhiteBalance {
    int index = -2;         // preset in use; negative while none is known
    int temperature = 6500; // kelvin, for the polynomial presets
    float scale[3] = {1, 1, 1};
};

void set_multiplier(DecoderState& s, int c, double value) {
    // A zero in the file would give an infinite gain; keep what was there.
    if (std::isfinite(value)) s.as_shot_multipliers[c] = float(value);
}

void read_temperature_multipliers(DecoderState& s, const KodakWhiteBalance& wb, uint32_t type) {
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int k = 0; k < 4; ++k)
            sum += read_real_by_type(s, type) * std::pow(wb.temperature / 100.0, k);
        set_multiplier(s, c, 2048 / (sum * wb.scale[c]));
    }
}

void apply_kodak_tag(DecoderState& s, KodakWhiteBalance& wb, const tiff_entry& e) {
    static const uint32_t preset_tags[7] = {64037, 64040, 64039, 64041, 0, 0, 64042};
    if (e.tag == 1020) wb.index = int(read_int_by_type(s, e.type));
    if (e.tag == 1021 && e.count == 72) {
        seek_to(s, file_position(s) + 40);
        for (int c = 0; c < 3; ++c)
            set_multiplier(s, c, 2048.0 / read_u16(s));
        wb.index = -2;
    }
    if (e.tag == 2118) wb.temperature = int(read_int_by_type(s, e.type));
    auto preset_tag = [&wb](int64_t first) { return first + wb.index; };
    if (wb.index >= 0 && e.tag == preset_tag(2120))
        for (int c = 0; c < 3; ++c)
            set_multiplier(s, c, 2048.0 / read_real_by_type(s, e.type));
    if (e.tag == preset_tag(2130))
        for (float& v : wb.scale)
            v = read_real_by_type(s, e.type);
    if (wb.index >= 0 && e.tag == preset_tag(2140)) read_temperature_multipliers(s, wb, e.type);
    if (e.tag == 2317) build_linear_table(s, e.count);
    if (e.tag == 6020) s.iso_value = float(read_int_by_type(s, e.type));
    if (e.tag == 64013) wb.index = read_byte(s);
    if (wb.index >= 0 && wb.index < 7 && preset_tags[wb.index] && e.tag == preset_tags[wb.index])
        for (int c = 0; c < 3; ++c)
            s.as_shot_multipliers[c] = float(read_u32(s));
    if (e.tag == 64019) s.visible_width = uint16_t(read_int_by_type(s, e.type));
    if (e.tag == 64020) s.visible_height = uint16_t((read_int_by_type(s, e.type) + 1) & ~1u);
}

} // namespace

void parse_kodak_directory(DecoderState& s, int64_t base) {
    NestingGuard depth(s);
    if (!depth.ok) return;
    uint32_t entries = read_u16(s);
    if (entries < 1 || entries > 1024) return;
    entries = take_entries(s, entries);
    KodakWhiteBalance wb;
    while (entries--) {
        tiff_entry e = read_tag_header(s, base);
        if (e.in_file) apply_kodak_tag(s, wb, e);
        seek_to(s, e.next);
    }
}

} // namespace raw
