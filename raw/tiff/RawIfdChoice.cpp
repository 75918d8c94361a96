// After the directories are read: which one holds the raw image, which the best
// thumbnail, and which loader unpacks the raw data.
#include <algorithm>
#include <climits>
#include <cstring>
#include <strings.h>

#include "raw/colour/CameraColour.h"
#include "raw/core/TextSearch.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"
#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

bool make_is(const DecoderState& s, const char* name) { return !std::strcmp(s.camera_make, name); }
bool make_begins_caseless(const DecoderState& s, const char* prefix) {
    return !strncasecmp(s.camera_make, prefix, std::strlen(prefix));
}

void read_thumbnail_frame(DecoderState& s) {
    s.thumbnail_misc = 16;
    if (!s.thumbnail_offset || !seek_inside(s, int64_t(s.thumbnail_offset))) return;
    ljpeg_header jh{};
    if (!ljpeg_start(s, jh, 1)) return;
    s.thumbnail_misc = uint32_t(jh.bits);
    s.thumbnail_width = uint16_t(jh.wide);
    s.thumbnail_height = uint16_t(jh.high);
}

void spread_exposure_times(DecoderState& s) {
    for (uint32_t i = s.ifd_count; i--;) {
        ifd_record& r = s.ifd_table[i];
        if (r.exposure_time != 0) s.exposure_time = r.exposure_time;
        r.exposure_time = s.exposure_time;
    }
}

void take_record(DecoderState& s, const ifd_record& r) {
    s.sensor_width = uint16_t(r.width);
    s.sensor_height = uint16_t(r.height);
    s.bits_per_sample = r.bits_per_sample;
    s.compression_code = r.compression;
    s.sensor_data_offset = r.data_offset;
    s.tiff_orientation = int32_t(r.orientation);
    s.samples_per_pixel = r.samples_per_pixel;
    s.tiff_tile_width = r.tile_width;
    s.tiff_tile_length = r.tile_length;
    s.exposure_time = r.exposure_time;
}

// The largest image wins; equal ones are counted and shot_index picks among them.
int pick_raw_record(DecoderState& s, uint32_t& max_samples, uint32_t& ties) {
    int raw = -1;
    for (uint32_t i = 0; i < s.ifd_count; ++i) {
        const ifd_record& r = s.ifd_table[i];
        max_samples = std::min<uint32_t>(std::max(max_samples, r.samples_per_pixel), 3);
        uint64_t previous = uint64_t(s.sensor_width) * s.sensor_height;
        uint64_t size = uint64_t(r.width) * r.height;
        if (s.bits_per_sample) {
            previous *= s.bits_per_sample;
            size *= r.bits_per_sample;
        }
        bool candidate = !(r.compression == 6 && r.samples_per_pixel == 3) && r.width >= 1 &&
                         r.width <= 65535 && r.height >= 1 && r.height <= 65535 && size;
        if (!candidate) continue;
        bool wins = false;
        if (size > previous) {
            ties = 1;
            wins = true;
        } else if (size == previous) {
            wins = s.shot_index == ties++;
        }
        if (wins) {
            take_record(s, r);
            raw = int(i);
        }
    }
    return raw;
}

void by_bits(DecoderState& s, const ifd_record& r, uint64_t w, uint64_t h) {
    uint64_t bytes = r.byte_count;
    switch (s.bits_per_sample) {
    case 8:
        s.raw_loader = eight_bit_load_raw;
        return;
    case 12:
        if (r.photometric == 2) s.loader_flags = 6;
        s.raw_loader = packed_bits_load_raw;
        return;
    case 14:
        if (bytes * 4 == w * h * 7) {
            s.raw_loader = packed_bits_load_raw;
            return;
        }
        s.loader_flags = 0;
        [[fallthrough]];
    case 16:
        s.raw_loader = plain_words_load_raw;
        if (make_is(s, "OLYMPUS") && w * h < bytes * 7) s.raw_loader = adaptive_12bit_load_raw;
        return;
    default:
        return;
    }
}

void uncompressed_loader(DecoderState& s, const ifd_record& r, uint64_t w, uint64_t h) {
    uint64_t bytes = r.byte_count;
    if (make_begins_caseless(s, "Sony") && bytes == w * h * 2) {
        s.bits_per_sample = 14;
        s.raw_loader = plain_words_load_raw;
        return;
    }
    if (make_is(s, "OLYMPUS") && bytes * 2 == w * h * 3) s.loader_flags = 24;
    if (make_is(s, "SONY") && s.bits_per_sample <= 13 && bytes == w * h * 2) s.bits_per_sample = 14;
    if (bytes * 5 == w * h * 8) {
        s.loader_flags = 81;
        s.bits_per_sample = 12;
    }
    by_bits(s, r, w, h);
}

void sony_loader(DecoderState& s, const ifd_record& r, uint64_t w, uint64_t h) {
    uint64_t bytes = r.byte_count;
    if (bytes == w * h) {
        s.bits_per_sample = 12;
        s.white_level = 4095;
        s.raw_loader = sony_arw2_load_raw;
    } else if (make_begins_caseless(s, "Sony") && bytes == w * h * 2) {
        s.bits_per_sample = 14;
        s.raw_loader = plain_words_load_raw;
    } else if (bytes * 8 == w * h * s.bits_per_sample) {
        s.loader_flags = 80;
        by_bits(s, r, w, h);
    } else {
        s.sensor_height = uint16_t(s.sensor_height + 8);
        s.raw_loader = sony_huffman_load_raw;
    }
}

void nikon_loader(DecoderState& s, const ifd_record& r, uint64_t w, uint64_t h) {
    uint64_t bytes = r.byte_count, bits = s.bits_per_sample;
    if ((w + 9) / 10 * 16 * h == bytes) {
        s.raw_loader = packed_bits_load_raw;
        s.loader_flags = 1;
    } else if (bytes * 2 == w * h * 3) {
        s.raw_loader = packed_bits_load_raw;
        if (s.camera_model[0] == 'N') s.loader_flags = 80;
    } else if (bytes == w * h * 3) {
        s.raw_loader = ycbcr12_pair_load_raw;
        build_gamma_curve(s, 1 / 2.4f, 12.92f, 1, 4095);
        std::memset(s.channel_black, 0, sizeof s.channel_black);
        s.cfa_pattern = 0;
    } else if (bytes == w * h * 2) {
        s.raw_loader = plain_words_load_raw;
        s.loader_flags = 4;
        s.byte_order = 0x4D4D;
    } else if (bytes == w * h * bits / 8) {
        s.raw_loader = packed_bits_load_raw;
    } else if (bytes == h * (w * bits / 8 + 8) || bytes == h * (w * bits / 8 + 12)) {
        s.raw_loader = nikon_14bit_load_raw;
    } else {
        s.raw_loader = nikon_compressed_load_raw;
    }
}

void kodak_loader(DecoderState& s, const ifd_record& r) {
    switch (r.photometric) {
    case 32803:
        s.raw_loader = kodak_block_load_raw;
        break;
    case 6:
        s.raw_loader = kodak_ycc_load_raw;
        s.cfa_pattern = 0;
        break;
    case 2:
        s.raw_loader = kodak_rgb_blocks_load_raw;
        s.cfa_pattern = 0;
        break;
    default:
        break;
    }
}

void choose_loader(DecoderState& s, const ifd_record& r) {
    uint64_t w = s.sensor_width, h = s.sensor_height;
    switch (s.compression_code) {
    case 0:
    case 1:
        uncompressed_loader(s, r, w, h);
        break;
    case 32767:
        sony_loader(s, r, w, h);
        break;
    case 32769:
        s.loader_flags++;
        [[fallthrough]];
    case 32770:
    case 32773:
        by_bits(s, r, w, h);
        break;
    case 6:
    case 7:
    case 99:
        s.raw_loader = ljpeg_sensor_load_raw;
        if (!s.dng_version_word && make_is(s, "SONY") && s.compression_code == 6)
            s.raw_loader = ljpeg_2x2_tiles_load_raw;
        break;
    case 262:
        s.raw_loader = kodak_262_load_raw;
        break;
    case 34713:
        nikon_loader(s, r, w, h);
        break;
    case 65000:
        kodak_loader(s, r);
        break;
    case 65535:
        s.raw_loader = huffman_delta_load_raw;
        break;
    case 32867:
    case 34892:
        break;
    default:
        s.raw_count = 0;
        break;
    }
}

void refuse_non_raw(DecoderState& s, const ifd_record* raw) {
    if (s.dng_version_word) return;
    bool rgb = s.samples_per_pixel == 3 && raw && raw->byte_count && s.bits_per_sample != 14 &&
               (s.compression_code & ~15u) != 32768;
    bool eight = s.bits_per_sample == 8 && !text_begins(s.camera_make, "Phase") &&
                 !find_text_caseless(s.camera_make, "Kodak") && !std::strstr(s.model_text_2, "DEBUG RAW");
    if (rgb || eight) s.raw_count = 0;
}

void choose_thumbnail(DecoderState& s, int raw, uint32_t max_samples) {
    int thumb = -1;
    for (uint32_t i = 0; i < s.ifd_count; ++i) {
        const ifd_record& r = s.ifd_table[i];
        if (int(i) == raw || r.samples_per_pixel != max_samples || r.compression == 34892) continue;
        uint64_t bits = r.bits_per_sample, misc = s.thumbnail_misc;
        if (uint64_t(r.width) * r.height / (bits * bits + 1) <=
            uint64_t(s.thumbnail_width) * s.thumbnail_height / (misc * misc + 1))
            continue;
        s.thumbnail_width = uint16_t(r.width);
        s.thumbnail_height = uint16_t(r.height);
        s.thumbnail_offset = r.data_offset;
        s.thumbnail_length = r.byte_count;
        s.thumbnail_misc = r.bits_per_sample;
        thumb = int(i);
    }
    if (thumb < 0) return;
    const ifd_record& t = s.ifd_table[thumb];
    s.thumbnail_misc |= t.samples_per_pixel << 5;
    switch (t.compression) {
    case 0:
        s.thumbnail_writer = layer_thumb;
        break;
    case 1:
        if (t.bits_per_sample <= 8)
            s.thumbnail_writer = ppm_thumb;
        else if (make_is(s, "Imacon"))
            s.thumbnail_writer = ppm16_thumb;
        else
            s.thumbnail_loader = rgb_shorts_load_raw;
        break;
    case 65000:
        s.thumbnail_loader = t.photometric == 6 ? kodak_ycc_load_raw : kodak_rgb_blocks_load_raw;
        break;
    default:
        break;
    }
}

} // namespace

void choose_raw_ifd(DecoderState& s) {
    read_thumbnail_frame(s);
    spread_exposure_times(s);
    uint32_t max_samples = 0, ties = 0;
    int raw = pick_raw_record(s, max_samples, ties);
    if (s.raw_count == 1 && ties) s.raw_count = ties;
    if (!s.tiff_tile_width) s.tiff_tile_width = INT_MAX;
    if (!s.tiff_tile_length) s.tiff_tile_length = INT_MAX;
    for (uint32_t i = s.ifd_count; i--;)
        if (s.ifd_table[i].orientation) s.tiff_orientation = int32_t(s.ifd_table[i].orientation);
    const ifd_record* winner = raw >= 0 ? &s.ifd_table[raw] : nullptr;
    if (winner && !s.raw_loader) choose_loader(s, *winner);
    refuse_non_raw(s, winner);
    choose_thumbnail(s, raw, max_samples);
}

} // namespace raw
