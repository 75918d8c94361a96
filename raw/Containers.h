#pragma once
// Container parsers other than TIFF and CR3: each reads its structure and fills the state.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

void parse_external_jpeg(DecoderState& s);
void parse_ciff_heap(DecoderState& s, uint64_t offset, uint64_t length, int depth);
void parse_rollei_header(DecoderState& s);
void parse_sinar_ia_block(DecoderState& s);
void parse_phase_one_header(DecoderState& s, uint64_t base);
void parse_fuji_raf(DecoderState& s, uint64_t offset);
int parse_jpeg_segments(DecoderState& s, uint64_t offset);
void parse_riff_chunks(DecoderState& s);
void parse_qt_boxes(DecoderState& s, uint64_t end);
void parse_smal_header(DecoderState& s, uint64_t offset, uint64_t file_size);
void parse_cine_header(DecoderState& s);
void parse_r3d_header(DecoderState& s);

} // namespace raw
