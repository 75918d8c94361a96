// 4Base and 16Base residuals: Huffman tables, row records, damaged streams and fallbacks.
#include <gtest/gtest.h>

#include "photocd/pcdDecode.h"
#include "tests/photocd/PcdTestFiles.h"
#include "tests/support/PhotoCdBuilder.h"

using testsupport::PcdResidualWriter;
using testsupport::PhotoCdBuilder;

namespace {

constexpr int k4BaseWidth = 1536;

std::vector<int8_t> row(int width, int8_t value) { return std::vector<int8_t>(width, value); }

// A pack of flat grey 100 up to Base whose 4Base records come from `records`.
PhotoCdBuilder
pack4Base(const std::vector<uint8_t>& records,
          const std::vector<uint8_t>& tables = testsupport::pcdTableBlock({testsupport::defaultPcdCodes()})) {
    PhotoCdBuilder b;
    b.attributes(0, 1).flatLevels(100).bytes(testsupport::kPcd4BaseTables, tables);
    b.bytes(testsupport::kPcd4BaseData, records);
    return b;
}

std::vector<uint8_t> standard4BaseRecords() {
    std::vector<int8_t> mixed = row(k4BaseWidth, 0);
    mixed[0] = 1;
    mixed[1] = -1;
    mixed[2] = -8;
    PcdResidualWriter w;
    w.row(0, 0, row(k4BaseWidth, 8)).row(0, 5, mixed);
    w.row(0, 3, row(10, 8)).bits(0b11111, 5); // a code no table entry covers
    w.row(0, 4, row(k4BaseWidth, 1)).row(0, 8191, {});
    return w.finish();
}

TEST(PcdResiduals, FourBaseResidualsAreAddedToTheUpsampledBase) {
    pcdtest::TempFolder folder;
    for (int interpolation : {0, 1, 2}) {
        SCOPED_TRACE(interpolation);
        pcdDecode decoder;
        decoder.setInterpolation(interpolation);
        ASSERT_TRUE(decoder.parseFile(folder.write("4.pcd", pack4Base(standard4BaseRecords()).data()), "",
                                      4)); // asks for 16Base, which the pack does not have
        EXPECT_EQ(decoder.errorText(), "");
        EXPECT_EQ(decoder.level(), 3);
        ASSERT_TRUE(decoder.buildHigherLevels());
        const pcdtest::Rgb16Image image = pcdtest::read16(decoder);
        ASSERT_EQ(image.width, 1536);
        ASSERT_EQ(image.height, 1024);
        struct Expect {
            int row, column, luma;
        } expected[] = {{0, 0, 108}, {0, 1535, 108}, {1, 7, 100},   {5, 0, 101},  {5, 1, 99},
                        {5, 2, 92},  {5, 3, 100},    {3, 9, 108},   {3, 10, 100}, {3, 1535, 100},
                        {4, 0, 101}, {4, 1535, 101}, {1023, 0, 100}};
        for (const Expect& e : expected)
            EXPECT_EQ(image.at(e.row, e.column, 1), pcdtest::grey16(e.luma)) << e.row << "," << e.column;
    }
}

TEST(PcdResiduals, StreamEndingInsideARowKeepsWhatWasDecoded) {
    PcdResidualWriter w;
    w.row(0, 0, row(k4BaseWidth, 8)).row(0, 1, row(100, 8));
    pcdtest::TempFolder folder;
    pcdDecode decoder;
    decoder.setInterpolation(0);
    ASSERT_TRUE(decoder.parseFile(folder.write("e.pcd", pack4Base(w.finish()).data()), "", 3));
    EXPECT_EQ(decoder.errorText(), "");
    EXPECT_EQ(decoder.level(), 3);
    const pcdtest::Rgb16Image image = pcdtest::read16(decoder);
    ASSERT_FALSE(image.samples.empty());
    EXPECT_EQ(image.at(1, 99, 0), pcdtest::grey16(108));
    EXPECT_EQ(image.at(1, 100, 0), pcdtest::grey16(100));
    EXPECT_EQ(image.at(2, 0, 0), pcdtest::grey16(100));
}

struct DamageCase {
    const char* label;
    std::vector<uint8_t> tables;
    std::vector<uint8_t> records;
    const char* error;
};

TEST(PcdResiduals, DamagedFourBaseFallsBackToBase) {
    const std::vector<uint8_t> good = testsupport::pcdTableBlock({testsupport::defaultPcdCodes()});
    std::vector<uint8_t> longCode = good;
    longCode[1 + 4] = 16; // second code claims 17 bits
    PcdResidualWriter corrupt;
    corrupt.row(1, 0, {});
    PcdResidualWriter headerCut;
    headerCut.bits(0xFFFFFE, 24).bits(0, 4);
    PcdResidualWriter recovery;
    recovery.row(0, 0, {0, 0}).bits(0b11111, 5).bits(0, 20);
    const DamageCase cases[] = {
        {"long code", longCode, PcdResidualWriter().row(0, 0, row(4, 0)).finish(),
         "Huffman code error!! while processing 4Base image"},
        {"corrupt plane", good, corrupt.finish(), "Corrupt Image while processing 4Base image"},
        {"header cut", good, headerCut.finish(),
         "Unexpected end of file while attempting to read IPE headers while processing 4Base image"},
        {"no sync after bad code", good, recovery.finish(),
         "Unexpected end of file while attempting recover from an error in the Huffman sequence "
         "while processing 4Base image"},
    };
    pcdtest::TempFolder folder;
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.label);
        pcdDecode decoder;
        ASSERT_TRUE(decoder.parseFile(folder.write("d.pcd", pack4Base(c.records, c.tables).data()), "", 3));
        EXPECT_EQ(decoder.errorText(), c.error);
        EXPECT_EQ(decoder.level(), 2);
        EXPECT_EQ(decoder.width(), 768);
        const pcdtest::Rgb16Image image = pcdtest::read16(decoder);
        ASSERT_FALSE(image.samples.empty());
        EXPECT_EQ(image.at(0, 0, 2), pcdtest::grey16(100));
    }
}

TEST(PcdResiduals, MissingFourBaseDataGivesTheGenericFallback) {
    PhotoCdBuilder b;
    b.attributes(0, 1).flatLevels(100);
    pcdtest::TempFolder folder;
    for (uint64_t size : {b.data().size(), testsupport::kPcd4BaseData}) {
        PhotoCdBuilder cut = b;
        if (size > cut.data().size())
            cut.bytes(testsupport::kPcd4BaseTables,
                      testsupport::pcdTableBlock({testsupport::defaultPcdCodes()}));
        cut.truncate(size);
        pcdDecode decoder;
        ASSERT_TRUE(decoder.parseFile(folder.write("m.pcd", cut.data()), "", 3));
        EXPECT_EQ(decoder.level(), 2);
        EXPECT_NE(decoder.errorText(), "");
    }
}

TEST(PcdResiduals, LaterTableWithFewCodesRepeatsThePreviousOne) {
    // The 16Base chroma-2 table has only two codes: it decodes with chroma 1's table.
    const auto defaults = testsupport::defaultPcdCodes();
    const std::vector<testsupport::PcdCode> tiny = {{1, 0, 0}, {1, 1, 0}};
    PcdResidualWriter w16;
    w16.row(0, 0, row(3072, 8)).row(2, 0, row(1536, 8)).row(3, 0, row(1536, -8)).row(0, 8191, {});
    const PhotoCdBuilder b =
        pcdtest::pack16Base(testsupport::pcdTableBlock({defaults, defaults, tiny}), w16.finish());
    pcdtest::TempFolder folder;
    pcdDecode decoder;
    decoder.setInterpolation(0);
    decoder.setColorMode(3); // scaled YCC shows each plane on its own
    ASSERT_TRUE(decoder.parseFile(folder.write("16.pcd", b.data()), "", 4));
    EXPECT_EQ(decoder.errorText(), "");
    ASSERT_EQ(decoder.level(), 4);
    const pcdtest::Rgb16Image image = pcdtest::read16(decoder);
    ASSERT_EQ(image.width, 3072);
    ASSERT_EQ(image.height, 2048);
    auto scaled16 = [](int v) { return uint16_t(((int64_t(v) * 2994414646272LL) >> 39) * 65535 / 1388); };
    EXPECT_EQ(image.at(0, 0, 0), scaled16(108));
    EXPECT_EQ(image.at(1, 3071, 1), scaled16(164)); // chroma row 0 covers luma rows 0 and 1
    EXPECT_EQ(image.at(0, 100, 2), scaled16(129));
    EXPECT_EQ(image.at(2, 0, 0), scaled16(100));
    EXPECT_EQ(image.at(2, 0, 1), scaled16(156));
    EXPECT_EQ(image.at(2, 0, 2), scaled16(137));
}

} // namespace

namespace {

// Random bytes over the tables, the records and the 16Base pointer never crash or hang the
// decoder: each pack either decodes at some level or reports why not.
TEST(PcdResiduals, RandomDamageEndsInALevelOrAMessage) {
    PcdResidualWriter w16;
    w16.row(0, 0, row(3072, 8)).row(2, 0, row(1536, 8)).row(3, 0, row(1536, -8)).row(0, 8191, {});
    const auto codes = testsupport::defaultPcdCodes();
    const PhotoCdBuilder clean =
        pcdtest::pack16Base(testsupport::pcdTableBlock({codes, codes, codes}), w16.finish());
    const uint64_t regions[][2] = {
        {testsupport::kPcd4BaseTables, 2048 + 4096},
        {(pcdtest::k16BaseStart + 12ull) * 2048, 2048 * 2 + 4096},
        {3586, 3}, // attributes and the 16Base sector
    };
    pcdtest::TempFolder folder;
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 24; ++round) {
        PhotoCdBuilder damaged = clean;
        const auto& region = regions[round % 3];
        for (int i = 0; i < 12; ++i)
            damaged.byte(region[0] + next() % region[1], static_cast<uint8_t>(next() >> 24));
        pcdDecode decoder;
        const bool parsed = decoder.parseFile(folder.write("x.pcd", damaged.data()), "", 4);
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << decoder.errorText());
        ASSERT_TRUE(parsed);
        EXPECT_GE(decoder.level(), 2);
        EXPECT_TRUE(decoder.buildHigherLevels());
        EXPECT_GT(decoder.width(), 0);
    }
}

} // namespace
