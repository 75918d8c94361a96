#pragma once
// Identification: recognises the container and camera of input_file and fills the state.
// raw_count ends 0 when the file cannot be decoded.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

void identify_camera(DecoderState& s);

// The steps of identify_camera, in the order it runs them.

// Clears every per-file field to its unset value.
void reset_identification(DecoderState& s);
// Recognises the container by its first bytes and, failing that, by its exact length.
// Returns the file length the size-based corrections may use: the real length when the
// file-size table recognised the file, 0 on every other road.
uint64_t recognise_container(DecoderState& s);
// The loader of a RAF file's sensor data, from its second directory and the data left
// after sensor_data_offset.
void choose_fuji_loader(DecoderState& s, uint64_t file_length);
// Maker names as the rest of the decoder expects them, model without the maker's name.
void normalise_make_and_model(DecoderState& s);
// Visible size defaults and the corrections known by sensor size.
void apply_size_corrections(DecoderState& s);
// Channel count, image count and loader of a DNG; its X-Trans cell as the image sees it.
void apply_dng_layout(DecoderState& s);
// The X-Trans cell from the image's corner: the file gives it from the sensor's corner,
// and the image starts at the margins.
void align_xtrans_cell(DecoderState& s);
// Defaults, colour, and the final decision whether the file can be read. A DNG enters at
// the colour step.
void apply_final_steps(DecoderState& s, bool dng);

// Headerless formats known only by their exact file size.
struct file_size_row {
    uint32_t file_size;
    uint16_t raw_width, raw_height;
    uint8_t left_margin, top_margin, right_margin, bottom_margin;
    uint8_t load_flags;
    uint8_t pattern_byte;
    uint8_t white_shift;
    uint8_t flags; // bit 0 external JPEG, bit 1 zero pixels are dead, bits 2-7 orientation
    char make[10];
    char model[20];
    uint16_t data_offset;
};
inline constexpr int kFileSizeRows = 101;
extern const file_size_row file_size_table[kFileSizeRows];
// Applies the row whose size equals file_length; false when none (or only a row with no
// known geometry) fits.
bool apply_file_size_table(DecoderState& s, uint64_t file_length);

// Canonical maker names; a make text containing one (any case) becomes exactly it.
inline constexpr int kMakeListSize = 22;
extern const char* const make_list[kMakeListSize];

// Copies built-in camera-to-RGB matrix `index` (0..3) into rgb_from_camera.
void set_simple_matrix(DecoderState& s, int index);

// Reads `count` 16-bit words from the current position and guesses their byte order from
// which reading is smoother: 0x4D4D (big endian) or 0x4949. `big_endian_sum` receives the
// big-endian sum of squared differences.
uint16_t guess_sample_byte_order(DecoderState& s, int count, double* big_endian_sum = nullptr);

// 100 x ln(ratio) of diagonal differences between two rows of visible_width samples at
// file offsets a and b; its sign tells which diagonal pairs are the greens.
double green_difference_ratio(DecoderState& s, int bits, int bits_per_read, uint64_t offset_a,
                              uint64_t offset_b);

} // namespace raw
