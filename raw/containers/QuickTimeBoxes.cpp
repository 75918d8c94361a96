// QuickTime-style box trees: {32-bit big-endian size, 4-character type, payload}.
#include <cstdio>
#include <cstring>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffParser.h"

namespace raw {
namespace {

using namespace container_io;

// Each level costs a stack frame; real files nest a handful of levels.
constexpr int kMaxNesting = 64;
constexpr uint32_t kHeaderSize = 8;

struct Box {
    uint64_t start, end, payload;
    char type[5];

    bool is(const char* name) const { return std::memcmp(type, name, 4) == 0; }
};

// Reads the header of the box at the file position; false when none fits before `end`.
bool read_box(DecoderState& s, uint64_t end, Box& box) {
    s.byte_order = kBigEndian;
    box.start = tell(s);
    if (box.start + 7 >= end) return false;
    const uint32_t size = read_u32(s);
    if (size < kHeaderSize) return false; // a box that cannot hold its header ends the walk
    box.type[4] = 0;
    if (std::fread(box.type, 1, 4, s.input_file) != 4) return false;
    box.end = box.start + size;
    box.payload = box.start + kHeaderSize;
    return true;
}

void qt_walk(DecoderState& s, uint64_t end, int depth) {
    Box box;
    while (read_box(s, end, box)) {
        if ((box.is("moov") || box.is("udta") || box.is("CNTH")) && depth < kMaxNesting)
            qt_walk(s, box.end, depth + 1);
        if (box.is("CNDA")) parse_jpeg_segments(s, box.payload);
        seek(s, box.end);
    }
}

// The tracks that matter: the first holds the preview JPEG, the third the sensor data.
constexpr int kThumbnailTrack = 1;
constexpr int kSensorTrack = 3;
constexpr uint8_t kMoovUuid[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                   0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};

struct CmtWalk {
    int track = 0;
};

// A TIFF block: byte-order mark, 42, offset of its first directory from the block start.
bool seek_tiff_block(DecoderState& s, uint64_t block) {
    seek(s, block);
    const uint16_t order = read_u16(s);
    if (order != kLittleEndian && order != kBigEndian) return false;
    s.byte_order = order;
    if (read_u16(s) != 42) return false;
    return seek(s, block + read_u32(s));
}

void read_track_size(DecoderState& s, const Box& box, const CmtWalk& w) {
    const int version = std::fgetc(s.input_file);
    seek(s, box.payload + (version == 1 ? 88 : 76));
    const uint16_t width = uint16_t(read_u32(s) >> 16);
    const uint16_t height = uint16_t(read_u32(s) >> 16);
    if (w.track == kThumbnailTrack) {
        s.thumbnail_width = width;
        s.thumbnail_height = height;
    } else if (w.track == kSensorTrack) {
        s.sensor_width = width;
        s.sensor_height = height;
    }
}

void read_sample_size(DecoderState& s, const Box& box, const CmtWalk& w) {
    const uint64_t payload = box.end - box.payload;
    if (payload != 12 && payload != 16) return;
    skip(s, payload == 12 ? 4 : 12);
    const uint32_t size = read_u32(s);
    if (w.track == kThumbnailTrack) s.thumbnail_length = size;
}

void read_chunk_offset(DecoderState& s, const Box& box, const CmtWalk& w) {
    if (box.end - box.payload != 16) return;
    skip(s, 8);
    const uint64_t high = read_u32(s);
    const uint64_t offset = high << 32 | read_u32(s);
    if (w.track == kThumbnailTrack) s.thumbnail_offset = offset;
    if (w.track == kSensorTrack) {
        s.sensor_data_offset = offset;
        s.raw_loader = empty_loader;
    }
}

void cmt_walk(DecoderState& s, uint64_t end, int depth, CmtWalk& w);

void cmt_box(DecoderState& s, const Box& box, int depth, CmtWalk& w) {
    const bool container =
        box.is("moov") || box.is("trak") || box.is("mdia") || box.is("minf") || box.is("stbl");
    if (container && depth < kMaxNesting) {
        if (box.is("trak")) ++w.track;
        cmt_walk(s, box.end, depth + 1, w);
    } else if (box.is("uuid") && depth < kMaxNesting) {
        uint8_t id[16] = {};
        if (std::fread(id, 1, 16, s.input_file) == 16 && !std::memcmp(id, kMoovUuid, 16))
            cmt_walk(s, box.end, depth + 1, w);
    } else if (box.is("CMT1")) {
        if (seek_tiff_block(s, box.payload)) parse_tiff_directory(s, int64_t(box.payload));
    } else if (box.is("CMT2")) {
        if (seek_tiff_block(s, box.payload)) parse_exif_ifd(s, int64_t(box.payload));
    } else if (box.is("tkhd")) {
        read_track_size(s, box, w);
    } else if (box.is("stsz")) {
        read_sample_size(s, box, w);
    } else if (box.is("co64")) {
        read_chunk_offset(s, box, w);
    }
}

void cmt_walk(DecoderState& s, uint64_t end, int depth, CmtWalk& w) {
    Box box;
    while (read_box(s, end, box)) {
        cmt_box(s, box, depth, w);
        seek(s, box.end);
    }
}

} // namespace

void parse_qt_boxes(DecoderState& s, uint64_t end) { qt_walk(s, end, 0); }

void parse_cmt_boxes(DecoderState& s, uint64_t end) {
    CmtWalk w;
    cmt_walk(s, end, 0, w);
}

} // namespace raw
