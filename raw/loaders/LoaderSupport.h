#pragma once
// What every loader shares: bounded access to the raw buffer and the pixel image, reads
// that turn a short file into all-ones bytes plus one data error, and owners for the
// buffers and decoder tables a loader allocates.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "raw/core/DecoderState.h"

namespace raw::loader {

// The raw buffer as the loaders see it: sensor_width x sensor_height values.
inline bool has_raw_buffer(const DecoderState& s) {
    return s.raw_buffer && s.sensor_width && s.sensor_height;
}

// Loaders of photosite data start here: without a buffer to write into, the data cannot
// be read, which counts as damaged data rather than a crash.
bool require_raw_buffer(DecoderState& s);
bool require_pixel_image(DecoderState& s);

// Row `row` of the raw buffer, or null outside it.
inline uint16_t* raw_row(DecoderState& s, uint64_t row) {
    if (!s.raw_buffer || row >= s.sensor_height) return nullptr;
    return s.raw_buffer + row * s.sensor_width;
}

inline void put_raw(DecoderState& s, uint64_t row, uint64_t col, uint16_t value) {
    if (row < s.sensor_height && col < s.sensor_width && s.raw_buffer)
        s.raw_buffer[row * s.sensor_width + col] = value;
}

// Inside the active image area as the range checks of the loaders define it: below the
// far edges of the visible area, margins included.
inline bool in_visible_area(const DecoderState& s, uint64_t row, uint64_t col) {
    return row < uint64_t(s.visible_height) + s.margin_top && col < uint64_t(s.visible_width) + s.margin_left;
}

// Reads n bytes; what the file lacks reads as 0xFF and counts one data error. False when
// the read came up short.
bool read_bytes(DecoderState& s, uint8_t* buffer, size_t n);

// Length of the input file (0 when it cannot be told).
uint64_t input_length(DecoderState& s);

// Moves the input to an absolute offset; offsets no file can have leave it at the end.
void seek_to(DecoderState& s, uint64_t offset);

// A zeroed buffer a loader owns for the length of its run: file-backed by default, plain
// heap where the format's loader keeps a small one. Running out of memory throws with
// the loader's location text.
class LoaderBuffer {
  public:
    enum class Kind { file_backed, heap };
    LoaderBuffer(DecoderState& s, uint64_t count, uint64_t size, const char* where,
                 Kind kind = Kind::file_backed);
    ~LoaderBuffer();
    LoaderBuffer(const LoaderBuffer&) = delete;
    LoaderBuffer& operator=(const LoaderBuffer&) = delete;

    template <typename T> T* as() const { return static_cast<T*>(block_); }

  private:
    DecoderState& s_;
    void* block_ = nullptr;
    Kind kind_;
};

// A Huffman decoder table (make_decoder) released when the loader leaves, thrown or not.
class DecoderTable {
  public:
    explicit DecoderTable(DecoderState& s) : s_(s) {}
    DecoderTable(DecoderState& s, const uint8_t* source, size_t length) : s_(s) { build(source, length); }
    ~DecoderTable() { release(); }
    DecoderTable(const DecoderTable&) = delete;
    DecoderTable& operator=(const DecoderTable&) = delete;

    void build(const uint8_t* source, size_t length);
    void release();
    // Decodes one symbol from the bit reader.
    uint32_t symbol() const;
    const uint16_t* table() const { return table_; }

  private:
    DecoderState& s_;
    uint16_t* table_ = nullptr;
};

// The bit reader has been asked for more than the stream holds (a data error was
// counted); nothing further can be decoded until it is reset.
inline bool bits_exhausted(const DecoderState& s) { return s.bit_count < 0; }

} // namespace raw::loader
