#include "export/dngWrapper.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_negative.h"
#include "platform/ImageProperties.h"
#include "tests/dng/writer/DecoderReadBack.h"
#include "tests/dng/writer/WriterFixtures.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/RunDecoder.h"

#include <gtest/gtest.h>

#include <zlib.h>

using namespace platform;
using namespace writertest;

namespace {

// A grey ramp: equal R, G and B rising across the image.
std::vector<uint16_t> GreyRamp(int width, int height) {
    std::vector<uint16_t> v;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            v.insert(v.end(), 3, uint16_t(1000 + c * 60000 / width));
    return v;
}

Value Metadata() {
    Dictionary tiff{{kCGImagePropertyTIFFMake, Value("Lumivar")},
                    {kCGImagePropertyTIFFModel, Value("Bench")}};
    Dictionary exif{{kCGImagePropertyExifISOSpeedRatings, Value(Array{Value(400)})},
                    {kCGImagePropertyExifFNumber, Value(4.0)},
                    {kCGImagePropertyExifExposureTime, Value(0.01)},
                    {kCGImagePropertyExifDateTimeOriginal, Value("2023:07:01 10:20:30")},
                    // An empty array is no value: only its key is skipped.
                    {kCGImagePropertyExifDateTimeDigitized, Value(Array{})}};
    return Value(Dictionary{{kCGImagePropertyTIFFDictionary, Value(std::move(tiff))},
                            {kCGImagePropertyExifDictionary, Value(std::move(exif))}});
}

std::string Exiftool(const std::string& args) { return RunCommand("exiftool " + args).first; }

std::string ExiftoolWarnings(const std::string& path, const std::vector<std::string>& tolerated) {
    std::string complaints;
    std::istringstream lines(Exiftool("-validate -warning -a -s " + path));
    for (std::string line; std::getline(lines, line);) {
        bool known = line.rfind("Validate", 0) == 0;
        for (const std::string& t : tolerated)
            known = known || line.find(t) != std::string::npos;
        if (!known) complaints += line + "\n";
    }
    return complaints;
}

} // namespace

TEST(DngExport, LinearRgbDngReadsBackAndStaysGrey) {
    // A width of whole 16-column cells: the decoder wraps a tile wider than the image.
    const int width = 128, height = 80;
    const std::vector<uint16_t> pixels = GreyRamp(width, height);
    testsupport::TempFolder folder;
    const std::string path = (folder / "grey.dng").string();
    dngWrapper wrapper(width, height);
    const int code = wrapper.writeToFile(pixels.data(), 0, path, {}, Metadata(), "com.adobe.raw-image.dng");
    ASSERT_EQ(code, 0) << wrapper.errorStringForCode(code);

    const DecodedSensor sensor = DecodeSensor(path);
    ASSERT_EQ(sensor.failure, "");
    EXPECT_EQ(sensor.width, width);
    EXPECT_EQ(sensor.height, height);
    EXPECT_EQ(sensor.samples, pixels);

    // Developed by the decoder in linear ProPhoto: a grey input stays grey and keeps its ramp.
    const testsupport::Outcome developed = testsupport::runDecoder({"-4", "-o", "4", "-w", "-c", path});
    ASSERT_EQ(developed.status, 0) << developed.err;
    std::istringstream in(developed.out);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    std::vector<uint16_t> out(size_t(w) * h * 3);
    for (uint16_t& v : out) {
        const int hi = in.get(), lo = in.get();
        v = uint16_t(hi << 8 | lo);
    }
    const size_t row = size_t(height / 2) * width * 3;
    int previous = -1;
    for (int c = 0; c < width; c += 10) {
        const uint16_t* p = &out[row + size_t(c) * 3];
        const int mean = (p[0] + p[1] + p[2]) / 3;
        EXPECT_NEAR(p[0], mean, 1 + mean / 100) << c;
        EXPECT_NEAR(p[2], mean, 1 + mean / 100) << c;
        EXPECT_GE(mean, previous) << c; // the decoder's automatic white may clip the top
        previous = mean;
    }

    if (HaveTool("tiffinfo")) {
        const auto [info, status] = RunCommand("tiffinfo " + path);
        EXPECT_EQ(status, 0) << info;
    }
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolWarnings(path, {}), "");
        EXPECT_EQ(Exiftool("-s -s -s -Make -Model -Software -ISO -FNumber -ExposureTime -DateTimeOriginal "
                           "-ColorimetricReference# -DefaultCropSize " +
                           path),
                  "Lumivar\nBench\nDuzev Urer\n400\n4.0\n1/100\n2023:07:01 10:20:30\n1\n128 80\n");
    }
}
