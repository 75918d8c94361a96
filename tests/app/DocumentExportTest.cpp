// Export from a document: the crop and quality rules, every export type over real files
// (checked by libturbojpeg, exiftool and the OpenEXR library), and failures that leave no file.
#include <gtest/gtest.h>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "engine/core/TiledEngine.h"
#include "platform/ImageProperties.h"
#include "tests/app/AppHome.h"
#include "tests/dng/writer/DecoderReadBack.h"
#include "tests/export/ExrTestFiles.h"
#include "tests/export/JpegTestFiles.h"
#include "tests/support/DocumentHarness.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What a command prints (standard error included) and its exit status.
std::pair<std::string, int> run(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {"", -1};
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

bool haveTool(const char* name) { return run(std::string("command -v ") + name).second == 0; }

// Pixels of a written file with the channels of a grey apart, and all pixels.
struct GreyCount {
    size_t off = 0, pixels = 0;
};

template <class T> GreyCount countGreys(const T* rgb, size_t pixels, size_t step) {
    GreyCount count{0, pixels};
    for (size_t i = 0; i < pixels; ++i, rgb += step)
        count.off += rgb[0] != rgb[1] || rgb[1] != rgb[2];
    return count;
}

// The JPEG decoded by libjpeg-turbo's djpeg into a binary PPM.
GreyCount jpegGreys(const std::filesystem::path& path, int& width, int& height) {
    const auto [ppm, status] = run("djpeg -pnm '" + path.string() + "'");
    if (status != 0) return {};
    std::istringstream in(ppm);
    std::string magic;
    int maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255) return {};
    const size_t pixels = size_t(width) * size_t(height);
    const size_t at = size_t(in.tellg());
    if (ppm.size() < at + pixels * 3) return {};
    return countGreys(reinterpret_cast<const uint8_t*>(ppm.data() + at), pixels, 3);
}

uint32_t get(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | (at + size_t(i) < b.size() ? b[at + size_t(i)] : 0);
    return v;
}

// The RGB image of a little-endian TIFF directory stored in strips, uncompressed: 16-bit
// samples (the TIFF), or 8-bit ones (a DNG's preview). Ranges are checked before reading.
GreyCount stripGreys(const std::vector<uint8_t>& file, uint32_t ifd) {
    std::map<uint16_t, std::pair<uint32_t, uint32_t>> tags; // value or offset, count
    for (uint32_t i = 0, n = get(file, ifd, 2); i < n; ++i) {
        const size_t at = ifd + 2 + 12 * size_t(i);
        const uint32_t type = get(file, at + 2, 2), count = get(file, at + 4, 4);
        const bool inlineShort = type == 3 && count == 1;
        tags[uint16_t(get(file, at, 2))] = {get(file, at + 8, inlineShort ? 2 : 4), count};
    }
    if (!tags.count(256) || !tags.count(273) || tags[259].first != 1 || tags[277].first != 3) return {};
    const size_t width = tags[256].first, height = tags[257].first;
    const int bytes = int(get(file, tags[258].second > 2 ? tags[258].first : 0, 2)) / 8;
    if (tags[273].second != 1 || (bytes != 1 && bytes != 2)) return {};
    const size_t start = tags[273].first, size = width * height * 3 * size_t(bytes);
    if (start + size > file.size()) return {};
    std::vector<uint16_t> samples(width * height * 3);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = uint16_t(get(file, start + i * size_t(bytes), bytes));
    return countGreys(samples.data(), width * height, 3);
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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

    apptest::AppHome home_;
    testsupport::TempFolder folder_;
    std::shared_ptr<MyDocument> document_;
};

// Every export type of the chart and of real camera files (CRW, KDC with its odd width, DNG):
// each file exactly grey, as the program's renders are, and sound to independent readers.
class DocumentExportSample : public DocumentExportTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DocumentExportSample, EveryTypeIsExactlyGreyAndValid) {
    const std::string name = GetParam();
    const fs::path source = name == "chart" ? kChart : testsupport::samplePath(name);
    if (!fs::exists(source)) GTEST_SKIP() << source << " is not there";
    const bool tools =
        haveTool("tiffinfo") && haveTool("djpeg") && haveTool("exrheader") && jpegtest::haveExiftool();
    {
        const std::string file = copy(source);
        MyDocument& document = show(file);
        const Rect extent = document.outputImage()->extent();
        const int width = int(extent.width), height = int(extent.height);
        const std::string stem = fs::path(file).stem().string();
        for (size_t index = 0; index < app::kExportTypes.size(); ++index) {
            SCOPED_TRACE(app::kExportTypes[index].menuTitle);
            const fs::path to = output(stem + std::to_string(index), index);
            platform::Error error;
            ASSERT_TRUE(exportAs(index, to, &error)) << error.failureReason;
            const auto type = app::kExportTypes[index].typeIdentifier;
            if (type == app::kTypeOpenEXR) {
                const auto exr = exrtest::readExr(to);
                const auto& window = exr.header.dataWindow();
                EXPECT_EQ(window.max.x - window.min.x + 1, width);
                EXPECT_EQ(window.max.y - window.min.y + 1, height);
                EXPECT_EQ(countGreys(exr.rgba.data(), exr.rgba.size() / 4, 4).off, 0u);
                if (tools) {
                    EXPECT_EQ(run("exrheader '" + to.string() + "'").second, 0);
                }
                continue;
            }
            if (!tools) continue;
            EXPECT_EQ(jpegtest::exiftool("-validate -warning -a", to), kNothingToWarnOf);
            if (type == app::kTypeJPEG) {
                int w = 0, h = 0;
                const GreyCount greys = jpegGreys(to, w, h);
                EXPECT_EQ(w, width);
                EXPECT_EQ(h, height);
                EXPECT_EQ(greys.pixels, size_t(width) * size_t(height));
                EXPECT_EQ(greys.off, 0u);
                continue;
            }
            // libtiff's own tool reads the render's size in 16-bit samples.
            const auto [info, status] = run("tiffinfo '" + to.string() + "'");
            EXPECT_EQ(status, 0) << info;
            EXPECT_NE(info.find("Image Width: " + std::to_string(width)), std::string::npos) << info;
            EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
            const std::vector<uint8_t> bytes = readBytes(to);
            ASSERT_EQ(get(bytes, 0, 2), 0x4949u) << "little-endian files";
            if (type == app::kTypeTIFF) {
                const GreyCount greys = stripGreys(bytes, get(bytes, 4, 4));
                EXPECT_EQ(greys.pixels, size_t(width) * size_t(height));
                EXPECT_EQ(greys.off, 0u);
            } else {
                // The first directory holds the preview; the raw image is the rendered buffer.
                const GreyCount preview = stripGreys(bytes, get(bytes, 4, 4));
                EXPECT_GT(preview.pixels, 0u);
                EXPECT_EQ(preview.off, 0u) << "preview";
                const writertest::DecodedSensor sensor = writertest::DecodeSensor(to.string());
                ASSERT_EQ(sensor.failure, "");
                EXPECT_EQ(sensor.width, width);
                EXPECT_EQ(sensor.height, height);
                EXPECT_EQ(countGreys(sensor.samples.data(), sensor.samples.size() / 3, 3).off, 0u);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, DocumentExportSample,
                         ::testing::Values("chart", "Pixel7_small.dng", "EOS_D30.CRW",
                                           "DC120_P003908_uncompressed.KDC"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

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

// A folder on a file system of its own (tmpfs), read-only or of `size` bytes; not mounted
// when this process may not mount.
class ScratchMount {
  public:
    ScratchMount(fs::path at, bool readOnly, size_t size = 0) : at_(std::move(at)) {
        fs::create_directories(at_);
        const std::string options = size ? "size=" + std::to_string(size) : "";
        mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                           options.empty() ? nullptr : options.c_str()) == 0;
    }
    ~ScratchMount() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Fills the file system to its last byte.
    void fill() const {
        std::ofstream out(at_ / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (out.write(block.data(), std::streamsize(block.size())))
            ;
    }

  private:
    fs::path at_;
    bool mounted_ = false;
};

// Every export type names what the system said: a full disk, a folder that takes no file.
TEST_F(DocumentExportTest, FailuresOfTheSystemCarryItsReason) {
    show(copy(kChart));
    const fs::path full = folder_ / "full", readOnly = folder_ / "read-only";
    ScratchMount fullMount(full, false, 64 * 1024);
    ScratchMount readOnlyMount(readOnly, true);
    // Without mounting, a folder without write permission refuses all but root.
    if (!readOnlyMount.mounted()) fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    if (fullMount.mounted()) fullMount.fill();

    struct Case {
        fs::path folder;
        bool possible;
        int expected;
    } cases[] = {
        {full, fullMount.mounted(), ENOSPC},
        {readOnly, readOnlyMount.mounted() || geteuid() != 0, readOnlyMount.mounted() ? EROFS : EACCES},
        {folder_ / "missing", true, ENOENT},
    };
    for (const Case& c : cases) {
        if (!c.possible) {
            std::cout << "[ SKIPPED  ] " << c.folder << ": this process cannot make it\n";
            continue;
        }
        for (size_t index : {0, 1, 2, 3, 5}) {
            SCOPED_TRACE(c.folder.string() + " " + std::string(app::kExportTypes[index].menuTitle));
            platform::Error error;
            const fs::path to = c.folder / ("chart." + std::string(app::kExportTypes[index].extension));
            EXPECT_FALSE(exportAs(index, to, &error));
            EXPECT_EQ(error.domain, app::errors::Domain);
            EXPECT_NE(error.failureReason.find(std::strerror(c.expected)), std::string::npos)
                << error.failureReason;
        }
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(c.folder, ec))
            EXPECT_EQ(entry.path().filename(), "filler") << "left behind";
    }
    std::error_code ec;
    if (!readOnlyMount.mounted()) fs::permissions(readOnly, fs::perms::owner_all, ec);
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
    // The decoder's reason, not an internal one.
    EXPECT_NE(error.domain, app::errors::Domain) << error.failureReason;
    EXPECT_FALSE(error.failureReason.empty());
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
