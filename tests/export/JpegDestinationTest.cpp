#include "export/JpegDestination.h"

#include "JpegTestFiles.h"

#include "color/BuiltinProfiles.h"
#include "export/ExifBlock.h"
#include "export/JpegEncoder.h"
#include "platform/ImageProperties.h"
#include "raw/core/DCRaw.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

using namespace jpegtest;
using namespace platform;
using testsupport::TempFolder;

namespace bi = platform::bitmap_info;
namespace fs = std::filesystem;

namespace {

constexpr size_t kWidth = 67, kHeight = 45; // not a multiple of the 8 x 8 blocks
constexpr const char* kNothingToWarnOf = "Validate                        : OK\n";

// Writes one JPEG; the error of a failure is returned.
std::optional<Error> writeJpeg(const fs::path& path, std::shared_ptr<Bitmap> image, Dictionary properties,
                               double quality = 1.0,
                               std::shared_ptr<const ColorSpace> profile = ColorSpace::sRGB()) {
    Error error;
    auto destination = JpegDestination::create(path, &error);
    if (!destination) return error;
    destination->addImage(std::move(image), std::move(properties), quality, std::move(profile));
    if (!destination->finalize(&error)) return error;
    return std::nullopt;
}

Dictionary group(const char* name, Dictionary entries) {
    return Dictionary{{name, Value(std::move(entries))}};
}

// What the metadata reader makes of a camera file, in its own value kinds.
Dictionary cameraMetadata() {
    Dictionary tiff{{kCGImagePropertyTIFFMake, "Acme"},
                    {kCGImagePropertyTIFFModel, "Model 7"},
                    {kCGImagePropertyTIFFSoftware, "Camera firmware 1.0"},
                    {kCGImagePropertyTIFFDateTime, "2024:07:04 21:45:43"},
                    {kCGImagePropertyTIFFArtist, "Ann Artist"},
                    {kCGImagePropertyTIFFCopyright, "(c) Ann Artist"},
                    {kCGImagePropertyTIFFOrientation, 8}};
    Dictionary exif{{kCGImagePropertyExifExposureTime, Value(float(1.0 / 16))},
                    {kCGImagePropertyExifFNumber, Value(1.9f)},
                    {kCGImagePropertyExifExposureProgram, 2},
                    {kCGImagePropertyExifISOSpeedRatings, Array{Value(744)}},
                    {kCGImagePropertyExifVersion, Array{Value(2), Value(32)}},
                    {kCGImagePropertyExifDateTimeOriginal, "2024:07:04 21:45:43"},
                    {kCGImagePropertyExifExposureBiasValue, Value(float(-1.0 / 3))},
                    {kCGImagePropertyExifFlash, 16},
                    {kCGImagePropertyExifFocalLength, Value(6.81f)},
                    {kCGImagePropertyExifSubjectArea, Array{Value(100), Value(80), Value(40), Value(30)}},
                    {kCGImagePropertyExifUserComment, "A quiet evening"},
                    {kCGImagePropertyExifSubsecTimeOrginal, "123"},
                    {kCGImagePropertyExifFileSource, 3},
                    {kCGImagePropertyExifSceneType, 1},
                    {kCGImagePropertyExifCFAPattern,
                     Array{Value(0), Value(2), Value(0), Value(2), Value(0), Value(1), Value(1), Value(2)}},
                    {kCGImagePropertyExifFocalLenIn35mmFilm, 24},
                    {kCGImagePropertyExifPixelXDimension, 4000}};
    Dictionary aux{
        {kCGImagePropertyExifAuxLensModel, "Main camera 6.81mm f/1.85"},
        {kCGImagePropertyExifAuxLensInfo, Array{Value(6.81f), Value(6.81f), Value(1.85f), Value(1.85f)}}};
    Dictionary gps{
        {kCGImagePropertyGPSLatitudeRef, "N"},         {kCGImagePropertyGPSLatitude, Value(48.858334f)},
        {kCGImagePropertyGPSLongitudeRef, "E"},        {kCGImagePropertyGPSLongitude, Value(2.294481f)},
        {kCGImagePropertyGPSAltitudeRef, 0},           {kCGImagePropertyGPSAltitude, Value(35.5f)},
        {kCGImagePropertyGPSTimeStamp, "19:45:43.00"}, {kCGImagePropertyGPSDateStamp, "2024:07:04"}};
    return Dictionary{{kCGImagePropertyTIFFDictionary, Value(std::move(tiff))},
                      {kCGImagePropertyExifDictionary, Value(std::move(exif))},
                      {kCGImagePropertyExifAuxDictionary, Value(std::move(aux))},
                      {kCGImagePropertyGPSDictionary, Value(std::move(gps))},
                      {kCGImagePropertyDNGDictionary, Value(Dictionary{{kCGImagePropertyDNGVersion, "1.6"}})},
                      {kCGImagePropertyPixelWidth, 510}};
}

// The gradient in another layout: 16-bit big-endian RGBX, 8-bit premultiplied ARGB (opaque),
// float RGBA.
std::shared_ptr<Bitmap> relaid(const Bitmap& source, size_t bits, size_t step, uint32_t info) {
    const size_t w = source.width(), h = source.height(), bytes = bits / 8;
    const bool first = (info & bi::kAlphaInfoMask) == bi::kAlphaPremultipliedFirst;
    auto image =
        Bitmap::createOwned({w, h, bits, bits * step, w * step * bytes + 4, info}, ColorSpace::sRGB());
    const auto* in = reinterpret_cast<const uint16_t*>(source.data());
    for (size_t y = 0; y < h; ++y) {
        uint8_t* row = image->mutableData() + y * image->bytesPerRow();
        for (size_t x = 0; x < w; ++x) {
            const uint16_t* p = in + (y * w + x) * 4;
            for (size_t c = 0; c < 4; ++c) {
                uint8_t* out = row + (x * step + (first ? (c + 1) % 4 : c)) * bytes;
                if (bits == 8) {
                    *out = uint8_t(expected8(p[c]));
                } else if (bits == 16) {
                    out[0] = uint8_t(p[c] >> 8), out[1] = uint8_t(p[c]);
                } else {
                    float f = p[c] / 65535.0f;
                    std::memcpy(out, &f, 4);
                }
            }
        }
    }
    return image;
}

} // namespace

// The largest difference between the decoded file and the 16-bit image's rounded samples.
int worstDifference(const DecodedJpeg& decoded, const Bitmap& image) {
    const auto* px = reinterpret_cast<const uint16_t*>(image.data());
    int worst = 0;
    for (size_t i = 0; i < image.width() * image.height(); ++i)
        for (size_t c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(decoded.rgb[i * 3 + c] - expected8(px[i * 4 + c])));
    return worst;
}

TEST(JpegDestination, AMonochromeRenderDecodesAtItsSizeWithinOneLevel) {
    TempFolder folder;
    for (auto [w, h] : {std::pair<size_t, size_t>{kWidth, kHeight}, {8, 8}, {1, 300}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        auto image = gradient16(w, h, true);
        ASSERT_EQ(writeJpeg(folder / "grey.jpg", image, {}), std::nullopt);
        auto decoded = decodeJpeg(folder / "grey.jpg");
        ASSERT_TRUE(decoded);
        ASSERT_EQ(decoded->width, int(image->width()));
        ASSERT_EQ(decoded->height, int(image->height()));
        EXPECT_LE(worstDifference(*decoded, *image), 1);
    }
}

TEST(JpegDestination, EverySampleLayoutGivesTheSameFile) {
    TempFolder folder;
    auto source = gradient16(kWidth, kHeight);
    ASSERT_EQ(writeJpeg(folder / "reference.jpg", source, {}), std::nullopt);
    auto reference = decodeJpeg(folder / "reference.jpg");
    ASSERT_TRUE(reference);
    // Saturated colours lose up to a few levels to 8-bit Y Cb Cr, even at quality 100.
    EXPECT_LE(worstDifference(*reference, *source), 3);
    struct Case {
        const char* name;
        std::shared_ptr<Bitmap> image;
    } cases[] = {
        {"16-bit big-endian RGBX", relaid(*source, 16, 4, bi::kByteOrder16Big | bi::kAlphaNoneSkipLast)},
        {"8-bit premultiplied ARGB", relaid(*source, 8, 4, bi::kAlphaPremultipliedFirst)},
        {"float RGBA",
         relaid(*source, 32, 4, bi::kFloatComponents | bi::kByteOrder32Little | bi::kAlphaLast)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.image);
        ASSERT_EQ(writeJpeg(folder / "out.jpg", c.image, {}), std::nullopt);
        auto decoded = decodeJpeg(folder / "out.jpg");
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->rgb, reference->rgb);
    }
}

TEST(JpegDestination, ExiftoolWarnsOfNothingAndReadsTheTagsBack) {
    LV_REQUIRE_EXIFTOOL();
    TempFolder folder;
    const fs::path path = folder / "tags.jpg";
    ASSERT_EQ(writeJpeg(path, gradient16(kWidth, kHeight), cameraMetadata(), 0.9), std::nullopt);
    EXPECT_EQ(exiftool("-validate -warning -a", path), kNothingToWarnOf);

    auto tags = exiftoolTags(path);
    const std::pair<const char*, const char*> expected[] = {
        {"IFD0:Make", "Acme"},
        {"IFD0:Model", "Model 7"},
        {"IFD0:Software", "Lumivar V0.1"},
        {"IFD0:Orientation", "Horizontal (normal)"},
        {"IFD0:Artist", "Ann Artist"},
        {"IFD0:XResolution", "72"},
        {"IFD0:YCbCrPositioning", "Centered"},
        {"ExifIFD:ExposureTime", "1/16"},
        {"ExifIFD:FNumber", "1.9"},
        {"ExifIFD:ISO", "744"},
        {"ExifIFD:ExifVersion", "0230"},
        {"ExifIFD:ExposureCompensation", "-1/3"},
        {"ExifIFD:FocalLength", "6.8 mm"},
        {"ExifIFD:SubjectArea", "100 80 40 30"},
        {"ExifIFD:UserComment", "A quiet evening"},
        {"ExifIFD:FileSource", "Digital Camera"},
        {"ExifIFD:ColorSpace", "sRGB"},
        {"ExifIFD:ExifImageWidth", "67"},
        {"ExifIFD:ExifImageHeight", "45"},
        {"ExifIFD:LensModel", "Main camera 6.81mm f/1.85"},
        {"ExifIFD:LensInfo", "6.81mm f/1.85"},
        {"GPS:GPSVersionID", "2.3.0.0"},
        {"GPS:GPSLatitude", "48 deg 51' 30.00\""},
        {"GPS:GPSLongitude", "2 deg 17' 40.13\""},
        {"GPS:GPSTimeStamp", "19:45:43"},
        {"ICC_Profile:ProfileDescription", "sRGB IEC61966-2.1"},
    };
    for (const auto& [tag, value] : expected)
        EXPECT_EQ(tags[tag], value) << tag;
}

TEST(JpegDestination, ACameraFilesMetadataReadsBackThroughExiftool) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    LV_REQUIRE_EXIFTOOL();
    Dictionary metadata;
    {
        std::scoped_lock lock(DCRaw::decodeLock());
        DCRaw decoder;
        ASSERT_TRUE(decoder.loadFile(testsupport::samplePath("Pixel7_small.dng").string(), nullptr));
        metadata = decoder.metaData();
    }
    TempFolder folder;
    const fs::path path = folder / "pixel.jpg";
    auto profile = ColorSpace::fromICC(BuiltinProfiles::proPhoto(), "ProPhoto");
    ASSERT_EQ(writeJpeg(path, gradient16(kWidth, kHeight), metadata, 0.7, profile), std::nullopt);
    EXPECT_EQ(exiftool("-validate -warning -a", path), kNothingToWarnOf);
    auto tags = exiftoolTags(path);
    EXPECT_EQ(tags["IFD0:Make"], "Google");
    EXPECT_EQ(tags["IFD0:Model"], "Pixel 7");
    EXPECT_EQ(tags["IFD0:Orientation"], "Horizontal (normal)");
    EXPECT_EQ(tags["IFD0:Software"], lumivarSoftwareName());
    EXPECT_EQ(tags["ExifIFD:ExposureTime"], "1/16");
    EXPECT_EQ(tags["ExifIFD:FNumber"], "1.9");
    EXPECT_EQ(tags["ExifIFD:ISO"], "744");
    EXPECT_EQ(tags["ExifIFD:DateTimeOriginal"], "2024:07:04 21:45:43");
    EXPECT_EQ(tags["ExifIFD:ColorSpace"], "Uncalibrated");
    EXPECT_FALSE(tags["ICC_Profile:ProfileDescription"].empty());
    EXPECT_EQ(tags["GPS:GPSDateStamp"], "2024:07:04");
    EXPECT_EQ(tags.count("GPS:GPSProcessingMethod"), 0u) << "the camera's \"fused\" is no method EXIF names";
}

// Whatever the metadata reader makes of a camera file, the block can write, and an
// independent reader finds nothing wrong with it.
TEST(JpegDestination, EverySamplesMetadataIsWrittenCleanly) {
    LV_REQUIRE_EXIFTOOL();
    if (!fs::is_directory(LUMIVAR_SAMPLES_DIR)) GTEST_SKIP() << "no samples folder";
    TempFolder folder;
    int written = 0;
    for (const auto& entry : fs::directory_iterator(LUMIVAR_SAMPLES_DIR)) {
        if (entry.path().extension() == ".md") continue;
        SCOPED_TRACE(entry.path().filename().string());
        Dictionary metadata;
        {
            std::scoped_lock lock(DCRaw::decodeLock());
            DCRaw decoder;
            decoder.loadFile(entry.path().string(), nullptr);
            metadata = decoder.metaData();
        }
        if (metadata.empty()) continue;
        const fs::path path = folder / "sample.jpg";
        ASSERT_EQ(writeJpeg(path, gradient16(16, 16), metadata), std::nullopt);
        EXPECT_EQ(exiftool("-validate -warning -a", path), kNothingToWarnOf);
        ++written;
    }
    EXPECT_GT(written, 10);
}

TEST(JpegDestination, AnOversizedUserCommentFailsTheFirstFinaliseAndTheRetryWithoutExifWrites) {
    TempFolder folder;
    const fs::path path = folder / "comment.jpg";
    Dictionary properties = cameraMetadata();
    (*properties[kCGImagePropertyExifDictionary].dictionary())[kCGImagePropertyExifUserComment] =
        std::string(70 * 1024, 'x');

    auto failure = writeJpeg(path, gradient16(kWidth, kHeight), properties);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->domain, kJpegDestinationErrorDomain);
    EXPECT_EQ(failure->code, JpegDestination::kMetadata);
    EXPECT_TRUE(folder.entries().empty()) << "no file and no temporary file";

    properties.erase(kCGImagePropertyExifDictionary);
    ASSERT_EQ(writeJpeg(path, gradient16(kWidth, kHeight), properties), std::nullopt);
    ASSERT_TRUE(decodeJpeg(path));
    if (!haveExiftool()) return;
    auto tags = exiftoolTags(path);
    EXPECT_EQ(tags["IFD0:Make"], "Acme");
    EXPECT_EQ(tags.count("ExifIFD:UserComment"), 0u);
    EXPECT_EQ(tags["ExifIFD:ExifImageWidth"], "67") << "the block's own fields stay";
}

TEST(JpegDestination, AMissingFolderFailsAtCreationAndLeavesNoFile) {
    TempFolder folder;
    Error error;
    EXPECT_EQ(JpegDestination::create(folder / "missing" / "out.jpg", &error), nullptr);
    EXPECT_EQ(error.domain, kPosixErrorDomain);
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_TRUE(folder.entries().empty());
}

TEST(JpegDestination, ReplacesAFileInOneStepAndKeepsItsMode) {
    TempFolder folder;
    const fs::path path = folder / "proxy.jpg";
    std::ofstream(path) << "the host's proxy";
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(writeJpeg(path, gradient16(kWidth, kHeight), {}), std::nullopt);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"proxy.jpg"});
    EXPECT_TRUE(decodeJpeg(path));
}

TEST(JpegDestination, FailuresLeaveTheFileBeforeAsItWas) {
    TempFolder folder;
    const fs::path path = folder / "kept.jpg";
    ASSERT_EQ(writeJpeg(path, gradient16(kWidth, kHeight), {}), std::nullopt);
    const auto before = fs::file_size(path);
    struct Case {
        const char* name;
        std::shared_ptr<Bitmap> image;
        Dictionary properties;
        int code;
    } cases[] = {
        {"no image", nullptr, {}, JpegDestination::kNoImage},
        {"a text for a number", gradient16(kWidth, kHeight),
         group(kCGImagePropertyExifDictionary, {{kCGImagePropertyExifFNumber, "f/2"}}),
         JpegDestination::kMetadata},
        {"too wide for JPEG",
         Bitmap::createOwned({70000, 1, 8, 24, 210000, 0}, nullptr),
         {},
         JpegDestination::kEncoder},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto failure = writeJpeg(path, c.image, c.properties);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->code, c.code);
        EXPECT_EQ(fs::file_size(path), before);
        EXPECT_EQ(folder.entries().size(), 1u);
    }
}

TEST(JpegDestination, EmbedsAProfileInChunksThatLibjpegReassembles) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::vector<uint8_t> profile;
    } cases[] = {{"the built-in sRGB profile", BuiltinProfiles::sRGB()}, {"three chunks", {}}};
    cases[1].profile.resize(2 * 65519 + 1000);
    for (size_t i = 0; i < cases[1].profile.size(); ++i)
        cases[1].profile[i] = uint8_t(i * 7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto space = ColorSpace::fromICC(c.profile, "test");
        ASSERT_EQ(writeJpeg(folder / "icc.jpg", gradient16(kWidth, kHeight), {}, 1.0, space), std::nullopt);
        EXPECT_EQ(readIccProfile(folder / "icc.jpg"), c.profile);
    }
    ASSERT_EQ(writeJpeg(folder / "none.jpg", gradient16(kWidth, kHeight), {}, 1.0, nullptr), std::nullopt);
    EXPECT_TRUE(readIccProfile(folder / "none.jpg").empty());
}
