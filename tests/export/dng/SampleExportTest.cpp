// Every complete sample developed by the decoder and exported as DNG and TIFF.
#include "export/dngWrapper.h"

#include "platform/ImageProperties.h"
#include "raw/core/DCRaw.h"
#include "tests/dng/writer/DecoderReadBack.h"
#include "tests/dng/writer/WriterFixtures.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;
using namespace writertest;

namespace {

struct Developed {
    int width = 0, height = 0;
    std::vector<uint16_t> rgb;
    Value metadata;
};

Developed Develop(const std::string& path) {
    Developed d;
    std::lock_guard<std::recursive_mutex> lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t size = 0;
    if (!decoder.loadFile(path, &size)) return d;
    uint16_t* buffer = nullptr;
    uint16_t width = 0, height = 0;
    const bool ok = decoder.processFileAndCreateBuffer(path, &buffer, 0.0f, &width, &height);
    if (ok && buffer) {
        d.width = width;
        d.height = height;
        for (size_t i = 0; i < size_t(width) * height; ++i)
            d.rgb.insert(d.rgb.end(), buffer + 4 * i, buffer + 4 * i + 3);
    }
    std::free(buffer);
    d.metadata = Value(decoder.metaData());
    return d;
}

std::string TiffText(const Value& metadata, const char* key) {
    const Dictionary* root = metadata.dictionary();
    if (!root || !root->count(kCGImagePropertyTIFFDictionary)) return "";
    const Dictionary* tiff = root->at(kCGImagePropertyTIFFDictionary).dictionary();
    if (!tiff || !tiff->count(key) || !tiff->at(key).string()) return "";
    return *tiff->at(key).string();
}

class SampleExport : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(SampleExport, AsDngAndTiff) {
    LV_REQUIRE_SAMPLE(GetParam());
    const Developed d = Develop(testsupport::samplePath(GetParam()).string());
    ASSERT_GT(d.width, 0) << "the decoder did not develop " << GetParam();
    testsupport::TempFolder folder;
    const std::string dng = (folder / "out.dng").string(), tif = (folder / "out.tif").string();
    {
        dngWrapper wrapper(d.width, d.height);
        platform::Error error;
        ASSERT_TRUE(
            wrapper.writeToFile(d.rgb.data(), 0, dng, {}, d.metadata, "com.adobe.raw-image.dng", &error))
            << error.failureReason;
    }
    {
        dngWrapper wrapper(d.width, d.height);
        platform::Error error;
        ASSERT_TRUE(wrapper.writeToFile(d.rgb.data(), 0, tif, {}, d.metadata, "public.tiff", &error))
            << error.failureReason;
    }

    // Every DNG names its raw data.
    const std::vector<uint8_t> bytes = ReadFile(dng);
    const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
    ASSERT_EQ(ifd0.count(50781), 1u);
    EXPECT_EQ(ifd0.at(50781).count, 16u);

    // The DNG's raw image is the developed buffer itself, at its size.
    const DecodedSensor sensor = DecodeSensor(dng);
    ASSERT_EQ(sensor.failure, "");
    // The DC120's 1301 columns: an odd width is read back as it was written.
    EXPECT_EQ(sensor.width, d.width);
    EXPECT_EQ(sensor.height, d.height);
    size_t differing = 0;
    for (int r = 0; r < d.height; ++r)
        for (int k = 0; k < d.width * 3; ++k)
            differing +=
                sensor.samples[size_t(r) * sensor.width * 3 + k] != d.rgb[size_t(r) * d.width * 3 + k];
    EXPECT_EQ(differing, 0u);

    if (HaveTool("tiffinfo")) {
        for (const std::string& path : {dng, tif}) {
            const auto [info, status] = RunCommand((path == tif ? "tiffinfo -D " : "tiffinfo ") + path);
            EXPECT_EQ(status, 0) << info;
        }
    }
    if (HaveTool("exiftool")) {
        for (const std::string& path : {dng, tif}) {
            const auto [out, status] = RunCommand("exiftool -validate -warning -a -s " + path);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(out, "Validate                        : OK\n") << path;
        }
        const std::string make = TiffText(d.metadata, kCGImagePropertyTIFFMake);
        const auto [written, s2] = RunCommand("exiftool -s -s -s -Make -UniqueCameraModel " + dng);
        // The camera's make, but never its model name: no program takes the image for raw data.
        EXPECT_EQ(written, (make.empty() ? std::string("Lumivar") : make) + "\nLumivar Virtual camera\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleExport,
                         ::testing::Values("BMPCC_cinemadng_frame.dng", "DC120_P003908_uncompressed.KDC",
                                           "DC50_DC0008L.KDC", "EOS_D30.CRW", "PowerShotG2_CRW_0304.CRW",
                                           "Pixel7_small.dng", "synthetic_1024_rggb_uncompressed.dng"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
