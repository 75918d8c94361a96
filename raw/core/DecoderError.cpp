#include "raw/core/DecoderError.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace raw {

void decoder_fail(DecoderState& s, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(s.decoder_message, sizeof s.decoder_message, format, args);
    va_end(args);
    throw DecoderText{s.decoder_message};
}

void memory_error(DecoderState& s, const void* pointer, const char* where) {
    if (pointer) return;
    std::snprintf(s.decoder_message, sizeof s.decoder_message, "%s: Could not allocate memory in %s",
                  s.input_path ? s.input_path : "", where);
    throw DecoderText{kOutOfMemoryText};
}

void count_data_error(DecoderState& s) {
    if (s.data_error_count == 0) set_decoder_message(s, kDataErrorText);
    // A damaged stream can run dry billions of times; the count saturates.
    if (s.data_error_count < INT32_MAX) ++s.data_error_count;
}

void set_decoder_message(DecoderState& s, const char* text) {
    if (text == s.decoder_message) return;
    std::snprintf(s.decoder_message, sizeof s.decoder_message, "%s", text ? text : "");
}

} // namespace raw
