#pragma once
// Raw loaders: each unpacks the sensor data at sensor_data_offset into raw_buffer (or
// pixel_image) and is selected by identification through raw_loader. The decode road
// tells some of them apart by address, so every loader is a distinct function.
// Thumbnail writers copy the embedded thumbnail at the file position to output_file.
#include "raw/core/DecoderState.h"

namespace raw {

// Lossless JPEG and DNG sensor data.
void ljpeg_sensor_load_raw(DecoderState& s);
void canon_small_raw_load_raw(DecoderState& s);
void dng_ljpeg_load_raw(DecoderState& s);
void packed_dng_load_raw(DecoderState& s);

// Common packed and compressed formats.
void packed_bits_load_raw(DecoderState& s);
void plain_words_load_raw(DecoderState& s);
void nikon_compressed_load_raw(DecoderState& s);
void nikon_14bit_load_raw(DecoderState& s);
void canon_crw_load_raw(DecoderState& s);
void huffman_delta_load_raw(DecoderState& s);
void sony_arw2_load_raw(DecoderState& s);
void sony_huffman_load_raw(DecoderState& s);
// Dispatches by panasonic_encoding: 6 and 7 go to their own loaders.
void panasonic_blocks_load_raw(DecoderState& s);
void panasonicC6_load_raw(DecoderState& s);
void panasonicC7_load_raw(DecoderState& s);
void eight_bit_load_raw(DecoderState& s);
void ycbcr12_pair_load_raw(DecoderState& s);
void rgb_shorts_load_raw(DecoderState& s);
void ljpeg_2x2_tiles_load_raw(DecoderState& s);
void split_10bit_load_raw(DecoderState& s);

// Entries of data the decoder recognises but does not read; identification refuses the
// file when it picks one. Distinct routines, so each kind can be told by its entry.
void empty_loader(DecoderState& s);       // a container kind without readable data
void red_jpeg2000_entry(DecoderState& s); // JPEG 2000 frames of make "Red"
void kodak_jpeg_entry(DecoderState& s);   // Kodak JPEG-coded sensor data
void lossy_dng_entry(DecoderState& s);    // lossy DNG (compression 34892)

// Thumbnail writers.
void ppm_thumb(DecoderState& s);
void ppm16_thumb(DecoderState& s);
void layer_thumb(DecoderState& s);
void rollei_thumb(DecoderState& s);

// Maker-specific formats.
void adaptive_12bit_load_raw(DecoderState& s);
void canon600_packed_load_raw(DecoderState& s);
void diagonal_8bit_load_raw(DecoderState& s);
void hasselblad_load_raw(DecoderState& s);
void kodak_262_load_raw(DecoderState& s);
void kodak_block_load_raw(DecoderState& s);
void kodak_c330_load_raw(DecoderState& s);
void kodak_c603_load_raw(DecoderState& s);
void kodak_rgb_blocks_load_raw(DecoderState& s);
void kodak_ycc_load_raw(DecoderState& s);
void leaf_hdr_load_raw(DecoderState& s);
void line_remap_8bit_load_raw(DecoderState& s);
void nokia_load_raw(DecoderState& s);
void quicktake_100_load_raw(DecoderState& s);
void radc_load_raw(DecoderState& s);
void samsung_adaptive_load_raw(DecoderState& s);
void samsung_block_load_raw(DecoderState& s);
void samsung_huffman_load_raw(DecoderState& s);
void sinar_4shot_load_raw(DecoderState& s);
void smal_6_load_raw(DecoderState& s);
void smal_9_load_raw(DecoderState& s);
void sony_scrambled_load_raw(DecoderState& s);
void three_per_word_load_raw(DecoderState& s);
void sinar_pixel_copy(DecoderState& s);

// Phase One.
void phase_one_plain_load_raw(DecoderState& s);
void phase_one_load_raw_c(DecoderState& s);

// Sensor corrections run on raw_buffer before the active area is cropped.
void phase_one_correct(DecoderState& s);
void canon600_sensor_correct(DecoderState& s);

// Compressed Fuji data.
void fuji_compressed_load_raw(DecoderState& s);

// Canon CR3.
void crx_load_raw(DecoderState& s);

// Loaders the active-area crop recognises by address to give their files default
// masked areas or a sensor correction.
void canon_crw_load_raw(DecoderState& s);
void ljpeg_sensor_load_raw(DecoderState& s);
void sony_scrambled_load_raw(DecoderState& s);
void canon600_packed_load_raw(DecoderState& s);
void kodak_262_load_raw(DecoderState& s);
void packed_bits_load_raw(DecoderState& s);
void nokia_load_raw(DecoderState& s);
void phase_one_plain_load_raw(DecoderState& s);
void phase_one_load_raw_c(DecoderState& s);

// Sensor corrections run on raw_buffer before the active area is cropped.
void phase_one_correct(DecoderState& s);
void canon600_sensor_correct(DecoderState& s);

} // namespace raw
