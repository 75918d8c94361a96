// The TIFF-based camera files of the samples folder: their metadata dictionary agrees
// with an independent reader, and the parse picks the directory holding the raw image.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/ImageProperties.h"
#include "raw/core/DecoderError.h"
#include "raw/tiff/TiffParser.h"
#include "tests/raw/TiffParseFixture.h"
#include "tests/support/Samples.h"

#include <fstream>
#include <iterator>

using namespace raw;
using namespace testsupport;
using namespace platform;

namespace {

struct SampleCase {
    const char* file;
    const char* make;
    const char* model;
    double exposure; // 0: the file has none
    double f_number;
    int iso; // 0: none
    const char* taken;
    uint32_t raw_width, raw_height; // 0: not checked (needs the lossless JPEG reader)
    uint64_t data_offset = 0;       // 0: not checked
};

// The DC120's CFA directory states the picture size (1280 x 960); its strip holds the
// 976 x 848 photosites (827,648 bytes), a size the Kodak camera step sets later.

const SampleCase kSamples[] = {
    {"CanonRaw.cr2", "Canon", "Canon EOS 350D DIGITAL", 1 / 15.0, 8.0, 400, "2005:08:03 18:59:18", 0, 0},
    {"D7100_truncated.NEF", "NIKON CORPORATION", "NIKON D7100", 1 / 30.0, 8.0, 100, "2013:09:03 09:45:16",
     6036, 4020},
    {"Nikon.nef", "NIKON CORPORATION", "NIKON D70", 1 / 20.0, 3.5, 200, "2004:06:09 16:02:35", 3040, 2014},
    {"SLT-A55V_truncated.ARW", "SONY", "SLT-A55V", 1 / 100.0, 13.0, 100, "2017:10:22 11:54:20", 4928, 3280},
    {"Panasonic.rw2", "Panasonic", "DMC-LX3", 1 / 250.0, 4.0, 80, "2008:08:06 15:21:56", 3724, 2754},
    {"DC120_P003908_uncompressed.KDC", "Eastman Kodak Company", "Kodak DC120 ZOOM Digital Camera", 1 / 275.0,
     4.0, 0, "1994:01:02 15:52:32", 1280, 960, 15680},
    {"DC120_P003911_jpeg.KDC", "Eastman Kodak Company", "Kodak DC120 ZOOM Digital Camera", 1 / 266.0, 3.7, 0,
     "1994:01:02 15:56:14", 0, 0},
    {"DC50_DC0008L.KDC", "Eastman Kodak Company", "Kodak Digital Science DC50 Zoom Camera", 1 / 43.0, 2.5, 0,
     nullptr, 0, 0},
    {"DNG.dng", "Canon", "Canon EOS 350D DIGITAL", 1 / 15.0, 8.0, 400, "2005:08:03 18:59:18", 3516, 2328},
    {"Hero7_GOPR8508.GPR", "GoPro", "HERO7 Black", 1 / 240.0, 2.8, 267, "2020:10:28 08:54:19", 4000, 3000},
    {"NikonZ9_jxl_linear.dng", "NIKON CORPORATION", "NIKON Z 9", 30.0, 1.2, 65535, "2025:08:10 19:02:53",
     5392, 3592},
    {"Pixel7_small.dng", "Google", "Pixel 7", 1 / 16.0, 1.9, 744, "2024:07:04 21:45:43", 510, 382},
    {"canon_eos_6d_lossy_linear.dng", "Canon", "Canon EOS 6D", 1 / 60.0, 5.6, 1000, "2019:06:06 07:29:51",
     1224, 816},
    {"iPhone12Pro_header_only.dng", "Apple", "iPhone 12 Pro", 1 / 5556.0, 1.6, 32, "2020:12:29 14:24:45",
     4032, 3024},
    {"BMPCC_cinemadng_frame.dng", nullptr, nullptr, 0, 0, 0, nullptr, 1952, 1112},
    {"synthetic_1024_rggb_uncompressed.dng", nullptr, nullptr, 0, 0, 0, nullptr, 1024, 1024},
};

std::vector<uint8_t> readSample(const std::string& name) {
    std::ifstream in(samplePath(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void expectNear(const platform::Value& v, double expected, const char* what) {
    ASSERT_TRUE(v.isNumber()) << what;
    EXPECT_NEAR(v.doubleValue(), expected, expected * 0.05) << what; // the reference prints 1/N rounded
}

class TiffSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(TiffSamples, MetadataAndRawDirectory) {
    const SampleCase& c = GetParam();
    LV_REQUIRE_SAMPLE(c.file);
    TiffParse p(readSample(c.file));
    DecoderState& s = p.state();
    try {
        ASSERT_EQ(parse_tiff_file(s, 0), 1);
        choose_raw_ifd(s);
    } catch (const DecoderText& failure) {
        FAIL() << failure.text;
    }
    if (c.make) {
        EXPECT_EQ(p.metadata(kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFMake).stringValue(), c.make);
        EXPECT_EQ(p.metadata(kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFModel).stringValue(),
                  c.model);
    }
    if (c.exposure) {
        expectNear(p.metadata(kCGImagePropertyExifDictionary, kCGImagePropertyExifExposureTime), c.exposure,
                   "exposure");
        expectNear(p.metadata(kCGImagePropertyExifDictionary, kCGImagePropertyExifFNumber), c.f_number,
                   "f-number");
    }
    if (c.iso) {
        platform::Value iso = p.metadata(kCGImagePropertyExifDictionary, kCGImagePropertyExifISOSpeedRatings);
        ASSERT_TRUE(iso.isArray() && !iso.array()->empty());
        EXPECT_EQ(iso.array()->front().intValue(), c.iso);
    }
    if (c.taken) {
        EXPECT_EQ(
            p.metadata(kCGImagePropertyExifDictionary, kCGImagePropertyExifDateTimeOriginal).stringValue(),
            c.taken);
    }
    if (c.raw_width) {
        EXPECT_EQ(s.sensor_width, c.raw_width);
        EXPECT_EQ(s.sensor_height, c.raw_height);
    }
    if (c.data_offset) {
        EXPECT_EQ(s.sensor_data_offset, c.data_offset);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, TiffSamples, ::testing::ValuesIn(kSamples), [](const auto& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

} // namespace
