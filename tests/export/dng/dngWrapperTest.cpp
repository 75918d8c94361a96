#include "export/dngWrapper.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_negative.h"
#include "platform/ImageProperties.h"
#include "tests/dng/writer/DecoderReadBack.h"
#include "tests/dng/writer/WriterFixtures.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/RunDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
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
    Error error;
    ASSERT_TRUE(
        wrapper.writeToFile(pixels.data(), 0, path, {}, Metadata(), "com.adobe.raw-image.dng", &error))
        << error.failureReason;

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
                           "-ColorimetricReference# -DefaultCropSize -UniqueCameraModel " +
                           path),
                  "Lumivar\nBench\nLumivar\n400\n4.0\n1/100\n2023:07:01 10:20:30\n1\n128 80\n"
                  "Lumivar Virtual camera\n");
    }
}

namespace {

// Developed by the decoder (linear ProPhoto, camera white): the red and blue of a mid grey
// over its green.
std::pair<double, double> DevelopedTint(const dng_matrix& colorMatrix) {
    const int width = 64, height = 32;
    dng_host host;
    std::unique_ptr<dng_negative> negative = MakeNegative(host, height, width, GreyRamp(width, height));
    auto profile = std::make_unique<dng_camera_profile>();
    profile->SetName("Matrix under test");
    profile->SetCalibrationIlluminant1(23);
    profile->SetColorMatrix1(colorMatrix);
    negative->ClearProfiles();
    negative->AddProfile(std::move(profile));
    testsupport::TempFolder folder;
    const std::string path = (folder / "tint.dng").string();
    WriteBytes(path, DNGBytes(*negative, 1, false, 7));
    const testsupport::Outcome developed = testsupport::runDecoder({"-4", "-o", "4", "-w", "-c", path});
    EXPECT_EQ(developed.status, 0) << developed.err;
    const size_t header = developed.out.find("65535\n") + 6;
    const size_t at = header + (size_t(height / 2) * width + width / 4) * 6;
    auto sample = [&](int k) {
        return double(uint8_t(developed.out[at + 2 * k]) << 8 | uint8_t(developed.out[at + 2 * k + 1]));
    };
    return {sample(0) / sample(1), sample(2) / sample(1)};
}

} // namespace

TEST(DngExport, ColorMatrixMapsXYZToTheProPhotoCamera) {
    // The inverse of ProPhoto to XYZ keeps grey grey; the matrix itself tints it.
    const auto [red, blue] = DevelopedTint(Invert(DngTiffWriter::ProPhotoToXYZ()));
    EXPECT_NEAR(red, 1.0, 0.01);
    EXPECT_NEAR(blue, 1.0, 0.01);
    const auto [wrongRed, wrongBlue] = DevelopedTint(DngTiffWriter::ProPhotoToXYZ());
    EXPECT_GT(std::max(std::abs(wrongRed - 1.0), std::abs(wrongBlue - 1.0)), 0.05);
}

TEST(DngExport, TiffIsOneStripOf16BitProPhoto) {
    const int width = 96, height = 64;
    const std::vector<uint16_t> pixels = GreyRamp(width, height);
    testsupport::TempFolder folder;
    const std::string path = (folder / "grey.tif").string();
    dngWrapper wrapper(width, height);
    Error error;
    ASSERT_TRUE(wrapper.writeToFile(pixels.data(), 0, path, {}, Metadata(), "public.tiff", &error))
        << error.failureReason;

    const std::vector<uint8_t> bytes = ReadFile(path);
    const auto ifd = ReadIFD(bytes, Get32(bytes, 4));
    EXPECT_EQ(ifd.at(256).value, uint32_t(width));
    EXPECT_EQ(ifd.at(257).value, uint32_t(height));
    EXPECT_EQ(ifd.at(258).count, 3u);
    EXPECT_EQ(ifd.at(262).value, 2u);
    EXPECT_EQ(ifd.at(259).value, 1u);
    EXPECT_EQ(ifd.at(273).count, 1u);
    EXPECT_EQ(ifd.count(34675), 1u);
    // Baseline TIFF's resolution, 72 pixels an inch when the image brings none.
    EXPECT_EQ(Get32(bytes, ifd.at(282).value), 72u);
    EXPECT_EQ(Get32(bytes, ifd.at(282).value + 4), 1u);
    EXPECT_EQ(Get32(bytes, ifd.at(283).value), 72u);
    EXPECT_EQ(ifd.at(296).value, 2u);
    const auto exif = ReadIFD(bytes, ifd.at(34665).value);
    EXPECT_EQ(exif.at(40961).value, 0xFFFFu);
    EXPECT_EQ(exif.at(36864).value, 0x31333230u) << "ExifVersion 0231";
    EXPECT_EQ(exif.at(40960).value, 0x30303130u) << "FlashpixVersion 0100";

    // The rendered grey stays exactly grey.
    const uint32_t strip = ifd.at(273).value;
    size_t off = 0;
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        const size_t at = strip + i * 6;
        off += Get16(bytes, at) != Get16(bytes, at + 2) || Get16(bytes, at + 4) != Get16(bytes, at + 2);
    }
    EXPECT_EQ(off, 0u);
    if (HaveTool("tiffinfo")) {
        const auto [info, status] = RunCommand("tiffinfo -D " + path);
        EXPECT_EQ(status, 0) << info;
        EXPECT_EQ(info.find("rror"), std::string::npos) << info;
    }
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolWarnings(path, {}), "");
        EXPECT_EQ(Exiftool("-s -s -s -Make -ISO -ProfileDescription " + path).substr(0, 12),
                  "Lumivar\n400\n");
    }
}

TEST(DngExport, TiffKeepsTheResolutionTheImageCarries) {
    Value metadata = Metadata();
    (*metadata.dictionary())[kCGImagePropertyTIFFDictionary].dictionary()->insert_or_assign(
        kCGImagePropertyTIFFXResolution, Value(300.0));
    (*metadata.dictionary())[kCGImagePropertyTIFFDictionary].dictionary()->insert_or_assign(
        kCGImagePropertyTIFFYResolution, Value(240.5));
    (*metadata.dictionary())[kCGImagePropertyTIFFDictionary].dictionary()->insert_or_assign(
        kCGImagePropertyTIFFResolutionUnit, Value(3));
    const std::vector<uint16_t> pixels = GreyRamp(16, 8);
    testsupport::TempFolder folder;
    const std::string path = (folder / "dpi.tif").string();
    dngWrapper wrapper(16, 8);
    ASSERT_TRUE(wrapper.writeToFile(pixels.data(), 0, path, {}, metadata, "public.tiff"));
    const std::vector<uint8_t> bytes = ReadFile(path);
    const auto ifd = ReadIFD(bytes, Get32(bytes, 4));
    EXPECT_DOUBLE_EQ(double(Get32(bytes, ifd.at(282).value)) / Get32(bytes, ifd.at(282).value + 4), 300.0);
    EXPECT_DOUBLE_EQ(double(Get32(bytes, ifd.at(283).value)) / Get32(bytes, ifd.at(283).value + 4), 240.5);
    EXPECT_EQ(ifd.at(296).value, 3u);
}

TEST(DngExport, MosaicDngKeepsTwoPixelsOffEachEdge) {
    const int width = 64, height = 48;
    const std::vector<uint16_t> mosaic = SceneSamples(height, width, 1, 21);
    testsupport::TempFolder folder;
    const std::string path = (folder / "mosaic.dng").string();
    dngWrapper wrapper(width, height);
    Error error;
    ASSERT_TRUE(wrapper.writeToFile(mosaic.data(), 1, path, {}, Value(), "com.adobe.raw-image.dng", &error))
        << error.failureReason;

    const std::vector<uint8_t> bytes = ReadFile(path);
    const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
    EXPECT_EQ(ifd0.count(50879), 0u); // no ColorimetricReference for a mosaic
    EXPECT_EQ(ifd0.count(50721), 1u);
    EXPECT_EQ(ifd0.count(50722), 1u);
    EXPECT_EQ(ifd0.at(50778).value, 23u);
    EXPECT_EQ(ifd0.at(50779).value, 21u);
    EXPECT_EQ(ifd0.at(254).value, 1u); // the preview
    ASSERT_EQ(ifd0.at(330).count, 1u); // one SubIFD: its offset is the entry's value
    const auto raw = ReadIFD(bytes, ifd0.at(330).value);
    EXPECT_EQ(raw.at(262).value, 32803u);
    const auto cropOrigin = raw.at(50719).value, cropSize = raw.at(50720).value;
    EXPECT_EQ(Get32(bytes, cropOrigin), 2u);
    EXPECT_EQ(Get32(bytes, cropOrigin + 8), 2u);
    EXPECT_EQ(Get32(bytes, cropSize), uint32_t(width - 4));
    EXPECT_EQ(Get32(bytes, cropSize + 8), uint32_t(height - 4));

    const DecodedSensor sensor = DecodeSensor(path);
    ASSERT_EQ(sensor.failure, "");
    EXPECT_EQ(sensor.samples, mosaic);
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolWarnings(path, {}), "");
        EXPECT_EQ(Exiftool("-s -s -s -Make -Model -Software -CFAPattern2 " + path),
                  "Lumivar\nVirtual camera\nLumivar\n0 1 1 2\n");
    }
}

TEST(DngExport, FailuresGiveTheCodeAndItsTextAndLeaveTheDestination) {
    testsupport::TempFolder folder;
    const std::string existing = (folder / "keep.dng").string();
    WriteBytes(existing, {'o', 'l', 'd'});
    const std::vector<uint16_t> pixels = GreyRamp(16, 16);
    struct Case {
        const char* what;
        int width, height, format;
        std::string path;
        const char* type;
        int code;
        std::string reason; // the system's, after the code's own text
    } cases[] = {
        {"jpeg type", 16, 16, 0, existing, "public.jpeg", dng_error_unknown, ""},
        {"missing folder", 16, 16, 0, (folder / "missing" / "x.dng").string(), "com.adobe.raw-image.dng",
         dng_error_open_file, " No such file or directory."},
        {"3 x 3 mosaic", 3, 3, 1, existing, "com.adobe.raw-image.dng", dng_error_unknown, ""},
    };
    for (const Case& c : cases) {
        dngWrapper wrapper(c.width, c.height);
        Error error;
        EXPECT_FALSE(wrapper.writeToFile(pixels.data(), c.format, c.path, {}, Value(), c.type, &error))
            << c.what;
        EXPECT_EQ(error.domain, kDngErrorDomain) << c.what;
        EXPECT_EQ(error.code, c.code) << c.what;
        EXPECT_EQ(error.failureReason, dng_error_text(c.code) + c.reason) << c.what;
        EXPECT_EQ(ReadFile(existing), (std::vector<uint8_t>{'o', 'l', 'd'})) << c.what;
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"keep.dng"}) << c.what;
    }

    DngTiffWriter unknownPattern(16, 16);
    unknownPattern.setCFAPattern(0x12345678);
    Error error;
    EXPECT_FALSE(unknownPattern.setImage(pixels.data(), 1, &error));
    EXPECT_EQ(error.code, dng_error_unknown);
    EXPECT_EQ(unknownPattern.negative(), nullptr);
}

TEST(DngExport, MetadataOverTheFixedTexts) {
    const std::vector<uint16_t> pixels = GreyRamp(8, 8);
    dngWrapper wrapper(8, 8);
    testsupport::TempFolder folder;
    Dictionary tiff{{kCGImagePropertyTIFFMake, Value("Maker")},
                    {kCGImagePropertyTIFFDocumentName, Value("scan.pcd")},
                    {kCGImagePropertyTIFFImageDescription, Value("described")}};
    ASSERT_TRUE(wrapper.writeToFile(pixels.data(), 2, (folder / "m.dng").string(), {},
                                    Value(Dictionary{{kCGImagePropertyTIFFDictionary, Value(tiff)}}),
                                    "com.adobe.raw-image.dng"));
    if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool not installed";
    // Keys go in the dictionary's order: ImageDescription comes after DocumentName.
    EXPECT_EQ(Exiftool("-s -s -s -Make -Model -ImageDescription -OriginalRawFileName " +
                       (folder / "m.dng").string()),
              "Maker\nVirtual camera\ndescribed\nscan.pcd\n");
}

TEST(DngExport, EmbeddedFileBlock) {
    dng_host host;
    struct Case {
        uint64_t length;
        uint32_t chunks;
    } cases[] = {{0, 0}, {65536, 1}, {65537, 2}};
    for (const Case& c : cases) {
        std::vector<uint8_t> data(c.length);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = uint8_t(i * 7 + i / 300);
        std::unique_ptr<dng_memory_block> block;
        DngTiffWriter::BuildEmbeddedBlock(data.data(), c.length, host, block);
        const uint8_t* b = block->Buffer_uint8();
        auto be32 = [&](size_t at) {
            return uint32_t(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
        };
        EXPECT_EQ(be32(0), c.length);
        EXPECT_EQ(be32(4), 8 + 4 * c.chunks);
        std::vector<uint8_t> inflated;
        for (uint32_t i = 0; i < c.chunks; ++i) {
            const uint32_t start = be32(4 + 4 * i), end = be32(8 + 4 * i);
            std::vector<uint8_t> out(65536);
            uLongf outLength = out.size();
            ASSERT_EQ(uncompress(out.data(), &outLength, b + start, end - start), Z_OK);
            inflated.insert(inflated.end(), out.begin(), out.begin() + long(outLength));
        }
        EXPECT_EQ(inflated, data);
        const uint32_t last = c.chunks ? be32(4 + 4 * c.chunks) : 8;
        EXPECT_EQ(block->LogicalSize(), last + 28) << c.length;
        for (uint32_t k = 0; k < 7; ++k)
            EXPECT_EQ(be32(last + 4 * k), 0u);
    }

    // Embedded into a written DNG, with the source's name.
    testsupport::TempFolder folder;
    const std::string source = (folder / "source.raw").string();
    WriteBytes(source, std::vector<uint8_t>(70000, 3));
    const std::vector<uint16_t> pixels = GreyRamp(16, 16);
    dngWrapper wrapper(16, 16);
    ASSERT_TRUE(wrapper.writeToFile(pixels.data(), 0, (folder / "e.dng").string(), source, Value(),
                                    "com.adobe.raw-image.dng"));
    const std::vector<uint8_t> bytes = ReadFile((folder / "e.dng").string());
    const auto ifd0 = ReadIFD(bytes, Get32(bytes, 4));
    EXPECT_EQ(ifd0.count(50828), 1u);
    EXPECT_EQ(ifd0.count(50973), 1u);
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolWarnings((folder / "e.dng").string(), {}), "");
        EXPECT_EQ(Exiftool("-s -s -s -OriginalRawFileName " + (folder / "e.dng").string()), "source.raw\n");
    }
}
