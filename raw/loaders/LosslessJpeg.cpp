#include "raw/loaders/LosslessJpeg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"

namespace raw {
namespace {

constexpr uint32_t kSof0 = 0xFFC0, kSof1 = 0xFFC1, kSof3 = 0xFFC3;
constexpr uint32_t kDht = 0xFFC4, kSos = 0xFFDA, kDqt = 0xFFDB, kDri = 0xFFDD;
constexpr size_t kMaxBody = 0x10000; // a 16-bit segment length always fits

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

void clear_header(DecoderState& s, ljpeg_header& jh) {
    ljpeg_release(s, jh);
    jh.algorithm = jh.bits = jh.high = jh.wide = jh.components = jh.small_raw = jh.predictor = 0;
    jh.restart = kNoRestart;
    std::fill(std::begin(jh.column_predictors), std::end(jh.column_predictors), 0);
    std::fill(std::begin(jh.quantisation), std::end(jh.quantisation), 0);
    std::fill(std::begin(jh.dct_block), std::end(jh.dct_block), 0);
    jh.owner = &s;
}

struct Segment {
    uint32_t marker = 0;
    size_t length = 0; // body bytes
};

// False at the end of the segments: unreadable, not a marker, a length below 3, or a
// body the file cuts short.
bool read_segment(DecoderState& s, std::vector<uint8_t>& body, Segment& seg) {
    uint8_t head[4];
    if (std::fread(head, 1, 4, s.input_file) < 4) return false;
    seg.marker = be16(head);
    const uint32_t length = be16(head + 2);
    if (seg.marker <= 0xFF00 || length < 3) return false;
    seg.length = length - 2;
    return std::fread(body.data(), 1, seg.length, s.input_file) == seg.length;
}

bool parse_frame(DecoderState& s, ljpeg_header& jh, const Segment& seg, const uint8_t* body) {
    if (seg.marker == kSof3) {
        // Canon small raws sample their first component 2x1 or 2x2.
        const uint32_t sampling = seg.length > 7 ? body[7] : 0x11;
        jh.small_raw = int32_t(((sampling >> 4) * (sampling & 15) - 1) & 3);
    }
    if (seg.length < 6) return false;
    jh.algorithm = int32_t(seg.marker & 0xFF);
    jh.bits = body[0];
    jh.high = int32_t(be16(body + 1));
    jh.wide = int32_t(be16(body + 3));
    jh.components = body[5] + jh.small_raw;
    // Outside DNG, a one-component frame header is followed by one byte it does not declare.
    if (seg.length == 9 && !s.dng_version_word) std::getc(s.input_file);
    return true;
}

void parse_tables(DecoderState& s, ljpeg_header& jh, const uint8_t* body, size_t length) {
    const uint8_t* cursor = body;
    const uint8_t* end = body + length;
    while (cursor < end) {
        const int id = *cursor++;
        if (id & 0xEC) break; // only 0..3 and 16..19
        uint16_t* table = make_decoder(s, cursor, end);
        file_backed_free(s, jh.owned_decoders[id]); // a repeated identifier replaces its table
        jh.owned_decoders[id] = table;
        jh.decoders[id] = table;
    }
}

bool parse_scan(ljpeg_header& jh, const uint8_t* body, size_t length) {
    const size_t n = body[0];
    if (length < 4 + 2 * n) return false;
    jh.predictor = body[1 + 2 * n];
    jh.bits -= body[3 + 2 * n] & 15;
    return true;
}

void parse_quantisation(ljpeg_header& jh, const uint8_t* body, size_t length) {
    for (size_t k = 0; k < 64 && 3 + 2 * k <= length; ++k)
        jh.quantisation[k] = uint16_t(be16(body + 1 + 2 * k));
}

void parse_restart(ljpeg_header& jh, const uint8_t* body, size_t length) {
    if (length < 2) return;
    // An interval of 0 means none; taken literally it would divide by zero.
    const int32_t interval = int32_t(be16(body));
    jh.restart = interval ? interval : kNoRestart;
}

// Reads the segments up to the scan header; false when the stream ends first.
bool parse_segments(DecoderState& s, ljpeg_header& jh, bool header_only) {
    std::vector<uint8_t> body(kMaxBody);
    Segment seg;
    while (read_segment(s, body, seg)) {
        switch (seg.marker) {
        case kSof0:
        case kSof1:
        case kSof3:
            if (!parse_frame(s, jh, seg, body.data())) return false;
            break;
        case kDht:
            if (!header_only) parse_tables(s, jh, body.data(), seg.length);
            break;
        case kSos:
            return parse_scan(jh, body.data(), seg.length);
        case kDqt:
            parse_quantisation(jh, body.data(), seg.length);
            break;
        case kDri:
            parse_restart(jh, body.data(), seg.length);
            break;
        default:
            break;
        }
    }
    return false;
}

// Tables the scan does not define are those of the identifier before; in small raws the
// luma samples share table 0 and the chroma samples take table 1.
void complete_tables(ljpeg_header& jh) {
    for (int i = 1; i < kLjpegTableSlots; ++i)
        if (!jh.decoders[i]) jh.decoders[i] = jh.decoders[i - 1];
    if (!jh.small_raw) return;
    for (int i = 2; i <= 5; ++i)
        jh.decoders[i] = jh.decoders[1];
    for (int i = 1; i <= jh.small_raw; ++i)
        jh.decoders[i] = jh.decoders[0];
}

int fail_start(DecoderState& s, ljpeg_header& jh) {
    ljpeg_release(s, jh);
    return 0;
}

// The reader may have taken the marker already, so look from two bytes back.
void skip_to_restart_marker(DecoderState& s) {
    std::fseek(s.input_file, -2, SEEK_CUR);
    int previous = 0, c;
    while ((c = getc_unlocked(s.input_file)) != EOF) {
        if (previous == 0xFF && c >= 0xD0 && c <= 0xDF) return;
        previous = c;
    }
}

int32_t select_prediction(int predictor, int32_t left, int32_t up, int32_t up_left) {
    switch (predictor) {
    case 1:
        return left;
    case 2:
        return up;
    case 3:
        return up_left;
    case 4:
        return left + up - up_left;
    case 5:
        return left + ((up - up_left) >> 1);
    case 6:
        return up + ((left - up_left) >> 1);
    case 7:
        return (left + up) >> 1;
    default:
        return 0;
    }
}

// `above` is null on the first line of the scan and of every restart interval.
void predict_row(DecoderState& s, ljpeg_header& jh, uint16_t* row, const uint16_t* above) {
    const int comps = jh.components;
    int32_t shared = 0; // the last luma sample of a small raw
    uint16_t* out = row;
    for (int32_t x = 0; x < jh.wide; ++x) {
        for (int c = 0; c < comps; ++c, ++out) {
            const int32_t d = ljpeg_read_difference(s, jh.decoders[c]);
            int32_t p;
            if (jh.small_raw && c <= jh.small_raw && (x || c)) {
                p = shared;
            } else if (x) {
                p = out[-comps];
            } else {
                p = jh.column_predictors[c];
                jh.column_predictors[c] = int32_t(uint32_t(p) + uint32_t(d));
            }
            if (above && x) {
                const uint16_t* up = above + (out - row);
                p = select_prediction(jh.predictor, p, up[0], up[-comps]);
            }
            const uint16_t v = uint16_t(uint32_t(p) + uint32_t(d));
            if (v >> jh.bits) count_data_error(s);
            *out = v;
            if (c <= jh.small_raw) shared = v;
        }
    }
}

} // namespace

ljpeg_header::~ljpeg_header() {
    if (owner) ljpeg_release(*owner, *this);
}

int ljpeg_start(DecoderState& s, ljpeg_header& jh, bool header_only) {
    clear_header(s, jh);
    uint8_t soi[2];
    if (std::fread(soi, 1, 2, s.input_file) < 2 || soi[1] != 0xD8) return 0;
    if (!parse_segments(s, jh, header_only)) return fail_start(s, jh);
    // A point transform larger than the precision leaves no bits at all.
    if (jh.bits > 16 || jh.bits < 1 || jh.components > 6 || jh.high == 0) return fail_start(s, jh);
    const int usable = jh.wide && jh.components ? 1 : 0;
    if (header_only || !usable) return usable ? 1 : fail_start(s, jh);
    if (!jh.decoders[0]) return fail_start(s, jh);
    complete_tables(jh);
    jh.row_buffer = static_cast<uint16_t*>(std::calloc(size_t(jh.wide) * size_t(jh.components), 4));
    memory_error(s, jh.row_buffer, "ljpeg_start()");
    s.ff_stuffing = 1;
    return 1;
}

void ljpeg_release(DecoderState& s, ljpeg_header& jh) {
    DecoderState& owner = jh.owner ? *jh.owner : s;
    for (uint16_t*& table : jh.owned_decoders) {
        file_backed_free(owner, table);
        table = nullptr;
    }
    std::fill(std::begin(jh.decoders), std::end(jh.decoders), nullptr);
    std::free(jh.row_buffer);
    jh.row_buffer = nullptr;
}

int32_t ljpeg_read_difference(DecoderState& s, const uint16_t* table) {
    const int length = int(read_bits(s, table[0], table + 1));
    // DNG 1.0 writers followed a length of 16 with 16 more bits; T.81 and later DNGs write none.
    if (length == 16 && (!s.dng_version_word || s.dng_version_word >= 0x01010000)) return -32768;
    if (length > 16) {
        count_data_error(s); // no difference is that long
        return 0;
    }
    const int32_t v = int32_t(read_bits(s, length));
    if (length && !(v >> (length - 1))) return v - (int32_t(1) << length) + 1;
    return v;
}

uint16_t* ljpeg_decode_row(DecoderState& s, int32_t r, ljpeg_header& jh) {
    const int64_t samples = int64_t(jh.wide) * jh.components;
    const bool interval_start = int64_t(r) * jh.wide % jh.restart == 0;
    if (interval_start) {
        std::fill(std::begin(jh.column_predictors), std::end(jh.column_predictors), 1 << (jh.bits - 1));
        if (r > 0) skip_to_restart_marker(s);
        read_bits(s, -1);
    }
    uint16_t* row = jh.row_buffer + (r & 1) * samples;
    const uint16_t* above = jh.row_buffer + ((r + 1) & 1) * samples;
    // The first line of every restart interval predicts like the first line of the scan.
    const bool from_above = r > 0 && !interval_start;
    predict_row(s, jh, row, from_above ? above : nullptr);
    return row;
}

int64_t ljpeg_stream_position(DecoderState& s) { return int64_t(std::ftell(s.input_file)) * 8 - s.bit_count; }

bool ljpeg_data_ended(DecoderState& s, int64_t position_before) {
    if (ljpeg_stream_position(s) == position_before) {
        count_data_error(s);
        return true;
    }
    return s.bit_count < 0 && std::feof(s.input_file);
}

} // namespace raw
