#include <gtest/gtest.h>

#include <memory>

#include "raw/identify/CanonProbes.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using testsupport::MemoryFile;

namespace {

int lowBits(std::vector<uint8_t> bytes) {
    MemoryFile file(std::move(bytes));
    auto s = std::make_unique<DecoderState>();
    s->input_file = file.get();
    return canon_has_low_bits(*s);
}

} // namespace

TEST(CanonProbes, LowBitsFollowTheStuffingOfFFBytes) {
    std::vector<uint8_t> head(16384, 0x11);
    EXPECT_EQ(lowBits(head), 1) << "no 0xFF at all";
    head[600] = 0xFF;
    head[601] = 0x00;
    EXPECT_EQ(lowBits(head), 0) << "every 0xFF stuffed";
    head[9000] = 0xFF;
    head[9001] = 0x42;
    EXPECT_EQ(lowBits(head), 1) << "a 0xFF with a non-zero follower";
    std::vector<uint8_t> early(16384, 0x11);
    early[100] = 0xFF;
    early[101] = 0x00;
    EXPECT_EQ(lowBits(early), 1) << "bytes before 540 are not looked at";
    EXPECT_EQ(lowBits({0xFF, 0x00}), 1) << "a short file";
}

TEST(CanonProbes, RowCheckLooksForABrightByte) {
    std::vector<uint8_t> data(3284 + 3340 * 100, 0x0F);
    {
        MemoryFile file(data);
        auto s = std::make_unique<DecoderState>();
        s->input_file = file.get();
        EXPECT_EQ(canon_row_check(*s), 0);
    }
    data[3284 + 3340 * 57] = 16;
    MemoryFile file(data);
    auto s = std::make_unique<DecoderState>();
    s->input_file = file.get();
    EXPECT_EQ(canon_row_check(*s), 1);
}
