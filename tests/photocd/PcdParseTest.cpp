// Opening image packs: header checks, level choice and fallback between the plain levels.
#include <gtest/gtest.h>

#include <filesystem>

#include "photocd/pcdDecode.h"
#include "tests/photocd/PcdTestFiles.h"
#include "tests/support/PhotoCdBuilder.h"
#include "tests/support/Samples.h"

using testsupport::PhotoCdBuilder;

namespace {

struct HeaderCase {
    const char* label;
    std::vector<uint8_t> bytes;
    const char* error;
};

std::vector<uint8_t> withoutSignatures() {
    PhotoCdBuilder b;
    b.text(0, "XXXXXXX").text(2048, "XXXXXXX");
    return b.data();
}

TEST(PcdParse, HeaderFailuresReportTheirText) {
    std::vector<uint8_t> small = PhotoCdBuilder().flatLevels(90).data();
    small.resize(6143);
    std::vector<uint8_t> audio = PhotoCdBuilder().flatLevels(90).byte(3593, 2).data();
    const HeaderCase cases[] = {
        {"short", small, "PCD file is too small to be valid"},
        {"signatures", withoutSignatures(), "That is not a valid PCD file"},
        {"audio", audio, "The file contains interleaved audio"},
    };
    pcdtest::TempFolder folder;
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.label);
        pcdDecode decoder;
        EXPECT_FALSE(decoder.parseFile(folder.write(c.label, c.bytes), "", 2));
        EXPECT_EQ(decoder.errorText(), c.error);
        std::string name, value;
        decoder.metadataByIndex(0, name, value); // the header was released
        EXPECT_EQ(name, "Error");
        EXPECT_EQ(decoder.width(), 0);
    }
    pcdDecode decoder;
    EXPECT_FALSE(decoder.parseFile((folder.path() / "absent.pcd").string(), "", 2));
    EXPECT_EQ(decoder.errorText(), "Could not open PCD file - may be a file permissions problem");
}

TEST(PcdParse, EitherSignatureIsEnough) {
    pcdtest::TempFolder folder;
    for (uint64_t kept : {0u, 2048u}) {
        PhotoCdBuilder b;
        b.flatLevels(90).text(kept == 0 ? 2048 : 0, "XXXXXXX");
        pcdDecode decoder;
        EXPECT_TRUE(decoder.parseFile(folder.write("one.pcd", b.data()), "", 0)) << kept;
    }
}

TEST(PcdParse, RealHeaderOnlySampleIsTooSmall) {
    LV_REQUIRE_SAMPLE("PhotoCD.pcd");
    pcdtest::TempFolder folder;
    const auto copy = folder.path() / "PhotoCD.pcd";
    std::filesystem::copy_file(testsupport::samplePath("PhotoCD.pcd"), copy);
    pcdDecode decoder;
    EXPECT_FALSE(decoder.parseFile(copy.string(), "", 0));
    EXPECT_EQ(decoder.errorText(), "PCD file is too small to be valid");
}

struct LevelCase {
    int resolutionField;
    int asked;
    int level;
    int width, height;
};

TEST(PcdParse, ChosenLevelFollowsTheFilesHighestLevel) {
    // Only plain planes are present: every residual level that is tried falls back.
    const LevelCase cases[] = {
        {0, 0, 0, 192, 128}, {0, 1, 1, 384, 256}, {0, 3, 2, 768, 512},
        {0, 5, 2, 768, 512}, {1, 4, 2, 768, 512}, {1, 2, 2, 768, 512},
    };
    pcdtest::TempFolder folder;
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "field " << c.resolutionField << " asked " << c.asked);
        PhotoCdBuilder b;
        b.attributes(0, c.resolutionField).flatLevels(90);
        pcdDecode decoder;
        ASSERT_TRUE(decoder.parseFile(folder.write("l.pcd", b.data()), "", c.asked));
        EXPECT_EQ(decoder.level(), c.level);
        EXPECT_EQ(decoder.highestLevel(), c.resolutionField + 2);
        EXPECT_EQ(decoder.width(), c.width);
        EXPECT_EQ(decoder.height(), c.height);
    }
}

TEST(PcdParse, LevelZeroNeverTouchesTheHuffmanData) {
    PhotoCdBuilder b;
    b.attributes(0, 2).flatLevels(90).bytes(testsupport::kPcd4BaseTables, {0, 16, 0, 0, 0});
    pcdtest::TempFolder folder;
    pcdDecode decoder;
    ASSERT_TRUE(decoder.parseFile(folder.write("z.pcd", b.data()), "", 0));
    EXPECT_EQ(decoder.levelRead(), 0);
    EXPECT_EQ(decoder.errorText(), "");
    EXPECT_EQ(decoder.width(), 192);
    EXPECT_EQ(decoder.height(), 128);
}

TEST(PcdParse, TruncatedPlainLevelsFallBackOneByOne) {
    PhotoCdBuilder full;
    for (int level = 0; level < 3; ++level) // each level its own grey, to tell which was read
        full.plainLevel(
            level, [=](int, int) { return uint8_t(40 + 20 * level); }, [](int, int) { return uint8_t(156); },
            [](int, int) { return uint8_t(137); });
    struct Case {
        uint64_t size;
        int level;
        int luma;
    } cases[] = {{100 * 2048, 1, 60}, {30 * 2048, 0, 40}};
    pcdtest::TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        PhotoCdBuilder cut = full;
        cut.truncate(c.size);
        pcdDecode decoder;
        ASSERT_TRUE(decoder.parseFile(folder.write("t.pcd", cut.data()), "", 2));
        EXPECT_EQ(decoder.level(), c.level);
        EXPECT_EQ(decoder.errorText(), "File ended unexpectedly");
        const pcdtest::Rgb16Image image = pcdtest::read16(decoder);
        ASSERT_FALSE(image.samples.empty());
        EXPECT_EQ(image.at(5, 5, 1), pcdtest::grey16(c.luma));
    }
    PhotoCdBuilder none = full;
    none.truncate(10 * 2048);
    pcdDecode decoder;
    EXPECT_FALSE(decoder.parseFile(folder.write("n.pcd", none.data()), "", 2));
    EXPECT_EQ(decoder.errorText(), "File ended unexpectedly");
    uint16_t pixel[3];
    EXPECT_FALSE(decoder.read16BitImage(pixel, pixel + 1, pixel + 2, nullptr, 3));
}

TEST(PcdParse, OneDecoderParsesSeveralFilesInTurn) {
    pcdtest::TempFolder folder;
    const std::string bad = folder.write("bad.pcd", std::vector<uint8_t>(100, 0));
    const std::string good = folder.write("good.pcd", PhotoCdBuilder().flatLevels(90).data());
    pcdDecode decoder;
    EXPECT_FALSE(decoder.parseFile(bad, "", 2));
    ASSERT_TRUE(decoder.parseFile(good, "", 2));
    EXPECT_EQ(decoder.errorText(), "");
    EXPECT_EQ(decoder.width(), 768);
}

} // namespace
