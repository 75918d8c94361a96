// The timed-metadata track of a CR3 file: little-endian records whose items may hold a
// TIFF-headed maker note with the shot's colour data.
#include "raw/core/InputReaders.h"
#include "raw/cr3/Cr3.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

constexpr uint64_t kRecordHeader = 12; // size, type and six bytes the decoder has no use for
constexpr uint64_t kItemHeader = 8;
constexpr uint32_t kMakerNoteTag = 37500;

// The note's directory sits behind its own TIFF header, which the note parser does not
// expect: it is read here and the parser is started at the directory.
int maker_note(DecoderState& s, uint64_t note, uint64_t end) {
    if (note + 8 > end || !seek_inside(s, int64_t(note))) return kCr3BadRecordData;
    const uint16_t order = read_u16(s);
    if (order != kLittleEndian && order != kBigEndian) return kCr3BadRecordData;
    s.byte_order = order;
    const uint16_t magic = read_u16(s);
    const uint64_t first = read_u32(s);
    if (magic != 42 || note + first + 2 > end) return kCr3BadRecordData;
    seek_to(s, int64_t(note + first));
    parse_maker_note(s, int64_t(note), 0);
    return kCr3Ok;
}

int record_items(DecoderState& s, uint64_t at, uint64_t end, uint16_t type) {
    while (at + kItemHeader <= end) {
        seek_to(s, int64_t(at));
        s.byte_order = kLittleEndian;
        const uint64_t size = read_u32(s);
        const uint32_t tag = read_u32(s);
        if (size < kItemHeader || size > end - at) return kCr3BadRecordItem;
        if (tag == kMakerNoteTag && type != 9)
            if (const int result = maker_note(s, at + kItemHeader, at + size)) return result;
        at += size;
    }
    return kCr3Ok;
}

} // namespace

int parse_cr3_timed_metadata(DecoderState& s, const cr3_track_record& track) {
    const uint64_t start = track.media_offset, length = uint64_t(file_length(s));
    if (start > length || track.media_size > length - start) return kCr3BadRecord;
    ByteOrderKeeper keep(s);
    const uint64_t end = start + track.media_size;
    for (uint64_t at = start; at + kRecordHeader <= end;) {
        seek_to(s, int64_t(at));
        s.byte_order = kLittleEndian;
        const uint64_t size = read_u32(s);
        const uint16_t type = read_u16(s);
        if (size < kRecordHeader || size > end - at) return kCr3BadRecord;
        if (type >= 7 && type <= 9)
            if (const int result = record_items(s, at + kRecordHeader, at + size, type)) return result;
        at += size;
    }
    return kCr3Ok;
}

} // namespace raw
