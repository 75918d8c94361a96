#include "export/ExrOutputStream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

ExrOutputStream::ExrOutputStream(const fs::path& target) : Imf::OStream(target.c_str()), target_(target) {
    // Hidden and beside the target, so the rename never crosses file systems.
    fs::path pattern = target_.parent_path() / ("." + target_.filename().string() + ".XXXXXX");
    std::string name = pattern.string();
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) fail("Cannot create a temporary file for", errno);
    temporary_ = name;
    // A file written over keeps its permissions; a new one gets the usual ones.
    struct stat existing {};
    ::fchmod(fd_, ::stat(target_.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
}

ExrOutputStream::~ExrOutputStream() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void ExrOutputStream::fail(const char* what, int err) {
    std::string message = std::string(what) + " " + target_.string() + ": " + std::strerror(err);
    if (firstError_.empty()) firstError_ = message;
    throw std::runtime_error(message);
}

void ExrOutputStream::write(const char c[], int n) {
    if (fd_ < 0) fail("Cannot write", EBADF);
    size_t left = n > 0 ? size_t(n) : 0;
    while (left > 0) {
        ssize_t done = ::pwrite(fd_, c, left, off_t(position_));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) fail("Cannot write", done < 0 ? errno : ENOSPC);
        c += done;
        left -= size_t(done);
        position_ += uint64_t(done);
    }
}

void ExrOutputStream::commit() {
    if (!firstError_.empty()) throw std::runtime_error(firstError_);
    if (fd_ < 0) fail("Cannot write", EBADF);
    int fd = fd_;
    fd_ = -1;
    int syncError = ::fsync(fd) != 0 ? errno : 0;
    int closeError = ::close(fd) != 0 ? errno : 0;
    if (syncError || closeError) fail("Cannot write", syncError ? syncError : closeError);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail("Cannot replace", errno);
    temporary_.clear();
}
