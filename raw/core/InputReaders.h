#pragma once
// Readers of multi-byte values in the byte order of the file being read (byte_order:
// 0x4949 little endian, 0x4D4D big endian). Past the end of the file every missing byte
// reads as 0xFF, so short files give all-ones values rather than failing.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

inline constexpr uint16_t kLittleEndian = 0x4949; // "II"
inline constexpr uint16_t kBigEndian = 0x4D4D;    // "MM"

uint16_t bytes_u16(const DecoderState& s, const uint8_t* bytes);
uint32_t bytes_u32(const DecoderState& s, const uint8_t* bytes);

uint16_t read_u16(DecoderState& s);
uint32_t read_u32(DecoderState& s);
// One integer of a TIFF field: 16 bits for SHORT (3), otherwise 32 bits.
uint32_t read_int_by_type(DecoderState& s, uint32_t type);
// One value of a TIFF field type as a float (RATIONAL n/0 gives infinity, SRATIONAL n/0
// gives 0, unknown types read one unsigned byte).
float read_real_by_type(DecoderState& s, uint32_t type);
// Reads n 16-bit values; a short read counts one data error.
void read_u16_array(DecoderState& s, uint16_t* buffer, uint64_t n);

} // namespace raw
