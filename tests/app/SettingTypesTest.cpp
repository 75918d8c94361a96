#include <gtest/gtest.h>

#include <string>

#include "app/core/Keys.h"
#include "app/core/PresetSeeds.h"
#include "app/core/SettingTypes.h"

using platform::Dictionary;
using platform::Value;

namespace {

Dictionary preset(const std::string& key, Value value) {
    Dictionary preset{
        {"displayName", "Strong"}, {"Lumivar_Filter_inputEV", 0.5}, {"Lumivar_SceneReferred", true}};
    preset[key] = std::move(value);
    return preset;
}

} // namespace

// A value of the wrong kind refuses the whole preset, and the message names the preset, the
// key and what was found.
TEST(SettingTypes, WrongKindsAreRefusedNamingTheKey) {
    struct Case {
        const char* key;
        Value value;
        const char* found;
    } cases[] = {
        {"Lumivar_Filter_monochromeRed", Value("lots"), "the text \"lots\""},
        {"Lumivar_Filter_inputEV", Value(true), "yes"},
        {"Lumivar_Filter_inputTemperature", Value(platform::Array{5000.0}), "a list"},
        {"Lumivar_Filter_someFutureWeight", Value("2"), "the text \"2\""}, // every filter key is a number
        {"Lumivar_ArtifactSuppression", Value(Dictionary{}), "a dictionary"},
        {"Lumivar_JPEGQuality", Value("high"), "the text \"high\""},
        {"Lumivar_ExportFileType", Value("TIFF"), "the text \"TIFF\""},
        {"Lumivar_CropRect_width", Value(platform::Data{1, 2}), "data"},
        {"Lumivar_SceneReferred", Value("YES"), "the text \"YES\""},
        {"Lumivar_MaintainWhites", Value(platform::Array{}), "a list"},
        {"Lumivar_CameraProfile", Value("Standard"), "the text \"Standard\""},
        {"Lumivar_iccProfile", Value(1), "the number 1"},
        {"Lumivar_PresetUUID", Value(7), "the number 7"},
    };
    for (const Case& c : cases) {
        const auto error = app::wrongSettingType(preset(c.key, c.value));
        ASSERT_TRUE(error) << c.key;
        EXPECT_EQ(error->domain, app::errors::Domain);
        EXPECT_EQ(error->code, app::errors::WrongSettingType);
        EXPECT_NE(error->failureReason.find("\"Strong\""), std::string::npos) << error->failureReason;
        EXPECT_NE(error->failureReason.find(std::string("\"") + c.key + "\""), std::string::npos)
            << error->failureReason;
        EXPECT_NE(error->failureReason.find(c.found), std::string::npos) << error->failureReason;
    }
    EXPECT_EQ(app::wrongSettingType(preset("Lumivar_Filter_monochromeRed", Value("lots")))->failureReason,
              "The preset \"Strong\" was not applied: its value for \"Lumivar_Filter_monochromeRed\" is the "
              "text \"lots\", where a number belongs.");
}

// What stored presets hold today passes: numbers of either kind, booleans (or numbers read
// as them), profile forms, and keys the program does not read.
TEST(SettingTypes, RightKindsAndUnknownKeysPass) {
    const Dictionary good{
        {"displayName", "Good"},
        {"Lumivar_PresetUUID", "0F8E2B2C-5C7A-4A43-9D0B-3E2A9A1C7D11"},
        {"Lumivar_Filter_inputEV", 0.5},
        {"Lumivar_Filter_monochromeRed", int64_t(2)},
        {"Lumivar_ExportFileType", int64_t(1)},
        {"Lumivar_JPEGQuality", 10.0},
        {"Lumivar_SceneReferred", true},
        {"Lumivar_MaintainWhites", int64_t(0)},
        {"Lumivar_CameraProfile", Dictionary{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}}},
        {"Lumivar_SomethingNew", "any kind"},
        {"notes", platform::Array{1, "two"}},
    };
    EXPECT_FALSE(app::wrongSettingType(good));
    EXPECT_FALSE(app::wrongSettingType(Dictionary{}));
    for (const Dictionary& seed : app::seededPresets())
        EXPECT_FALSE(app::wrongSettingType(seed)) << seed.at("displayName").stringValue();
}
