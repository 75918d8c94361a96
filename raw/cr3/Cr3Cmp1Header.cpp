// The CMP1 header of a CR3 raw track: the geometry and coding of its CRX data.
#include "raw/cr3/Cr3.h"

namespace raw {
namespace {

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool coding_allowed(const cr3_track_record& t) {
    const uint32_t max_bits = t.encoding_type == 1 ? 15 : 14;
    // Zero bits would leave no sample range to write into.
    if (t.encoding_type == 2 || t.encoding_type > 3 || !t.bits_per_sample || t.bits_per_sample > max_bits)
        return false;
    if (t.plane_count == 4)
        return !(t.image_width & 1) && !(t.image_height & 1) && !(t.tile_width & 1) && !(t.tile_height & 1) &&
               t.cfa_layout <= 3 && t.bits_per_sample != 8;
    if (t.plane_count == 1) return t.cfa_layout == 0 && t.encoding_type == 0 && t.bits_per_sample == 8;
    return false;
}

} // namespace

bool read_cmp1_header(const uint8_t* h, cr3_track_record& t) {
    t.format_version = uint32_t(h[4]) << 8 | h[5];
    t.image_width = be32(h + 8);
    t.image_height = be32(h + 12);
    t.tile_width = be32(h + 16);
    t.tile_height = be32(h + 20);
    t.bits_per_sample = h[24];
    t.plane_count = h[25] >> 4;
    t.cfa_layout = h[25] & 15;
    t.encoding_type = h[26] >> 4;
    t.wavelet_levels = h[26] & 15;
    t.tile_columns_flag = h[27] >> 7 & 1;
    t.tile_rows_flag = h[27] >> 6 & 1;
    t.media_header_size = be32(h + 28);
    if (t.format_version != 0x100 || !t.media_header_size || !coding_allowed(t)) return false;
    // A zero tile would divide the image into no tiles at all.
    return t.tile_width && t.tile_height && t.image_width >= t.tile_width &&
           t.image_height >= t.tile_height && t.wavelet_levels <= 3;
}

uint32_t crx_cfa_pattern(uint32_t layout) {
    static constexpr uint32_t kPatterns[4] = {0x94949494, 0x61616161, 0x49494949, 0x16161616};
    return kPatterns[layout & 3];
}

} // namespace raw
