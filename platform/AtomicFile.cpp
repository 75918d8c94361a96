#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;

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
    fd_ = -1;
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
    return true;
}

bool AtomicFile::write(std::string_view bytes, Error* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return posixFailure(error, "Could not write", target_);
    }
    while (!bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return posixFailure(error, "Could not write", target_);
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

bool AtomicFile::rewind(Error* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return posixFailure(error, "Could not write", target_);
    }
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
        return posixFailure(error, "Could not write", target_);
    return true;
}

bool AtomicFile::commit(Error* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return posixFailure(error, "Could not write", target_);
    }
    if (::fsync(fd_) != 0) return posixFailure(error, "Could not write", target_);
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
