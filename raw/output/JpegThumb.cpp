// The camera's embedded JPEG, copied out with an EXIF block describing the photo when the
// camera wrote none.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/types.h>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/FileOutput.h"

namespace raw {
namespace {

// What is left of the input from the current position; a thumbnail claims no more.
uint64_t bytes_left(FILE* f) {
    const off_t here = ftello(f);
    if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return 0;
    const off_t end = ftello(f);
    fseeko(f, here, SEEK_SET);
    return end > here ? uint64_t(end - here) : 0;
}

void write_exif_segment(const DecoderState& s) {
    const tiff_header header = tiff_header_record(s, nullptr);
    const size_t length = 2 + 6 + header.size(); // counts itself, not the marker
    const uint8_t segment[] = {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length), 'E', 'x', 'i', 'f', 0, 0};
    std::fwrite(segment, 1, sizeof segment, s.output_file);
    std::fwrite(header.data(), 1, header.size(), s.output_file);
}

} // namespace

void jpeg_thumb(DecoderState& s) {
    if (!s.input_file || !s.output_file) return;
    const uint64_t length = std::min<uint64_t>(s.thumbnail_length, bytes_left(s.input_file));
    auto release = [&s](void* p) { file_backed_free(s, p); };
    std::unique_ptr<uint8_t, decltype(release)> thumb(
        static_cast<uint8_t*>(file_backed_calloc(s, std::max<uint64_t>(length, 1), 1)), release);
    memory_error(s, thumb.get(), "jpeg_thumb()");
    const uint64_t got = std::fread(thumb.get(), 1, length, s.input_file);
    const uint8_t start[] = {0xFF, 0xD8};
    std::fwrite(start, 1, 2, s.output_file);
    if (got < 10 || std::memcmp(thumb.get() + 6, "Exif", 4) != 0) write_exif_segment(s);
    if (got > 2) std::fwrite(thumb.get() + 2, 1, got - 2, s.output_file);
}

} // namespace raw
