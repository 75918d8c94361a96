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
void canon600_packed_load_raw(DecoderState& s) { missing_loader(s, "canon600_packed_load_raw"); }
void diagonal_8bit_load_raw(DecoderState& s) { missing_loader(s, "diagonal_8bit_load_raw"); }
void kodak_262_load_raw(DecoderState& s) { missing_loader(s, "kodak_262_load_raw"); }
void kodak_block_load_raw(DecoderState& s) { missing_loader(s, "kodak_block_load_raw"); }
void kodak_c330_load_raw(DecoderState& s) { missing_loader(s, "kodak_c330_load_raw"); }
void kodak_c603_load_raw(DecoderState& s) { missing_loader(s, "kodak_c603_load_raw"); }
void kodak_rgb_blocks_load_raw(DecoderState& s) { missing_loader(s, "kodak_rgb_blocks_load_raw"); }
void kodak_ycc_load_raw(DecoderState& s) { missing_loader(s, "kodak_ycc_load_raw"); }
void quicktake_100_load_raw(DecoderState& s) { missing_loader(s, "quicktake_100_load_raw"); }
void radc_load_raw(DecoderState& s) { missing_loader(s, "radc_load_raw"); }
void sony_scrambled_load_raw(DecoderState& s) { missing_loader(s, "sony_scrambled_load_raw"); }

// Sensor corrections.
void canon600_sensor_correct(DecoderState& s) { missing_loader(s, "canon600_sensor_correct"); }

// Lossless JPEG: the active-area crop compares loaders with this one. Delete this line when
// the lossless-JPEG loaders land.

// Compressed Fuji data.
void fuji_compressed_load_raw(DecoderState& s) { missing_loader(s, "fuji_compressed_load_raw"); }

// Canon CR3.
void crx_load_raw(DecoderState& s) { missing_loader(s, "crx_load_raw"); }

} // namespace raw
