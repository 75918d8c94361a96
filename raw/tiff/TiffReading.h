#pragma once
// Small file helpers shared by the TIFF-family parsers. Every position a file names is
// checked here against the real file length, in 64 bits, before anything is read there.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Nested directories (EXIF inside TIFF inside a maker note...) are followed this deep.
inline constexpr int kMaxTiffNesting = 16;
// Directory entries read from one file, over every directory: real files hold a few
// hundred to a few thousand, and a file that points many tags at one large directory must not
// keep the walk going for minutes.
inline constexpr uint32_t kMaxTiffEntriesPerFile = 1u << 14;

int64_t file_length(DecoderState& s);
int64_t file_position(DecoderState& s);
// Seeks to an absolute position; false (and no seek) when it lies outside the file.
bool seek_inside(DecoderState& s, int64_t position);
void seek_to(DecoderState& s, int64_t position);
// How many of `count` values of `type` can still be read from the current position.
uint64_t values_left(DecoderState& s, uint64_t count, uint32_t type);

// Reads like fgets: at most size - 1 bytes, up to and including a newline, NUL-terminated.
void read_line(DecoderState& s, char* text, int size);
// Reads exactly size bytes (missing ones as NUL) and forces the last one to NUL.
void read_fixed_text(DecoderState& s, char* text, int size);
int read_byte(DecoderState& s);
// Of `count` directory entries, how many the file's entry budget still allows (taken from it).
uint32_t take_entries(DecoderState& s, uint32_t count);

// Float to an integer field, clamped instead of overflowing.
uint16_t clamp_u16(double value);
uint32_t clamp_u32(double value);

// Counts one level of parser nesting for as long as it lives; `ok` is false past the cap.
class NestingGuard {
  public:
    explicit NestingGuard(DecoderState& s) : s_(s) { ok = ++s_.tiff_nesting_depth <= kMaxTiffNesting; }
    ~NestingGuard() { --s_.tiff_nesting_depth; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    bool ok;

  private:
    DecoderState& s_;
};

// Restores byte_order when it goes out of scope.
class ByteOrderKeeper {
  public:
    explicit ByteOrderKeeper(DecoderState& s) : s_(s), order_(s.byte_order) {}
    ~ByteOrderKeeper() { s_.byte_order = order_; }
    ByteOrderKeeper(const ByteOrderKeeper&) = delete;
    ByteOrderKeeper& operator=(const ByteOrderKeeper&) = delete;

  private:
    DecoderState& s_;
    uint16_t order_;
};

} // namespace raw
