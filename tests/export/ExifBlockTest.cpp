#include "export/ExifBlock.h"

#include "platform/ImageProperties.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace platform;

namespace {

struct Entry {
    uint16_t type = 0;
    uint32_t count = 0;
    std::vector<uint8_t> bytes;
};

enum Dir { kIfd0, kExif, kGps };
using Entries = std::map<std::pair<Dir, uint16_t>, Entry>;

uint32_t be(const std::vector<uint8_t>& b, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = v << 8 | b.at(at + i);
    return v;
}

// A reader of just what the block holds: "Exif\0\0", a big-endian TIFF header, IFD0 and the
// directories its two pointers name.
Entries readBlock(const std::vector<uint8_t>& block) {
    EXPECT_EQ(std::string(block.begin(), block.begin() + 10), std::string("Exif\0\0MM\0*", 10));
    const std::vector<uint8_t> tiff(block.begin() + 6, block.end());
    const size_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8};
    Entries entries;
    std::vector<std::pair<Dir, uint32_t>> pending{{kIfd0, be(tiff, 4, 4)}};
    while (!pending.empty()) {
        auto [dir, offset] = pending.back();
        pending.pop_back();
        const size_t n = be(tiff, offset, 2);
        for (size_t i = 0; i < n; ++i) {
            const size_t at = offset + 2 + 12 * i;
            Entry e{uint16_t(be(tiff, at + 2, 2)), be(tiff, at + 4, 4), {}};
            const size_t size = e.count * sizes[e.type];
            const size_t value = size <= 4 ? at + 8 : be(tiff, at + 8, 4);
            e.bytes.assign(tiff.begin() + long(value), tiff.begin() + long(value + size));
            const uint16_t tag = uint16_t(be(tiff, at, 2));
            if (tag == 34665) pending.push_back({kExif, be(e.bytes, 0, 4)});
            if (tag == 34853) pending.push_back({kGps, be(e.bytes, 0, 4)});
            entries[{dir, tag}] = std::move(e);
        }
        EXPECT_EQ(be(tiff, offset + 2 + 12 * n, 4), 0u) << "one image, no thumbnail directory";
    }
    return entries;
}

Dictionary with(const char* group, const char* key, Value value) {
    return Dictionary{{group, Value(Dictionary{{key, std::move(value)}})}};
}

std::vector<uint8_t> blockOf(const Dictionary& properties, ExifImageInfo info = {640, 480, false}) {
    std::string failure;
    auto block = makeExifBlock(properties, info, &failure);
    EXPECT_TRUE(block) << failure;
    return block.value_or(std::vector<uint8_t>(14, 0));
}

} // namespace

TEST(ExifBlock, HoldsTheImagesOwnFieldsWhateverTheDictionarySays) {
    Dictionary properties{
        {kCGImagePropertyTIFFDictionary, Value(Dictionary{{kCGImagePropertyTIFFOrientation, 6},
                                                          {kCGImagePropertyTIFFSoftware, "Camera 1.0"},
                                                          {kCGImagePropertyTIFFCompression, 7},
                                                          {kCGImagePropertyTIFFXResolution, 300}})},
        {kCGImagePropertyExifDictionary,
         Value(Dictionary{{kCGImagePropertyExifPixelXDimension, 6000},
                          {kCGImagePropertyExifVersion, Array{Value(2), Value(21)}},
                          {kCGImagePropertyExifMakerNote, Data{1, 2, 3}},
                          {"NotAKey", "passed over"}})},
        {kCGImagePropertyDNGDictionary, Value(Dictionary{{kCGImagePropertyDNGVersion, "1.6"}})},
        {"Orientation", 8}, // the root's orientation tells what the pixels were
    };
    Entries e = readBlock(blockOf(properties));
    EXPECT_EQ(be(e[{kIfd0, 274}].bytes, 0, 2), 1u);
    EXPECT_EQ(std::string(e[{kIfd0, 305}].bytes.begin(), e[{kIfd0, 305}].bytes.end()),
              lumivarSoftwareName() + '\0');
    EXPECT_EQ(be(e[{kIfd0, 282}].bytes, 0, 4), 300u) << "a resolution given is kept";
    EXPECT_EQ(be(e[{kIfd0, 283}].bytes, 0, 4), 72u);
    EXPECT_EQ(e.count({kIfd0, 259}), 0u) << "the raw file's compression is not the JPEG's";
    EXPECT_EQ(e.count({kExif, 37500}), 0u) << "maker notes point into the raw file";
    EXPECT_EQ(e.count({kIfd0, 34853}), 0u) << "no GPS directory without {GPS}";
    EXPECT_EQ(be(e[{kExif, 40962}].bytes, 0, 4), 640u);
    EXPECT_EQ(be(e[{kExif, 40963}].bytes, 0, 4), 480u);
    EXPECT_EQ(std::string(e[{kExif, 36864}].bytes.begin(), e[{kExif, 36864}].bytes.end()), "0230");
    EXPECT_EQ(be(e[{kExif, 40961}].bytes, 0, 2), 0xFFFFu) << "not sRGB: uncalibrated";
    EXPECT_EQ(be(readBlock(blockOf({}, {1, 1, true}))[{kExif, 40961}].bytes, 0, 2), 1u);
}

TEST(ExifBlock, RationalsAreTheSimplestFractionsOfTheReadersFloats) {
    struct Case {
        const char* key;
        Value value;
        int64_t numerator;
        uint32_t denominator;
    } cases[] = {
        {kCGImagePropertyExifExposureTime, Value(float(1.0 / 16)), 1, 16},
        {kCGImagePropertyExifExposureTime, Value(0.004f), 1, 250},
        {kCGImagePropertyExifExposureTime, Value(30), 30, 1},
        {kCGImagePropertyExifFNumber, Value(1.9f), 19, 10},
        {kCGImagePropertyExifFNumber, Value(5.6f), 28, 5},
        {kCGImagePropertyExifFocalLength, Value(6.81f), 681, 100},
        {kCGImagePropertyExifSubjectDistance, Value(4294967295.0), 4294967295, 1},
        {kCGImagePropertyExifSubjectDistance, Value(0), 0, 1},
        {kCGImagePropertyExifExposureBiasValue, Value(float(-1.0 / 3)), -1, 3},
        {kCGImagePropertyExifSubjectDistance, Value(M_PI), 355, 113},
        {kCGImagePropertyExifBrightnessValue, Value(-2.5), -5, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.value.stringValue());
        Entries e = readBlock(blockOf(with(kCGImagePropertyExifDictionary, c.key, c.value)));
        auto it = std::find_if(e.begin(), e.end(), [](const auto& kv) {
            return kv.first.first == kExif && (kv.second.type == 5 || kv.second.type == 10) &&
                   kv.second.count == 1;
        });
        ASSERT_NE(it, e.end());
        const uint32_t stored = be(it->second.bytes, 0, 4);
        EXPECT_EQ(it->second.type == 10 ? int64_t(int32_t(stored)) : int64_t(stored), c.numerator);
        EXPECT_EQ(be(it->second.bytes, 4, 4), c.denominator);
    }
}

TEST(ExifBlock, AValueItCannotEncodeFailsNamingItsKey) {
    struct Case {
        const char* group;
        const char* key;
        Value value;
    } cases[] = {
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifFNumber, "f/2"},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifISOSpeedRatings, Array{Value(-5)}},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifISOSpeedRatings, Array{Value(70000)}},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifExposureTime, Value(NAN)},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifExposureTime, Value(-0.5)},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifExposureBiasValue, Value(3e9)},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifSubjectLocation, Array{Value(10)}},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifDateTimeOriginal, Value(Date{0})},
        {kCGImagePropertyExifDictionary, kCGImagePropertyExifFlash, Value(Dictionary{})},
        {kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFMake, 42},
        {kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFArtist, std::string("Ann\0Bo", 6)},
        {kCGImagePropertyGPSDictionary, kCGImagePropertyGPSLatitude, Value(-3.5)},
        {kCGImagePropertyGPSDictionary, kCGImagePropertyGPSTimeStamp, "noon"},
        {kCGImagePropertyGPSDictionary, kCGImagePropertyGPSVersion, Array{Value(2), Value(3)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.value.stringValue());
        std::string failure;
        EXPECT_FALSE(makeExifBlock(with(c.group, c.key, c.value), {8, 8, true}, &failure));
        EXPECT_NE(failure.find(c.key), std::string::npos) << failure;
    }
}

TEST(ExifBlock, GpsValuesInTheReadersFormsBecomeTheirExifForms) {
    Dictionary gps{{kCGImagePropertyGPSLatitude, Value(48.858334f)},
                   {kCGImagePropertyGPSLongitude, Array{Value(2), Value(17), Value(40.13)}},
                   {kCGImagePropertyGPSTimeStamp, " 9: 5:30.25"},
                   {kCGImagePropertyGPSProcessingMethod, "fused"},
                   {kCGImagePropertyGPSAreaInformation, "Paris"}};
    Entries e = readBlock(blockOf(Dictionary{{kCGImagePropertyGPSDictionary, Value(gps)}}));
    auto rationals = [&](uint16_t tag) {
        std::vector<double> v;
        const Entry& entry = e[{kGps, tag}];
        for (size_t i = 0; i < entry.count; ++i)
            v.push_back(double(be(entry.bytes, 8 * i, 4)) / be(entry.bytes, 8 * i + 4, 4));
        return v;
    };
    EXPECT_EQ(rationals(2), (std::vector<double>{48, 51, 30}));
    EXPECT_EQ(rationals(4), (std::vector<double>{2, 17, 40.13}));
    EXPECT_EQ(rationals(7), (std::vector<double>{9, 5, 30.25}));
    EXPECT_EQ(be(e[{kGps, 0}].bytes, 0, 4), 0x02030000u) << "GPSVersionID is required";
    EXPECT_EQ(e.count({kGps, 27}), 0u) << "no processing method EXIF names";
    EXPECT_EQ(std::string(e[{kGps, 28}].bytes.begin(), e[{kGps, 28}].bytes.end()),
              std::string("ASCII\0\0\0Paris", 13));
}

TEST(ExifBlock, TextBeyondASCIIIsWrittenAsUnicode) {
    Entries e =
        readBlock(blockOf(with(kCGImagePropertyExifDictionary, kCGImagePropertyExifUserComment, "Café")));
    EXPECT_EQ((e[{kExif, 37510}].bytes),
              (std::vector<uint8_t>{'U', 'N', 'I', 'C', 'O', 'D', 'E', 0, 0, 'C', 0, 'a', 0, 'f', 0, 0xE9}));
}

TEST(ExifBlock, FillsAnApp1SegmentToTheByteAndNoFurther) {
    auto sized = [](size_t length) {
        return makeExifBlock(
            with(kCGImagePropertyExifDictionary, kCGImagePropertyExifUserComment, std::string(length, 'x')),
            {8, 8, true});
    };
    const size_t base =
        blockOf(with(kCGImagePropertyExifDictionary, kCGImagePropertyExifUserComment, std::string(1000, 'x')),
                {8, 8, true})
            .size();
    // Blocks are whole words long, so 65,532 bytes is the largest.
    const size_t fits = 1000 + (kExifBlockLimit - 1 - base);
    ASSERT_TRUE(sized(fits));
    EXPECT_EQ(sized(fits)->size(), kExifBlockLimit - 1);
    std::string failure;
    EXPECT_FALSE(makeExifBlock(
        with(kCGImagePropertyExifDictionary, kCGImagePropertyExifUserComment, std::string(fits + 1, 'x')),
        {8, 8, true}, &failure));
    EXPECT_NE(failure.find("65534 bytes"), std::string::npos) << failure;
}
