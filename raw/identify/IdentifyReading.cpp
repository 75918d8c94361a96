#include "raw/identify/IdentifyReading.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace raw {

bool seek_to(DecoderState& s, uint64_t offset) {
    if (offset > uint64_t(INT64_MAX)) return false;
    return fseeko(s.input_file, off_t(offset), SEEK_SET) == 0;
}

uint64_t input_length(DecoderState& s) {
    if (fseeko(s.input_file, 0, SEEK_END) != 0) return 0;
    off_t end = ftello(s.input_file);
    return end > 0 ? uint64_t(end) : 0;
}

void read_text(DecoderState& s, char* field, size_t capacity, size_t count) {
    if (capacity == 0) return;
    const size_t kept = std::min(count, capacity - 1);
    size_t got = std::fread(field, 1, kept, s.input_file);
    std::memset(field + got, 0, capacity - got);
    // The rest of the stored text is skipped, as a reader of the whole field would.
    if (count > kept) fseeko(s.input_file, off_t(count - kept), SEEK_CUR);
}

void set_text(char* field, size_t capacity, const char* text) {
    if (capacity == 0) return;
    std::strncpy(field, text, capacity - 1);
    field[capacity - 1] = 0;
}

uint16_t fit16(uint64_t value) { return value > 0xFFFF ? 0 : uint16_t(value); }

} // namespace raw
