#include "raw/core/InputReaders.h"

#include <bit>
#include <cstring>

#include "raw/core/DecoderError.h"

namespace raw {
namespace {

template <int N> uint64_t bytes_value(const DecoderState& s, const uint8_t* b) {
    uint64_t v = 0;
    for (int i = 0; i < N; ++i) {
        int k = s.byte_order == kBigEndian ? i : N - 1 - i;
        v = (v << 8) | b[k];
    }
    return v;
}

// One decode at a time owns the input stream, so its lock can be skipped.
template <int N> uint64_t read_value(DecoderState& s) {
    uint8_t b[N];
    for (int i = 0; i < N; ++i) {
        int c = getc_unlocked(s.input_file);
        b[i] = c == EOF ? 0xFF : uint8_t(c);
    }
    return bytes_value<N>(s, b);
}

} // namespace

uint16_t bytes_u16(const DecoderState& s, const uint8_t* bytes) { return uint16_t(bytes_value<2>(s, bytes)); }

uint32_t bytes_u32(const DecoderState& s, const uint8_t* bytes) { return uint32_t(bytes_value<4>(s, bytes)); }

uint16_t read_u16(DecoderState& s) { return uint16_t(read_value<2>(s)); }

uint32_t read_u32(DecoderState& s) { return uint32_t(read_value<4>(s)); }

uint32_t read_int_by_type(DecoderState& s, uint32_t type) { return type == 3 ? read_u16(s) : read_u32(s); }

float read_real_by_type(DecoderState& s, uint32_t type) {
    switch (type) {
    case 3:
        return float(read_u16(s));
    case 4:
        return float(read_u32(s));
    case 5: {
        float num = float(read_u32(s));
        return num / float(read_u32(s));
    }
    case 8:
        return float(int16_t(read_u16(s)));
    case 9:
        return float(int32_t(read_u32(s)));
    case 10: {
        float num = float(int32_t(read_u32(s)));
        float den = float(int32_t(read_u32(s)));
        return den == 0 ? 0.0f : num / den;
    }
    case 11:
        return std::bit_cast<float>(read_u32(s));
    case 12:
        return float(std::bit_cast<double>(read_value<8>(s)));
    default: {
        int c = getc_unlocked(s.input_file);
        return float(c == EOF ? 0xFF : c);
    }
    }
}

void read_u16_array(DecoderState& s, uint16_t* buffer, uint64_t n) {
    uint64_t got = std::fread(buffer, 2, n, s.input_file);
    if (got < n) count_data_error(s);
    if (s.byte_order == kBigEndian) {
        for (uint64_t i = 0; i < got; ++i)
            buffer[i] = uint16_t((buffer[i] >> 8) | (buffer[i] << 8));
    }
}

} // namespace raw
