#include "raw/containers/ContainerReading.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "raw/core/InputReaders.h"

namespace raw::container_io {

bool seek(DecoderState& s, uint64_t offset) {
    if (offset > uint64_t(std::numeric_limits<off_t>::max())) return false;
    return fseeko(s.input_file, off_t(offset), SEEK_SET) == 0;
}

bool skip(DecoderState& s, int64_t delta) {
    const uint64_t here = tell(s);
    if (delta < 0 && uint64_t(-delta) > here) return false;
    return seek(s, here + uint64_t(delta));
}

void read_text(DecoderState& s, char* field, size_t capacity, size_t count) {
    if (capacity == 0) return;
    std::memset(field, 0, capacity);
    const size_t keep = std::min(count, capacity - 1);
    const size_t got = std::fread(field, 1, keep, s.input_file);
    if (got == keep && count > keep) skip(s, int64_t(count - keep));
}

void set_text(char* field, size_t capacity, const char* text) {
    if (capacity == 0) return;
    std::strncpy(field, text, capacity - 1);
    field[capacity - 1] = 0;
}

uint16_t fit16(uint64_t value) { return value > 0xFFFF ? 0 : uint16_t(value); }

float word_float(uint32_t word) { return std::bit_cast<float>(word); }

float read_float(DecoderState& s) { return word_float(read_u32(s)); }

int64_t local_time(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    return when > 0 ? int64_t(when) : 0;
}

} // namespace raw::container_io
