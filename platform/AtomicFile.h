#pragma once
// A file written over in one step: the bytes go to a temporary file in the target's folder,
// which replaces the target only on commit. A failure or an abandoned write never leaves a
// truncated file behind. Writers that need a path of their own (image libraries) write to
// temporaryPath() between open() and commit().
//
// Where the file system allows, write() sends whole blocks past the page cache: an export is
// flushed on commit anyway, and a batch of them would otherwise push the photographer's raw
// files out of the cache (and pay for fresh cache pages) for files read back rarely.
#include <cstdlib>
#include <filesystem>
#include <memory>
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
    struct FreeBlock {
        void operator()(char* p) const { std::free(p); }
    };

    bool posixFailure(Error* error, const char* what, const std::filesystem::path& p);
    void discard();
    bool writeAt(int fd, std::string_view bytes);
    // Writes what is staged: whole blocks past the cache, the rest (on commit) through it.
    bool flushStaged(bool all);

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    int directFd_ = -1; // the same file opened past the cache, or -1
    std::unique_ptr<char, FreeBlock> staged_;
    size_t stagedBytes_ = 0;
    uint64_t offset_ = 0; // where the staged bytes go
};

// Writes `bytes` over `path` through an AtomicFile.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, Error* error = nullptr);

} // namespace platform
