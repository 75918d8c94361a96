// Placeholders for loaders whose formats are not written yet: each fails the decode with
// a status naming the missing loader. Whoever writes a group deletes its lines here.
#include "raw/DecoderError.h"
#include "raw/Loaders.h"

namespace raw {

namespace {
[[noreturn]] void missing_loader(DecoderState& s, const char* name) {
    decoder_fail(s, "No loader for this format yet (%s)", name);
}
} // namespace

// Maker-specific formats.
void adaptive_12bit_load_raw(DecoderState& s) { missing_loader(s, "adaptive_12bit_load_raw"); }
void hasselblad_load_raw(DecoderState& s) { missing_loader(s, "hasselblad_load_raw"); }
void leaf_hdr_load_raw(DecoderState& s) { missing_loader(s, "leaf_hdr_load_raw"); }
void line_remap_8bit_load_raw(DecoderState& s) { missing_loader(s, "line_remap_8bit_load_raw"); }
void nokia_load_raw(DecoderState& s) { missing_loader(s, "nokia_load_raw"); }
void samsung_adaptive_load_raw(DecoderState& s) { missing_loader(s, "samsung_adaptive_load_raw"); }
void samsung_block_load_raw(DecoderState& s) { missing_loader(s, "samsung_block_load_raw"); }
void samsung_huffman_load_raw(DecoderState& s) { missing_loader(s, "samsung_huffman_load_raw"); }
void sinar_4shot_load_raw(DecoderState& s) { missing_loader(s, "sinar_4shot_load_raw"); }
void smal_6_load_raw(DecoderState& s) { missing_loader(s, "smal_6_load_raw"); }
void smal_9_load_raw(DecoderState& s) { missing_loader(s, "smal_9_load_raw"); }
void three_per_word_load_raw(DecoderState& s) { missing_loader(s, "three_per_word_load_raw"); }
void sinar_pixel_copy(DecoderState& s) { missing_loader(s, "sinar_pixel_copy"); }

// Phase One.
void phase_one_plain_load_raw(DecoderState& s) { missing_loader(s, "phase_one_plain_load_raw"); }
void phase_one_load_raw_c(DecoderState& s) { missing_loader(s, "phase_one_load_raw_c"); }

// Sensor corrections.
void phase_one_correct(DecoderState& s) { missing_loader(s, "phase_one_correct"); }

// Lossless JPEG: the active-area crop compares loaders with this one. Delete this line when
// the lossless-JPEG loaders land.



} // namespace raw
