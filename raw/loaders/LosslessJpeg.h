#pragma once
// Lossless JPEG (process 14, SOF3) as most raw formats store their sensor data, plus the
// 8 x 8 DCT blocks of lossy DNG tiles. The header record is parsed by ljpeg_start at the
// current file position and owns its Huffman tables and two-row buffer until released.
//
//   ljpeg_header jh;
//   if (!ljpeg_start(s, jh, false)) ...;
//   for (int r = 0; r < jh.high; ++r) { const uint16_t* row = ljpeg_decode_row(s, r, jh); ... }
//   ljpeg_release(s, jh); // or let jh go out of scope
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

inline constexpr int32_t kNoRestart = 0x7FFFFFFF;
inline constexpr int kLjpegTableSlots = 20; // identifiers 0..3 (class 0) and 16..19 (class 1)

// What a loader reports when the sensor data it expects holds no lossless JPEG frame.
inline constexpr const char* kNotLosslessJpegText = "Sensor data is not lossless JPEG";
// Canon slice widths of zero or wider than the sensor.
inline constexpr const char* kCorruptSlicesText = "Corrupt slice widths";

struct ljpeg_header {
    int32_t algorithm = 0;  // low byte of the frame marker: 0xC0, 0xC1 or 0xC3
    int32_t bits = 0;       // sample precision minus the point transform
    int32_t high = 0;       // frame lines
    int32_t wide = 0;       // samples per line (per component)
    int32_t components = 0; // frame components plus small_raw
    int32_t small_raw = 0;  // 1..3 for Canon small raw: extra luma samples per column
    int32_t predictor = 0;
    int32_t restart = kNoRestart; // interval in samples
    int32_t column_predictors[6] = {};
    uint16_t quantisation[64] = {}; // stored (zig-zag) order
    uint16_t dct_block[64] = {};
    const uint16_t* decoders[kLjpegTableSlots] = {};
    uint16_t* owned_decoders[kLjpegTableSlots] = {};
    uint16_t* row_buffer = nullptr; // two rows of wide x components samples
    DecoderState* owner = nullptr;  // the state whose allocator made the tables

    ljpeg_header() = default;
    ljpeg_header(const ljpeg_header&) = delete;
    ljpeg_header& operator=(const ljpeg_header&) = delete;
    // A loader that throws half-way still gives its tables back.
    ~ljpeg_header();
};

// Parses the stream at the current position. Returns 1 for a usable lossless JPEG frame;
// unless header_only its tables and row buffer are then ready. 0 otherwise (nothing kept).
int ljpeg_start(DecoderState& s, ljpeg_header& jh, bool header_only);
// One difference coded with `table` (a make_decoder table).
int32_t ljpeg_read_difference(DecoderState& s, const uint16_t* table);
// Decodes row r (ask for 0, 1, 2, ... in order); returns its wide x components samples.
uint16_t* ljpeg_decode_row(DecoderState& s, int32_t r, ljpeg_header& jh);
// Releases the tables the header built and its row buffer; safe to call twice.
void ljpeg_release(DecoderState& s, ljpeg_header& jh);
// Decodes one lossy 8 x 8 block into jh.dct_block.
void ljpeg_decode_dct_block(DecoderState& s, ljpeg_header& jh);

// Where the stream stands, in bits consumed. Loaders take it before a row (or a row of
// DCT blocks) and ask ljpeg_data_ended after it: a frame that claims far more rows than
// its stream holds must not keep a loader busy decoding nothing.
int64_t ljpeg_stream_position(DecoderState& s);
// True when the data has run out: the row consumed no bits (counted as a data error), or
// the reader ran dry at the end of the file.
bool ljpeg_data_ended(DecoderState& s, int64_t position_before);

} // namespace raw
