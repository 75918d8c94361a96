#include "export/exrWrapper.h"

#include "ExrTestFiles.h"

#include "platform/ImageProperties.h"

#include <ImfChromaticitiesAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfStringAttribute.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace exrtest;
using namespace platform;

namespace {

const int kWidth = 20, kHeight = 12; // a 2 x 1 preview

Value metadata(Dictionary tiff, Dictionary exif = {}, Dictionary aux = {}) {
    Dictionary root{{kCGImagePropertyPixelWidth, Value(kWidth)},
                    {kCGImagePropertyGPSDictionary, Value(Dictionary{{"Latitude", Value(1.5)}})}};
    if (!tiff.empty()) root[kCGImagePropertyTIFFDictionary] = Value(std::move(tiff));
    if (!exif.empty()) root[kCGImagePropertyExifDictionary] = Value(std::move(exif));
    if (!aux.empty()) root[kCGImagePropertyExifAuxDictionary] = Value(std::move(aux));
    return Value(std::move(root));
}

// Writes the test image through a fresh wrapper and reads it back.
ExrFile exportAndRead(const TempFolder& folder, const Value& meta, int format = 0) {
    auto px = testImage(kWidth, kHeight);
    exrWrapper wrapper(kWidth, kHeight);
    platform::Error error;
    EXPECT_TRUE(
        wrapper.writeToFile(px.data(), format, folder / "out.exr", meta, "com.ilm.openexr-image", &error))
        << error.failureReason;
    return readExr(folder / "out.exr");
}

std::optional<std::string> text(const ExrFile& f, const char* name) {
    auto* a = f.header.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? std::optional<std::string>(a->value()) : std::nullopt;
}

std::optional<float> number(const ExrFile& f, const char* name) {
    auto* a = f.header.findTypedAttribute<Imf::FloatAttribute>(name);
    return a ? std::optional<float>(a->value()) : std::nullopt;
}

} // namespace

TEST(exrWrapper, WritesTheFourVariantsAndKeepsFlagsForOtherFormats) {
    struct Case {
        int format;
        Imf::PixelType type;
        bool alpha;
    } cases[] = {{0, Imf::HALF, true},   {1, Imf::FLOAT, true}, {2, Imf::HALF, false},
                 {3, Imf::FLOAT, false}, {4, Imf::HALF, true},  {-1, Imf::HALF, true}};
    TempFolder folder;
    auto px = testImage(kWidth, kHeight);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        ExrFile file = exportAndRead(folder, metadata({{kCGImagePropertyTIFFMake, Value("Acme")}}), c.format);
        const Imf::ChannelList& channels = file.header.channels();
        for (const char* name : {"R", "G", "B"}) {
            ASSERT_NE(channels.findChannel(name), nullptr) << name;
            EXPECT_EQ(channels.findChannel(name)->type, c.type);
        }
        ASSERT_EQ(channels.findChannel("A") != nullptr, c.alpha);
        if (c.alpha) {
            EXPECT_EQ(channels.findChannel("A")->type, c.type);
        }
        EXPECT_EQ(file.header.compression(), Imf::ZIP_COMPRESSION);
        EXPECT_EQ(file.header.lineOrder(), Imf::INCREASING_Y);
        EXPECT_EQ(file.header.dataWindow(), Imath::Box2i({0, 0}, {kWidth - 1, kHeight - 1}));
        EXPECT_EQ(file.header.previewImage().width(), 2u);
        EXPECT_EQ(file.header.previewImage().height(), 1u);
        EXPECT_EQ(file.header.findTypedAttribute<Imf::ChromaticitiesAttribute>("chromaticities"), nullptr);
        EXPECT_EQ(text(file, "make"), "Acme");
        for (size_t i = 0; i < px.size(); ++i)
            ASSERT_EQ(file.rgba[i], i % 4 == 3 && !c.alpha ? -1.0f : px[i]) << "sample " << i;
    }
}

TEST(exrWrapper, FormatsOutsideZeroToThreeKeepTheLastChoice) {
    TempFolder folder;
    auto px = testImage(kWidth, kHeight);
    exrWrapper wrapper(kWidth, kHeight);
    ASSERT_TRUE(wrapper.writeToFile(px.data(), 3, folder / "a.exr", Value(), ""));
    ASSERT_TRUE(wrapper.writeToFile(px.data(), 9, folder / "b.exr", Value(), ""));
    ExrFile file = readExr(folder / "b.exr");
    EXPECT_EQ(file.header.channels().findChannel("R")->type, Imf::FLOAT);
    EXPECT_EQ(file.header.channels().findChannel("A"), nullptr);
}

TEST(exrWrapper, CopiesTheMappedMetadataIntoAttributes) {
    TempFolder folder;
    ExrFile file = exportAndRead(
        folder, metadata({{kCGImagePropertyTIFFMake, Value("Acme")},
                          {kCGImagePropertyTIFFModel, Value("X1")},
                          {kCGImagePropertyTIFFSoftware, Value("1.2")},
                          {kCGImagePropertyTIFFArtist, Value("Ann Artist")},
                          {kCGImagePropertyTIFFCopyright, Value("(c) Ann")},
                          {kCGImagePropertyTIFFOrientation, Value(6)}},
                         {{kCGImagePropertyExifExposureTime, Value(0.004)},
                          {kCGImagePropertyExifISOSpeedRatings, Value(Array{Value(400), Value(800)})},
                          {kCGImagePropertyExifApertureValue, Value(4.0)},
                          {kCGImagePropertyExifSubjectDistance, Value(3.5)},
                          {kCGImagePropertyExifUserComment, Value("nice light")},
                          {kCGImagePropertyExifFNumber, Value(4.0)}},
                         {{kCGImagePropertyExifAuxLensModel, Value("50mm f/1.8")},
                          {kCGImagePropertyExifAuxOwnerName, Value("Someone")}}));
    EXPECT_EQ(text(file, "make"), "Acme");
    EXPECT_EQ(text(file, "model"), "X1");
    EXPECT_EQ(text(file, "software"), "1.2");
    // Artist sorts before Copyright, so it finds no owner to replace.
    EXPECT_EQ(text(file, "owner"), "(c) Ann");
    EXPECT_EQ(text(file, "comments"), "nice light");
    EXPECT_EQ(text(file, "lensModel"), "50mm f/1.8");
    EXPECT_EQ(number(file, "expTime"), 0.004f);
    EXPECT_EQ(number(file, "isoSpeed"), 400.0f);
    EXPECT_EQ(number(file, "aperture"), 4.0f);
    EXPECT_EQ(number(file, "focus"), 3.5f);
    EXPECT_EQ(text(file, "capDate"), std::nullopt);
}

TEST(exrWrapper, CaptureDateComesFromDateTimeOrDateTimeDigitized) {
    const char* original = "2020:01:01 01:01:01";
    const char* digitized = "2021:02:02 02:02:02";
    const char* modified = "2022:03:03 03:03:03";
    struct Case {
        const char* name;
        Value meta;
        std::optional<std::string> capDate;
    } cases[] = {
        {"original alone", metadata({}, {{kCGImagePropertyExifDateTimeOriginal, Value(original)}}),
         std::nullopt},
        {"digitized",
         metadata({}, {{kCGImagePropertyExifDateTimeOriginal, Value(original)},
                       {kCGImagePropertyExifDateTimeDigitized, Value(digitized)}}),
         digitized},
        // {TIFF} comes after {Exif}, so its DateTime wins.
        {"both",
         metadata({{kCGImagePropertyTIFFDateTime, Value(modified)}},
                  {{kCGImagePropertyExifDateTimeDigitized, Value(digitized)}}),
         modified},
    };
    TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExrFile file = exportAndRead(folder, c.meta);
        EXPECT_EQ(text(file, "capDate"), c.capDate);
    }
}

TEST(exrWrapper, NonNumericValuesGiveTheStartingNumbers) {
    struct Case {
        const char* key;
        const char* attribute;
        float expected;
    } cases[] = {
        {kCGImagePropertyExifExposureTime, "expTime", 0.0f},
        {kCGImagePropertyExifISOSpeedRatings, "isoSpeed", 0.0f},
        {kCGImagePropertyExifShutterSpeedValue, "expTime", 1.0f},
        {kCGImagePropertyExifApertureValue, "aperture", 1.0f},
        {kCGImagePropertyExifSubjectDistance, "focus", 0.0f},
    };
    TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        ExrFile file = exportAndRead(folder, metadata({}, {{c.key, Value("unknown")}}));
        EXPECT_EQ(number(file, c.attribute), c.expected);
    }
}

TEST(exrWrapper, BadMetadataValuesAreSkippedAndCopyingGoesOn) {
    TempFolder folder;
    Value meta = metadata({{kCGImagePropertyTIFFModel, Value("X1")}},
                          {{kCGImagePropertyExifExposureTime, Value(Array{})},
                           {kCGImagePropertyExifFNumber, Value(Data{1})},
                           {kCGImagePropertyExifISOSpeedRatings, Value(Array{Value(200)})}});
    meta.dictionary()->emplace(kCGImagePropertyExifAuxDictionary, Value("not a dictionary"));
    ExrFile file = exportAndRead(folder, meta);
    EXPECT_FALSE(number(file, "expTime").has_value());
    EXPECT_EQ(number(file, "isoSpeed"), 200.0f);
    EXPECT_EQ(text(file, "model"), "X1");
}

TEST(exrWrapper, ReportsAFailedWriteWithTheWritersMessage) {
    TempFolder folder;
    auto px = testImage(kWidth, kHeight);
    exrWrapper wrapper(kWidth, kHeight);
    platform::Error error;
    EXPECT_FALSE(wrapper.writeToFile(px.data(), 1, folder / "missing" / "out.exr", Value(), "", &error));
    EXPECT_EQ(error.code, exporting::errors::ExrLibraryFailed);
    EXPECT_NE(error.failureReason.find("missing/out.exr"), std::string::npos);
}

TEST(exrWrapper, FileReadsBackWithTheExrheaderTool) {
    if (std::system("command -v exrheader > /dev/null 2>&1") != 0) GTEST_SKIP() << "exrheader not installed";
    TempFolder folder;
    exportAndRead(folder, metadata({{kCGImagePropertyTIFFCopyright, Value("(c) Ann")}}), 3);
    std::string command =
        "exrheader '" + (folder / "out.exr").string() + "' > '" + (folder / "h.txt").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string header = readText(folder / "h.txt");
    for (const char* line :
         {"R, 32-bit floating-point, sampling 1 1", "G, 32-bit floating-point, sampling 1 1",
          "B, 32-bit floating-point, sampling 1 1", "compression (type compression): zip",
          "preview (type preview): 2 by 1 pixels", "owner (type string): \"(c) Ann\"",
          "dataWindow (type box2i): (0 0) - (19 11)"})
        EXPECT_NE(header.find(line), std::string::npos) << line << "\n" << header;
    EXPECT_EQ(header.find("A, "), std::string::npos);
    EXPECT_EQ(header.find("chromaticities"), std::string::npos);
}
