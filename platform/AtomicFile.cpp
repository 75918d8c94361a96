#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;
namespace {

// Writes past the cache go in whole blocks from aligned memory; 4 KiB suits every device.
constexpr size_t kBlock = 4096;
constexpr size_t kStage = 4 << 20;

} // namespace

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {
    // A link (a settings file kept with the user's other dotfiles) is followed, so the file
    // it points to is replaced and the link stays.
    std::error_code ec;
    if (fs::is_symlink(target_, ec)) {
        fs::path real = fs::canonical(target_, ec);
        if (!ec) target_ = real;
    }
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::posixFailure(Error* error, const char* what, const fs::path& p) {
    int err = errno;
    discard();
    return fail(error, {std::string(kPosixErrorDomain), err,
                        std::string(what) + " " + p.string() + ": " + std::strerror(err)});
}

void AtomicFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    if (directFd_ >= 0) ::close(directFd_);
    fd_ = directFd_ = -1;
    stagedBytes_ = 0;
    offset_ = 0;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool AtomicFile::open(Error* error) {
    discard();
    // Hidden and in the same folder, so the final rename never crosses file systems.
    std::string hidden = ".";
    hidden += target_.filename().string();
    hidden += ".XXXXXX";
    std::string name = (target_.parent_path() / hidden).string();
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) return posixFailure(error, "Could not create a temporary file for", target_);
    temporary_ = name;
    struct stat existing {};
    mode_t mode = ::stat(target_.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    ::fchmod(fd_, mode);
    // File systems without it (tmpfs, some network ones) refuse here: all goes through the cache.
    directFd_ = ::open(name.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
    return true;
}

bool AtomicFile::writeAt(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), off_t(offset_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(size_t(n));
        offset_ += uint64_t(n);
    }
    return true;
}

bool AtomicFile::flushStaged(bool all) {
    const size_t whole = stagedBytes_ / kBlock * kBlock;
    std::string_view staged(staged_.get(), stagedBytes_);
    if (whole > 0 && directFd_ >= 0) {
        // A short or refused write past the cache (alignment the device wants larger) leaves
        // the remainder to the cache, and the file to the cache from then on.
        const uint64_t start = offset_;
        if (!writeAt(directFd_, staged.substr(0, whole))) {
            if (errno != EINVAL) return false;
            ::close(directFd_);
            directFd_ = -1;
        }
        staged.remove_prefix(size_t(offset_ - start));
    }
    if (all || directFd_ < 0) {
        stagedBytes_ = 0;
        return writeAt(fd_, staged);
    }
    std::memmove(staged_.get(), staged.data(), staged.size());
    stagedBytes_ = staged.size();
    return true;
}

bool AtomicFile::write(std::string_view bytes, Error* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return posixFailure(error, "Could not write", target_);
    }
    // Small files (and what follows a refusal) go through the cache as they come.
    if (directFd_ < 0 || (!staged_ && bytes.size() < kBlock)) {
        if (stagedBytes_ > 0 && !flushStaged(true)) return posixFailure(error, "Could not write", target_);
        if (!writeAt(fd_, bytes)) return posixFailure(error, "Could not write", target_);
        return true;
    }
    if (!staged_) {
        staged_.reset(static_cast<char*>(std::aligned_alloc(kBlock, kStage)));
        if (!staged_) throw std::bad_alloc();
        // What went through the cache so far ends mid-block: its tail block is staged again,
        // so that every write past the cache starts on a block.
        const uint64_t back = offset_ % kBlock;
        if (back > 0) {
            offset_ -= back;
            ssize_t n = ::pread(fd_, staged_.get(), back, off_t(offset_));
            if (n != ssize_t(back)) return posixFailure(error, "Could not write", target_);
            stagedBytes_ = back;
        }
    }
    while (!bytes.empty()) {
        const size_t n = std::min(bytes.size(), kStage - stagedBytes_);
        std::memcpy(staged_.get() + stagedBytes_, bytes.data(), n);
        stagedBytes_ += n;
        bytes.remove_prefix(n);
        if (stagedBytes_ == kStage && !flushStaged(false))
            return posixFailure(error, "Could not write", target_);
        if (directFd_ < 0) return writeAt(fd_, bytes) || posixFailure(error, "Could not write", target_);
    }
    return true;
}

bool AtomicFile::rewind(Error* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return posixFailure(error, "Could not write", target_);
    }
    stagedBytes_ = 0;
    offset_ = 0;
    if (::ftruncate(fd_, 0) != 0) return posixFailure(error, "Could not write", target_);
    return true;
}

bool AtomicFile::commit(Error* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return posixFailure(error, "Could not write", target_);
    }
    if (stagedBytes_ > 0 && !flushStaged(true)) return posixFailure(error, "Could not write", target_);
    if (::fsync(fd_) != 0) return posixFailure(error, "Could not write", target_);
    if (directFd_ >= 0) ::close(directFd_);
    directFd_ = -1;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return posixFailure(error, "Could not write", target_);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return posixFailure(error, "Could not replace", target_);
    temporary_.clear();
    return true;
}

bool writeFileAtomically(const fs::path& path, std::string_view bytes, Error* error) {
    AtomicFile file(path);
    return file.open(error) && file.write(bytes, error) && file.commit(error);
}

} // namespace platform
