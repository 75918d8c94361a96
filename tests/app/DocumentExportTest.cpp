// Export from a document: the crop and quality rules, every export type over real files
// (checked by libturbojpeg, exiftool and the OpenEXR library), and failures that leave no file.
#include <gtest/gtest.h>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "engine/core/TiledEngine.h"
#include "platform/ImageProperties.h"
#include "tests/app/AppHome.h"
#include "tests/export/ExrTestFiles.h"
#include "tests/export/JpegTestFiles.h"
#include "tests/support/DocumentHarness.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

namespace {

// What libtiff's tiffinfo prints for the file; empty when it is not installed.
std::string tiffinfo(const std::filesystem::path& path) {
    std::string out;
    if (FILE* pipe = popen(("tiffinfo '" + path.string() + "' 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

} // namespace

namespace {

namespace fs = std::filesystem;
namespace keys = app::keys;
using platform::Dictionary;
using platform::Rect;
using platform::Value;
using testsupport::FakeWindow;

const fs::path kChart = fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";
constexpr const char* kNothingToWarnOf = "Validate                        : OK\n";

TEST(DocumentExportRules, CropRectangleAndQuality) {
    const Rect extent{0, 0, 600, 400};
    struct {
        Rect crop, expected;
    } crops[] = {
        {{10, 20, 0.5, 50}, extent},
        {{10, 20, 100, 0}, extent},
        {{-1, -1, -1, -1}, extent},
        {{10, 20, 100, 50}, {10, 330, 100, 50}},
    };
    for (const auto& c : crops)
        EXPECT_EQ(MyDocument::exportRect(c.crop, extent), c.expected);

    const Dictionary seven{{std::string(keys::JPEGQuality), 7.0}};
    EXPECT_DOUBLE_EQ(MyDocument::exportQuality(seven, app::kTypeJPEG), 0.7);
    EXPECT_DOUBLE_EQ(MyDocument::exportQuality(seven, app::kTypeOpenEXR), 0.7);
    EXPECT_DOUBLE_EQ(MyDocument::exportQuality({}, app::kTypeJPEG), 1.0);
    EXPECT_DOUBLE_EQ(MyDocument::exportQuality(seven, app::kTypeDNG), 1.0);
    EXPECT_DOUBLE_EQ(MyDocument::exportQuality(seven, app::kTypeTIFF), 1.0);
}

class DocumentExportTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (document_) document_->close();
        platform::MainQueue::shared().drain();
    }

    std::string copy(const fs::path& from) {
        const fs::path to = folder_ / from.filename().string();
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to.string();
    }
    // A rendered document of the file.
    MyDocument& show(const std::string& file) {
        if (document_) document_->close();
        document_ = MyDocument::create();
        platform::Error error;
        EXPECT_TRUE(testsupport::showDocument(*document_, file, std::make_shared<FakeWindow>(), &error))
            << error.failureReason;
        EXPECT_TRUE(testsupport::runUntilProcessed(*document_));
        return *document_;
    }
    bool exportAs(size_t index, const fs::path& to, platform::Error* error, Rect crop = {0, 0, 0, 0}) {
        document_->setValue(Value(int64_t(index)), keys::ExportFileType);
        return document_->exportToURL(to, app::kExportTypes[index].typeIdentifier, crop, false, error);
    }
    fs::path output(const std::string& stem, size_t index) const {
        return folder_ / (stem + "." + std::string(app::kExportTypes[index].extension));
    }
    static void expectGrey(const jpegtest::DecodedJpeg& jpeg) {
        int worst = 0;
        for (size_t i = 0; i + 2 < jpeg.rgb.size(); i += 3) {
            const int r = jpeg.rgb[i], g = jpeg.rgb[i + 1], b = jpeg.rgb[i + 2];
            worst = std::max({worst, std::abs(r - g), std::abs(g - b), std::abs(r - b)});
        }
        // Colour matching leaves the channels of a grey up to 2 / 65535 apart; rounding to
        // 8 bits and the DCT may each add one level.
        EXPECT_LE(worst, 2);
    }

    apptest::AppHome home_;
    testsupport::TempFolder folder_;
    std::shared_ptr<MyDocument> document_;
};

TEST_F(DocumentExportTest, EveryTypeOverRealFiles) {
    std::vector<std::string> files{copy(kChart)};
    if (fs::exists(testsupport::samplePath("Pixel7_small.dng")))
        files.push_back(copy(testsupport::samplePath("Pixel7_small.dng")));
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        MyDocument& document = show(file);
        const Rect extent = document.outputImage()->extent();
        const std::string stem = fs::path(file).stem().string();
        for (size_t index = 0; index < app::kExportTypes.size(); ++index) {
            SCOPED_TRACE(app::kExportTypes[index].menuTitle);
            const fs::path to = output(stem + std::to_string(index), index);
            platform::Error error;
            const bool written = exportAs(index, to, &error);
            const auto type = app::kExportTypes[index].typeIdentifier;
            ASSERT_TRUE(written) << error.failureReason;
            if (type == app::kTypeTIFF || type == app::kTypeDNG) {
                // Read back by libtiff's own tool: the render's size, 16-bit RGB.
                const std::string info = tiffinfo(to);
                EXPECT_NE(info.find("Image Width: " + std::to_string(int(extent.width))), std::string::npos)
                    << info;
                EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
                continue;
            }
            if (type == app::kTypeJPEG) {
                auto jpeg = jpegtest::decodeJpeg(to);
                ASSERT_TRUE(jpeg);
                EXPECT_EQ(jpeg->width, int(extent.width));
                EXPECT_EQ(jpeg->height, int(extent.height));
                expectGrey(*jpeg);
                continue;
            }
            const auto exr = exrtest::readExr(to);
            const auto& window = exr.header.dataWindow();
            EXPECT_EQ(window.max.x - window.min.x + 1, int(extent.width));
            EXPECT_EQ(window.max.y - window.min.y + 1, int(extent.height));
            float worst = 0;
            for (size_t i = 0; i + 3 < exr.rgba.size(); i += 4)
                worst = std::max({worst, std::fabs(exr.rgba[i] - exr.rgba[i + 1]),
                                  std::fabs(exr.rgba[i + 1] - exr.rgba[i + 2])});
            EXPECT_LE(worst, 1e-3f);
        }
    }
}

TEST_F(DocumentExportTest, JpegOfACameraFileValidatesAndKeepsItsMetadata) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    LV_REQUIRE_EXIFTOOL();
    show(copy(testsupport::samplePath("Pixel7_small.dng")));
    const fs::path to = folder_ / "pixel.jpg";
    platform::Error error;
    ASSERT_TRUE(exportAs(0, to, &error)) << error.failureReason;
    EXPECT_EQ(jpegtest::exiftool("-validate -warning -a", to), kNothingToWarnOf);
    auto tags = jpegtest::exiftoolTags(to);
    const std::pair<const char*, const char*> expected[] = {
        {"IFD0:Make", "Google"},
        {"IFD0:Model", "Pixel 7"},
        {"ExifIFD:ExposureTime", "1/16"},
        {"ExifIFD:FNumber", "1.9"},
        {"ExifIFD:ISO", "744"},
        {"IFD0:Orientation", "Horizontal (normal)"},
        {"IFD0:Software", "Lumivar V0.1"},
    };
    for (const auto& [tag, value] : expected)
        EXPECT_EQ(tags[tag], value) << tag;
    EXPECT_FALSE(tags["ICC_Profile:ProfileDescription"].empty());
}

TEST_F(DocumentExportTest, CropAndOrientationShapeTheExport) {
    MyDocument& document = show(copy(kChart));
    const Rect extent = document.outputImage()->extent();
    platform::Error error;
    ASSERT_TRUE(exportAs(0, folder_ / "crop.jpg", &error, {10, 20, 100, 50})) << error.failureReason;
    auto crop = jpegtest::decodeJpeg(folder_ / "crop.jpg");
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->width, 100);
    EXPECT_EQ(crop->height, 50);

    document.orientationChanged(6);
    ASSERT_TRUE(exportAs(0, folder_ / "turned.jpg", &error)) << error.failureReason;
    auto turned = jpegtest::decodeJpeg(folder_ / "turned.jpg");
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width, int(extent.height));
    EXPECT_EQ(turned->height, int(extent.width));
}

TEST_F(DocumentExportTest, FailuresLeaveNoFileAndTheDocumentRendersOn) {
    const std::string raw = copy(kChart);
    MyDocument& document = show(raw);
    const auto rawBytes = fs::file_size(raw);
    struct {
        size_t index;
        fs::path to;
        int64_t code;
    } cases[] = {
        {0, folder_ / "missing" / "out.jpg", app::errors::NoDestination},
        {3, folder_ / "missing" / "out.exr", app::errors::WriterFailed},
        {2, raw, app::errors::NoDestination},
        {0, folder_.path() / "." / fs::path(raw).filename(), app::errors::NoDestination},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        platform::Error error;
        EXPECT_FALSE(exportAs(c.index, c.to, &error));
        EXPECT_EQ(error.domain, app::errors::Domain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_FALSE(error.failureReason.empty());
    }
    EXPECT_FALSE(fs::exists(folder_ / "missing"));
    EXPECT_EQ(fs::file_size(raw), rawBytes);
    EXPECT_EQ(folder_.entries().size(), 1u);

    // The engine is the document's again: a change renders and reaches it.
    document.setValue(Value(0.5), keys::InputEV);
    EXPECT_TRUE(testsupport::runUntilProcessed(document));
}

TEST_F(DocumentExportTest, DngCarriesTheRawDataUniqueIDOfItsImage) {
    LV_REQUIRE_EXIFTOOL();
    std::vector<std::string> files{copy(kChart)};
    for (const char* sample : {"Pixel7_small.dng", "PowerShotG2_CRW_0304.CRW"})
        if (fs::exists(testsupport::samplePath(sample)))
            files.push_back(copy(testsupport::samplePath(sample)));
    size_t dng = 0;
    while (app::kExportTypes[dng].typeIdentifier != app::kTypeDNG)
        ++dng;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        MyDocument& document = show(file);
        const std::string stem = fs::path(file).stem().string();
        auto uniqueID = [&](const std::string& name) {
            const fs::path to = output(stem + name, dng);
            platform::Error error;
            EXPECT_TRUE(exportAs(dng, to, &error)) << error.failureReason;
            return jpegtest::exiftoolTags(to)["IFD0:RawDataUniqueID"];
        };
        // The same image and settings give the same ID, export after export.
        const std::string first = uniqueID("-first");
        EXPECT_EQ(first.size(), 32u) << first;
        EXPECT_EQ(uniqueID("-again"), first);
        // A changed image is another one.
        document.setValue(Value(0.5), keys::InputEV);
        ASSERT_TRUE(testsupport::runUntilProcessed(document));
        const std::string brighter = uniqueID("-brighter");
        EXPECT_EQ(brighter.size(), 32u);
        EXPECT_NE(brighter, first);
        EXPECT_EQ(jpegtest::exiftool("-validate -warning -a", output(stem + "-brighter", dng)),
                  kNothingToWarnOf);
    }
}

TEST_F(DocumentExportTest, UndevelopedFileFailsWhereTheImageIsMissing) {
    LV_REQUIRE_SAMPLE("Nikon.nef");
    testsupport::RecordingPresenter presenter;
    document_ = MyDocument::create();
    auto window = std::make_shared<FakeWindow>();
    ASSERT_TRUE(testsupport::showDocument(*document_, copy(testsupport::samplePath("Nikon.nef")), window));
    ASSERT_TRUE(testsupport::runMainUntil([&] { return window->closeRequests > 0; }));
    platform::Error error;
    EXPECT_FALSE(exportAs(0, folder_ / "nikon.jpg", &error));
    EXPECT_EQ(error.code, app::errors::NoFinalImage);
    EXPECT_FALSE(fs::exists(folder_ / "nikon.jpg"));
}

TEST_F(DocumentExportTest, MetadataTooLargeForTheJpegIsWrittenWithoutExif) {
    LV_REQUIRE_EXIFTOOL();
    MyDocument& document = show(copy(kChart));
    auto wrapper = document.displayEngine()->rawFileWrapper();
    Dictionary metaData = wrapper->metaData().value_or(Dictionary{});
    Dictionary exif{{platform::kCGImagePropertyExifUserComment, std::string(70 * 1024, 'x')}};
    metaData[platform::kCGImagePropertyExifDictionary] = exif;
    wrapper->setMetaData(metaData);
    const fs::path to = folder_ / "comment.jpg";
    platform::Error error;
    ASSERT_TRUE(exportAs(0, to, &error)) << error.failureReason;
    auto tags = jpegtest::exiftoolTags(to);
    EXPECT_EQ(tags["IFD0:Make"], "Lumivar");
    EXPECT_TRUE(tags["ExifIFD:UserComment"].empty());
    EXPECT_EQ(folder_.entries().size(), 2u); // the raw file and the export, no temporary file
}

} // namespace
