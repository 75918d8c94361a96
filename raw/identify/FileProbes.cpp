#include "raw/identify/FileProbes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace raw {
namespace {

// Reads up to n bytes ending at the file's end; returns how many there were.
size_t read_tail(DecoderState& s, uint8_t* buffer, size_t n) {
    if (fseeko(s.input_file, 0, SEEK_END) != 0) return 0;
    const off_t length = ftello(s.input_file);
    if (length <= 0) return 0;
    const size_t take = std::min<uint64_t>(n, uint64_t(length));
    fseeko(s.input_file, length - off_t(take), SEEK_SET);
    return std::fread(buffer, 1, take, s.input_file);
}

struct CodedModel {
    uint32_t code;
    char make[12];
    char model[16];
};

constexpr CodedModel kCodedModels[] = {
    {0, "Pentax", "Optio 33WR"},
    {3, "Nikon", "E3200"},
    {50, "Nikon", "E3700"},
    {51, "Olympus", "C740UZ"},
};

} // namespace

bool tail_histogram_check(DecoderState& s) {
    uint8_t tail[2000];
    const size_t n = read_tail(s, tail, sizeof tail);
    uint32_t count[256] = {};
    for (size_t i = 0; i < n; ++i)
        ++count[tail[i]];
    return count[0x00] >= 200 && count[0x55] >= 200 && count[0xAA] >= 200 && count[0xFF] >= 200;
}

bool packed_pattern_check(DecoderState& s) {
    std::fseek(s.input_file, 0, SEEK_SET);
    for (int i = 0; i < 1024; ++i) {
        uint8_t d[12];
        // A file too short for the pattern cannot be of this kind.
        if (std::fread(d, 1, sizeof d, s.input_file) < sizeof d) return false;
        if ((((d[2] & d[4] & d[7] & d[9]) >> 4) & d[1] & d[6] & d[8] & d[11] & 3) != 3) return false;
    }
    return true;
}

bool tail_nonzero_check(DecoderState& s) {
    uint8_t tail[424];
    const size_t n = read_tail(s, tail, sizeof tail);
    return std::count_if(tail, tail + n, [](uint8_t b) { return b != 0; }) > 20;
}

bool model_from_code_bits(DecoderState& s) {
    uint8_t head[24];
    std::fseek(s.input_file, 3072, SEEK_SET);
    if (std::fread(head, 1, sizeof head, s.input_file) < sizeof head) return false;
    const uint32_t code = uint32_t(head[8] & 3) << 4 | (head[20] & 3);
    for (const CodedModel& m : kCodedModels) {
        if (m.code != code) continue;
        std::snprintf(s.camera_make, sizeof s.camera_make, "%s", m.make);
        std::snprintf(s.camera_model, sizeof s.camera_model, "%s", m.model);
        return true;
    }
    return false;
}

} // namespace raw
