// Maker notes: where each maker's note keeps its directory, and the walk over its entries.
#include <algorithm>
#include <cstring>

#include "raw/core/InputReaders.h"
#include "raw/core/TextSearch.h"
#include "raw/tiff/MakerNote.h"
#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

constexpr uint32_t kMaxNoteEntries = 2000;

bool header_is(const MakerNoteContext& note, const char* text, size_t length) {
    return !std::memcmp(note.header, text, length);
}

// Notes of a few old cameras are no directory: multipliers are found by their shape.
void scan_white_balance_words(DecoderState& s, int64_t start) {
    ByteOrderKeeper keep(s);
    s.byte_order = kBigEndian;
    seek_to(s, start);
    int64_t end = std::min<int64_t>(16384, file_length(s));
    uint16_t w[4] = {};
    while (file_position(s) < end) {
        w[0] = w[1];
        w[1] = w[2];
        w[2] = w[3];
        w[3] = read_u16(s);
        if (w[2] == 256 && w[3] == 256 && w[0] > 256 && w[0] < 640 && w[1] > 256 && w[1] < 640) {
            s.as_shot_multipliers[0] = w[0];
            s.as_shot_multipliers[1] = 256;
            s.as_shot_multipliers[2] = w[1];
            s.as_shot_multipliers[3] = 256;
        }
    }
}

// Positions the file at the note's directory and sets its byte order and base; false
// when the note has no directory to walk.
bool locate_directory(DecoderState& s, MakerNoteContext& note, int64_t start) {
    const MakerNoteContext& n = note;
    if (header_is(n, "KDK", 3) || header_is(n, "VER", 3) || header_is(n, "IIII", 4) ||
        header_is(n, "MMMM", 4))
        return false;
    if (header_is(n, "KC", 2) || header_is(n, "MLY", 3)) {
        scan_white_balance_words(s, start);
        return false;
    }
    if (header_is(n, "Nikon", 6)) {
        note.base = start + 10;
        s.byte_order = read_u16(s);
        if (read_u16(s) != 42) return false;
        return seek_inside(s, note.base + int64_t(read_u32(s)));
    }
    if (header_is(n, "OLYMPUS", 8) || header_is(n, "PENTAX ", 8)) {
        note.base = start;
        s.byte_order = bytes_u16(s, reinterpret_cast<const uint8_t*>(n.header + 8));
        seek_to(s, start + (n.header[0] == 'O' ? 12 : 10));
        return true;
    }
    if (header_is(n, "SONY", 4) || header_is(n, "Panasonic", 10) || header_is(n, "FUJIFILM", 8)) {
        if (n.header[0] == 'F') note.base = start;
        s.byte_order = kLittleEndian;
        seek_to(s, start + 12);
        return true;
    }
    if (header_is(n, "OLYMP", 5) || header_is(n, "LEICA", 5) || header_is(n, "Ricoh", 5) ||
        header_is(n, "EPSON", 5)) {
        seek_to(s, start + 8);
        return true;
    }
    if (header_is(n, "AOC", 4) || header_is(n, "QVC", 4)) {
        seek_to(s, start + 6);
        return true;
    }
    if (header_is(n, "CMT3", 4)) {
        s.byte_order = bytes_u16(s, reinterpret_cast<const uint8_t*>(n.header + 4));
        seek_to(s, start + 12);
        return true;
    }
    // No known header: the directory starts with the note.
    if (find_text_caseless(s.camera_make, "Samsung") == s.camera_make) note.base = start;
    seek_to(s, start);
    return true;
}

} // namespace

void parse_maker_note(DecoderState& s, int64_t base, uint32_t parent_tag) {
    NestingGuard depth(s);
    if (!depth.ok || !std::strcmp(s.camera_make, "Nokia")) return;
    ByteOrderKeeper keep(s);
    MakerNoteContext note;
    note.base = base;
    note.parent_tag = parent_tag;
    int64_t start = file_position(s);
    if (std::fread(note.header, 1, sizeof note.header, s.input_file) != sizeof note.header) return;
    if (!locate_directory(s, note, start)) return;
    uint32_t entries = read_u16(s);
    if (entries > kMaxNoteEntries) return;
    entries = take_entries(s, entries);
    while (entries--) {
        tiff_entry e = read_tag_header(s, note.base);
        if (e.in_file) apply_maker_note_tag(s, note, parent_tag << 16 | e.tag, e);
        seek_to(s, e.next);
    }
}

void parse_thumbnail_note(DecoderState& s, int64_t base, uint32_t offset_tag, uint32_t length_tag) {
    uint32_t entries = read_u16(s);
    if (entries > kMaxNoteEntries) return;
    entries = take_entries(s, entries);
    while (entries--) {
        tiff_entry e = read_tag_header(s, base);
        if (e.tag == offset_tag) s.thumbnail_offset = uint64_t(base + int64_t(read_u32(s)));
        if (e.tag == length_tag) s.thumbnail_length = read_u32(s);
        seek_to(s, e.next);
    }
}

} // namespace raw
