#include "raw/loaders/LoaderSupport.h"

#include <cstdlib>
#include <cstring>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"

namespace raw::loader {

bool require_raw_buffer(DecoderState& s) {
    if (has_raw_buffer(s)) return true;
    count_data_error(s);
    return false;
}

bool require_pixel_image(DecoderState& s) {
    if (s.pixel_image && s.image_width && s.image_height) return true;
    count_data_error(s);
    return false;
}

bool read_bytes(DecoderState& s, uint8_t* buffer, size_t n) {
    size_t got = s.input_file ? std::fread(buffer, 1, n, s.input_file) : 0;
    if (got == n) return true;
    std::memset(buffer + got, 0xFF, n - got);
    count_data_error(s);
    return false;
}

uint64_t input_length(DecoderState& s) {
    if (!s.input_file) return 0;
    off_t here = ftello(s.input_file);
    if (fseeko(s.input_file, 0, SEEK_END) != 0) return 0;
    off_t end = ftello(s.input_file);
    if (here >= 0) fseeko(s.input_file, here, SEEK_SET);
    return end > 0 ? uint64_t(end) : 0;
}

void seek_to(DecoderState& s, uint64_t offset) {
    if (!s.input_file) return;
    if (offset <= uint64_t(INT64_MAX))
        fseeko(s.input_file, off_t(offset), SEEK_SET);
    else
        fseeko(s.input_file, 0, SEEK_END);
}

LoaderBuffer::LoaderBuffer(DecoderState& s, uint64_t count, uint64_t size, const char* where, Kind kind)
    : s_(s), kind_(kind) {
    uint64_t bytes = 0;
    if (kind == Kind::heap) {
        if (checked_size(count, size, bytes) && bytes <= SIZE_MAX)
            block_ = std::calloc(count ? count : 1, size ? size : 1);
    } else {
        block_ = file_backed_calloc(s, count ? count : 1, size ? size : 1);
    }
    memory_error(s, block_, where);
}

LoaderBuffer::~LoaderBuffer() {
    if (kind_ == Kind::heap)
        std::free(block_);
    else
        file_backed_free(s_, block_);
}

void DecoderTable::build(const uint8_t* source, size_t length) {
    release();
    const uint8_t* cursor = source;
    table_ = make_decoder(s_, cursor, source + length);
}

void DecoderTable::release() {
    file_backed_free(s_, table_);
    table_ = nullptr;
}

uint32_t DecoderTable::symbol() const { return read_bits(s_, table_[0], table_ + 1); }

} // namespace raw::loader
