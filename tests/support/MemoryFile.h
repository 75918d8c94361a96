#pragma once
// Files for tests without touching the disk where possible.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A read-only FILE* over bytes held in memory (an empty file when there are none).
class MemoryFile {
  public:
    explicit MemoryFile(std::vector<uint8_t> bytes);
    explicit MemoryFile(const std::string& text)
        : MemoryFile(std::vector<uint8_t>(text.begin(), text.end())) {}
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    FILE* get() const { return file_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    FILE* file_ = nullptr;
};

// Writes `bytes` to folder/name (creating the folder) and returns the path.
std::filesystem::path writeFile(const std::filesystem::path& folder, const std::string& name,
                                const std::vector<uint8_t>& bytes);
std::filesystem::path writeFile(const std::filesystem::path& folder, const std::string& name,
                                const std::string& text);

} // namespace testsupport
