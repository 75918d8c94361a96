#include "dng/dng_file_stream.h"

#include "dng/dng_exceptions.h"

#include <limits>
#include <sys/types.h>

namespace {
bool SeekTo(std::FILE* file, uint64_t offset) {
    if (offset > uint64_t(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file, off_t(offset), SEEK_SET) == 0;
}
} // namespace

dng_file_stream::dng_file_stream(const char* path, bool output, uint32_t bufferSize)
    : dng_stream(static_cast<dng_abort_sniffer*>(nullptr), bufferSize, 0) {
    fFile = std::fopen(path, output ? "wb" : "rb");
    if (!fFile) Throw_dng_error(dng_error_open_file);
}

dng_file_stream::~dng_file_stream() {
    if (fFile) std::fclose(fFile);
}

uint64_t dng_file_stream::DoGetLength() {
    if (fseeko(fFile, 0, SEEK_END) != 0) Throw_dng_error(dng_error_read_file);
    const off_t length = ftello(fFile);
    if (length < 0) Throw_dng_error(dng_error_read_file);
    return uint64_t(length);
}

void dng_file_stream::DoRead(void* data, uint32_t count, uint64_t offset) {
    if (!SeekTo(fFile, offset) || std::fread(data, 1, count, fFile) != count)
        Throw_dng_error(dng_error_read_file);
}

void dng_file_stream::DoWrite(const void* data, uint32_t count, uint64_t offset) {
    if (!SeekTo(fFile, offset) || std::fwrite(data, 1, count, fFile) != count)
        Throw_dng_error(dng_error_write_file);
}
