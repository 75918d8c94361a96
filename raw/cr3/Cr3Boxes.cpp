// The box tree of a CR3 file: metadata blocks, tracks and their CMP1 headers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "raw/core/InputReaders.h"
#include "raw/cr3/Cr3.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kContainers[] = {
    "dinf", "edts", "fiin", "ipro", "iprp", "mdia", "meco", "mere", "mfra", "minf", "moof", "moov", "mvex",
    "paen", "schi", "sinf", "skip", "stbl", "stsd", "strk", "tapt", "traf", "trak", "CCTP", "CRAW"};

constexpr uint8_t kCanonUuid[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                    0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};

constexpr auto kStbl = "moovtrakmdiaminfstbl"sv;
constexpr auto kStsd = "moovtrakmdiaminfstblstsd"sv;
constexpr auto kCraw = "moovtrakmdiaminfstblstsdCRAW"sv;

struct Box {
    uint64_t start, payload, end;
    char type[5];
    uint64_t size() const { return end - payload; }
};

bool is_container(std::string_view type) {
    return std::find(std::begin(kContainers), std::end(kContainers), type) != std::end(kContainers);
}

// Reads `count` bytes at `position`; false when the file has fewer.
bool read_at(DecoderState& s, uint64_t position, void* to, size_t count) {
    if (!seek_inside(s, int64_t(position))) return false;
    return std::fread(to, 1, count, s.input_file) == count;
}

// The header of the box at `at`: 1 read, 0 none fits (the walk ends), or a walk result.
int read_box(DecoderState& s, uint64_t at, uint64_t end, int level, Box& box) {
    uint8_t head[8];
    if (!read_at(s, at, head, 8)) return 0;
    s.byte_order = kBigEndian;
    uint64_t size = bytes_u32(s, head);
    std::memcpy(box.type, head + 4, 4);
    box.type[4] = 0;
    box.start = at;
    box.payload = at + 8;
    if (size == 1) {
        if (at + 16 > end) return kCr3LongHeader;
        const uint64_t high = read_u32(s);
        size = high << 32 | read_u32(s);
        box.payload = at + 16;
    } else if (size == 0) {
        if (level) return kCr3ZeroSize;
        size = end - at;
    }
    // A size short of its own header would never advance; one past the range is cut to it.
    if (size < box.payload - at) return 0;
    box.end = size > end - at ? end : at + size;
    return box.payload <= box.end ? 1 : 0;
}

int descend(DecoderState& s, uint64_t from, const Box& box, int level, cr3_walk& walk) {
    if (from > box.end) return kCr3Ok;
    return parse_cr3_boxes(s, from, box.end - from, level, walk);
}

// A TIFF block at the box's payload; leaves the file at its first directory.
bool seek_tiff_block(DecoderState& s, const Box& box) {
    uint8_t head[8];
    if (box.size() < 8 || !read_at(s, box.payload, head, 8)) return false;
    if (head[0] != head[1] || (head[0] != 'I' && head[0] != 'M')) return false;
    s.byte_order = uint16_t(head[0] << 8 | head[1]);
    const uint64_t first = bytes_u32(s, head + 4);
    if (bytes_u16(s, head + 2) != 42 || first + 2 > box.size()) return false;
    return seek_inside(s, int64_t(box.payload + first));
}

int metadata_block(DecoderState& s, const Box& box, std::string_view type) {
    if (type == "CMT1") {
        if (!seek_tiff_block(s, box)) return kCr3BadCmt1;
        parse_tiff_directory(s, int64_t(box.payload));
    } else if (type == "CMT2") {
        if (!seek_tiff_block(s, box)) return kCr3BadCmt2;
        parse_exif_ifd(s, int64_t(box.payload));
    } else if (type == "CMT3") {
        if (!seek_tiff_block(s, box)) return kCr3BadCmt34;
        // The note's own header is the box type followed by the block's byte-order mark.
        seek_to(s, int64_t(box.payload) - 4);
        parse_maker_note(s, int64_t(box.payload), 0);
    } else if (type == "CMT4") {
        if (!seek_tiff_block(s, box)) return kCr3BadCmt34;
        parse_gps_ifd(s, int64_t(box.payload));
    }
    return kCr3Ok;
}

int handler_code(const char* type) {
    static constexpr std::string_view kHandlers[] = {"soun", "vide", "hint", "meta"};
    for (int i = 0; i < 4; ++i)
        if (kHandlers[i] == std::string_view(type, 4)) return i + 1;
    return 0;
}

int sample_description(DecoderState& s, const Box& box, int level, cr3_walk& walk) {
    char type[5] = {};
    if (box.size() < 16 || !read_at(s, box.payload + 12, type, 4)) return kCr3ShortPayload;
    std::memcpy(walk.sample_type[walk.track], type, 5);
    if (walk.handler != 2 || std::string_view(type) != "CRAW") return kCr3Ok;
    if (box.size() < 44) return kCr3ShortCraw;
    return descend(s, box.payload + 8, box, level, walk);
}

int compression_header(DecoderState& s, const Box& box, cr3_walk& walk) {
    uint8_t header[kCmp1HeaderSize];
    if (box.size() < 40 || !read_at(s, box.payload, header, sizeof header)) return kCr3ShortPayload;
    cr3_track_record& track = s.cr3_tracks[walk.track];
    if (read_cmp1_header(header, track)) track.media_kind = 1;
    return kCr3Ok;
}

int sample_size(DecoderState& s, const Box& box, cr3_walk& walk) {
    if (box.size() != 12 && box.size() != 16) return kCr3BadStsz;
    uint8_t value[4];
    if (!read_at(s, box.payload + (box.size() == 12 ? 4 : 12), value, 4)) return kCr3BadStsz;
    s.cr3_tracks[walk.track].media_size = bytes_u32(s, value);
    return kCr3Ok;
}

int chunk_offset(DecoderState& s, const Box& box, cr3_walk& walk) {
    uint8_t value[8];
    if (box.size() != 16 || !read_at(s, box.payload + 8, value, 8)) return kCr3BadCo64;
    s.cr3_tracks[walk.track].media_offset = uint64_t(bytes_u32(s, value)) << 32 | bytes_u32(s, value + 4);
    return kCr3Ok;
}

// Timed metadata is read once its track has both a size and an offset.
int timed_metadata(DecoderState& s, cr3_walk& walk) {
    const cr3_track_record& track = s.cr3_tracks[walk.track];
    if (walk.timed_metadata_read[walk.track] || !track.media_size || !track.media_offset ||
        walk.handler != 4 || std::string_view(walk.sample_type[walk.track]) != "CTMD")
        return kCr3Ok;
    walk.timed_metadata_read[walk.track] = true;
    return parse_cr3_timed_metadata(s, track);
}

// Boxes under a track's sample table.
int track_box(DecoderState& s, const Box& box, std::string_view path, int level, cr3_walk& walk) {
    const std::string_view parent = path.substr(0, path.size() - 4), type = path.substr(path.size() - 4);
    if (path == kStsd) return sample_description(s, box, level, walk);
    if (path == kCraw) return descend(s, box.payload + 82, box, level, walk);
    if (parent == kCraw && type == "CMP1") return compression_header(s, box, walk);
    if (parent == kCraw && type == "JPEG") s.cr3_tracks[walk.track].media_kind = 2;
    if (parent == kStbl && (type == "stsz" || type == "co64")) {
        const int result = type == "stsz" ? sample_size(s, box, walk) : chunk_offset(s, box, walk);
        return result ? result : timed_metadata(s, walk);
    }
    return is_container(type) ? descend(s, box.payload, box, level, walk) : kCr3Ok;
}

int walk_box(DecoderState& s, const Box& box, int level, cr3_walk& walk) {
    const std::string_view path(walk.path, size_t(level + 1) * 4), type(box.type, 4);
    if (path == "moovuuid") {
        uint8_t id[16];
        if (box.size() < 16 || !read_at(s, box.payload, id, 16) || std::memcmp(id, kCanonUuid, 16))
            return kCr3Ok;
        return descend(s, box.payload + 16, box, level, walk);
    }
    if (path == "moovuuidCCTP") return descend(s, box.payload + 12, box, level, walk);
    if (level == 2 && path.starts_with("moovuuid")) return metadata_block(s, box, type);
    if (path == "moovtrakmdiahdlr") {
        char handler[4];
        if (read_at(s, box.payload + 8, handler, 4)) walk.handler = handler_code(handler);
        return kCr3Ok;
    }
    if (walk.track > 0 && path.size() > kStbl.size() && path.starts_with(kStbl))
        return track_box(s, box, path, level, walk);
    return is_container(type) ? descend(s, box.payload, box, level, walk) : kCr3Ok;
}

} // namespace

int parse_cr3_boxes(DecoderState& s, uint64_t start, uint64_t length, int depth, cr3_walk& walk) {
    const int level = depth + 1;
    if (level > kCr3MaxDepth - 1) return kCr3TooDeep;
    ByteOrderKeeper keep(s);
    const uint64_t end = start + length;
    for (uint64_t at = start; at + 8 <= end;) {
        Box box;
        const int read = read_box(s, at, end, level, box);
        if (read <= 0) return read;
        std::memcpy(walk.path + level * 4, box.type, 5);
        if (std::string_view(box.type) == "trak") {
            walk.handler = 0;
            if (++walk.track >= kCr3MaxTracks) return kCr3Ok;
        }
        if (const int result = walk_box(s, box, level, walk)) return result;
        at = box.end;
    }
    return kCr3Ok;
}

} // namespace raw
