// The header's metadata items, scene-balance film terms and the scanning time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "photocd/pcdDecode.h"
#include "tests/photocd/PcdTestFiles.h"
#include "tests/support/PhotoCdBuilder.h"

using testsupport::PhotoCdBuilder;

namespace {

// Local-time texts are compared in UTC.
class UtcZone {
  public:
    UtcZone() {
        if (const char* tz = std::getenv("TZ")) previous_ = tz, had_ = true;
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    ~UtcZone() {
        if (had_)
            setenv("TZ", previous_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::string previous_;
    bool had_ = false;
};

PhotoCdBuilder describedPack() {
    PhotoCdBuilder b;
    b.flatLevels(90).attributes(0, 0, 1);
    b.byte(2055, 1).byte(2056, 0);                      // format version
    b.be32(2057, 0x0000FFFF);                           // authoring release: not set
    b.be32(2061, 31536000).be32(2065, 31536000 + 3661); // 1971-01-01
    b.byte(2069, 1);                                    // colour reversal
    b.text(2070, "PRODUCT TYPE        ");
    b.text(2090, "SCANNER VENDOR      ");
    b.text(2110, "FILMSCANNER 4045");
    b.byte(2158, 0x12).byte(2159, 0x34);
    b.byte(2180, 0).text(2213, "FINISHER            ");
    b.text(2273, "SBA").byte(2276, 2).byte(2277, 1).byte(2278, 2).be16(2373, 1);
    b.byte(2379, 1).text(2380, "COPYRIGHT.TX");
    return b;
}

TEST(PcdMetadata, ItemsNameAndFormatTheHeaderFields) {
    UtcZone utc;
    pcdtest::TempFolder folder;
    pcdDecode decoder;
    ASSERT_TRUE(decoder.parseFile(folder.write("m.pcd", describedPack().data()), "", 0));
    const std::pair<const char*, const char*> expected[20] = {
        {"PCD specification version", "1.0"},
        {"Authoring software Release number", "-"},
        {"Scanning time", "Fri Jan  1 00:00:00 1971"},
        {"Last modification time", "Fri Jan  1 01:01:01 1971"},
        {"Image medium", "color reversal"},
        {"Product type", "PRODUCT TYPE"},
        {"Scanner vendor identity", "SCANNER VENDOR"},
        {"Scanner product identity", "FILMSCANNER 4045"},
        {"Scanner firmware revision", "-"},
        {"Scanner firmware date", "-"},
        {"Scanner serial number", "-"},
        {"Scanner pixel size (microns)", "12.34"},
        {"Image workstation equipment manufacturer", "-"},
        {"Photo finisher name", "FINISHER"},
        {"Scene balance algorithm revision", "2.1"},
        {"Scene balance algorithm command", "neutral SBA on, color SBA off"},
        {"Scene balance algorithm film identification", "3M ScotchColor AT 100"},
        {"Copyright status",
         "Copyright restrictions apply - see copyright file on original CD-ROM for details"},
        {"Copyright file name", "COPYRIGHT.TX"},
        {"Compression", "class 2 - large format film"},
    };
    for (int i = 0; i < 20; ++i) {
        std::string name, value;
        decoder.metadataByIndex(i, name, value);
        EXPECT_EQ(name, expected[i].first) << i;
        EXPECT_EQ(value, expected[i].second) << i;
    }
    for (int bad : {-1, 20}) {
        std::string name, value;
        decoder.metadataByIndex(bad, name, value);
        EXPECT_EQ(name, "Error");
        EXPECT_EQ(value, "Error");
    }
    EXPECT_EQ(decoder.scanningTime(), 31536000);
    EXPECT_EQ(decoder.compressionClass(), 1);
}

TEST(PcdMetadata, ValuesOutOfRangeShowADash) {
    PhotoCdBuilder b = describedPack();
    b.byte(2069, 12).byte(2158, 0x1A).byte(2180, 5).byte(2278, 4).byte(2379, 0);
    pcdtest::TempFolder folder;
    pcdDecode decoder;
    ASSERT_TRUE(decoder.parseFile(folder.write("m.pcd", b.data()), "", 0));
    const std::pair<int, const char*> expected[] = {
        {4, "-"}, {11, "-"}, {13, "-"}, {15, "-"}, {17, "Copyright restrictions not specified"}, {18, "-"}};
    for (const auto& [index, text] : expected) {
        std::string name, value;
        decoder.metadataByIndex(index, name, value);
        EXPECT_EQ(value, text) << index;
    }
}

TEST(PcdMetadata, FilmTermNeedsSceneBalanceDataAndAKnownCode) {
    struct Case {
        const char* signature;
        int16_t code;
        int filmTerm, code2, code3;
        const char* film;
    } cases[] = {
        {"SBA", 1, 1, 18, 7, "3M ScotchColor AT 100"},
        {"SBA", 16, 16, 113, -1, "AGFA AGFACOLOR XRS 400 Gen 1"},
        {"SBA", 999, 0, 0, 0, "Unknown film"},
        {"XXX", 1, 0, 0, 0, "-"},
    };
    pcdtest::TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        PhotoCdBuilder b = describedPack();
        b.text(2273, c.signature).be16(2373, static_cast<uint16_t>(c.code));
        pcdDecode decoder;
        ASSERT_TRUE(decoder.parseFile(folder.write("f.pcd", b.data()), "", 0));
        int filmTerm = -5, code2 = -5, code3 = -5;
        EXPECT_EQ(decoder.filmTermInfo(filmTerm, code2, code3), c.code3);
        EXPECT_EQ(filmTerm, c.filmTerm);
        EXPECT_EQ(code2, c.code2);
        EXPECT_EQ(code3, c.code3);
        std::string name, value;
        decoder.metadataByIndex(16, name, value);
        EXPECT_EQ(value, c.film);
    }
}

TEST(PcdMetadata, NothingWithoutAFile) {
    pcdDecode decoder;
    int a = 1, b = 1, c = 1;
    EXPECT_EQ(decoder.filmTermInfo(a, b, c), 0);
    EXPECT_EQ(decoder.scanningTime(), 0);
    EXPECT_FALSE(decoder.isBlackAndWhiteMedium());
    std::string name, value;
    decoder.metadataByIndex(0, name, value);
    EXPECT_EQ(name, "Error");
}

} // namespace
