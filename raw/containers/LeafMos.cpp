// The Leaf MOS block: a tree of "PKTS" items named by text, holding the back type,
// colour matrices, neutrals, rotation and mosaic phase of Leaf digital backs.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "raw/core/InputReaders.h"
#include "raw/core/TextNumbers.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

constexpr uint32_t kItemMark = 0x504b5453; // "PKTS"
constexpr int kItemHeader = 52;            // mark, word, 40-byte name, length

const char* const kLeafBacks[] = {
    nullptr,      "DCB2",        "Volare",    "Cantare",    "CMost",    "Valeo 6",      "Valeo 11",
    "Valeo 22",   "Valeo 11p",   "Valeo 17",  nullptr,      "Aptus 17", "Aptus 22",     "Aptus 75",
    "Aptus 65",   "Aptus 54S",   "Aptus 65S", "Aptus 75S",  "AFi 5",    "AFi 6",        "AFi 7",
    "AFi-II 7",   "Aptus-II 7",  nullptr,     "Aptus-II 6", nullptr,    nullptr,        "Aptus-II 10",
    "Aptus-II 5", nullptr,       nullptr,     nullptr,      nullptr,    "Aptus-II 10R", "Aptus-II 8",
    nullptr,      "Aptus-II 12", nullptr,     "AFi-II 12"};

struct LeafLevel {
    int planes = 0;
    int phase = 0;
    bool* rotation_seen;
};

// The item's data as text, for the items that store numbers in words.
class ItemText {
  public:
    ItemText(DecoderState& s, uint32_t length) {
        uint64_t n = std::min<uint64_t>(length, 4096);
        text_.resize(n + 1, 0);
        n = std::fread(text_.data(), 1, n, s.input_file);
        numbers_ = TextNumbers(text_.data(), n);
    }
    int nextInt() {
        int v = 0;
        numbers_.readInt(v);
        return v;
    }
    float nextFloat() {
        float v = 0;
        numbers_.readFloat(v);
        return v;
    }

  private:
    std::vector<char> text_;
    TextNumbers numbers_{nullptr, 0};
};

void read_matrix_item(DecoderState& s, const char* name, uint32_t length) {
    float m[3][3];
    if (!std::strcmp(name, "icc_camera_to_tone_matrix")) {
        for (int i = 0; i < 9; ++i)
            m[i / 3][i % 3] = std::bit_cast<float>(read_u32(s));
    } else {
        ItemText text(s, length);
        for (int i = 0; i < 9; ++i)
            m[i / 3][i % 3] = text.nextFloat();
    }
    romm_to_camera_matrix(s, m);
}

void apply_item(DecoderState& s, LeafLevel& level, const char* name, int64_t data, uint32_t length) {
    if (!std::strcmp(name, "JPEG_preview_data")) {
        s.thumbnail_offset = uint64_t(data);
        s.thumbnail_length = length;
    } else if (!std::strcmp(name, "icc_camera_profile")) {
        s.profile_offset = uint64_t(data);
        s.profile_length = length;
    } else if (!std::strcmp(name, "ShootObj_back_type")) {
        int back = ItemText(s, length).nextInt();
        if (back >= 0 && back < int(std::size(kLeafBacks)) && kLeafBacks[back])
            std::strcpy(s.camera_model, kLeafBacks[back]);
    } else if (!std::strcmp(name, "icc_camera_to_tone_matrix") ||
               !std::strcmp(name, "CaptProf_color_matrix")) {
        read_matrix_item(s, name, length);
    } else if (!std::strcmp(name, "CaptProf_number_of_planes")) {
        level.planes = ItemText(s, length).nextInt();
    } else if (!std::strcmp(name, "CaptProf_raw_data_rotation")) {
        s.orientation_code = ItemText(s, length).nextInt();
        *level.rotation_seen = true;
    } else if (!std::strcmp(name, "CaptProf_mosaic_pattern")) {
        ItemText text(s, length);
        // The red photosite's place in the 2x2 cell, counted clockwise.
        for (int c = 0; c < 4; ++c)
            if (text.nextInt() == 1) level.phase = c ^ (c >> 1);
    } else if (!std::strcmp(name, "ImgProf_rotation_angle")) {
        s.orientation_code = ItemText(s, length).nextInt() - s.orientation_code;
        *level.rotation_seen = true;
    } else if (!std::strcmp(name, "NeutObj_neutrals") && s.as_shot_multipliers[0] == 0) {
        ItemText text(s, length);
        int n[4];
        for (int& v : n)
            v = text.nextInt();
        for (int c = 0; c < 3; ++c)
            if (n[c + 1]) s.as_shot_multipliers[c] = float(n[0]) / float(n[c + 1]);
    } else if (!std::strcmp(name, "Rows_data")) {
        s.loader_flags = read_u32(s);
    }
}

// Items from start up to end; each item's data may hold items of its own.
void parse_items(DecoderState& s, int64_t start, int64_t end, bool& rotation_seen) {
    NestingGuard depth(s);
    if (!depth.ok) return;
    LeafLevel level{0, 0, &rotation_seen};
    for (int64_t item = start; item + kItemHeader <= end && seek_inside(s, item);) {
        if (read_u32(s) != kItemMark) break;
        read_u32(s);
        char name[41] = {};
        if (std::fread(name, 1, 40, s.input_file) != 40) break;
        uint32_t length = read_u32(s);
        int64_t data = item + kItemHeader;
        if (data + int64_t(length) > end) break;
        apply_item(s, level, name, data, length);
        parse_items(s, data, data + length, rotation_seen);
        item = data + length;
    }
    if (level.planes) {
        static const uint8_t phases[4] = {0x94, 0x61, 0x16, 0x49};
        int turn = s.orientation_code / 90 + level.phase;
        s.cfa_pattern = level.planes == 1 ? 0x01010101u * phases[turn & 3] : 0;
    }
}

} // namespace

void parse_leaf_mos(DecoderState& s, int64_t offset) {
    bool rotation_seen = false;
    parse_items(s, offset, file_length(s), rotation_seen);
    // The back stores its rotation in degrees; the decoder works with flip codes.
    if (rotation_seen) s.orientation_code = rotation_degrees_code(s.orientation_code);
}

} // namespace raw
