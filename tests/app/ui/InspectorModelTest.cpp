#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/ui/InspectorModel.h"
#include "platform/ImageProperties.h"
#include "raw/core/DCRaw.h"
#include "tests/support/Samples.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

int row(const char* key) { return InspectorModel::itemIndex(key); }

std::string shown(const char* key, const Value& value) {
    return InspectorModel::prettyValue(value, row(key));
}

Array numbers(std::initializer_list<double> values) {
    Array out;
    for (double v : values)
        out.emplace_back(v);
    return out;
}

// The value column of the row named `name` among `rows`; "<none>" when there is no such row.
std::string valueOf(const std::vector<InspectorRow>& rows, const std::string& name) {
    for (const auto& r : rows)
        if (r.key == name) return r.val;
    return "<none>";
}

const InspectorRow* group(const std::vector<InspectorRow>& rows, const std::string& title) {
    for (const auto& r : rows)
        if (r.isGroup && r.key == title) return &r;
    return nullptr;
}

} // namespace

TEST(InspectorModel, TheTableHasItsRowsAndHiddenKeys) {
    EXPECT_EQ(InspectorModel::propertyTable().size(), 119u);
    EXPECT_EQ(row(platform::kCGImagePropertyPixelWidth), 0);
    EXPECT_EQ(InspectorModel::propertyTable().back().key, platform::kCGImagePropertyGPSDifferental);
    EXPECT_EQ(row("NoSuchKey"), -1);
    for (const char* hidden : {platform::kCGImagePropertyExifSpectralSensitivity,
                               platform::kCGImagePropertyExifOECF, platform::kCGImagePropertyExifMakerNote})
        EXPECT_EQ(InspectorModel::propertyTable()[size_t(row(hidden))].format, 0) << hidden;
}

TEST(InspectorModel, ValuesReadAsThePhotographerExpects) {
    using namespace platform;
    struct Case {
        const char* key;
        Value value;
        std::string text;
    } cases[] = {
        {kCGImagePropertyExifExposureTime, 0.004, "1/250"},
        {kCGImagePropertyExifExposureTime, 2.5, "2.5"},
        {kCGImagePropertyExifExposureTime, 15, "15"},
        {kCGImagePropertyExifExposureTime, 0.0625, "1/16"},
        // No reciprocal of nothing: the plain number.
        {kCGImagePropertyExifExposureTime, 0.0, "0"},
        {kCGImagePropertyExifExposureTime, 0, "0"},
        {kCGImagePropertyExifShutterSpeedValue, 8, "1/256"},
        {kCGImagePropertyExifApertureValue, 4, "4.0"},
        {kCGImagePropertyExifFNumber, 0.95, "0.95"},
        {kCGImagePropertyExifFNumber, 1.9, "1.9"},
        {kCGImagePropertyExifBrightnessValue, 1.0, "2 ft-L"},
        {kCGImagePropertyExifFlash, 0x19, "Flash fired; auto mode; flash function present"},
        {kCGImagePropertyExifFlash, 0x20, "Flash did not fire; no flash function present"},
        {kCGImagePropertyExifFlash, 0x41, "Flash fired; flash function present; red-eye reduction supported"},
        {kCGImagePropertyExifFlash, 0x07,
         "Flash fired; strobe return light detected; flash function present"},
        {kCGImagePropertyExifMeteringMode, 0, "Other"},
        {kCGImagePropertyExifMeteringMode, 255, "Other"},
        {kCGImagePropertyExifMeteringMode, 5, "Pattern"},
        {kCGImagePropertyExifLightSource, 255, "Other"},
        {kCGImagePropertyExifLightSource, 6, "Other"},
        {kCGImagePropertyExifLightSource, 24, "ISO studio tungsten"},
        {kCGImagePropertyExifExposureProgram, 3, "Aperture priority"},
        // Out of the table: the plain number, never a read outside it.
        {kCGImagePropertyExifExposureProgram, -1, "-1"},
        {kCGImagePropertyExifExposureProgram, 9, "9"},
        {kCGImagePropertyExifSensingMethod, 2, "One-chip color area sensor"},
        {kCGImagePropertyExifFileSource, 3, "Digital camera"},
        {kCGImagePropertyExifFileSource, 7, "Other"},
        {kCGImagePropertyExifWhiteBalance, 1, "Manual white balance"},
        {kCGImagePropertyExifContrast, 2, "High"},
        {kCGImagePropertyExifContrast, 3, "3"},
        {kCGImagePropertyExifFocalPlaneResolutionUnit, 3, "Centimeters"},
        {kCGImagePropertyTIFFPhotometricInterpretation, 2, "RGB"},
        {kCGImagePropertyTIFFPhotometricInterpretation, 32803, "32803"},
        // Minutes ' and seconds ", as GPS coordinates are written.
        {kCGImagePropertyGPSLatitude, 48.8583, "48\u00b0 51' 29.88\""},
        {kCGImagePropertyGPSLongitude, 10.9999999, "11\u00b0 0' 0.00\""},
        {kCGImagePropertyGPSLatitudeRef, "n", "North"},
        {kCGImagePropertyGPSLongitudeRef, " W ", "West"},
        {kCGImagePropertyGPSLongitudeRef, "X", "X"},
        {kCGImagePropertyGPSAltitudeRef, 1, "Sea level reference (negative value)"},
        {kCGImagePropertyExifVersion, Array{2, 3, 1}, "2.3.1"},
        {kCGImagePropertyDNGVersion, Array{1, 6}, "1.6"},
        {kCGImagePropertyExifVersion, "0231", ""},
        {kCGImagePropertyTIFFXResolution, 1234.5678, "1234.6"},
        {kCGImagePropertyTIFFXResolution, 0.123456, "0.123"},
        {kCGImagePropertyTIFFXResolution, 72, "72"},
        {kCGImagePropertyTIFFMake, "  Google \n", "Google"},
        {kCGImagePropertyExifISOSpeedRatings, Array{744}, "744"},
        {kCGImagePropertyExifSubjectArea, Array{1, 2, 3}, "( 1, 2, 3 )"},
        {kCGImagePropertyExifSubjectArea, numbers({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
         "( 1, 2, 3, 4, 5, 6,... )"},
        {kCGImagePropertyTIFFArtist,
         Array{"\u00e9\u00e9\u00e9\u00e9", "\u00e9\u00e9\u00e9\u00e9", "\u00e9\u00e9\u00e9\u00e9",
               "\u00e9\u00e9\u00e9\u00e9", "x"},
         "( \u00e9\u00e9\u00e9\u00e9, \u00e9\u00e9\u00e9\u00e9, \u00e9\u00e9\u00e9\u00e9,... )"},
        // Values of a kind the formatter does not take fall through to the plain text.
        {kCGImagePropertyExifExposureTime, "1/60", "1/60"},
        {kCGImagePropertyExifFlash, Data{0xde, 0xad}, "<dead>"},
        {kCGImagePropertyExifMeteringMode, Dictionary{{"a", 1}}, "{ a = 1; }"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown(c.key, c.value), c.text) << c.key;
}

TEST(InspectorModel, NamesComeFromTheKeyWhenTheTableHasNone) {
    EXPECT_EQ(InspectorModel::prettyName("ExposureTime"), "Exposure Time");
    EXPECT_EQ(InspectorModel::prettyName("FNumber"), "F Number");
    EXPECT_EQ(InspectorModel::prettyName("ISO"), "I SO");
    EXPECT_EQ(InspectorModel::prettyName("PixelXDimension"), "Pixel X Dimension");
    EXPECT_EQ(InspectorModel::prettyName("Depth"), "Depth");
    EXPECT_EQ(InspectorModel::prettyName("XY"), "XY");
    EXPECT_EQ(InspectorModel::appendWithSeparator("", "a", ", "), "a");
    EXPECT_EQ(InspectorModel::appendWithSeparator("a", "b", ", "), "a, b");
}

TEST(InspectorModel, TheTreeGroupsSubDictionariesAndShowsOnlyTableKeys) {
    using namespace platform;
    const Dictionary metadata{
        {kCGImagePropertyPixelWidth, 510},
        {"MakerSpecificThing", 3},
        {kCGImagePropertyExifDictionary, Dictionary{{kCGImagePropertyExifExposureTime, 0.004},
                                                    {kCGImagePropertyExifFNumber, 2.8},
                                                    {kCGImagePropertyExifISOSpeedRatings, Array{200}},
                                                    {kCGImagePropertyExifMakerNote, Data{1, 2, 3}},
                                                    {kCGImagePropertyExifOECF, Data{1}},
                                                    {kCGImagePropertyExifSpectralSensitivity, "x"}}},
        {"{gps}", Dictionary{{kCGImagePropertyGPSLatitude, 48.8583}}},
        {"{Vendor}", Dictionary{{kCGImagePropertyTIFFModel, "Inner"}}},
    };
    const auto rows = InspectorModel::propTree(metadata);
    ASSERT_EQ(rows.size(), 4u); // PixelWidth, then the groups in key order
    EXPECT_EQ(rows[0].key, "Pixel Width");
    EXPECT_EQ(rows[0].val, "510");
    EXPECT_EQ(rows[1].key, "EXIF Metadata");
    EXPECT_EQ(rows[2].key, "{Vendor}");
    EXPECT_EQ(rows[3].key, "GPS Data");
    const auto& exif = rows[1].children;
    ASSERT_EQ(exif.size(), 3u);
    EXPECT_EQ(exif[0].key, "Exposure Time");
    EXPECT_EQ(exif[0].val, "1/250");
    EXPECT_EQ(exif[1].key, "F Number");
    EXPECT_EQ(exif[2].key, "ISO Speed Ratings");
    EXPECT_EQ(exif[2].val, "200");
    EXPECT_EQ(valueOf(rows[2].children, "Model"), "Inner");
    EXPECT_EQ(valueOf(rows[3].children, "Latitude"), "48\u00b0 51' 29.88\"");
}

namespace {

Dictionary sampleMetadata(const char* name) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    decoder.loadFile(testsupport::samplePath(name).string(), nullptr);
    return decoder.metaData();
}

} // namespace

TEST(InspectorModel, ThePixel7ShowsItsExposureApertureIsoAndPlace) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    const auto rows = InspectorModel::propTree(sampleMetadata("Pixel7_small.dng"));
    const InspectorRow* tiff = group(rows, "TIFF Metadata");
    const InspectorRow* exif = group(rows, "EXIF Metadata");
    const InspectorRow* dng = group(rows, "DNG Metadata");
    const InspectorRow* aux = group(rows, "EXIF Auxiliary Metadata");
    const InspectorRow* gps = group(rows, "GPS Data");
    ASSERT_TRUE(tiff && exif && dng && aux && gps);
    EXPECT_EQ(valueOf(tiff->children, "Make"), "Google");
    EXPECT_EQ(valueOf(tiff->children, "Model"), "Pixel 7");
    EXPECT_EQ(valueOf(exif->children, "Exposure Time"), "1/16");
    EXPECT_EQ(valueOf(exif->children, "F Number"), "1.9");
    EXPECT_EQ(valueOf(exif->children, "ISO Speed Ratings"), "744");
    EXPECT_EQ(valueOf(exif->children, "Date Time Original"), "2024:07:04 21:45:43");
    EXPECT_EQ(valueOf(dng->children, "DNG Version"), "1.6");
    EXPECT_EQ(valueOf(exif->children, "Exif Version"), "2.31");
    EXPECT_EQ(valueOf(exif->children, "Exposure Program"), "Normal program");
    EXPECT_EQ(valueOf(exif->children, "Flash"),
              "Flash did not fire; compulsory flash suppression; flash function present");
    EXPECT_EQ(valueOf(aux->children, "Lens Model"), "Pixel 7 back camera 6.81mm f/1.9");
    EXPECT_EQ(valueOf(gps->children, "Date Stamp"), "2024:07:04");
    EXPECT_EQ(valueOf(gps->children, "D OP"), "13.4");
    EXPECT_EQ(valueOf(gps->children, "Processing Method").substr(0, 2), "( ");
}

// A CRW file has no TIFF directories: its rows come from the camera's CIFF records, with the
// values an independent reader (exiftool) shows for the file. The aperture is the one the
// camera set (exiftool's TargetAperture 5.596, the marked f/5.6).
TEST(InspectorModel, TheEosD30ShowsItsCameraRecords) {
    LV_REQUIRE_SAMPLE("EOS_D30.CRW");
    const auto rows = InspectorModel::propTree(sampleMetadata("EOS_D30.CRW"));
    const InspectorRow* tiff = group(rows, "TIFF Metadata");
    const InspectorRow* exif = group(rows, "EXIF Metadata");
    ASSERT_TRUE(tiff && exif);
    EXPECT_EQ(valueOf(tiff->children, "Make"), "Canon");
    EXPECT_EQ(valueOf(tiff->children, "Model"), "Canon EOS D30");
    EXPECT_EQ(valueOf(exif->children, "Exposure Time"), "5.0");
    EXPECT_EQ(valueOf(exif->children, "F Number"), "5.6");
    EXPECT_EQ(valueOf(exif->children, "ISO Speed Ratings"), "100");
    EXPECT_EQ(valueOf(exif->children, "Date Time Original"), "2018:01:01 13:03:32");
}

// Whatever the metadata reader makes of a camera file, the inspector shows it in groups.
TEST(InspectorModel, EverySamplesMetadataGivesGroupedRows) {
    if (!std::filesystem::is_directory(LUMIVAR_SAMPLES_DIR)) GTEST_SKIP() << "no samples folder";
    int shownFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(LUMIVAR_SAMPLES_DIR)) {
        if (entry.path().extension() == ".md") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const auto metadata = sampleMetadata(entry.path().filename().string().c_str());
        const auto rows = InspectorModel::propTree(metadata);
        if (metadata.empty()) continue;
        ++shownFiles;
        EXPECT_FALSE(rows.empty());
        for (const auto& r : rows)
            if (r.isGroup) {
                EXPECT_FALSE(r.key.empty());
                for (const auto& child : r.children)
                    EXPECT_FALSE(child.key.empty());
            }
    }
    EXPECT_GT(shownFiles, 10);
}
