// Opcodes read from their stream form: what they do to an image, how unknown and too-new
// ones are treated, and that a list writes back the bytes it was read from.
#include "DngErrorMatchers.h"
#include "DngStreams.h"
#include "tests/support/Samples.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_opcode_list.h"
#include "dng/dng_opcodes.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Big-endian opcode-list bytes, written by hand.
class ListWriter {
  public:
    ListWriter& Opcode(uint32_t id, uint32_t version, uint32_t flags, const std::vector<uint8_t>& params) {
        ++fCount;
        U32(fBody, id);
        U32(fBody, version);
        U32(fBody, flags);
        U32(fBody, uint32_t(params.size()));
        fBody.insert(fBody.end(), params.begin(), params.end());
        return *this;
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        U32(out, fCount);
        out.insert(out.end(), fBody.begin(), fBody.end());
        return out;
    }
    static void U32(std::vector<uint8_t>& v, uint32_t x) {
        for (int s = 24; s >= 0; s -= 8)
            v.push_back(uint8_t(x >> s));
    }
    static void U16(std::vector<uint8_t>& v, uint16_t x) {
        v.push_back(uint8_t(x >> 8));
        v.push_back(uint8_t(x));
    }
    static void F32(std::vector<uint8_t>& v, float f) {
        uint32_t x;
        std::memcpy(&x, &f, 4);
        U32(v, x);
    }
    static void F64(std::vector<uint8_t>& v, double d) {
        uint64_t x;
        std::memcpy(&x, &d, 8);
        U32(v, uint32_t(x >> 32));
        U32(v, uint32_t(x));
    }

  private:
    uint32_t fCount = 0;
    std::vector<uint8_t> fBody;
};

std::vector<uint8_t> Area(uint32_t t, uint32_t l, uint32_t b, uint32_t r, uint32_t plane, uint32_t planes,
                          uint32_t rowPitch, uint32_t colPitch) {
    std::vector<uint8_t> v;
    for (uint32_t x : {t, l, b, r, plane, planes, rowPitch, colPitch})
        ListWriter::U32(v, x);
    return v;
}

std::vector<uint8_t> MapTable(std::vector<uint8_t> area, const std::vector<uint16_t>& table) {
    ListWriter::U32(area, uint32_t(table.size()));
    for (uint16_t x : table)
        ListWriter::U16(area, x);
    return area;
}

std::vector<uint8_t> GainMap(std::vector<uint8_t> area, uint32_t rows, uint32_t cols,
                             const std::vector<float>& gains) {
    ListWriter::U32(area, rows);
    ListWriter::U32(area, cols);
    ListWriter::F64(area, rows > 1 ? 1.0 / (rows - 1) : 1.0);
    ListWriter::F64(area, cols > 1 ? 1.0 / (cols - 1) : 1.0);
    ListWriter::F64(area, 0.0);
    ListWriter::F64(area, 0.0);
    ListWriter::U32(area, 1);
    for (float g : gains)
        ListWriter::F32(area, g);
    return area;
}

std::vector<uint8_t> FloatTable(std::vector<uint8_t> area, const std::vector<float>& values) {
    ListWriter::U32(area, uint32_t(values.size()));
    for (float x : values)
        ListWriter::F32(area, x);
    return area;
}

void Parse(dng_host& host, const std::vector<uint8_t>& bytes, dng_opcode_list& list) {
    auto stream = dngtest::StreamOver(bytes);
    ParseOpcodeList(host, *stream, 0, uint32_t(bytes.size()), list);
}

std::vector<uint8_t> Spooled(dng_host& host, const dng_opcode_list& list) {
    std::unique_ptr<dng_memory_block> block = list.Spool(host);
    if (!block) return {};
    const uint8_t* p = block->Buffer_uint8();
    return std::vector<uint8_t>(p, p + block->LogicalSize());
}

std::unique_ptr<dng_image> Image4x4(uint16_t base) {
    auto image = std::make_unique<dng_simple_image>(dng_rect(4, 4), 1, ttShort, gDefaultDNGMemoryAllocator);
    std::vector<uint16_t> v(16);
    for (size_t i = 0; i < 16; ++i)
        v[i] = uint16_t(base + i);
    dng_pixel_buffer b(image->Bounds(), 0, 1, ttShort, dng_pixel_buffer::interleaved, v.data());
    image->Put(b);
    return image;
}

std::vector<uint16_t> Values(const dng_image& image) {
    std::vector<uint16_t> v(size_t(image.Width()) * image.Height());
    dng_pixel_buffer b(image.Bounds(), 0, 1, ttShort, dng_pixel_buffer::interleaved, v.data());
    image.Get(b);
    return v;
}

std::vector<uint16_t> Applied(const std::vector<uint8_t>& list, uint16_t base = 100) {
    dng_host host;
    std::unique_ptr<dng_negative> negative(host.MakeNegative());
    dng_opcode_list opcodes(2);
    Parse(host, list, opcodes);
    std::unique_ptr<dng_image> image = Image4x4(base);
    opcodes.Apply(host, *negative, image);
    return Values(*image);
}

TEST(Opcodes, ListsWriteBackTheBytesTheyWereReadFrom) {
    const std::vector<uint8_t> bytes =
        ListWriter()
            .Opcode(dngOpcode_GainMap, 0x01030000, 0,
                    GainMap(Area(0, 0, 4, 4, 0, 1, 1, 1), 2, 2, {1, 2, 3, 4}))
            .Opcode(dngOpcode_MapTable, 0x01030000, 1, MapTable(Area(0, 0, 4, 4, 0, 1, 2, 2), {5, 6, 7}))
            .Opcode(dngOpcode_DeltaPerRow, 0x01030000, 0,
                    FloatTable(Area(0, 0, 4, 4, 0, 1, 1, 1), {0, 0, 0, 0.5f}))
            .Opcode(dngOpcode_ScalePerColumn, 0x01030000, 0, FloatTable(Area(0, 0, 4, 4, 0, 1, 1, 2), {1, 2}))
            .Opcode(99, 0x01040000, 1, {1, 2, 3, 4, 5})
            .Bytes();
    dng_host host;
    dng_opcode_list list(2);
    Parse(host, bytes, list);
    EXPECT_EQ(list.Count(), 5u);
    EXPECT_EQ(Spooled(host, list), bytes);
}

TEST(Opcodes, RealListsRoundTrip) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    dng_host host;
    dng_file_stream stream(testsupport::samplePath("Pixel7_small.dng").c_str());
    dng_info info;
    info.Parse(host, stream);
    const dng_parsed_ifd& ifd = info.MainIFD();
    for (int k : {1, 2}) {
        std::vector<uint8_t> stored(ifd.fOpcodeListCount[k]);
        stream.SetReadPosition(ifd.fOpcodeListOffset[k]);
        stream.Get(stored.data(), uint32_t(stored.size()));
        dng_opcode_list list(uint32_t(k + 1));
        ParseOpcodeList(host, stream, ifd.fOpcodeListOffset[k], ifd.fOpcodeListCount[k], list);
        EXPECT_EQ(Spooled(host, list), stored) << "list " << k + 1;
    }
}

TEST(Opcodes, TablesDeltasScalesAndGainsChangeTheirAreas) {
    // MapTable on every second row and column from (0, 0): 100 -> table[100] (the last entry).
    const auto table = Applied(
        ListWriter()
            .Opcode(dngOpcode_MapTable, 0x01030000, 0, MapTable(Area(0, 0, 4, 4, 0, 1, 2, 2), {1, 2, 3}))
            .Bytes());
    EXPECT_EQ(table, (std::vector<uint16_t>{3, 101, 3, 103, 104, 105, 106, 107, 3, 109, 3, 111, 112, 113, 114,
                                            115}));

    // A gain of 2 everywhere doubles every sample.
    const auto gain = Applied(
        ListWriter()
            .Opcode(dngOpcode_GainMap, 0x01030000, 0, GainMap(Area(0, 0, 4, 4, 0, 1, 1, 1), 1, 1, {2.0f}))
            .Bytes());
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(gain[i], 2 * (100 + i));

    // One delta per row, in units of the full range.
    const float d = 1000.0f / 65535.0f;
    const auto delta = Applied(ListWriter()
                                   .Opcode(dngOpcode_DeltaPerRow, 0x01030000, 0,
                                           FloatTable(Area(0, 0, 4, 4, 0, 1, 1, 1), {0, d, 0, 0}))
                                   .Bytes());
    EXPECT_EQ(delta[4], 1104);
    EXPECT_EQ(delta[0], 100);

    const auto scale = Applied(ListWriter()
                                   .Opcode(dngOpcode_ScalePerColumn, 0x01030000, 0,
                                           FloatTable(Area(0, 0, 4, 4, 0, 1, 1, 1), {1, 1, 1, 3}))
                                   .Bytes());
    EXPECT_EQ(scale[3], 309);
    EXPECT_EQ(scale[2], 102);
}

TEST(Opcodes, UnknownAndTooNewOpcodesAreSkippedOnlyWhenOptional) {
    const std::vector<uint16_t> untouched = Values(*Image4x4(100));
    EXPECT_EQ(Applied(ListWriter().Opcode(77, 0x01030000, 1, {9, 9}).Bytes()), untouched);
    EXPECT_DNG_ERROR(Applied(ListWriter().Opcode(77, 0x01030000, 0, {9, 9}).Bytes()), dng_error_bad_format);
    const auto tooNew = MapTable(Area(0, 0, 4, 4, 0, 1, 1, 1), {0});
    EXPECT_EQ(Applied(ListWriter().Opcode(dngOpcode_MapTable, 0x01060000, 1, tooNew).Bytes()), untouched);
    EXPECT_DNG_ERROR(Applied(ListWriter().Opcode(dngOpcode_MapTable, 0x01060000, 0, tooNew).Bytes()),
                     dng_error_bad_format);
}

TEST(Opcodes, ParametersThatDoNotHoldTogetherAreBadFormat) {
    auto shortTable = MapTable(Area(0, 0, 4, 4, 0, 1, 1, 1), {1, 2});
    shortTable.pop_back();
    const std::vector<std::vector<uint8_t>> lists = {
        // A table one byte short of its count.
        ListWriter().Opcode(dngOpcode_MapTable, 0x01030000, 0, shortTable).Bytes(),
        // Fewer row deltas than the area has rows.
        ListWriter()
            .Opcode(dngOpcode_DeltaPerRow, 0x01030000, 0, FloatTable(Area(0, 0, 4, 4, 0, 1, 1, 1), {1}))
            .Bytes(),
        // A pitch of zero, an area upside down.
        ListWriter()
            .Opcode(dngOpcode_MapTable, 0x01030000, 0, MapTable(Area(0, 0, 4, 4, 0, 1, 0, 1), {1}))
            .Bytes(),
        ListWriter()
            .Opcode(dngOpcode_MapTable, 0x01030000, 0, MapTable(Area(4, 0, 0, 4, 0, 1, 1, 1), {1}))
            .Bytes(),
        // A gain map whose grid is larger than its data.
        ListWriter()
            .Opcode(dngOpcode_GainMap, 0x01030000, 0, GainMap(Area(0, 0, 4, 4, 0, 1, 1, 1), 3, 3, {1}))
            .Bytes(),
    };
    for (const auto& bytes : lists) {
        dng_host host;
        dng_opcode_list list(2);
        EXPECT_DNG_ERROR(Parse(host, bytes, list), dng_error_bad_format);
    }
    // A count of opcodes the list cannot hold.
    std::vector<uint8_t> huge;
    ListWriter::U32(huge, 0x7FFFFFFF);
    dng_host host;
    dng_opcode_list list(2);
    EXPECT_DNG_ERROR(Parse(host, huge, list), dng_error_bad_format);
}

} // namespace
