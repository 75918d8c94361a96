#pragma once
// Positioned reads shared by the container parsers, beside those of the TIFF parser. Offsets come from the
// file, so every one is checked before it is used; a refused seek leaves the position where it was.
#include <cstddef>
#include <cstdint>

#include "raw/core/DecoderState.h"
#include "raw/tiff/TiffReading.h"

namespace raw::container_io {

// Seeks input_file to `offset`; false when no file position can be that far.
bool seek(DecoderState& s, uint64_t offset);
// Moves the position by `delta` bytes.
bool skip(DecoderState& s, int64_t delta);
inline uint64_t tell(DecoderState& s) {
    const int64_t at = file_position(s);
    return at < 0 ? 0 : uint64_t(at);
}

// Reads `count` bytes into a text field of `capacity` bytes: the text ends at the first
// zero byte or where the field is full, and is always terminated.
void read_text(DecoderState& s, char* field, size_t capacity, size_t count);
template <size_t N> void read_text(DecoderState& s, char (&field)[N], size_t count) {
    read_text(s, field, N, count);
}
// Copies `text` into a field, cut to fit.
void set_text(char* field, size_t capacity, const char* text);
template <size_t N> void set_text(char (&field)[N], const char* text) { set_text(field, N, text); }

// A 32-bit size for a 16-bit geometry field: values that do not fit become 0, which
// identification refuses.
uint16_t fit16(uint64_t value);
// A 32-bit word holding an IEEE float.
float word_float(uint32_t word);
// Reads one IEEE float word in the file's byte order.
float read_float(DecoderState& s);

// Local time from a broken-down date; 0 when it is not after the epoch.
int64_t local_time(int year, int month, int day, int hour, int minute, int second);

} // namespace raw::container_io
