#include "tests/support/MemoryFile.h"

#include <fstream>
#include <stdexcept>

namespace testsupport {

MemoryFile::MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    // fmemopen refuses a zero-sized buffer; an empty temporary file behaves the same.
    file_ = bytes_.empty() ? std::tmpfile() : fmemopen(bytes_.data(), bytes_.size(), "rb");
    if (!file_) throw std::runtime_error("cannot open an in-memory file");
}

MemoryFile::~MemoryFile() { std::fclose(file_); }

std::filesystem::path writeFile(const std::filesystem::path& folder, const std::string& name,
                                const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(folder);
    std::filesystem::path path = folder / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
    return path;
}

std::filesystem::path writeFile(const std::filesystem::path& folder, const std::string& name,
                                const std::string& text) {
    return writeFile(folder, name, std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace testsupport
