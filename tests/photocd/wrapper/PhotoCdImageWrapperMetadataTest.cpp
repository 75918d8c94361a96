// The Photo CD wrapper's answers about the image: the scanner profile it picks, the
// metadata dictionary and items, the scanning date and the parameters dictionary.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "color/ColorHelper.h"
#include "color/ProfileManager.h"
#include "engine/core/ImageBufferU16.h"
#include "platform/ImageProperties.h"
#include "tests/photocd/wrapper/PhotoCdImageWrapperFixture.h"

using namespace pcdwrap;

namespace {

constexpr uint32_t kScanTime = 946782245; // 2000-01-02 03:04:05 UTC

// A described pack: scanned by a known scanner, with scene-balance data for a known film.
testsupport::PhotoCdBuilder describedPack(uint8_t medium = 0) {
    testsupport::PhotoCdBuilder b = patternedPack();
    b.be32(2061, kScanTime).byte(2069, medium);
    b.text(2090, "KODAK     ").text(2110, "PCD Film Scanner");
    b.text(2273, "SBA").byte(2278, 2).be16(2373, 1);
    return b;
}

class TimeZone {
  public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", zone, 1);
    }
    ~TimeZone() {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
    }

  private:
    std::optional<std::string> saved_;
};

const platform::Dictionary& sub(const platform::Dictionary& d, const char* key) {
    return *d.at(key).dictionary();
}

} // namespace

TEST_F(PhotoCdImageWrapperTest, ScannerProfileFollowsMediumFilmAndScanner) {
    ProfileManager& pm = ProfileManager::sharedManager();
    struct Case {
        const char* medium;
        const char* film;
        const char* scanner;
        bool automatic;
        ProfileManager::Profile expected;
    } cases[] = {
        {"color reversal", "KODAK UNIVERSAL K14", "PCD Film Scanner 2000", true, pm.getTarnwell2kProfile()},
        {"color reversal", "KODAK UNIVERSAL K14 Gen 2", "4045", true, pm.getTarnwell4kProfile()},
        {"color reversal", "KODAK 4050 K14", "Scanner 4000", true, pm.getTarnwell4kProfile()},
        {"color reversal", "KODAK UNIVERSAL E6", "Scanner 4000", true, pm.getTarnwell4eProfile()},
        {"color reversal", "Unknown film", "PCD Film Scanner", true, pm.getTarnwell2eProfile()},
        {"color negative", "KODAK UNIVERSAL K14", "Scanner 4000", true, pm.getTarnwellXnProfile()},
        {"black and white negative", "-", "Scanner 4000", true, pm.getTarnwellXgProfile()},
        {"color reversal", "KODAK UNIVERSAL K14", "Scanner 4000", false, pm.getTarnwellXgProfile()},
    };
    const auto pack = writePack(patternedPack());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.medium) + " / " + c.film + " / " + c.scanner);
        defaults().setBool(c.automatic, "AutomaticColorProfile");
        Script script;
        script.items = {{4, c.medium}, {7, c.scanner}, {16, c.film}};
        ScriptedWrapper wrapper(pack, true, script);
        ASSERT_TRUE(wrapper.preProcess());
        EXPECT_EQ(wrapper.detectScannerProfile(), c.expected);
    }
}

TEST_F(PhotoCdImageWrapperTest, ScannerProfileFromThePackHeader) {
    defaults().setBool(true, "AutomaticColorProfile");
    auto pack = describedPack(1); // colour reversal
    pack.text(2110, "PCD Scanner 4045");
    PhotoCdImageWrapper wrapper(writePack(pack), "uuid", true);
    ASSERT_TRUE(wrapper.getImageRep(nullptr));
    EXPECT_EQ(wrapper.detectScannerProfile(), ProfileManager::sharedManager().getTarnwell4eProfile());
    EXPECT_EQ(wrapper.theImage()->bufferProfile(), ProfileManager::sharedManager().getTarnwell4eProfile());
}

TEST_F(PhotoCdImageWrapperTest, MetadataDictionaryDescribesTheScan) {
    TimeZone utc("UTC");
    PhotoCdImageWrapper wrapper(writePack(describedPack()), "uuid", false);
    EXPECT_FALSE(wrapper.metaDataDictionary()); // no decoder yet
    EXPECT_EQ(wrapper.getEXIFDateTime(), "");
    ASSERT_TRUE(wrapper.preProcess());

    const std::string summary =
        "color negative: 3M ScotchColor AT 100. SBA settings neutral SBA on, color SBA off";
    const std::string when = "2000:01:02 03:04:05";
    EXPECT_EQ(wrapper.getEXIFDateTime(), when);
    auto meta = wrapper.metaDataDictionary();
    ASSERT_TRUE(meta);
    EXPECT_EQ(wrapper.metaData(), meta); // stored by the parse
    const platform::Dictionary expectedExif{
        {"DateTimeOriginal", when}, {"DateTimeDigitized", when}, {"UserComment", summary}, {"FileSource", 1}};
    EXPECT_EQ(sub(*meta, platform::kCGImagePropertyExifDictionary), expectedExif);
    const platform::Dictionary expectedTiff{
        {"ImageDescription", summary},
        {"DocumentName", "IMG0001.PCD"},
        {"Software", "Converted from Photo CD format by Lumivar V1.4"},
        {"Make", "KODAK"},
        {"Model", "PCD Film Scanner"},
        {"Copyright", "Copyright restrictions not specified"},
        {"DateTime", when},
    };
    EXPECT_EQ(sub(*meta, platform::kCGImagePropertyTIFFDictionary), expectedTiff);
    EXPECT_EQ(meta->size(), 2u);

    TimeZone east("UTC-2");
    EXPECT_EQ(wrapper.getEXIFDateTime(), "2000:01:02 05:04:05");
}

TEST_F(PhotoCdImageWrapperTest, NoScanningTimeGivesNoDate) {
    auto pack = describedPack();
    pack.be32(2061, 0);
    PhotoCdImageWrapper wrapper(writePack(pack), "uuid", false);
    ASSERT_TRUE(wrapper.preProcess());
    EXPECT_EQ(wrapper.getEXIFDateTime(), "");
    EXPECT_EQ(sub(*wrapper.metaData(), platform::kCGImagePropertyTIFFDictionary).at("DateTime"),
              platform::Value(""));
}

TEST_F(PhotoCdImageWrapperTest, MetadataItemsAreBoundedTexts) {
    Script script;
    script.items = {{5, std::string(300, 'p')}};
    ScriptedWrapper wrapper(writePack(describedPack()), false, script);
    EXPECT_EQ(wrapper.metaDataValue(6), ""); // before parsing
    ASSERT_TRUE(wrapper.preProcess());
    EXPECT_EQ(wrapper.metaDataName(6), "Scanner vendor identity");
    EXPECT_EQ(wrapper.metaDataValue(6), "KODAK");
    EXPECT_EQ(wrapper.metaDataValue(5), std::string(127, 'p'));
    for (int outside : {-1, 20, 1000}) {
        EXPECT_EQ(wrapper.metaDataValue(outside), "") << outside;
        EXPECT_EQ(wrapper.metaDataName(outside), "") << outside;
    }

    const platform::Array items = wrapper.metaDataArray();
    ASSERT_EQ(items.size(), 22u);
    const auto entry = [](const char* name, std::string value) {
        return platform::Value(platform::Dictionary{{"Name", name}, {"Value", std::move(value)}});
    };
    EXPECT_EQ(items[0], entry("Image Width", "192"));
    EXPECT_EQ(items[1], entry("Image Height", "128"));
    EXPECT_EQ(items[2 + 7], entry("Scanner product identity", "PCD Film Scanner"));
    EXPECT_EQ(items[2 + 19], entry("Compression", "class 1 - 35mm film; pictoral hard copy"));
}

TEST_F(PhotoCdImageWrapperTest, ParametersDescribeAnOutputReferredScan) {
    defaults().setInteger(2, "ResolutionSelect");
    PhotoCdImageWrapper wrapper(writePack(describedPack()), "uuid-7", false);
    ASSERT_TRUE(wrapper.preProcess());
    const platform::Dictionary p = *wrapper.getParameters();

    std::set<std::string> keys;
    for (const auto& [key, value] : p)
        keys.insert(key);
    const std::set<std::string> expectedKeys{"UUID",
                                             "width",
                                             "height",
                                             "model",
                                             "make",
                                             "asShotWhitex",
                                             "asShotWhitey",
                                             "cameraFromXYZ00",
                                             "cameraFromXYZ01",
                                             "cameraFromXYZ02",
                                             "cameraFromXYZ10",
                                             "cameraFromXYZ11",
                                             "cameraFromXYZ12",
                                             "cameraFromXYZ20",
                                             "cameraFromXYZ21",
                                             "cameraFromXYZ22",
                                             "ipeStatus",
                                             "isOutputReferred",
                                             "status",
                                             "cameraMetadata"};
    EXPECT_EQ(keys, expectedKeys);
    EXPECT_EQ(p.at("UUID"), platform::Value("uuid-7"));
    EXPECT_EQ(p.at("width"), platform::Value(768));
    EXPECT_EQ(p.at("height"), platform::Value(512));
    EXPECT_EQ(p.at("make"), platform::Value("KODAK"));
    EXPECT_EQ(p.at("model"), platform::Value("PCD Film Scanner"));
    EXPECT_EQ(p.at("ipeStatus"), platform::Value(0));
    EXPECT_EQ(p.at("isOutputReferred"), platform::Value(true));
    EXPECT_TRUE(wrapper.isOutputReferred());
    EXPECT_EQ(p.at("status"), platform::Value("Ok"));
    EXPECT_EQ(p.at("cameraMetadata"), platform::Value(*wrapper.metaData()));
    EXPECT_FLOAT_EQ(p.at("asShotWhitex").floatValue(), ColorHelper::D65_xy_coord()[0]);
    EXPECT_FLOAT_EQ(p.at("asShotWhitey").floatValue(), ColorHelper::D65_xy_coord()[1]);
    const Matrix3x3 m = ColorHelper::XYZFromsRGB_D65();
    EXPECT_FLOAT_EQ(p.at("cameraFromXYZ01").floatValue(), m[0][1]);
    EXPECT_FLOAT_EQ(p.at("cameraFromXYZ20").floatValue(), m[2][0]);
}
