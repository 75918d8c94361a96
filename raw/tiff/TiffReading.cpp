#include "raw/tiff/TiffReading.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "raw/tiff/TiffParser.h"

namespace raw {

int64_t file_length(DecoderState& s) {
    FILE* f = s.input_file;
    // Asked for at every directory entry: fstat leaves the stream's buffer and position
    // alone, where seeking to the end and back would refill the buffer each time.
    struct stat st;
    if (const int fd = fileno(f); fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        return int64_t(st.st_size);
    off_t here = ftello(f);
    if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return 0;
    off_t end = ftello(f);
    fseeko(f, here, SEEK_SET);
    return end < 0 ? 0 : int64_t(end);
}

int64_t file_position(DecoderState& s) { return int64_t(ftello(s.input_file)); }

bool seek_inside(DecoderState& s, int64_t position) {
    if (position < 0 || position >= file_length(s)) return false;
    return fseeko(s.input_file, off_t(position), SEEK_SET) == 0;
}

void seek_to(DecoderState& s, int64_t position) {
    // A position outside the file reads as all-ones from the end, like a short file.
    if (position < 0 || position > file_length(s)) position = file_length(s);
    fseeko(s.input_file, off_t(position), SEEK_SET);
}

uint64_t values_left(DecoderState& s, uint64_t count, uint32_t type) {
    int64_t left = file_length(s) - file_position(s);
    if (left <= 0) return 0;
    uint64_t fit = uint64_t(left) / tiff_type_size(type);
    return count < fit ? count : fit;
}

void read_line(DecoderState& s, char* text, int size) {
    std::memset(text, 0, size_t(size));
    if (!std::fgets(text, size, s.input_file)) text[0] = 0;
}

void read_fixed_text(DecoderState& s, char* text, int size) {
    std::memset(text, 0, size_t(size));
    size_t got = std::fread(text, 1, size_t(size), s.input_file);
    (void)got; // a short read leaves NULs, which is what a missing text means
    text[size - 1] = 0;
}

int read_byte(DecoderState& s) {
    int c = std::fgetc(s.input_file);
    return c == EOF ? 0xFF : c;
}

uint32_t take_entries(DecoderState& s, uint32_t count) {
    const uint32_t left = kMaxTiffEntriesPerFile - std::min(s.tiff_entries_read, kMaxTiffEntriesPerFile);
    const uint32_t taken = std::min(count, left);
    s.tiff_entries_read += taken;
    return taken;
}

uint16_t clamp_u16(double value) {
    if (!(value > 0)) return 0;
    return value >= 65535.0 ? 65535 : uint16_t(value);
}

uint32_t clamp_u32(double value) {
    if (!(value > 0)) return 0;
    return value >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(value);
}

} // namespace raw
