#include <algorithm>
#include <cstring>
#include <string_view>

#include "raw/colour/CameraColour.h"
#include "raw/containers/Containers.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/cr3/Cr3.h"
#include "raw/identify/Identify.h"
#include "raw/identify/IdentifyReading.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffParser.h"

namespace raw {
namespace {

using namespace std::string_view_literals;

constexpr uint32_t kPattern61 = 0x61616161;

// The first bytes of the file and what identification reads around them.
struct FileHead {
    uint8_t bytes[32] = {};
    uint32_t length_word = 0; // the 32-bit word after the byte-order mark
    uint64_t file_length = 0;

    // Bytes from `position` on are `text` (which may hold NULs).
    bool has(size_t position, std::string_view text) const {
        return position + text.size() <= sizeof bytes &&
               std::memcmp(bytes + position, text.data(), text.size()) == 0;
    }
    // The header read as a text is exactly `text`.
    bool is(std::string_view text) const {
        return text.size() < sizeof bytes && has(0, text) && !bytes[text.size()];
    }
    // Position of `text` within the 32 bytes, or -1.
    int find(std::string_view text) const {
        auto at = std::search(bytes, bytes + sizeof bytes, text.begin(), text.end());
        return at == bytes + sizeof bytes ? -1 : int(at - bytes);
    }
};

FileHead read_head(DecoderState& s) {
    FileHead head;
    seek_to(s, 0);
    s.byte_order = read_u16(s);
    head.length_word = read_u32(s);
    seek_to(s, 0);
    if (std::fread(head.bytes, 1, sizeof head.bytes, s.input_file) < sizeof head.bytes)
        std::clearerr(s.input_file);
    head.file_length = input_length(s);
    return head;
}

void parse_tiff_and_choose(DecoderState& s, uint64_t base) {
    if (parse_tiff_file(s, base)) choose_raw_ifd(s);
}

void name_camera(DecoderState& s, const char* make, const char* model) {
    set_text(s.camera_make, make);
    set_text(s.camera_model, model);
}

uint32_t read_u32_at(DecoderState& s, uint64_t offset) {
    seek_to(s, offset);
    return read_u32(s);
}

// Phase One backs: "MMMM" or "IIII" somewhere in the first bytes.
bool phase_one(DecoderState& s, const FileHead& head) {
    int at = head.find("MMMM"sv);
    if (at < 0) at = head.find("IIII"sv);
    if (at < 0) return false;
    parse_phase_one_header(s, uint64_t(at));
    if (at != 0) parse_tiff_and_choose(s, 0);
    return true;
}

bool tiff_or_ciff(DecoderState& s, const FileHead& head) {
    if (s.byte_order != kLittleEndian && s.byte_order != kBigEndian) return false;
    if (!head.has(6, "HEAPCCDR"sv)) {
        parse_tiff_and_choose(s, 0);
        return true;
    }
    s.sensor_data_offset = head.length_word;
    // A heap that would start past the end of the file has nothing to walk.
    if (head.length_word <= head.file_length)
        parse_ciff_heap(s, head.length_word, head.file_length - head.length_word, 0);
    s.raw_loader = canon_crw_load_raw;
    return true;
}

// A JPEG whose EXIF block carries the raw metadata.
void exif_jpeg(DecoderState& s, const FileHead& head) {
    s.sensor_data_offset = 4 + (head.bytes[4] << 8 | head.bytes[5]); // JPEG lengths are big endian
    seek_to(s, s.sensor_data_offset);
    if (std::fgetc(s.input_file) != 0xFF) parse_tiff_file(s, 12);
    s.thumbnail_offset = 0;
}

void contax(DecoderState& s) {
    name_camera(s, "Contax", "N Digital");
    seek_to(s, 33);
    read_timestamp(s, 0);
    seek_to(s, 60);
    for (int c = 0; c < 4; ++c)
        s.as_shot_multipliers[c ^ (c >> 1)] = float(read_u32(s));
}

void fujifilm(DecoderState& s, const FileHead& head) {
    // The RAF header's words are big endian whatever the parsers below leave behind.
    s.byte_order = kBigEndian;
    seek_to(s, 84);
    s.thumbnail_offset = read_u32(s);
    s.thumbnail_length = read_u32(s);
    parse_fuji_raf(s, read_u32_at(s, 92));
    if (s.thumbnail_offset > 120) {
        s.byte_order = kBigEndian;
        const uint32_t second = read_u32_at(s, 120);
        s.raw_count += second & 1;
        if (s.raw_count == 2 && s.shot_index) parse_fuji_raf(s, second);
    }
    s.byte_order = kBigEndian;
    s.sensor_data_offset = read_u32_at(s, s.shot_index ? 128 : 100);
    parse_tiff_file(s, s.sensor_data_offset);
    parse_tiff_file(s, s.thumbnail_offset + 12);
    choose_raw_ifd(s);
    choose_fuji_loader(s, head.file_length);
}

void phone_raw(DecoderState& s) {
    seek_to(s, 6);
    read_text(s, s.camera_make, 8);
    read_text(s, s.camera_model, 8);
    read_text(s, s.model_text_2, 16);
    s.sensor_data_offset = read_u16(s);
    read_u16(s);
    s.sensor_width = read_u16(s);
    s.sensor_height = read_u16(s);
    s.raw_loader = nokia_load_raw;
    s.cfa_pattern = kPattern61;
}

void nokia_raw(DecoderState& s) {
    set_text(s.camera_make, "NOKIA");
    s.byte_order = kLittleEndian;
    seek_to(s, 300);
    s.sensor_data_offset = read_u32(s);
    const uint64_t size = read_u32(s);
    s.visible_width = read_u16(s);
    s.visible_height = read_u16(s);
    const uint64_t photosites = uint64_t(s.visible_width) * s.visible_height;
    const uint64_t bits = photosites ? size * 8 / photosites : 0; // an empty frame is as corrupt as no data
    if (bits == 0) decoder_fail(s, "%s", "Corrupt NokiaRaw file");
    s.bits_per_sample = uint32_t(std::min<uint64_t>(bits, 0xFFFF));
    if (bits == 8) s.raw_loader = eight_bit_load_raw;
    if (bits == 10) s.raw_loader = nokia_load_raw;
    const uint64_t row_bytes = s.visible_width * bits / 8;
    s.sensor_height = fit16(row_bytes ? size / row_bytes : 0);
    // Fewer stored rows than visible ones: the data cannot hold the image.
    if (s.sensor_height >= s.visible_height)
        s.margin_top = uint16_t(s.sensor_height - s.visible_height);
    else
        s.raw_count = 0;
    s.masked_areas[0][3] = 1;
    s.cfa_pattern = kPattern61;
}

void xpds(DecoderState& s) {
    s.byte_order = kLittleEndian;
    seek_to(s, 2048);
    read_text(s, s.camera_make, 41);
    s.sensor_height = read_u16(s);
    s.sensor_width = read_u16(s);
    fseeko(s.input_file, 56, SEEK_CUR);
    read_text(s, s.camera_model, 30);
    s.sensor_data_offset = 0x10000;
    s.raw_loader = three_per_word_load_raw;
    build_gamma_curve(s, 0, 12.25f, 1, 1023);
}

void arri(DecoderState& s) {
    s.byte_order = kLittleEndian;
    seek_to(s, 20);
    s.visible_width = fit16(read_u32(s));
    s.visible_height = fit16(read_u32(s));
    set_text(s.camera_make, "ARRI");
    seek_to(s, 668);
    read_text(s, s.camera_model, 64);
    s.sensor_data_offset = 4096;
    s.raw_loader = packed_bits_load_raw;
    s.loader_flags = 88;
    s.cfa_pattern = kPattern61;
}

void red_one(DecoderState& s) {
    name_camera(s, "Red", "One");
    seek_to(s, 0);
    parse_r3d_header(s);
    s.raw_loader = empty_loader; // refused later: its codec is not linked
    build_gamma_curve(s, 1 / 2.4f, 12.92f, 1, 4095);
    s.cfa_pattern = 0x49494949;
}

void quicktake(DecoderState& s, const char* model, Routine loader) {
    name_camera(s, "Apple", model);
    s.raw_loader = loader;
}

// Parsers that read their container from the file's start.
void from_start(DecoderState& s, void (*parser)(DecoderState&)) {
    seek_to(s, 0);
    parser(s);
}

void quicktime(DecoderState& s, uint64_t file_length) {
    seek_to(s, 0);
    parse_qt_boxes(s, file_length);
    s.raw_count = 0; // movies are not raw images
}

// Camera-specific headers: the first test that holds decides.
void dispatch_camera_header(DecoderState& s, const FileHead& head) {
    if (head.has(0, "\xFF\xD8\xFF\xE1"sv) && head.has(6, "Exif"sv))
        exif_jpeg(s, head);
    else if (head.has(25, "ARECOYK"sv))
        contax(s);
    else if (head.is("PXN"sv))
        name_camera(s, "Logitech", "Fotoman Pixtura");
    else if (head.is("qktk"sv))
        quicktake(s, "QuickTake 100", quicktake_100_load_raw);
    else if (head.is("qktn"sv))
        quicktake(s, "QuickTake 150", radc_load_raw);
    else if (head.has(0, "FUJIFILM"sv))
        fujifilm(s, head);
    else if (head.has(0, "RIFF"sv))
        from_start(s, parse_riff_chunks);
    else if (head.has(4, "ftypqt   "sv))
        quicktime(s, head.file_length);
    else if (head.has(0, "\x00\x01\x00\x01\x00\x40"sv))
        phone_raw(s);
    else if (head.has(0, "NOKIARAW"sv))
        nokia_raw(s);
    else if (head.has(0, "XPDS"sv))
        xpds(s);
    else if (head.has(0, "ARRI"sv))
        arri(s);
    else if (head.has(4, "RED1"sv))
        red_one(s);
    else if (head.has(0, "DSC-Image"sv))
        from_start(s, parse_rollei_header);
    else if (head.has(0, "FOVb"sv)) {
        // layered-photodiode files: known, but no make is set, so they end unread
    } else if (head.has(0, "\0MRM"sv))
        parse_minolta_mrm(s, 0);
    else if (head.has(0, "PWAD"sv))
        from_start(s, parse_sinar_ia_block);
    else if (head.has(0, "CI"sv))
        from_start(s, parse_cine_header);
    else if (head.has(4, "ftypcrx "sv))
        from_start(s, identify_cr3);
}

// Raspberry Pi camera files: a JPEG whose sensor data follows a "BRCMn" block at a fixed
// distance from the end.
void omnivision(DecoderState& s, uint64_t file_length) {
    constexpr uint64_t kFromEnd = 6404096;
    if (std::strncmp(s.camera_model, "ov", 2) != 0 && std::strncmp(s.camera_model, "RP_OV", 5) != 0) return;
    if (file_length < kFromEnd) return; // shorter than the block it would hold
    const uint64_t at = file_length - kFromEnd;
    char tag[33];
    seek_to(s, at);
    read_text(s, tag, 32);
    if (std::strcmp(tag, "BRCMn") != 0) return;
    set_text(s.camera_make, "OmniVision");
    s.sensor_data_offset = at + 32 + 32736;
    s.visible_width = s.sensor_width;
    s.sensor_width = 2611;
    s.raw_loader = nokia_load_raw;
    s.cfa_pattern = 0x16161616;
}

void run_fallbacks(DecoderState& s, uint64_t file_length) {
    parse_smal_header(s, 0, file_length);
    if (s.camera_make[0]) return;
    parse_jpeg_segments(s, 0);
    omnivision(s, file_length);
}

} // namespace

void choose_fuji_loader(DecoderState& s, uint64_t file_length) {
    const ifd_record& data = s.ifd_table[1];
    const uint64_t photosites = uint64_t(s.sensor_width) * s.sensor_height;
    if (data.width == s.sensor_width && data.height == s.sensor_height) {
        const uint64_t packed = photosites * s.bits_per_sample / 8;
        if (data.byte_count == photosites * 2) {
            s.raw_loader = plain_words_load_raw;
        } else if (data.byte_count + 1 >= packed && data.byte_count <= packed + 1) {
            s.raw_loader = packed_bits_load_raw;
            if (!s.loader_flags) s.loader_flags = 24;
        } else {
            s.raw_loader = fuji_compressed_load_raw;
        }
        return;
    }
    const uint64_t data_bytes = file_length > s.sensor_data_offset ? file_length - s.sensor_data_offset : 0;
    s.raw_loader = data_bytes >= photosites * 2 ? plain_words_load_raw : fuji_compressed_load_raw;
}

uint64_t recognise_container(DecoderState& s) {
    const FileHead head = read_head(s);
    if (!phase_one(s, head) && !tiff_or_ciff(s, head)) dispatch_camera_header(s, head);
    uint64_t kept_length = 0;
    if (!s.camera_make[0] && apply_file_size_table(s, head.file_length)) kept_length = head.file_length;
    if (!s.camera_make[0]) run_fallbacks(s, head.file_length);
    if (!s.camera_make[0]) s.raw_count = 0;
    return kept_length;
}

} // namespace raw
