// The TIFF directory chain and the tags that describe an image directory.
#include "raw/tiff/TiffDirectory.h"

#include <cstring>
#include <strings.h>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/core/TextSearch.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"
#include "raw/tiff/TiffReading.h"
#include "raw/tiff/exifEngine.h"

namespace raw {
namespace {

constexpr uint32_t kMaxDirectoryEntries = 512;

// Files written by these programs are conversions, not camera originals.
bool written_by_converter(const char* software) {
    static const char* const converters[] = {"Adobe",  "dcraw",      "UFRaw",
                                             "Bibble", "Nikon Scan", "Digital Photo Professional"};
    for (const char* name : converters)
        if (text_begins(software, name)) return true;
    return false;
}

// A strip that starts with a lossless JPEG frame gives the record its real geometry.
void probe_ljpeg_strip(DecoderState& s, TiffDirectoryContext& d) {
    ifd_record& r = d.record(s);
    if (r.bits_per_sample || r.data_offset == 0 || !seek_inside(s, r.data_offset)) return;
    ljpeg_header jh{};
    if (!ljpeg_start(s, jh, 1)) return;
    bool sony = !s.dng_version_word && !strcasecmp(s.camera_make, "SONY");
    if (sony && r.photometric == 32803 && r.compression == 7) {
        r.compression = 6;
        r.bits_per_sample = uint32_t(jh.bits);
        r.samples_per_pixel = 1;
    } else {
        r.compression = 6;
        r.width = uint32_t(jh.wide);
        r.height = uint32_t(jh.high);
        r.bits_per_sample = uint32_t(jh.bits);
        r.samples_per_pixel = uint32_t(jh.components);
        bool even = (jh.components & 1) == 0;
        if (even && !jh.small_raw) r.width *= uint32_t(jh.components);
        if (even && r.width > 4 * uint64_t(r.height)) {
            r.width /= 2;
            r.height *= 2;
        }
    }
    ByteOrderKeeper keep(s);
    parse_tiff_file(s, int64_t(r.data_offset) + 12);
}

void set_data_offset(DecoderState& s, TiffDirectoryContext& d) {
    d.record(s).data_offset = uint32_t(d.base + int64_t(read_u32(s)));
    probe_ljpeg_strip(s, d);
}

void parse_sub_directories(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    if (!strcmp(s.camera_model, "DSLR-A100") && d.record(s).width == 3872) {
        s.raw_loader = sony_huffman_load_raw;
        s.sensor_data_offset = uint64_t(d.base + int64_t(read_u32(s)));
        if (++d.ifd >= kMaxIfds) decoder_fail(s, "%s", "Raw format corrupt");
        return;
    }
    for (uint32_t i = 0; i < e.count; ++i) {
        int64_t here = file_position(s);
        if (!seek_inside(s, d.base + int64_t(read_u32(s)))) break;
        if (parse_tiff_directory(s, d.base)) break;
        seek_to(s, here + 4);
    }
}

// Pointer tags to directories of other kinds.
bool apply_pointer_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    switch (e.tag) {
    case 330:
        parse_sub_directories(s, d, e);
        return true;
    case 33424:
    case 65024:
        if (seek_inside(s, d.base + int64_t(read_u32(s)))) parse_kodak_directory(s, d.base);
        return true;
    case 34665:
        if (seek_inside(s, d.base + int64_t(read_u32(s)))) parse_exif_ifd(s, d.base);
        return true;
    case 34853:
        if (seek_inside(s, d.base + int64_t(read_u32(s)))) parse_gps_ifd(s, d.base);
        return true;
    case 61440:
        if (seek_inside(s, d.base + int64_t(read_u32(s)))) parse_tiff_directory(s, d.base);
        return true;
    default:
        return false;
    }
}

bool apply_text_tag(DecoderState& s, const tiff_entry& e) {
    switch (e.tag) {
    case 11:
    case 305: {
        char software[64];
        read_line(s, software, sizeof software);
        if (written_by_converter(software)) s.raw_count = 0;
        return true;
    }
    case 270:
        read_fixed_text(s, s.description_text, sizeof s.description_text);
        return true;
    case 271:
        read_line(s, s.camera_make, sizeof s.camera_make);
        return true;
    case 272:
        read_line(s, s.camera_model, sizeof s.camera_model);
        return true;
    case 306:
        read_timestamp(s, 0);
        return true;
    case 315:
        read_fixed_text(s, s.artist_text, sizeof s.artist_text);
        return true;
    case 33405:
        read_line(s, s.model_text_2, sizeof s.model_text_2);
        return true;
    default:
        return false;
    }
}

void set_sample_format(DecoderState& s, ifd_record& r, const tiff_entry& e) {
    r.samples_per_pixel = e.count & 7;
    r.bits_per_sample = read_int_by_type(s, e.type);
    if (r.bits_per_sample > 32) r.bits_per_sample = 8;
    if (s.bits_per_sample < r.bits_per_sample) s.bits_per_sample = r.bits_per_sample;
}

void set_tile_offsets(DecoderState& s, ifd_record& r, const tiff_entry& e) {
    if (e.count > 1) {
        r.data_offset = uint32_t(file_position(s));
    } else {
        r.data_offset = read_u32(s);
        r.tile_width = r.tile_length = 0;
    }
    if (e.count == 4) {
        s.raw_loader = sinar_4shot_load_raw;
        s.raw_count = 5;
    }
}

} // namespace

bool text_begins(const char* text, const char* prefix) { return !strncmp(text, prefix, strlen(prefix)); }

bool apply_image_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    if (apply_text_tag(s, e) || apply_pointer_tag(s, d, e)) return true;
    ifd_record& r = d.record(s);
    switch (e.tag) {
    case 2:
    case 256:
    case 61441:
        r.width = read_int_by_type(s, e.type);
        return true;
    case 3:
    case 257:
    case 61442:
        r.height = read_int_by_type(s, e.type);
        return true;
    case 258:
    case 61443:
        set_sample_format(s, r, e);
        return true;
    case 259:
        r.compression = read_int_by_type(s, e.type);
        return true;
    case 262:
        r.photometric = read_int_by_type(s, e.type);
        return true;
    case 274:
        r.orientation = uint32_t(tiff_orientation_code(read_u16(s)));
        return true;
    case 277:
        r.samples_per_pixel = read_int_by_type(s, e.type) & 7;
        return true;
    case 279:
    case 514:
    case 61448:
        r.byte_count = read_u32(s);
        return true;
    case 280:
        if (e.type != 4) return true;
        s.raw_loader = panasonic_blocks_load_raw;
        s.loader_flags = 0x2008;
        set_data_offset(s, d);
        return true;
    case 273:
    case 513:
    case 61447:
        set_data_offset(s, d);
        return true;
    case 291:
        build_linear_table(s, e.count);
        return true;
    case 322:
        r.tile_width = read_int_by_type(s, e.type);
        return true;
    case 323:
        r.tile_length = read_int_by_type(s, e.type);
        return true;
    case 324:
        set_tile_offsets(s, r, e);
        return true;
    case 33434:
        s.exposure_time = r.exposure_time = read_real_by_type(s, e.type);
        return true;
    case 33437:
        s.f_number = read_real_by_type(s, e.type);
        return true;
    case 34675:
    case 50831:
        s.profile_offset = uint64_t(file_position(s));
        s.profile_length = e.count;
        return true;
    case 37122:
        s.kodak_bits_code = read_int_by_type(s, e.type);
        return true;
    case 37386:
        s.focal_length_mm = read_real_by_type(s, e.type);
        return true;
    case 37393:
        s.shot_order = read_int_by_type(s, e.type);
        return true;
    case 51009:
        s.maker_data_offset = uint64_t(file_position(s));
        return true;
    default:
        return false;
    }
}

int parse_tiff_file(DecoderState& s, int64_t base) {
    NestingGuard depth(s);
    if (!depth.ok || !seek_inside(s, base)) return 0;
    s.byte_order = read_u16(s);
    if (s.byte_order != kLittleEndian && s.byte_order != kBigEndian) return 0;
    read_u16(s);
    while (uint32_t offset = read_u32(s)) {
        if (!seek_inside(s, base + int64_t(offset))) break;
        if (parse_tiff_directory(s, base)) break;
    }
    return 1;
}

namespace {

void hand_to_metadata(DecoderState& s, const tiff_entry& e) {
    if (!s.metadata_engine) return;
    // A nested directory may have switched the engine to another byte order.
    s.metadata_engine->setByteOrder(s.byte_order == kLittleEndian);
    s.metadata_engine->addTag(s.input_file, e.tag, e.type, e.count, false);
}

} // namespace

int parse_tiff_directory(DecoderState& s, int64_t base) {
    NestingGuard depth(s);
    if (!depth.ok || s.ifd_count >= uint32_t(kMaxIfds)) return 1;
    TiffDirectoryContext d;
    d.base = base;
    d.ifd = int(s.ifd_count++);
    uint32_t entries = read_u16(s);
    if (entries > kMaxDirectoryEntries) return 1;
    entries = take_entries(s, entries);
    if (s.metadata_engine) s.metadata_engine->setByteOrder(s.byte_order == kLittleEndian);
    while (entries--) {
        tiff_entry e = read_tag_header(s, base);
        hand_to_metadata(s, e);
        if (e.in_file && !apply_image_tag(s, d, e) && !apply_dng_tag(s, d, e)) apply_vendor_tag(s, d, e);
        seek_to(s, e.next);
    }
    int64_t after_entries = file_position(s);
    parse_sony_private(s, d);
    finish_dng_colour(s, d.colour);
    seek_to(s, after_entries);
    return 0;
}

} // namespace raw
