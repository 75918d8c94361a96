#include "export/exrWriter.h"

#include "ExrTestFiles.h"

#include <ImfChromaticitiesAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfPreviewImage.h>
#include <ImfStringAttribute.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace exrtest;

namespace {

const std::string* stringAttribute(const Imf::Header& h, const char* name) {
    auto* a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? &a->value() : nullptr;
}

const float* floatAttribute(const Imf::Header& h, const char* name) {
    auto* a = h.findTypedAttribute<Imf::FloatAttribute>(name);
    return a ? &a->value() : nullptr;
}

size_t attributeCount(const Imf::Header& h) {
    size_t n = 0;
    for (auto it = h.begin(); it != h.end(); ++it)
        ++n;
    return n;
}

} // namespace

TEST(exrWriter, MetadataCodesSetTheirAttributes) {
    struct Case {
        MetadataKey code;
        const char* text;
        int32_t integer;
        double real;
        const char* attribute;
        std::string expectedText; // for string attributes
        float expectedFloat;      // for float attributes
    } cases[] = {
        {MetadataKey::TIFFMake, "Acme", 0, 0, "make", "Acme", 0},
        {MetadataKey::TIFFModel, "X1", 0, 0, "model", "X1", 0},
        {MetadataKey::TIFFSoftware, "fw 2", 0, 0, "software", "fw 2", 0},
        {MetadataKey::TIFFDateTime, "2024:05:06 07:08:09", 0, 0, "capDate", "2024:05:06 07:08:09", 0},
        {MetadataKey::ExifDateTimeDigitized, "2024:01:02 03:04:05", 0, 0, "capDate", "2024:01:02 03:04:05",
         0},
        {MetadataKey::TIFFCopyright, "(c) Me", 0, 0, "owner", "(c) Me", 0},
        {MetadataKey::ExifUserComment, "hello", 0, 0, "comments", "hello", 0},
        {MetadataKey::ExifAuxLensModel, "50mm", 0, 0, "lensModel", "50mm", 0},
        {MetadataKey::ExifExposureTime, "0.004", 0, 0.004, "expTime", "", 0.004f},
        {MetadataKey::ExifISOSpeedRatings, "800", 800, 799.9, "isoSpeed", "", 800.0f},
        {MetadataKey::ExifShutterSpeedValue, "7", 7, 7.0, "expTime", "", 1.0f / 128},
        {MetadataKey::ExifApertureValue, "5", 5, 5.0, "aperture", "", std::sqrt(32.0f)},
        {MetadataKey::ExifSubjectDistance, "3.5", 3, 3.5, "focus", "", 3.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attribute);
        exrWriter writer(16, 16);
        writer.setMetadata(c.code, c.text, c.integer, c.real);
        if (!c.expectedText.empty()) {
            ASSERT_NE(stringAttribute(writer.header(), c.attribute), nullptr);
            EXPECT_EQ(*stringAttribute(writer.header(), c.attribute), c.expectedText);
        } else {
            ASSERT_NE(floatAttribute(writer.header(), c.attribute), nullptr);
            EXPECT_FLOAT_EQ(*floatAttribute(writer.header(), c.attribute), c.expectedFloat);
        }
    }
}

TEST(exrWriter, OtherCodesSetNothing) {
    exrWriter writer(16, 16);
    size_t before = attributeCount(writer.header());
    for (auto code :
         {MetadataKey::ExifDateTimeOriginal, MetadataKey::TIFFCompression, MetadataKey::ExifFNumber,
          MetadataKey::ExifAuxOwnerName, MetadataKey(60), MetadataKey(200)})
        writer.setMetadata(code, "text", 1, 1.0);
    EXPECT_EQ(attributeCount(writer.header()), before);
}

TEST(exrWriter, ArtistOnlyReplacesAnOwnerAlreadyThere) {
    exrWriter artistOnly(16, 16);
    artistOnly.setMetadata(MetadataKey::TIFFArtist, "Artist", 0, 0);
    EXPECT_EQ(stringAttribute(artistOnly.header(), "owner"), nullptr);

    exrWriter copyrightFirst(16, 16);
    copyrightFirst.setMetadata(MetadataKey::TIFFCopyright, "Copyright", 0, 0);
    copyrightFirst.setMetadata(MetadataKey::TIFFArtist, "Artist", 0, 0);
    EXPECT_EQ(*stringAttribute(copyrightFirst.header(), "owner"), "Artist");

    exrWriter artistFirst(16, 16);
    artistFirst.setMetadata(MetadataKey::TIFFArtist, "Artist", 0, 0);
    artistFirst.setMetadata(MetadataKey::TIFFCopyright, "Copyright", 0, 0);
    EXPECT_EQ(*stringAttribute(artistFirst.header(), "owner"), "Copyright");
}

TEST(exrWriter, PreviewTakesEveryEighthPixelThroughAGammaCurve) {
    TempFolder folder;
    const int width = 17, height = 9; // a 2 x 1 preview
    std::vector<float> px(size_t(width) * height * 4, 100.0f);
    auto set = [&](int x, int y, std::array<float, 4> v) {
        std::copy(v.begin(), v.end(), &px[(y * width + x) * 4]);
    };
    set(0, 0, {0.18f, 1.0f, -0.5f, 0.5f});
    set(8, 0, {NAN, 1000.0f, 0.0f, 2.0f});
    set(16, 8, {0, 0, 0, 0}); // beyond the preview's reach

    exrWriter writer(width, height);
    platform::Error error;
    ASSERT_TRUE(writer.write(px.data(), (folder / "p.exr").c_str(), &error)) << error.failureReason;
    ExrFile file = readExr(folder / "p.exr");
    const Imf::PreviewImage& preview = file.header.previewImage();
    ASSERT_EQ(preview.width(), 2u);
    ASSERT_EQ(preview.height(), 1u);
    const Imf::PreviewRgba& a = preview.pixel(0, 0);
    const Imf::PreviewRgba& b = preview.pixel(1, 0);
    EXPECT_EQ((std::array<int, 4>{a.r, a.g, a.b, a.a}), (std::array<int, 4>{84, 184, 0, 128}));
    EXPECT_EQ((std::array<int, 4>{b.r, b.g, b.b, b.a}), (std::array<int, 4>{0, 255, 0, 255}));
}

TEST(exrWriter, ImagesBelowEightPixelsGetAnEmptyPreview) {
    TempFolder folder;
    struct Case {
        int width, height;
        unsigned previewWidth, previewHeight;
    } cases[] = {{7, 20, 0, 2}, {20, 7, 2, 0}, {1, 1, 0, 0}, {8, 8, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        auto px = testImage(c.width, c.height);
        exrWriter writer(c.width, c.height);
        platform::Error error;
        ASSERT_TRUE(writer.write(px.data(), (folder / "small.exr").c_str(), &error)) << error.failureReason;
        ExrFile file = readExr(folder / "small.exr");
        ASSERT_TRUE(file.header.hasPreviewImage());
        EXPECT_EQ(file.header.previewImage().width(), c.previewWidth);
        EXPECT_EQ(file.header.previewImage().height(), c.previewHeight);
        EXPECT_EQ(file.rgba, px);
    }
}

TEST(exrWriter, ChromaticitiesOnlyWhileSwitchedOn) {
    TempFolder folder;
    auto px = testImage(16, 16);
    exrWriter writer(16, 16);
    writer.setWriteChromaticities(true);
    ASSERT_TRUE(writer.write(px.data(), (folder / "with.exr").c_str()));
    ExrFile with = readExr(folder / "with.exr");
    auto* c = with.header.findTypedAttribute<Imf::ChromaticitiesAttribute>("chromaticities");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->value().red, Imath::V2f(0.7347f, 0.2653f));
    EXPECT_EQ(c->value().green, Imath::V2f(0.1596f, 0.8404f));
    EXPECT_EQ(c->value().blue, Imath::V2f(0.0366f, 0.0001f));
    EXPECT_EQ(c->value().white, Imath::V2f(0.34567f, 0.3585f));

    writer.setWriteChromaticities(false);
    ASSERT_TRUE(writer.write(px.data(), (folder / "without.exr").c_str()));
    EXPECT_EQ(readExr(folder / "without.exr")
                  .header.findTypedAttribute<Imf::ChromaticitiesAttribute>("chromaticities"),
              nullptr);
}

TEST(exrWriter, AlphaOfAnEarlierWriteDoesNotOutliveOmitAlpha) {
    TempFolder folder;
    auto px = testImage(16, 16);
    exrWriter writer(16, 16);
    ASSERT_TRUE(writer.write(px.data(), (folder / "rgba.exr").c_str()));
    writer.setOmitAlpha(true);
    ASSERT_TRUE(writer.write(px.data(), (folder / "rgb.exr").c_str()));
    EXPECT_EQ(readExr(folder / "rgb.exr").header.channels().findChannel("A"), nullptr);
}

TEST(exrWriter, RejectsSizesAndBuffersItCannotWrite) {
    TempFolder folder;
    std::vector<float> px(64, 0.5f);
    struct Case {
        int width, height;
        const float* buffer;
    } cases[] = {{0, 4, px.data()},
                 {4, 0, px.data()},
                 {-4, 4, px.data()},
                 {INT_MIN, INT_MIN, px.data()},
                 {INT_MAX, INT_MAX, px.data()},
                 {4, 4, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        exrWriter writer(c.width, c.height);
        platform::Error error;
        EXPECT_FALSE(writer.write(c.buffer, (folder / "bad.exr").c_str(), &error));
        EXPECT_EQ(error.domain, exporting::errors::Domain);
        EXPECT_NE(error.failureReason, "");
        EXPECT_TRUE(folder.entries().empty());
    }
}

TEST(exrWriter, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    TempFolder folder;
    std::ofstream(folder / "photo.exr") << "old";
    // Noise does not compress: the file outgrows the size limit while the pixels go out.
    std::vector<float> px(size_t(256) * 256 * 4);
    uint32_t seed = 1;
    for (float& v : px)
        v = float((seed = seed * 1664525u + 1013904223u) >> 8) / float(1 << 24);

    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 64 * 1024;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    exrWriter writer(256, 256);
    writer.setFloatPixels(true);
    platform::Error error;
    const bool written = writer.write(px.data(), (folder / "photo.exr").c_str(), &error);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_NE(error.failureReason.find("File too large"), std::string::npos) << error.failureReason;
    EXPECT_EQ(readText(folder / "photo.exr"), "old");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"photo.exr"});
}

TEST(exrWriter, UnwritablePlacesFailWithACappedMessage) {
    TempFolder folder;
    auto px = testImage(8, 8);
    exrWriter writer(8, 8);

    fs::create_directory(folder / "taken.exr"); // a folder cannot be replaced by a file
    EXPECT_FALSE(writer.write(px.data(), (folder / "taken.exr").c_str()));
    EXPECT_TRUE(fs::is_directory(folder / "taken.exr"));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken.exr"});

    std::string deep = (folder / "missing").string();
    while (deep.size() < 900)
        deep += "/missing-folder";
    platform::Error error;
    EXPECT_FALSE(writer.write(px.data(), (deep + "/x.exr").c_str(), &error));
    EXPECT_EQ(error.failureReason.size(), 767u);
    EXPECT_EQ(error.failureReason.rfind("Cannot create a temporary file for", 0), 0u);
}
