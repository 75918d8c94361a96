#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "settings/Schema.h"
#include "tests/support/TempHome.h"

TEST(ExportTypes, IndexGivesTypeExtensionAndOpenExrFormat) {
    struct Case {
        int64_t index;
        std::string_view type, extension, title;
        int exr;
    };
    const std::vector<Case> cases{
        {0, "public.jpeg", "jpg", "JPEG", 0},
        {1, "public.tiff", "tif", "TIFF", 0},
        {2, "com.adobe.dng", "dng", "DNG", 0},
        {3, "com.ilm.openexr-image", "exr", "EXR", 0},
        {4, "com.ilm.openexr-image", "exr", "EXR RGB", 2},
        {5, "com.ilm.openexr-image", "exr", "EXR 32-bit", 1},
        {6, "com.ilm.openexr-image", "exr", "EXR 32-bit RGB", 3},
        {7, "public.jpeg", "jpg", "JPEG", 0},
        {9, "public.jpeg", "jpg", "JPEG", 0},
        {-1, "public.jpeg", "jpg", "JPEG", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        const app::ExportType& t = app::exportTypeForIndex(c.index);
        EXPECT_EQ(t.typeIdentifier, c.type);
        EXPECT_EQ(t.extension, c.extension);
        EXPECT_EQ(t.menuTitle, c.title);
        EXPECT_EQ(t.exrOutputFormat, c.exr);
    }
    EXPECT_EQ(app::exportTypeForSettings({}).typeIdentifier, "public.jpeg");
    EXPECT_EQ(app::exportTypeForSettings({{settings::ExportFileType.c_str(), 2}}).typeIdentifier,
              "com.adobe.dng");
    EXPECT_EQ(app::exportTypeForSettings({{settings::ExportFileType.c_str(), 4.0}}).exrOutputFormat, 2);
}

TEST(RawExtensions, ThirtyNineLowerCaseExtensions) {
    const auto list = app::rawExtensions();
    EXPECT_EQ(list.size(), 39u);
    EXPECT_EQ(std::set<std::string_view>(list.begin(), list.end()).size(), 39u);
    for (const char* ext : {"dng", "pcd", "CR2", ".nef", "X3F", "raw"})
        EXPECT_TRUE(app::isRawExtension(ext)) << ext;
    for (const char* ext : {"jpg", "tif", "", "dngx", "."})
        EXPECT_FALSE(app::isRawExtension(ext)) << ext;
}

TEST(ApplicationDefaults, RegisteredValuesGiveWayToStoredOnes) {
    testsupport::TempHome home;
    auto& defaults = platform::UserDefaults::standard();
    app::registerApplicationDefaults(defaults);
    EXPECT_EQ(app::applicationDefaults().size(), 15u);
    EXPECT_EQ(defaults.integerForKey(app::defaults::ResolutionSelect), 4);
    EXPECT_TRUE(defaults.objectForKey(app::defaults::ResolutionSelect).isInteger());
    EXPECT_EQ(defaults.integerForKey(app::defaults::BrowserFileSelect), 1);
    EXPECT_TRUE(defaults.boolForKey(app::defaults::UseAdvancedInterpolation));
    EXPECT_TRUE(defaults.boolForKey(app::defaults::AutomaticColorProfile));
    EXPECT_TRUE(defaults.boolForKey(app::defaults::EnableCinematic));
    EXPECT_FALSE(defaults.boolForKey(app::defaults::DisableFrameBuffer));
    EXPECT_FALSE(defaults.boolForKey(app::defaults::SilentlyOverwrite));
    EXPECT_FALSE(defaults.boolForKey(app::defaults::LumivarIsRunning)) << "not registered";

    defaults.setInteger(2, app::defaults::ResolutionSelect);
    app::registerApplicationDefaults(defaults);
    EXPECT_EQ(defaults.integerForKey(app::defaults::ResolutionSelect), 2);
}
