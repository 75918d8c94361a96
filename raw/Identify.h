#pragma once
// Identification: recognises the container and camera of input_file and fills the state.
// raw_count ends 0 when the file cannot be decoded.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

void identify_camera(DecoderState& s);

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
