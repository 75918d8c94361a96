#pragma once
// A temporary folder for packs written by the tests, and reading a decoded image back.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "photocd/pcdDecode.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/PhotoCdBuilder.h"

namespace pcdtest {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lv-pcd-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // `name` may hold sub-folders.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::filesystem::path full = path_ / name;
        return testsupport::writeFile(full.parent_path(), full.filename().string(), bytes).string();
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Interleaved 16-bit RGB of the decoder's current image, row by row at its reported size.
struct Rgb16Image {
    int width = 0, height = 0;
    std::vector<uint16_t> samples;
    uint16_t at(int row, int column, int channel) const {
        return samples[(static_cast<size_t>(row) * width + column) * 3 + channel];
    }
};

inline Rgb16Image read16(pcdDecode& decoder) {
    Rgb16Image image;
    image.width = decoder.width();
    image.height = decoder.height();
    image.samples.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
    uint16_t* p = image.samples.data();
    if (!decoder.read16BitImage(p, p + 1, p + 2, nullptr, 3)) image.samples.clear();
    return image;
}

// The 0-1388 code of a grey pixel in colour mode 0, and its 16-bit output.
inline int greyCode(int luma) { return (5573 * luma) >> 10; }
inline uint16_t grey16(int luma) { return static_cast<uint16_t>(greyCode(luma) * 65535 / 1388); }

constexpr uint16_t k16BaseStart = 400; // sector of the 16Base data in these packs

// Flat grey 100 up to Base, 4Base records that add nothing, and the given 16Base tables and
// records.
inline testsupport::PhotoCdBuilder pack16Base(const std::vector<uint8_t>& tables,
                                              const std::vector<uint8_t>& records) {
    using namespace testsupport;
    PcdResidualWriter empty4Base;
    empty4Base.row(0, 1023, std::vector<int8_t>(1536, 0)).row(0, 8191, {});
    PhotoCdBuilder b;
    b.attributes(0, 2).flatLevels(100).be16(3587, k16BaseStart);
    b.bytes(kPcd4BaseTables, pcdTableBlock({defaultPcdCodes()}));
    b.bytes(kPcd4BaseData, empty4Base.finish());
    b.bytes((k16BaseStart + 12ull) * 2048, tables);
    b.bytes((k16BaseStart + 14ull) * 2048, records);
    return b;
}

} // namespace pcdtest
