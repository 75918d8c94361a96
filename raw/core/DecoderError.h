#pragma once
// How the decoder fails: a routine writes its text into decoder_message and throws a
// DecoderText; DCRaw catches every throw and reports the message as its status.
// Damaged data does not throw: it counts a data error and the decode goes on.
#include "raw/core/DecoderState.h"

namespace raw {

// The thrown object. `text` points at a constant or at the state's own message buffer.
struct DecoderText {
    const char* text;
};

// Writes at most 511 characters into decoder_message and throws them.
[[noreturn]] void decoder_fail(DecoderState& s, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Returns when `pointer` is set; otherwise leaves "<path>: Could not allocate memory in
// <where>" in decoder_message and throws "Could not allocate memory".
void memory_error(DecoderState& s, const void* pointer, const char* where);

// Counts damaged or short data; the first one leaves "Unsupported file type".
void count_data_error(DecoderState& s);

// Copies `text` into decoder_message, bounded to the buffer.
void set_decoder_message(DecoderState& s, const char* text);

inline constexpr const char* kOutOfMemoryText = "Could not allocate memory";
inline constexpr const char* kDataErrorText = "Unsupported file type";

} // namespace raw
