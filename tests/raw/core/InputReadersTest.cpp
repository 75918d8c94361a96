#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using testsupport::MemoryFile;

namespace {

struct Reader {
    explicit Reader(std::vector<uint8_t> bytes, uint16_t order) : file(std::move(bytes)) {
        s->input_file = file.get();
        s->byte_order = order;
    }
    MemoryFile file;
    std::unique_ptr<DecoderState> s = std::make_unique<DecoderState>();
};

} // namespace

TEST(InputReaders, IntegersHonourByteOrderAndReadAllOnesPastTheEnd) {
    struct Case {
        std::vector<uint8_t> bytes;
        uint16_t order;
        uint16_t u16;
        uint32_t u32; // read after the u16
    };
    const Case cases[] = {
        {{0x12, 0x34, 0x01, 0x02, 0x03, 0x04}, kLittleEndian, 0x3412, 0x04030201},
        {{0x12, 0x34, 0x01, 0x02, 0x03, 0x04}, kBigEndian, 0x1234, 0x01020304},
        {{0x12, 0x34, 0x01, 0x02}, kLittleEndian, 0x3412, 0xFFFF0201},
        {{0x12, 0x34, 0x01, 0x02}, kBigEndian, 0x1234, 0x0102FFFF},
        {{0x7A}, kLittleEndian, 0xFF7A, 0xFFFFFFFF},
        {{0x7A}, kBigEndian, 0x7AFF, 0xFFFFFFFF},
        {{}, kBigEndian, 0xFFFF, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        Reader r(c.bytes, c.order);
        EXPECT_EQ(read_u16(*r.s), c.u16);
        EXPECT_EQ(read_u32(*r.s), c.u32);
        EXPECT_EQ(r.s->data_error_count, 0) << "short reads of single values are not errors";
    }
    DecoderState s{};
    const uint8_t b[] = {0xDE, 0xAD, 0xBE, 0xEF};
    s.byte_order = kBigEndian;
    EXPECT_EQ(bytes_u16(s, b), 0xDEAD);
    EXPECT_EQ(bytes_u32(s, b), 0xDEADBEEFu);
    s.byte_order = kLittleEndian;
    EXPECT_EQ(bytes_u16(s, b), 0xADDE);
    EXPECT_EQ(bytes_u32(s, b), 0xEFBEADDEu);
}

TEST(InputReaders, RealsByTiffType) {
    struct Case {
        uint32_t type;
        std::vector<uint8_t> bigEndianBytes;
        float expected;
    };
    const Case cases[] = {
        {3, {0xFF, 0xFE}, 65534.0f},
        {4, {0x00, 0x01, 0x00, 0x00}, 65536.0f},
        {5, {0, 0, 0, 3, 0, 0, 0, 4}, 0.75f},
        {8, {0xFF, 0xFE}, -2.0f},
        {9, {0xFF, 0xFF, 0xFF, 0xFD}, -3.0f},
        {10, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 4}, -0.25f},
        {10, {0, 0, 0, 1, 0, 0, 0, 0}, 0.0f}, // signed n/0 is 0
        {11, {0x3F, 0xC0, 0x00, 0x00}, 1.5f},
        {12, {0x3F, 0xF8, 0, 0, 0, 0, 0, 0}, 1.5f},
        {6, {0xFE}, 254.0f}, // SBYTE is not sign-extended
        {1, {0x80}, 128.0f},
    };
    for (const auto& c : cases) {
        Reader r(c.bigEndianBytes, kBigEndian);
        EXPECT_EQ(read_real_by_type(*r.s, c.type), c.expected) << "type " << c.type;
    }
    Reader unsignedZero({0, 0, 0, 1, 0, 0, 0, 0}, kBigEndian);
    EXPECT_TRUE(std::isinf(read_real_by_type(*unsignedZero.s, 5)));
    Reader littleDouble({0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, kLittleEndian);
    EXPECT_EQ(read_real_by_type(*littleDouble.s, 12), 1.5f);
    Reader ints({0x00, 0x05, 0x00, 0x00, 0x00, 0x06}, kBigEndian);
    EXPECT_EQ(read_int_by_type(*ints.s, 3), 5u);
    EXPECT_EQ(read_int_by_type(*ints.s, 4), 6u);
}

TEST(InputReaders, ArraySwapsBigEndianAndCountsOneErrorPerShortRead) {
    Reader big({0x01, 0x02, 0x03, 0x04}, kBigEndian);
    uint16_t out[2] = {};
    read_u16_array(*big.s, out, 2);
    EXPECT_EQ(out[0], 0x0102);
    EXPECT_EQ(out[1], 0x0304);
    EXPECT_EQ(big.s->data_error_count, 0);

    Reader little({0x01, 0x02, 0x03}, kLittleEndian);
    uint16_t more[4] = {};
    read_u16_array(*little.s, more, 4);
    EXPECT_EQ(more[0], 0x0201);
    EXPECT_EQ(little.s->data_error_count, 1);
    EXPECT_STREQ(little.s->decoder_message, "Unsupported file type");
    read_u16_array(*little.s, more, 4);
    EXPECT_EQ(little.s->data_error_count, 2);
}
