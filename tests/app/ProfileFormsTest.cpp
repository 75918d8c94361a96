#include <gtest/gtest.h>

#include <fstream>
#include <lcms2.h>
#include <string>
#include <vector>

#include "app/core/CatalogStore.h"
#include "color/ColorSyncProfileWrap.h"
#include "color/ProfileManager.h"
#include "dng/CameraProfileManager.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "platform/Plist.h"
#include "platform/UserDefaults.h"
#include "tests/app/AppHome.h"
#include "tests/support/DcpBuilder.h"

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;

namespace {

CatalogStore& store() { return CatalogStore::sharedMultiDataStore(); }

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> srgbIccBytes() {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

std::vector<uint8_t> dcpBytes() {
    return testsupport::BuildDcp([](testsupport::TiffBuilder::Ifd& ifd) {
        ifd.ascii(50708, "Maker Model")
            .ascii(50936, "Studio")
            .shorts(50778, {21})
            .srationals(50721, testsupport::Rationals({0.9, 0.1, 0, 0, 1, 0, 0, 0.1, 0.9}));
    });
}

// Settings -> stored form -> XML -> read back -> settings, as the catalog and presets do it.
Dictionary throughAFile(const Dictionary& settings) {
    Value back;
    EXPECT_TRUE(
        platform::readXmlPlist(platform::writeXmlPlist(Value(store().serializeToPList(settings))), back));
    return store().deserializeFromPList(*back.dictionary());
}

const Dictionary kAutoCamera{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}};
const Dictionary kAutoIcc{{"Class_of_serialized_Object", "ColorSyncProfileWrap"}};

} // namespace

TEST(ProfileForms, AnIccProfileWithAFileComesBackUntilTheFileIsGone) {
    apptest::AppHome home;
    const fs::path file = home.path() / "icc" / "Studio sRGB.icc";
    writeFile(file, srgbIccBytes());
    auto wrap = ColorSyncProfileWrap::createWithCFPath(file);
    ASSERT_TRUE(wrap);
    const Dictionary form = wrap->objectSerializeForPList();
    const Dictionary settings{{"Lumivar_iccProfile", form}, {"Lumivar_Filter_inputEV", 0.5}};

    const Dictionary back = throughAFile(settings);
    EXPECT_EQ(back, settings);
    EXPECT_EQ(back.at("Lumivar_iccProfile").find("ScannerProfilePath")->stringValue(), file.string());

    fs::remove(file);
    EXPECT_EQ(throughAFile(settings).at("Lumivar_iccProfile"), Value(kAutoIcc));
}

TEST(ProfileForms, ADcpProfileComesBackUntilItsFileIsGone) {
    apptest::AppHome home;
    auto folder = CameraProfileManager::profileDirectory();
    ASSERT_TRUE(folder);
    writeFile(*folder / "Studio.dcp", dcpBytes());
    auto profile = DNGCameraProfileAbstract::createFromFile(*folder / "Studio.dcp");
    ASSERT_TRUE(profile);
    EXPECT_FALSE(profile->isAutoProfile());
    const Dictionary settings{{"Lumivar_CameraProfile", profile->objectSerializeForPList()}};

    const Dictionary back = throughAFile(settings);
    EXPECT_EQ(back, settings);
    EXPECT_EQ(back.at("Lumivar_CameraProfile").find("FileName")->stringValue(), "Studio.dcp");

    fs::remove(*folder / "Studio.dcp");
    EXPECT_EQ(throughAFile(settings).at("Lumivar_CameraProfile"), Value(kAutoCamera));
}

TEST(ProfileForms, TaggedFormsAreRebuiltOrLoseTheirKey) {
    apptest::AppHome home;
    struct Case {
        const char* name;
        Value stored;
        std::optional<Value> read; // none: the key is dropped
    };
    const std::vector<Case> cases{
        {"the automatic camera profile", kAutoCamera, Value(kAutoCamera)},
        {"a camera profile whose file is gone",
         Dictionary{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}, {"FileName", "Gone.dcp"}},
         Value(kAutoCamera)},
        {"the camera class in any case",
         Dictionary{{"Class_of_serialized_Object", "dngcameraprofileabstract"}}, Value(kAutoCamera)},
        {"the automatic ICC profile", kAutoIcc, Value(kAutoIcc)},
        {"an ICC profile no longer listed",
         Dictionary{{"Class_of_serialized_Object", "ColorSyncProfileWrap"},
                    {"ScannerProfileDescription", "No such profile anywhere"}},
         std::nullopt},
        {"an unknown class", Dictionary{{"Class_of_serialized_Object", "NSColor"}, {"r", 1.0}}, std::nullopt},
        {"a class tag that is no name", Dictionary{{"Class_of_serialized_Object", 7}}, std::nullopt},
        {"a plain dictionary", Dictionary{{"x", 1}}, Value(Dictionary{{"x", 1}})},
        {"a plain value", Value(2.5), Value(2.5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Dictionary back = throughAFile({{"key", c.stored}, {"other", 1}});
        EXPECT_EQ(back.at("other"), Value(1));
        if (c.read)
            EXPECT_EQ(back.at("key"), *c.read);
        else
            EXPECT_FALSE(back.count("key"));
    }
}

// An unknown class loses its key when it is converted, so it shows how deep conversion goes.
TEST(ProfileForms, ConversionReachesTwoLevelsBelowTheSettings) {
    apptest::AppHome home;
    const Dictionary unknown{{"Class_of_serialized_Object", "NSColor"}};
    auto nestedAt = [&](int levels) {
        Dictionary d{{"form", unknown}};
        for (int i = 0; i < levels; ++i)
            d = Dictionary{{"level", d}};
        return d;
    };
    auto converted = [&](int levels, const Dictionary& out) {
        const Value* v = &out.at("level");
        for (int i = 1; i < levels; ++i)
            v = v->find("level");
        return v->find("form") == nullptr;
    };
    for (int levels : {1, 2, 3}) {
        SCOPED_TRACE(levels);
        const Dictionary out = store().deserializeFromPList(nestedAt(levels));
        EXPECT_EQ(converted(levels, out), levels <= 2);
    }
    EXPECT_FALSE(store().deserializeFromPList(nestedAt(0)).count("form"));
    EXPECT_TRUE(converted(3, store().deserializeFromPList(nestedAt(3), 3)));

    store().setDepthToConvert(0);
    EXPECT_FALSE(converted(1, store().deserializeFromPList(nestedAt(1))));
    store().setDepthToConvert(CatalogStore::kDefaultDepth);
}

TEST(ProfileForms, SerialisingKeepsFormsWholeAndDropsAbsentValues) {
    const Dictionary form{{"Class_of_serialized_Object", "ColorSyncProfileWrap"},
                          {"inner", Dictionary{{"gone", Value()}}}};
    const Dictionary settings{{"Lumivar_iccProfile", form},
                              {"Lumivar_Absent", Value()},
                              {"nested", Dictionary{{"absent", Value()}, {"kept", 1}}}};
    const Dictionary out = store().serializeToPList(settings);
    EXPECT_EQ(out.at("Lumivar_iccProfile"), Value(form))
        << "a profile's form is replaced whole, never edited";
    EXPECT_FALSE(out.count("Lumivar_Absent"));
    EXPECT_EQ(out.at("nested"), Value(Dictionary{{"kept", 1}}));
}

// Earlier versions described the working spaces they embed in exports "ZadeDiviv ...". A
// profile taken from such an export and installed now carries today's name; a catalog entry
// that names it the earlier way still finds it.
TEST(ProfileForms, ACatalogEntryNamingAnEarlierDescriptionFindsTheProfile) {
    apptest::AppHome home;
    cmsHPROFILE made = cmsCreate_sRGBProfile();
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", "Lumivar Studio RGB");
    cmsWriteTag(made, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(made, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(made, bytes.data(), &size);
    cmsCloseProfile(made);
    writeFile(home.path() / "icc" / "studio.icc", bytes);
    platform::UserDefaults::standard().setBool(true, ProfileManager::kShowExternalProfilesKey);
    ProfileManager::sharedManager().buildProfilesArray();

    const fs::path file = home.support() / "Catalog" / "LumivarCatalog.plist";
    fs::create_directories(file.parent_path());
    std::ofstream(file) << R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<array>
  <dict>
    <key>Lumivar_UUID</key><string>/photos/a.dng</string>
    <key>Lumivar_iccProfile</key>
    <dict>
      <key>Class_of_serialized_Object</key><string>ColorSyncProfileWrap</string>
      <key>ScannerProfileDescription</key><string>ZadeDiviv Studio RGB</string>
    </dict>
  </dict>
</array>
</plist>
)";
    const auto entry = store().dataStoreForStore("Catalog")->getItemForUUID("/photos/a.dng");
    ASSERT_TRUE(entry);
    const Dictionary settings = store().deserializeFromPList(*entry);
    ASSERT_TRUE(settings.count("Lumivar_iccProfile"));
    const Value& form = settings.at("Lumivar_iccProfile");
    ASSERT_TRUE(form.find("ScannerProfileDescription"));
    EXPECT_EQ(form.find("ScannerProfileDescription")->stringValue(), "Lumivar Studio RGB");
    ASSERT_TRUE(form.find("ScannerProfilePath"));
    EXPECT_EQ(form.find("ScannerProfilePath")->stringValue(), (home.path() / "icc" / "studio.icc").string());

    // What the exports embed today.
    EXPECT_EQ(ProfileManager::sharedManager().getProPhotoGamma1_D65Profile()->description(),
              "Lumivar ProPhoto Gamma 1");
    platform::UserDefaults::standard().removeObjectForKey(ProfileManager::kShowExternalProfilesKey);
}
