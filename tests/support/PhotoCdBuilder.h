#pragma once
// Builds Photo CD image packs and 64Base extension files for decoder tests: header sectors,
// plain Base/16..Base planes, Huffman table blocks and residual row records.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/BitWriter.h"

namespace testsupport {

// One residual code: `code` holds the code's `length` bits right-aligned.
struct PcdCode {
    int length;
    uint16_t code;
    int8_t value;
};

// 0 "0", +8 "10", -8 "110", +1 "1110", -1 "11110".
std::vector<PcdCode> defaultPcdCodes();
// A table block as stored in the file (tables back to back).
std::vector<uint8_t> pcdTableBlock(const std::vector<std::vector<PcdCode>>& tables);

// Encodes row records: sync pattern, header, then one code per residual.
class PcdResidualWriter {
  public:
    explicit PcdResidualWriter(std::vector<PcdCode> codes = defaultPcdCodes());
    // Pack layout: plane 0 luma, 2 chroma 1, 3 chroma 2; `row` on the luma grid.
    PcdResidualWriter& row(int plane, int row, const std::vector<int8_t>& residuals);
    // Extension layout: plane 0 luma, 1 chroma 1, 2 chroma 2.
    PcdResidualWriter& extensionRow(int plane, int row, int sequence, const std::vector<int8_t>& residuals);
    // Bits that follow as they are (damaged data).
    PcdResidualWriter& bits(uint32_t value, int count);
    std::vector<uint8_t> finish();

  private:
    void residuals(const std::vector<int8_t>& values);
    std::vector<PcdCode> codes_;
    BitWriter out_;
};

using PcdSampleFn = std::function<uint8_t(int row, int column)>;

class PhotoCdBuilder {
  public:
    // Both signatures, no audio, image medium colour negative, resolution Base.
    PhotoCdBuilder();

    PhotoCdBuilder& attributes(int rotation, int resolutionField, int compressionClass = 0);
    PhotoCdBuilder& byte(uint64_t offset, uint8_t value);
    PhotoCdBuilder& text(uint64_t offset, const std::string& value);
    PhotoCdBuilder& be16(uint64_t offset, uint16_t value);
    PhotoCdBuilder& be32(uint64_t offset, uint32_t value);
    PhotoCdBuilder& bytes(uint64_t offset, const std::vector<uint8_t>& data);
    // The plain planes of level 0-2 (chroma functions take chroma coordinates).
    PhotoCdBuilder& plainLevel(int level, const PcdSampleFn& luma, const PcdSampleFn& chroma1,
                               const PcdSampleFn& chroma2);
    // Levels 0-2 all flat.
    PhotoCdBuilder& flatLevels(uint8_t luma, uint8_t chroma1 = 156, uint8_t chroma2 = 137);
    PhotoCdBuilder& truncate(uint64_t size);

    const std::vector<uint8_t>& data() const { return file_; }

  private:
    void reserve(uint64_t end);
    std::vector<uint8_t> file_;
};

// Where the 4Base tables and residual records sit in a pack.
constexpr uint64_t kPcd4BaseTables = 388ull * 2048;
constexpr uint64_t kPcd4BaseData = 389ull * 2048;

// A 64Base index file ("INFO.IC"): layer block, file list, tables and run tables.
struct PcdExtensionLayer {
    uint16_t rows = 4096, columns = 6144; // their product is the layer's sample count
    uint16_t columnOffset = 0;
    uint32_t stripeLength = 6144;
    // (file index, byte offset) per row record.
    std::vector<std::pair<uint16_t, uint32_t>> runs;
};
std::vector<uint8_t> pcdExtensionIndex(const std::vector<PcdExtensionLayer>& layers,
                                       const std::vector<std::string>& fileNames,
                                       const std::vector<std::vector<PcdCode>>& tables);

} // namespace testsupport
