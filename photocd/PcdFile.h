#pragma once
// A read-only file for the pack and its extension files, closed when it goes out of scope.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace photocd {

class PcdFile {
  public:
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    // Bytes actually read at `offset` (fewer at the end of the file, 0 when it cannot seek).
    size_t readAt(uint64_t offset, void* into, size_t count);
    // Bytes read from the current position.
    size_t read(void* into, size_t count);
    bool seek(uint64_t offset);
    // -1 when the size cannot be learnt.
    int64_t size();

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

} // namespace photocd
