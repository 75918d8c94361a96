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

// Common packed and compressed formats.
void packed_bits_load_raw(DecoderState& s) { missing_loader(s, "packed_bits_load_raw"); }
void plain_words_load_raw(DecoderState& s) { missing_loader(s, "plain_words_load_raw"); }
void nikon_compressed_load_raw(DecoderState& s) { missing_loader(s, "nikon_compressed_load_raw"); }
void nikon_14bit_load_raw(DecoderState& s) { missing_loader(s, "nikon_14bit_load_raw"); }
void canon_crw_load_raw(DecoderState& s) { missing_loader(s, "canon_crw_load_raw"); }
void huffman_delta_load_raw(DecoderState& s) { missing_loader(s, "huffman_delta_load_raw"); }
void sony_arw2_load_raw(DecoderState& s) { missing_loader(s, "sony_arw2_load_raw"); }
void sony_huffman_load_raw(DecoderState& s) { missing_loader(s, "sony_huffman_load_raw"); }
void panasonic_blocks_load_raw(DecoderState& s) { missing_loader(s, "panasonic_blocks_load_raw"); }
void eight_bit_load_raw(DecoderState& s) { missing_loader(s, "eight_bit_load_raw"); }
void empty_loader(DecoderState& s) { missing_loader(s, "empty_loader"); }
void ycbcr12_pair_load_raw(DecoderState& s) { missing_loader(s, "ycbcr12_pair_load_raw"); }
void rgb_shorts_load_raw(DecoderState& s) { missing_loader(s, "rgb_shorts_load_raw"); }
void ljpeg_2x2_tiles_load_raw(DecoderState& s) { missing_loader(s, "ljpeg_2x2_tiles_load_raw"); }
void split_10bit_load_raw(DecoderState& s) { missing_loader(s, "split_10bit_load_raw"); }

// Thumbnail writers.
void ppm_thumb(DecoderState& s) { missing_loader(s, "ppm_thumb"); }
void ppm16_thumb(DecoderState& s) { missing_loader(s, "ppm16_thumb"); }
void layer_thumb(DecoderState& s) { missing_loader(s, "layer_thumb"); }
void rollei_thumb(DecoderState& s) { missing_loader(s, "rollei_thumb"); }

// Maker-specific formats.
void adaptive_12bit_load_raw(DecoderState& s) { missing_loader(s, "adaptive_12bit_load_raw"); }
void canon600_packed_load_raw(DecoderState& s) { missing_loader(s, "canon600_packed_load_raw"); }
void diagonal_8bit_load_raw(DecoderState& s) { missing_loader(s, "diagonal_8bit_load_raw"); }
void hasselblad_load_raw(DecoderState& s) { missing_loader(s, "hasselblad_load_raw"); }
void kodak_262_load_raw(DecoderState& s) { missing_loader(s, "kodak_262_load_raw"); }
void kodak_block_load_raw(DecoderState& s) { missing_loader(s, "kodak_block_load_raw"); }
void kodak_c330_load_raw(DecoderState& s) { missing_loader(s, "kodak_c330_load_raw"); }
void kodak_c603_load_raw(DecoderState& s) { missing_loader(s, "kodak_c603_load_raw"); }
void kodak_rgb_blocks_load_raw(DecoderState& s) { missing_loader(s, "kodak_rgb_blocks_load_raw"); }
void kodak_ycc_load_raw(DecoderState& s) { missing_loader(s, "kodak_ycc_load_raw"); }
void leaf_hdr_load_raw(DecoderState& s) { missing_loader(s, "leaf_hdr_load_raw"); }
void line_remap_8bit_load_raw(DecoderState& s) { missing_loader(s, "line_remap_8bit_load_raw"); }
void nokia_load_raw(DecoderState& s) { missing_loader(s, "nokia_load_raw"); }
void quicktake_100_load_raw(DecoderState& s) { missing_loader(s, "quicktake_100_load_raw"); }
void radc_load_raw(DecoderState& s) { missing_loader(s, "radc_load_raw"); }
void samsung_adaptive_load_raw(DecoderState& s) { missing_loader(s, "samsung_adaptive_load_raw"); }
void samsung_block_load_raw(DecoderState& s) { missing_loader(s, "samsung_block_load_raw"); }
void samsung_huffman_load_raw(DecoderState& s) { missing_loader(s, "samsung_huffman_load_raw"); }
void sinar_4shot_load_raw(DecoderState& s) { missing_loader(s, "sinar_4shot_load_raw"); }
void smal_6_load_raw(DecoderState& s) { missing_loader(s, "smal_6_load_raw"); }
void smal_9_load_raw(DecoderState& s) { missing_loader(s, "smal_9_load_raw"); }
void sony_scrambled_load_raw(DecoderState& s) { missing_loader(s, "sony_scrambled_load_raw"); }
void three_per_word_load_raw(DecoderState& s) { missing_loader(s, "three_per_word_load_raw"); }
void sinar_pixel_copy(DecoderState& s) { missing_loader(s, "sinar_pixel_copy"); }

// Phase One.
void phase_one_plain_load_raw(DecoderState& s) { missing_loader(s, "phase_one_plain_load_raw"); }
void phase_one_load_raw_c(DecoderState& s) { missing_loader(s, "phase_one_load_raw_c"); }

// Sensor corrections.
void phase_one_correct(DecoderState& s) { missing_loader(s, "phase_one_correct"); }
void canon600_sensor_correct(DecoderState& s) { missing_loader(s, "canon600_sensor_correct"); }

// Lossless JPEG: the active-area crop compares loaders with this one. Delete this line when
// the lossless-JPEG loaders land.

// Compressed Fuji data.
void fuji_compressed_load_raw(DecoderState& s) { missing_loader(s, "fuji_compressed_load_raw"); }

// Canon CR3.
void crx_load_raw(DecoderState& s) { missing_loader(s, "crx_load_raw"); }

} // namespace raw
