#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffParser.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

// Scrambles bytes in place as the camera does: 32-bit words XOR-ed with the keystream.
class Scrambler {
  public:
    void run(uint8_t* bytes, size_t words, bool restart, uint32_t key) {
        std::vector<uint32_t> w(words);
        std::memcpy(w.data(), bytes, words * 4);
        sony_keystream(*state_, w.data(), uint32_t(words), restart, key);
        std::memcpy(bytes, w.data(), words * 4);
    }

  private:
    std::unique_ptr<DecoderState> state_ = std::make_unique<DecoderState>();
};

constexpr uint32_t kSeed = 0x12345678, kKey = 0xCAFEF00D;
constexpr long kData = 201000;

// A file holding the scrambled key and rows of big-endian samples scrambled with it.
std::vector<uint8_t> scrambled_file(const std::vector<std::vector<uint16_t>>& rows) {
    std::vector<uint8_t> file(kData, 0);
    file[200896] = 3;
    const size_t seed_at = 200896 + 4 * 3;
    for (int i = 0; i < 4; ++i)
        file[seed_at + size_t(i)] = uint8_t(kSeed >> (24 - 8 * i));
    uint8_t* block = &file[164600];
    for (int i = 0; i < 4; ++i)
        block[22 + i] = uint8_t(kKey >> (8 * i));
    Scrambler scrambler;
    scrambler.run(block, 10, true, kSeed);
    for (size_t r = 0; r < rows.size(); ++r) {
        std::vector<uint8_t> line;
        for (uint16_t v : rows[r])
            line.push_back(uint8_t(v >> 8)), line.push_back(uint8_t(v));
        scrambler.run(line.data(), line.size() / 4, r == 0, kKey);
        testsupport::append(file, line);
    }
    return file;
}

} // namespace

TEST(SonyScrambled, KeyFromTheFileUnscramblesRowsInOneStream) {
    // An odd width leaves the last sample of each row outside the 32-bit words.
    const std::vector<std::vector<uint16_t>> rows = {{1, 0x3FFF, 300, 4000, 77}, {0x4000, 2, 3, 9, 0x1234}};
    LoaderRig rig(scrambled_file(rows), 5, 2);
    rig.run(sony_scrambled_load_raw, kData);
    EXPECT_EQ(rig.row(0), rows[0]);
    EXPECT_EQ(rig.row(1), rows[1]);
    EXPECT_EQ(rig.s->white_level, 0x3FF0u);
    EXPECT_EQ(rig.s->data_error_count, 1); // 0x4000 is past 14 bits
}

TEST(SonyScrambled, ShortFileCountsAnError) {
    LoaderRig rig(scrambled_file({{5, 6, 7, 8}}), 4, 3);
    rig.run(sony_scrambled_load_raw, kData);
    EXPECT_EQ(rig.row(0), (std::vector<uint16_t>{5, 6, 7, 8}));
    EXPECT_GT(rig.s->data_error_count, 0);
}
