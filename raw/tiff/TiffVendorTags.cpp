// Maker-private tags that appear directly in TIFF directories (Panasonic, Sony, Leaf,
// Samsung, Hasselblad, Kodak, Fujifilm and a few more).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "raw/core/InputReaders.h"
#include "raw/core/TextNumbers.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

constexpr uint32_t kMaxPrivateText = 2560000;

// "MATRIX" followed by three rows of four numbers: a camera-to-RGB matrix.
void read_leaf_matrix(DecoderState& s, const tiff_entry& e) {
    uint64_t length = std::min<uint64_t>(values_left(s, e.count, 1), 4096);
    std::vector<char> text(length + 1, 0);
    length = std::fread(text.data(), 1, length, s.input_file);
    if (length < 6 || std::strncmp(text.data(), "MATRIX", 6)) return;
    s.colour_count = 4;
    s.camera_colour_output = 0;
    TextNumbers numbers(text.data() + 6, length - 6);
    for (int row = 0; row < 3; ++row) {
        for (int c = 0; c < 4; ++c) {
            float v = 0;
            if (numbers.readFloat(v)) s.rgb_from_camera[row][c ^ 1] = v;
        }
        if (!s.use_as_shot_wb) continue;
        float sum = 0;
        for (float v : s.rgb_from_camera[row])
            sum += v;
        if (sum != 0)
            for (float& v : s.rgb_from_camera[row])
                v /= sum;
    }
}

// Text blocks whose "Neutral " lines carry the as-shot white balance.
void read_private_text(DecoderState& s, const tiff_entry& e) {
    if (e.count < 1 || e.count > kMaxPrivateText || values_left(s, e.count, 1) < e.count) return;
    std::vector<char> text(e.count);
    if (std::fread(text.data(), 1, e.count, s.input_file) != e.count) return;
    text.back() = 0;
    for (const char* line = text.data(); line && line < text.data() + text.size();) {
        if (!std::strncmp(line, "Neutral ", 8)) {
            const char* values = line + 8;
            TextNumbers numbers(values, std::strlen(values));
            for (int c = 0; c < 3; ++c)
                if (!numbers.readFloat(s.as_shot_multipliers[c])) break;
        }
        line = std::strchr(line, '\n');
        if (line) ++line;
    }
}

void parse_hasselblad_subfile(DecoderState& s) {
    ByteOrderKeeper keep_order(s);
    uint32_t keep_count = s.ifd_count;
    int64_t start = file_position(s);
    s.byte_order = read_u16(s);
    read_u16(s);
    if (seek_inside(s, start + int64_t(read_u32(s)))) parse_tiff_directory(s, start);
    s.white_level = 0xffff;
    s.ifd_count = keep_count;
}

void read_sony_curve(DecoderState& s) {
    uint32_t ends[6] = {0, 0, 0, 0, 0, 4095};
    for (int c = 1; c <= 4; ++c)
        ends[c] = (read_u16(s) >> 2) & 0xfff;
    for (int i = 0; i < 5; ++i)
        for (uint32_t j = ends[i] + 1; j <= ends[i + 1]; ++j)
            s.tone_table[j] = uint16_t(s.tone_table[j - 1] + (1 << i));
}

void read_sony_blacks(DecoderState& s) {
    for (int c = 0; c < 4; ++c)
        s.channel_black[c ^ (c >> 1)] = uint16_t(read_u16(s) >> 2);
    uint16_t lowest = s.channel_black[3];
    for (int c = 0; c < 3; ++c)
        lowest = std::min(lowest, s.channel_black[c]);
    for (int c = 0; c < 4; ++c)
        s.channel_black[c] = uint16_t(s.channel_black[c] - lowest);
    s.black_level = lowest;
}

bool apply_panasonic_tag(DecoderState& s, const tiff_entry& e) {
    bool header = s.panasonic_header_value && e.count == 1 && e.type == 3;
    switch (e.tag) {
    case 1:
        if (e.count == 4) s.panasonic_header_value = read_u32(s);
        return true;
    case 5:
        s.visible_width = uint16_t(read_int_by_type(s, e.type));
        return true;
    case 6:
        s.visible_height = uint16_t(read_int_by_type(s, e.type));
        return true;
    case 7:
        s.visible_width = uint16_t(s.visible_width + read_int_by_type(s, e.type));
        return true;
    case 9:
        if (uint32_t v = read_int_by_type(s, e.type)) s.cfa_pattern = v;
        return true;
    case 10:
        if (header) s.panasonic_bit_depth = int32_t(read_u16(s));
        return true;
    case 45:
        if (header) s.panasonic_encoding = int32_t(read_u16(s));
        return true;
    case 17:
    case 18:
        if (e.count == 1 && e.type == 3) s.as_shot_multipliers[e.tag == 17 ? 0 : 2] = read_u16(s) / 256.0f;
        return true;
    case 23:
        if (e.type == 3) s.iso_value = read_u16(s);
        return true;
    case 28:
    case 29:
    case 30:
        s.channel_black[e.tag - 28] = uint16_t(read_int_by_type(s, e.type));
        s.channel_black[3] = s.channel_black[1];
        return true;
    case 36:
    case 37:
    case 38:
        s.as_shot_multipliers[e.tag - 36] = float(read_int_by_type(s, e.type));
        return true;
    case 39:
        if (e.count < 50 || s.as_shot_multipliers[0] != 0) return true;
        seek_to(s, file_position(s) + 12);
        for (int c = 0; c < 3; ++c)
            s.as_shot_multipliers[c] = read_u16(s);
        return true;
    case 46:
        if (e.type != 7 || read_byte(s) != 0xFF || read_byte(s) != 0xD8) return true;
        s.thumbnail_offset = uint64_t(file_position(s) - 2);
        s.thumbnail_length = e.count;
        return true;
    default:
        return false;
    }
}

bool apply_sony_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    switch (e.tag) {
    case 28688:
        read_sony_curve(s);
        return true;
    case 29184:
        d.sony_offset = read_u32(s);
        return true;
    case 29185:
        d.sony_length = read_u32(s);
        return true;
    case 29217:
        s.sony_private_key = read_u32(s);
        return true;
    case 29264:
        parse_minolta_mrm(s, file_position(s));
        s.sensor_width = 0;
        return true;
    case 29443:
        for (int c = 0; c < 4; ++c)
            s.as_shot_multipliers[c ^ (c < 2)] = read_u16(s);
        return true;
    case 29456:
        read_sony_blacks(s);
        return true;
    case 29459: {
        for (float& m : s.as_shot_multipliers)
            m = read_u16(s);
        int i = (s.as_shot_multipliers[1] == 1024 && s.as_shot_multipliers[2] == 1024) << 1;
        std::swap(s.as_shot_multipliers[i], s.as_shot_multipliers[i + 1]);
        return true;
    }
    case 30720:
        for (auto& row : s.embedded_matrix)
            for (int j = 0; j < 3; ++j)
                row[j] = int16_t(read_u16(s)) / 1024.0f;
        return true;
    default:
        return false;
    }
}

bool apply_leaf_tag(DecoderState& s, const tiff_entry& e) {
    switch (e.tag) {
    case 34303:
        std::strcpy(s.camera_make, "Leaf");
        return true;
    case 34306:
        for (int c = 0; c < 4; ++c)
            if (uint16_t v = read_u16(s)) s.as_shot_multipliers[c ^ 1] = 4096.0f / v;
        return true;
    case 34307:
        read_leaf_matrix(s, e);
        return true;
    case 34310:
        parse_leaf_mos(s, file_position(s));
        std::strcpy(s.camera_make, "Leaf");
        return true;
    default:
        return false;
    }
}

void select_samsung_loader(DecoderState& s, const ifd_record& r) {
    switch (r.compression) {
    case 32770:
        s.raw_loader = samsung_block_load_raw;
        break;
    case 32772:
        s.raw_loader = samsung_huffman_load_raw;
        break;
    case 32773:
        s.raw_loader = samsung_adaptive_load_raw;
        break;
    default:
        break;
    }
}

bool apply_misc_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    switch (e.tag) {
    case 400:
        std::strcpy(s.camera_make, "Sarnoff");
        s.white_level = 0xfff;
        return true;
    case 40976:
        s.strip_table_offset = read_u32(s);
        select_samsung_loader(s, d.record(s));
        return true;
    case 50454:
    case 50455:
        read_private_text(s, e);
        return true;
    case 50458:
        if (!s.camera_make[0]) std::strcpy(s.camera_make, "Hasselblad");
        return true;
    case 50459:
        parse_hasselblad_subfile(s);
        return true;
    case 50740: {
        if (s.dng_version_word) return true;
        int64_t block = d.base + int64_t(read_u32(s));
        parse_minolta_mrm(s, block);
        if (seek_inside(s, block)) parse_tiff_directory(s, d.base);
        return true;
    }
    case 61446:
        s.sensor_height = 0;
        s.loader_flags = read_u32(s) ? 24 : 80;
        return true;
    case 61454:
        for (int c = 0; c < 3; ++c)
            s.as_shot_multipliers[(4 - c) % 3] = float(read_int_by_type(s, e.type));
        return true;
    case 64772:
        if (e.count < 13) return true;
        seek_to(s, file_position(s) + 16);
        s.sensor_data_offset = read_u32(s);
        seek_to(s, file_position(s) + 28);
        s.sensor_data_offset += read_u32(s);
        s.raw_loader = packed_bits_load_raw;
        return true;
    case 65026:
        if (e.type == 2) read_line(s, s.model_text_2, sizeof s.model_text_2);
        return true;
    default:
        return false;
    }
}

} // namespace

bool apply_vendor_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    return apply_panasonic_tag(s, e) || apply_sony_tag(s, d, e) || apply_leaf_tag(s, e) ||
           apply_imacon_tag(s, d, e) || apply_misc_tag(s, d, e);
}

} // namespace raw
