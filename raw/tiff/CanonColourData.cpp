// The Canon colour-data block of the maker note. Its layout depends on its length (and,
// for some lengths, on the version word that opens it); the table below gives the byte
// offsets of the values the decoder takes from each layout.
#include <initializer_list>

#include "raw/core/InputReaders.h"
#include "raw/tiff/MakerNote.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

struct ColourDataLayout {
    int multipliers = -1;
    int small_raw = -1;
    int blacks = -1;
    int white = -1;        // the white level is the value 2 bytes past this offset
    int blacks_again = -1; // where to read the blacks when the first ones average 0
};

ColourDataLayout layout_for(uint32_t count, int version) {
    auto in = [count](std::initializer_list<uint32_t> counts) {
        for (uint32_t c : counts)
            if (c == count) return true;
        return false;
    };
    if (count == 582) return {50, -1, 332};
    if (count == 653) return {68, -1, 572};
    if (count == 796) return {126, -1, 392};
    if (in({674, 692, 702, 1227, 1250, 1251, 1337, 1338, 1346})) {
        if (version == 4 || version == 5) return {126, 156, 1384, 1392};
        if (version == 6 || version == 7) return {126, 156, 1430, 1438};
        if (version == 9) return {126, 156, 1438, 1446};
        return {126, 156, 462};
    }
    if (in({1271, 1273})) return {126, 196, 958, 966};
    if (in({1312, 1313, 1316, 1506})) {
        if (version == 10) return {126, 246, 1008, 1016};
        if (version == 11) return {126, 246, 1456, 1464};
        return {126, 246};
    }
    if (in({1353, 1560, 1592, 1602})) {
        if (version == 14) return {126, 256, 1112, 1120};
        return {126, 256, 1556, 1564};
    }
    if (in({1816, 1820, 1824})) return {142, -1, 1584, 1592, 658};
    if (in({2024, 3656})) return {170, -1, 1612, 1620, 686};
    if (count == 5120) {
        if (version == -3) return {142, -1, 528};
        if (version == -4) return {142, -1, 666, 2770};
        return {142};
    }
    return {};
}

// Four values stored in the order 0, 1, 3, 2.
template <typename T> void read_four(DecoderState& s, int64_t at, T* out) {
    seek_to(s, at);
    for (int c = 0; c < 4; ++c)
        out[c ^ (c >> 1)] = T(read_u16(s));
}

} // namespace

void read_canon_colour_data(DecoderState& s, uint32_t count) {
    int64_t start = file_position(s);
    int version = int16_t(read_u16(s));
    ColourDataLayout l = layout_for(count, version);
    if (l.multipliers < 0) return;
    read_four(s, start + l.multipliers, s.as_shot_multipliers);
    if (l.small_raw >= 0) read_four(s, start + l.small_raw, s.small_raw_multipliers);
    if (l.blacks >= 0) {
        read_four(s, start + l.blacks, s.channel_black);
        uint32_t sum = 0;
        for (int c = 0; c < 4; ++c)
            sum += s.channel_black[c];
        if ((sum >> 2) == 0 && l.blacks_again >= 0) read_four(s, start + l.blacks_again, s.channel_black);
    }
    if (l.white >= 0) {
        seek_to(s, start + l.white + 2);
        s.white_level = read_u16(s);
    }
}

} // namespace raw
