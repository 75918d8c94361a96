#include "export/MetadataKey.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace platform;

TEST(MetadataKey, CodesFollowTheKeyOrderOfEachGroup) {
    struct Row {
        int code;
        const char* key;
    } rows[] = {
        {0, "Compression"},       {13, "Artist"},          {17, "PrimaryChromaticities"},
        {18, "ExposureTime"},     {22, "ISOSpeedRatings"}, {24, "ExifVersion"},
        {25, "DateTimeOriginal"}, {41, "UserComment"},     {43, "SubsecTimeOriginal"},
        {59, "SceneType"},        {61, "CustomRendered"},  {74, "Gamma"},
        {75, "LensInfo"},         {76, "LensModel"},       {83, "Firmware"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(metadataKeyForProperty(row.key), MetadataKey(row.code));
        ASSERT_NE(metadataPropertyForKey(MetadataKey(row.code)), nullptr);
        EXPECT_STREQ(metadataPropertyForKey(MetadataKey(row.code)), row.key);
    }
}

TEST(MetadataKey, EveryCodeButSixtyNamesOneKeyAndBack) {
    for (int code = 0; code <= UINT8_MAX; ++code) {
        SCOPED_TRACE(code);
        const char* key = metadataPropertyForKey(MetadataKey(code));
        if (code == 60 || code > 83) {
            EXPECT_EQ(key, nullptr);
            continue;
        }
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(metadataKeyForProperty(key), MetadataKey(code));
    }
}

TEST(MetadataKey, KeysOutsideTheTableHaveNoCode) {
    for (const char* key : {"Latitude", "{Exif}", "DNGVersion", "PixelWidth", "make", ""})
        EXPECT_FALSE(metadataKeyForProperty(key).has_value()) << key;
}

TEST(MetadataKey, DecodesTextIntegerAndReal) {
    struct Case {
        const char* name;
        Value value;
        std::optional<std::string> text;
        int32_t integer; // what the caller's 7 becomes
        double real;     // what the caller's 7.5 becomes
    } cases[] = {
        {"string leaves numbers", Value("Acme"), "Acme", 7, 7.5},
        {"integer", Value(400), "400", 400, 400.0},
        {"real truncates", Value(-2.75), "-2.75", -2, -2.75},
        {"bool", Value(true), "1", 1, 1.0},
        {"cut to 32 bits", Value(int64_t(0x100000005)), "4294967301", 5, 4294967301.0},
        {"array first element", Value(Array{Value(100), Value(200)}), "100", 100, 100.0},
        {"empty array", Value(Array{}), std::nullopt, 7, 7.5},
        {"data", Value(Data{1, 2}), std::nullopt, 7, 7.5},
        {"dictionary", Value(Dictionary{{"a", Value(1)}}), std::nullopt, 7, 7.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Dictionary properties{{"Key", c.value}};
        int32_t integer = 7;
        double real = 7.5;
        EXPECT_EQ(decodeMetadataValue(properties, "Key", &integer, &real), c.text);
        EXPECT_EQ(integer, c.integer);
        EXPECT_DOUBLE_EQ(real, c.real);
    }
}

TEST(MetadataKey, DecodingAMissingKeyOrWithoutOutputsIsSafe) {
    Dictionary properties{{"FNumber", Value(2.8)}};
    EXPECT_FALSE(decodeMetadataValue(properties, "ExposureTime", nullptr, nullptr).has_value());
    EXPECT_EQ(decodeMetadataValue(properties, "FNumber", nullptr, nullptr), "2.8");
}
