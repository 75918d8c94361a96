#pragma once
// TIFF's LZW coding of image data: codes of 9 to 12 bits packed most significant bit first,
// clear code 256, end code 257, new strings from 258, the code width growing one code early
// (as the decoder expects) and the table cleared before it would need a 13th bit.
#include <cstdint>

// Codes `size` bytes into `out`; answers the bytes written. Output that would pass `capacity`
// is error 100016 "Compression output buffer overflow".
uint32_t EncodeLZW(const uint8_t* data, uint32_t size, uint8_t* out, uint32_t capacity);

// Decodes until the end code or until `outSize` bytes are out; answers the bytes written.
// Codes the table cannot hold yet, or data that ends before the end code with the output still
// short, are the bad-format error.
uint64_t DecodeLZW(const uint8_t* data, uint64_t size, uint8_t* out, uint64_t outSize);
