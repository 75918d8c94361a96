#pragma once
// A file written over in one step: the bytes go to a temporary file in the target's folder,
// which replaces the target only on commit. A failure or an abandoned write never leaves a
// truncated file behind. Writers that need a path of their own (image libraries) write to
// temporaryPath() between open() and commit().
#include <filesystem>
#include <string_view>

#include "platform/Error.h"

namespace platform {

class AtomicFile {
  public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile(); // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. The target's folder must exist.
    bool open(Error* error = nullptr);
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    bool write(std::string_view bytes, Error* error = nullptr);
    // Empties the temporary file: what is written next starts it again.
    bool rewind(Error* error = nullptr);
    // Flushes to disk and renames over the target; a replaced file's permissions are kept.
    bool commit(Error* error = nullptr);

  private:
    bool posixFailure(Error* error, const char* what, const std::filesystem::path& p);
    void discard();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
};

// Writes `bytes` over `path` through an AtomicFile.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, Error* error = nullptr);

} // namespace platform
