#pragma once
// Container parsers other than TIFF and CR3. Each reads only its container's structure
// (sizes, offsets, names, white balance, capture data, thumbnail, loader) into the state;
// none decodes sensor data. A structure that does not fit ends the parser quietly,
// leaving what was read so far.
#include <cstdint>
#include <string>

#include "raw/core/DecoderState.h"

namespace raw {

// Metadata of a headerless raw file from the camera's JPEG beside it.
void parse_external_jpeg(DecoderState& s);
// The companion JPEG's path for a raw file's path; empty when the name has no companion
// (not 8 characters plus a 4-character extension, or no different name can be made).
std::string companion_jpeg_name(const std::string& raw_path);

// Canon CIFF heap of `length` bytes at `offset`; sub-heaps are walked at depth + 1.
void parse_ciff_heap(DecoderState& s, uint64_t offset, uint64_t length, int depth);
// The 8 x 8 white table of a CIFF white-balance record, read at the file position.
void ciff_wb_table(DecoderState& s);
// The two key words that encoded CIFF white-balance data is XOR-ed with. A camera's
// white table with nothing in it stores exactly these words, alternating.
inline constexpr uint16_t kCiffKeyWords[2] = {0x0410, 0x45F3};

void parse_rollei_header(DecoderState& s);
void parse_sinar_ia_block(DecoderState& s);
void parse_phase_one_header(DecoderState& s, uint64_t base);
void parse_fuji_raf(DecoderState& s, uint64_t offset);
// 0 when there is no 0xFF 0xD8 at offset, else 1 once the segments end.
int parse_jpeg_segments(DecoderState& s, uint64_t offset);
void parse_riff_chunks(DecoderState& s);
// Boxes from the file position up to `end`.
void parse_qt_boxes(DecoderState& s, uint64_t end);
void parse_cmt_boxes(DecoderState& s, uint64_t end);
void parse_smal_header(DecoderState& s, uint64_t offset, uint64_t file_size);
void parse_cine_header(DecoderState& s);
void parse_r3d_header(DecoderState& s);

} // namespace raw
