// The shared TIFF builder, read back with the decoder's own readers.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "raw/core/InputReaders.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TiffBuilder.h"

using namespace raw;
using testsupport::MemoryFile;
using testsupport::TiffBuilder;

namespace {

struct Entry {
    uint16_t type;
    uint32_t count;
    uint32_t value; // the first value, followed to its offset when not inline
};

// Reads the IFD at `offset`; returns its entries and the next-IFD pointer.
std::map<uint16_t, Entry> readIfd(DecoderState& s, uint32_t offset, uint32_t& next) {
    static const int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    std::map<uint16_t, Entry> entries;
    std::fseek(s.input_file, offset, SEEK_SET);
    const uint16_t n = read_u16(s);
    for (int i = 0; i < n; ++i) {
        std::fseek(s.input_file, long(offset) + 2 + 12 * i, SEEK_SET);
        uint16_t tag = read_u16(s), type = read_u16(s);
        uint32_t count = read_u32(s);
        if (uint64_t(sizes[type]) * count > 4) std::fseek(s.input_file, read_u32(s), SEEK_SET);
        entries[tag] = {type, count,
                        type == 3   ? read_u16(s)
                        : type == 2 ? uint32_t(std::fgetc(s.input_file))
                                    : read_u32(s)};
    }
    std::fseek(s.input_file, long(offset) + 2 + 12 * n, SEEK_SET);
    next = read_u32(s);
    return entries;
}

} // namespace

TEST(TiffBuilder, LaysOutIfdsValuesAndBlocksInEitherOrder) {
    for (auto order : {TiffBuilder::Order::Little, TiffBuilder::Order::Big}) {
        TiffBuilder tiff(order);
        auto& exif = tiff.addSubIfd();
        exif.rationals(33434, {{1, 60}});
        int strip = tiff.addBlock({1, 2, 3, 4, 5});
        auto& ifd0 = tiff.addIfd();
        ifd0.shorts(256, {640}).longs(257, {480}).ascii(271, "Maker").shorts(258, {12, 12, 12});
        ifd0.blockOffset(273, strip).ifdOffset(34665, exif);
        auto& ifd1 = tiff.addIfd();
        ifd1.longs(513, {77}).nextIfdOffset(tiff.offsetOf(ifd1));
        const std::vector<uint8_t> bytes = tiff.build();

        MemoryFile file(bytes);
        auto s = std::make_unique<DecoderState>();
        s->input_file = file.get();
        s->byte_order = read_u16(*s);
        ASSERT_EQ(s->byte_order, order == TiffBuilder::Order::Little ? kLittleEndian : kBigEndian);
        EXPECT_EQ(read_u16(*s), 42);
        uint32_t first = read_u32(*s), next = 0;
        EXPECT_EQ(first, tiff.offsetOf(ifd0));

        auto e0 = readIfd(*s, first, next);
        EXPECT_EQ(e0[256].value, 640u);
        EXPECT_EQ(e0[257].value, 480u);
        EXPECT_EQ(e0[271].count, 6u);
        EXPECT_EQ(e0[271].value, uint32_t('M')) << "text of more than 4 bytes at an offset";
        EXPECT_EQ(e0[258].value, 12u);
        EXPECT_EQ(e0[273].value, tiff.blockOffsetOf(strip));
        EXPECT_EQ(bytes.at(tiff.blockOffsetOf(strip) + 4), 5);
        EXPECT_EQ(next, tiff.offsetOf(ifd1));

        uint32_t exifNext = 0;
        auto ex = readIfd(*s, e0[34665].value, exifNext);
        EXPECT_EQ(ex[33434].type, 5);
        EXPECT_EQ(ex[33434].value, 1u);
        EXPECT_EQ(exifNext, 0u);

        auto e1 = readIfd(*s, next, next);
        EXPECT_EQ(e1[513].value, 77u);
        EXPECT_EQ(next, tiff.offsetOf(ifd1)) << "a chain that points at itself";
    }
}
