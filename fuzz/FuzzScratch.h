#pragma once
// A scratch folder of the fuzzing process for the readers that take a path, in memory
// (/dev/shm) where there is one: each input is written under the name the reader expects.
// Removed when the process ends normally; libFuzzer's workers each have their own.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fuzzing {

class Scratch {
  public:
    Scratch() {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
        std::string pattern = (base / "lumivar-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::filesystem::path& folder() const { return folder_; }

    // Writes the bytes as folder/name (sub-folders made) and returns the path.
    std::filesystem::path write(const std::filesystem::path& name, const uint8_t* data, size_t size) const {
        const std::filesystem::path file = folder_ / name;
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        if (!out) std::abort(); // a full scratch folder is no finding
        return file;
    }

    // Empties the folder between inputs, so nothing of one run leaks into the next.
    void clear() const {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder_, ec))
            std::filesystem::remove_all(entry.path(), ec);
    }

  private:
    std::filesystem::path folder_;
};

// One per process, made on first use.
inline Scratch& scratch() {
    static Scratch instance;
    return instance;
}

} // namespace fuzzing
