#pragma once
// Positioned reads for identification. Offsets come from the file, so a seek that would
// leave the file's address range is refused rather than performed.
#include <cstddef>
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Seeks input_file to `offset`; false, with the position unchanged, when the offset is not
// a position a file can have.
bool seek_to(DecoderState& s, uint64_t offset);
// Length of input_file in bytes (0 when it cannot be told); leaves the position at the end.
uint64_t input_length(DecoderState& s);
// Reads `count` bytes into a text field of `capacity` bytes; the field always ends in NUL.
void read_text(DecoderState& s, char* field, size_t capacity, size_t count);
template <size_t N> void read_text(DecoderState& s, char (&field)[N], size_t count) {
    read_text(s, field, N, count);
}
// Copies `text` into a field, cut to fit.
void set_text(char* field, size_t capacity, const char* text);
template <size_t N> void set_text(char (&field)[N], const char* text) { set_text(field, N, text); }
// A 32-bit size read from a header, for a 16-bit geometry field: values that do not fit
// become 0, which the final checks refuse.
uint16_t fit16(uint64_t value);

} // namespace raw
