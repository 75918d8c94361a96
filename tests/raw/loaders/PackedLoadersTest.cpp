#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/BitWriter.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::LoaderRig;

namespace {

// Samples MSB-first, then stored as little-endian words of `word_bytes` bytes.
std::vector<uint8_t> packed(const std::vector<uint16_t>& samples, int bits, size_t word_bytes = 1) {
    BitWriter w;
    for (uint16_t v : samples)
        w.put(v, bits);
    std::vector<uint8_t> bytes = w.finish(0);
    bytes.resize((bytes.size() + word_bytes - 1) / word_bytes * word_bytes, 0);
    for (size_t i = 0; i < bytes.size(); i += word_bytes)
        std::reverse(bytes.begin() + long(i), bytes.begin() + long(i + word_bytes));
    return bytes;
}

} // namespace

TEST(PackedBits, DecodesEachPacking) {
    struct Case {
        const char* name;
        uint32_t flags, bits;
        uint16_t width, height;
        std::vector<uint8_t> bytes;
        std::vector<uint16_t> expected; // row-major
    };
    const std::vector<uint16_t> twelve = {1, 2, 3, 4000, 4095, 0, 2048, 7};
    const std::vector<uint16_t> sixteen = {0xFFFF, 1, 0x8000, 0x1234, 5, 6, 7, 0xABCD};
    const Case cases[] = {
        {"12-bit byte stream", 0, 12, 4, 2, packed(twelve, 12), twelve},
        {"12-bit in 32-bit words", 24, 12, 8, 1, packed(twelve, 12, 4), twelve},
        {"16-bit in 64-bit words", 0x38, 16, 4, 2, packed(sixteen, 16, 8), sixteen},
        {"column pairs swapped", 64, 8, 4, 1, {10, 20, 30, 40}, {20, 10, 40, 30}},
        {"odd rows padded to even", 512, 8, 3, 2, {1, 2, 3, 0xEE, 4, 5, 6, 0xEE}, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        LoaderRig rig(c.bytes, c.width, c.height);
        rig.s->loader_flags = c.flags;
        rig.s->bits_per_sample = c.bits;
        rig.run(packed_bits_load_raw);
        EXPECT_EQ(rig.raw, c.expected) << c.name;
        EXPECT_EQ(rig.s->data_error_count, 0) << c.name;
    }
}

TEST(PackedBits, FillerBytesCountOnlyInsideTheVisibleArea) {
    // 12-bit samples, a filler byte after every 15 data bytes (10 samples).
    std::vector<uint16_t> samples(20);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = uint16_t(100 + i);
    std::vector<uint8_t> bytes;
    const uint8_t fillers[2][2] = {{0x5A, 0x5A}, {0x5A, 0}}; // non-zero: inside, right of, below
    for (int row = 0; row < 2; ++row) {
        for (int half = 0; half < 2; ++half) {
            testsupport::append(bytes,
                                packed({samples.begin() + half * 10, samples.begin() + half * 10 + 10}, 12));
            bytes.push_back(fillers[row][half]);
        }
    }
    LoaderRig rig(bytes, 20, 2);
    rig.s->loader_flags = 1;
    rig.s->bits_per_sample = 12;
    rig.s->visible_width = 10;
    rig.s->visible_height = 1;
    rig.run(packed_bits_load_raw);
    EXPECT_EQ(rig.row(0), samples);
    EXPECT_EQ(rig.row(1), samples);
    EXPECT_EQ(rig.s->data_error_count, 1);
}

TEST(PackedBits, SecondHalfOfInterlacedRows) {
    // Rows 0 and 2 first, rows 1 and 3 at a position of their own.
    const std::vector<uint8_t> first = {10, 11, 30, 31}, second = {20, 21, 40, 41};
    const std::vector<uint16_t> expected = {10, 11, 20, 21, 30, 31, 40, 41};
    {
        // Compressed: the second half starts at the next 2048-byte boundary.
        std::vector<uint8_t> bytes(100, 0xEE);
        testsupport::append(bytes, first);
        bytes.resize(100 + 2048, 0xEE);
        testsupport::append(bytes, second);
        LoaderRig rig(bytes, 2, 4);
        rig.s->loader_flags = 6;
        rig.s->bits_per_sample = 8;
        rig.s->compression_code = 1;
        rig.run(packed_bits_load_raw, 100);
        EXPECT_EQ(rig.raw, expected);
    }
    {
        // Uncompressed: the second half starts at half the file length.
        std::vector<uint8_t> bytes = first;
        bytes.resize(16, 0xEE);
        testsupport::append(bytes, second);
        bytes.resize(32, 0xEE);
        LoaderRig rig(bytes, 2, 4);
        rig.s->loader_flags = 6;
        rig.s->bits_per_sample = 8;
        rig.run(packed_bits_load_raw);
        EXPECT_EQ(rig.raw, expected);
    }
}

TEST(PackedBits, ShortOrUnusableDataEndsWithADataError) {
    LoaderRig truncated(packed({1, 2, 3, 4, 5, 6}, 12, 8), 4, 100);
    truncated.s->loader_flags = 0x38;
    truncated.s->bits_per_sample = 12;
    truncated.run(packed_bits_load_raw);
    EXPECT_GT(truncated.s->data_error_count, 0);
    EXPECT_STREQ(truncated.s->decoder_message, "Unsupported file type");
    EXPECT_EQ(truncated.row(99), std::vector<uint16_t>(4, 0)); // the loader stopped at the end

    for (uint32_t bits : {0u, 17u, 64u}) {
        LoaderRig rig({1, 2, 3, 4}, 2, 1);
        rig.s->bits_per_sample = bits;
        rig.run(packed_bits_load_raw);
        EXPECT_EQ(rig.s->data_error_count, 1) << bits;
    }

    LoaderRig unbuffered({1, 2}, 2, 1);
    unbuffered.s->raw_buffer = nullptr;
    unbuffered.s->bits_per_sample = 8;
    unbuffered.run(packed_bits_load_raw);
    EXPECT_EQ(unbuffered.s->data_error_count, 1);
}

TEST(PlainWords, ShiftsAndChecksTheRangeInsideTheVisibleArea) {
    for (uint16_t order : {uint16_t(0x4949), uint16_t(0x4D4D)}) {
        // White 4095: 12 significant bits after the shift of 2.
        const std::vector<uint16_t> words = {4 * 4095, 4 * 4096, 8, 400, 4, 0xFFFF};
        std::vector<uint8_t> bytes;
        for (uint16_t w : words) {
            const uint8_t hi = uint8_t(w >> 8), lo = uint8_t(w);
            bytes.push_back(order == 0x4949 ? lo : hi);
            bytes.push_back(order == 0x4949 ? hi : lo);
        }
        LoaderRig rig(bytes, 3, 2);
        rig.s->byte_order = order;
        rig.s->white_level = 4095;
        rig.s->loader_flags = 2;
        rig.s->visible_width = 2; // column 2 lies outside
        rig.run(plain_words_load_raw);
        EXPECT_EQ(rig.raw, (std::vector<uint16_t>{4095, 4096, 2, 100, 1, 0x3FFF})) << order;
        EXPECT_EQ(rig.s->data_error_count, 1) << order;
    }

    LoaderRig truncated(testsupport::le16({1, 2, 3}), 2, 3);
    truncated.s->white_level = 0xFFFF;
    truncated.run(plain_words_load_raw);
    EXPECT_EQ(truncated.raw, (std::vector<uint16_t>{1, 2, 3, 0xFFFF, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(truncated.s->data_error_count, 1);
}

TEST(EightBit, MapsThroughTheCurveAndSetsWhite) {
    LoaderRig rig({0, 1, 255, 128, 7}, 2, 3);
    for (int i = 0; i < 256; ++i)
        rig.s->tone_table[i] = uint16_t(i * 3);
    rig.run(eight_bit_load_raw);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{0, 3, 765, 384, 21, 765}));
    EXPECT_EQ(rig.s->white_level, 765u);
    EXPECT_EQ(rig.s->data_error_count, 1); // the last byte was missing
}

TEST(Split10Bit, LowBitsThenSpareBits) {
    // Two groups of eight samples: five in the low 10 bits of big-endian words, three
    // more from the top 6 bits of the words' first bytes, stored after 5/8 of the image.
    std::vector<uint8_t> bytes;
    const uint16_t low[2][5] = {{1, 2, 3, 1000, 1023}, {5, 6, 7, 8, 9}};
    const uint16_t spare[2][3] = {{0x3FF, 0, 0x155}, {17, 512, 1}};
    for (int g = 0; g < 2; ++g) {
        const uint32_t extra = uint32_t(spare[g][0]) << 20 | uint32_t(spare[g][1]) << 10 | spare[g][2];
        for (int i = 0; i < 5; ++i) {
            const uint32_t top = extra >> (6 * (4 - i)) & 0x3F;
            const uint16_t word = uint16_t(top << 10 | low[g][i]);
            bytes.push_back(uint8_t(word >> 8));
            bytes.push_back(uint8_t(word));
        }
    }
    LoaderRig rig(bytes, 4, 4);
    rig.run(split_10bit_load_raw);
    EXPECT_EQ(rig.raw,
              (std::vector<uint16_t>{1, 2, 3, 1000, 1023, 5, 6, 7, 8, 9, 0x3FF, 0, 0x155, 17, 512, 1}));
    EXPECT_EQ(rig.s->white_level, 1023u);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(RgbShorts, WholePixelsOfSixteenBitSamples) {
    // Three samples per pixel and 12 significant bits; a fifth sample per pixel is skipped.
    for (uint32_t per_pixel : {3u, 5u}) {
        std::vector<uint16_t> words;
        for (uint16_t p = 0; p < 2; ++p)
            for (uint16_t c = 0; c < per_pixel; ++c)
                words.push_back(uint16_t(100 * p + c));
        LoaderRig rig(testsupport::le16(words), 2, 1);
        rig.usePixels();
        rig.s->thumbnail_misc = per_pixel << 5 | 12;
        rig.run(rgb_shorts_load_raw);
        const uint16_t fourth = per_pixel > 3 ? 3 : 0;
        EXPECT_EQ(rig.pixels,
                  (std::vector<uint16_t>{0, 1, 2, fourth, 100, 101, 102, uint16_t(fourth ? 103 : 0)}))
            << per_pixel;
        EXPECT_EQ(rig.s->white_level, 4095u);
        EXPECT_EQ(rig.s->data_error_count, 0);
    }
}
