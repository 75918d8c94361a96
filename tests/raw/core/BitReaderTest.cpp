#include <gtest/gtest.h>

#include <memory>

#include "raw/core/BitReader.h"
#include "raw/core/FileBackedMemory.h"
#include "tests/support/BitWriter.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::MemoryFile;

namespace {

struct Stream {
    Stream(std::vector<uint8_t> bytes, bool stuffing) : file(std::move(bytes)) {
        s->input_file = file.get();
        s->ff_stuffing = stuffing;
        read_bits(*s, -1);
    }
    MemoryFile file;
    std::unique_ptr<DecoderState> s = std::make_unique<DecoderState>();
};

struct TableDeleter {
    DecoderState* s;
    void operator()(uint16_t* t) const { file_backed_free(*s, t); }
};

} // namespace

TEST(BitReader, ReadsTable) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool stuffing;
        std::vector<int> widths;
        std::vector<uint32_t> expected;
        int errors;
        int marker;
    };
    const Case cases[] = {
        {"msb first", {0xA5, 0x0F}, false, {4, 4, 8}, {0xA, 0x5, 0x0F}, 0, 0},
        {"wide read",
         {0x12, 0x34, 0x56, 0x78},
         false,
         {25, 7},
         {0x12 << 17 | 0x34 << 9 | 0x56 << 1, 0x78},
         0,
         0},
        {"ff00 is data", {0xFF, 0x00, 0x81}, true, {8, 8}, {0xFF, 0x81}, 0, 0},
        {"ff without stuffing", {0xFF, 0x00}, false, {8, 8}, {0xFF, 0x00}, 0, 0},
        {"marker stops refill", {0xAB, 0xFF, 0xD9, 0x12}, true, {8, 4}, {0xAB, 0}, 1, 1},
        {"bits run dry", {0xF0}, false, {4, 8}, {0xF, 0}, 1, 0},
        {"zero and too many", {0xAA}, false, {0, 26, 8}, {0, 0, 0xAA}, 0, 0},
    };
    for (const auto& c : cases) {
        Stream st(c.bytes, c.stuffing);
        for (size_t i = 0; i < c.widths.size(); ++i)
            EXPECT_EQ(read_bits(*st.s, c.widths[i]), c.expected[i]) << c.name << " read " << i;
        EXPECT_EQ(st.s->data_error_count, c.errors) << c.name;
        EXPECT_EQ(st.s->marker_reached, c.marker) << c.name;
    }
}

TEST(BitReader, MarkerHoldsTheReaderUntilReset) {
    Stream st({0xC3, 0xFF, 0xD9, 0x55}, true);
    EXPECT_EQ(read_bits(*st.s, 4), 0xCu);
    EXPECT_EQ(read_bits(*st.s, 4), 0x3u);
    EXPECT_EQ(read_bits(*st.s, 8), 0u); // nothing past the marker
    EXPECT_EQ(st.s->data_error_count, 1);
    EXPECT_EQ(std::ftell(st.file.get()), 3) << "no byte after the marker is read";
    read_bits(*st.s, -1);
    EXPECT_EQ(read_bits(*st.s, 8), 0x55u) << "reset resumes after the marker";
}

TEST(BitReader, DecoderTableDecodesCanonicalCodes) {
    // Lengths: 2 codes of 2 bits, 1 of 3 bits, 1 of 4 bits.
    const std::vector<uint8_t> source = {0, 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 3, 200, 9};
    auto s = std::make_unique<DecoderState>();
    const uint8_t* cursor = source.data();
    std::unique_ptr<uint16_t, TableDeleter> table(make_decoder(*s, cursor, source.data() + source.size()),
                                                  TableDeleter{s.get()});
    EXPECT_EQ(cursor, source.data() + source.size());
    ASSERT_EQ(table.get()[0], 4);

    const auto codes = testsupport::canonicalHuffmanCodes(source);
    const std::vector<uint8_t> symbols = {7, 9, 200, 3, 3, 7, 9};
    BitWriter w(true);
    for (uint8_t sym : symbols)
        w.put(codes[sym].code, codes[sym].length);
    w.put(0xFF, 8); // a data 0xFF, stuffed by the writer
    Stream st(w.finish(), true);
    for (uint8_t sym : symbols)
        EXPECT_EQ(read_bits(*st.s, table.get()[0], table.get() + 1), sym);
    EXPECT_EQ(read_bits(*st.s, 8), 0xFFu);
    EXPECT_EQ(st.s->data_error_count, 0);
}

TEST(BitReader, DecoderTableEdgeSources) {
    auto s = std::make_unique<DecoderState>();
    const std::vector<uint8_t> empty(16, 0);
    const uint8_t* cursor = empty.data();
    uint16_t* table = make_decoder(*s, cursor, empty.data() + empty.size());
    EXPECT_EQ(table[0], 0) << "all-zero counts give a one-entry table";
    file_backed_free(*s, table);

    // Three 1-bit codes cannot exist: the surplus code is dropped.
    const std::vector<uint8_t> overFull = {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 11, 12};
    cursor = overFull.data();
    table = make_decoder(*s, cursor, overFull.data() + overFull.size());
    EXPECT_EQ(table[0], 1);
    EXPECT_EQ(table[1], (1 << 8) | 10);
    EXPECT_EQ(table[2], (1 << 8) | 11);
    file_backed_free(*s, table);

    // A source cut short gives a table of the codes it has, reads nothing past its end.
    const std::vector<uint8_t> cut = {0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
    cursor = cut.data();
    table = make_decoder(*s, cursor, cut.data() + cut.size());
    EXPECT_EQ(table[0], 2);
    EXPECT_EQ(table[1], (2 << 8) | 5);
    EXPECT_EQ(table[2], 0);
    EXPECT_EQ(cursor, cut.data() + cut.size());
    file_backed_free(*s, table);
}
