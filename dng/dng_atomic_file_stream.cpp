#include "dng/dng_atomic_file_stream.h"

#include "dng/dng_exceptions.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

dng_atomic_file_stream::dng_atomic_file_stream(const char* path, uint32_t bufferSize)
    : dng_stream(static_cast<dng_abort_sniffer*>(nullptr), bufferSize, 0), fFile(path) {
    platform::Error why;
    if (!fFile.open(&why)) Throw_dng_system_error(dng_error_open_file, int(why.code));
    fFD = ::open(fFile.temporaryPath().c_str(), O_RDWR | O_CLOEXEC);
    if (fFD < 0) Throw_dng_system_error(dng_error_open_file, errno);
}

dng_atomic_file_stream::~dng_atomic_file_stream() {
    if (fFD >= 0) ::close(fFD);
}

void dng_atomic_file_stream::Commit() {
    Flush();
    const int fd = fFD;
    fFD = -1;
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        Throw_dng_system_error(dng_error_write_file, err);
    }
    if (::close(fd) != 0) Throw_dng_system_error(dng_error_write_file, errno);
    platform::Error why;
    if (!fFile.commit(&why)) Throw_dng_system_error(dng_error_write_file, int(why.code));
}

uint64_t dng_atomic_file_stream::DoGetLength() {
    struct stat info {};
    if (fFD < 0 || ::fstat(fFD, &info) != 0) Throw_dng_error(dng_error_read_file);
    return uint64_t(info.st_size);
}

void dng_atomic_file_stream::DoRead(void* data, uint32_t count, uint64_t offset) {
    auto* bytes = static_cast<char*>(data);
    while (count) {
        const ssize_t n = ::pread(fFD, bytes, count, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Throw_dng_error(dng_error_read_file);
        bytes += n;
        count -= uint32_t(n);
        offset += uint64_t(n);
    }
}

void dng_atomic_file_stream::DoSetLength(uint64_t length) {
    if (fFD < 0) Throw_dng_error(dng_error_write_file);
    if (::ftruncate(fFD, off_t(length)) != 0) Throw_dng_system_error(dng_error_write_file, errno);
}

void dng_atomic_file_stream::DoWrite(const void* data, uint32_t count, uint64_t offset) {
    const auto* bytes = static_cast<const char*>(data);
    while (count) {
        if (fFD < 0) Throw_dng_error(dng_error_write_file);
        const ssize_t n = ::pwrite(fFD, bytes, count, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        // A write of nothing at all is the disk being full, as the next write would say.
        if (n <= 0) Throw_dng_system_error(dng_error_write_file, n < 0 ? errno : ENOSPC);
        bytes += n;
        count -= uint32_t(n);
        offset += uint64_t(n);
    }
}
