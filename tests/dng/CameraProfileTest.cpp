#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dng/CameraProfileManager.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

std::shared_ptr<DNGCameraProfileAbstract> profileAt(const fs::path& file) {
    auto p = DNGCameraProfileAbstract::createAsAutoProfile();
    p->setProfileURL(file);
    return p;
}

} // namespace

TEST(DNGCameraProfileAbstract, AutomaticProfileStandsForTheCameraMatrix) {
    auto p = DNGCameraProfileAbstract::createAsAutoProfile();
    EXPECT_TRUE(p->isAutoProfile());
    EXPECT_EQ(p->name(), "<Lumivar built-in profile>");
    EXPECT_EQ(p->displayName(), "<Lumivar built-in profile>");
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(p->getcolorMatrix1(i, j), i == j ? 1.0f : 0.0f);
            EXPECT_EQ(p->getcolorMatrix2(i, j), i == j ? 1.0f : 0.0f);
        }
    p->setUniqueCameraModelRestriction("Canon EOS 6D");
    EXPECT_EQ(p->description(), "Canon EOS 6D : <Lumivar built-in profile>");
    EXPECT_FALSE(profileAt("/x/a.dcp")->isAutoProfile());
}

TEST(DNGCameraProfileAbstract, PropertyListRoundTrip) {
    testsupport::TempHome home;
    const platform::Dictionary autoForm =
        DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList();
    EXPECT_EQ(autoForm, (platform::Dictionary{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}}));
    EXPECT_TRUE(DNGCameraProfileAbstract::createFromPList(autoForm)->isAutoProfile());

    const platform::Dictionary fileForm = profileAt("/elsewhere/Studio.dcp")->objectSerializeForPList();
    EXPECT_EQ(fileForm.at("FileName"), platform::Value("Studio.dcp"));
    EXPECT_EQ(fileForm.at("Class_of_serialized_Object"), platform::Value("DNGCameraProfileAbstract"));

    // A name that cannot be read, or that points out of the folder, gives the automatic profile.
    for (const char* name : {"Studio.dcp", "../../etc/passwd", ""}) {
        platform::Dictionary stored{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"},
                                    {"FileName", name}};
        auto p = DNGCameraProfileAbstract::createFromPList(stored);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_TRUE(p->isAutoProfile()) << name;
    }
    EXPECT_EQ(DNGCameraProfileAbstract::createFromFile(home.path() / "missing.dcp"), nullptr);
}

TEST(DNGCameraProfileAbstract, EqualityFollowsTheFileName) {
    auto a = profileAt("/one/Portrait.dcp");
    auto b = profileAt("/two/Portrait.dcp");
    auto c = profileAt("/one/Landscape.dcp");
    auto autoA = DNGCameraProfileAbstract::createAsAutoProfile();
    auto autoB = DNGCameraProfileAbstract::createAsAutoProfile();
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*c));
    EXPECT_FALSE(a->isEqual(*autoA));
    EXPECT_FALSE(autoA->isEqual(*a));
    EXPECT_TRUE(autoA->isEqual(*autoB));
    EXPECT_TRUE(autoA->isEqual(*autoA));
    EXPECT_EQ(autoA->hash(), 0u);
}

TEST(CameraProfileManager, FolderListingAndChanges) {
    testsupport::TempHome home;
    auto& manager = CameraProfileManager::sharedCameraProfileManager();
    EXPECT_EQ(&manager, &CameraProfileManager::sharedCameraProfileManager());
    auto folder = CameraProfileManager::profileDirectory();
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, home.path() / "data" / "Profiles");
    EXPECT_TRUE(fs::is_directory(*folder));

    std::vector<std::string> heard;
    int token = manager.addObserver([&](std::string_view key, bool will) {
        heard.push_back(std::string(will ? "will " : "did ") + std::string(key));
    });
    fs::path source =
        testsupport::writeFile(home.path() / "downloads", "Neutral.DCP", "not really a profile");
    platform::Error error;
    manager.addProfile(source, &error);
    EXPECT_EQ(error.code, 0);
    EXPECT_TRUE(fs::exists(*folder / "Neutral.DCP"));
    EXPECT_EQ(heard, (std::vector<std::string>{"will profileListForMenu", "did profileListForMenu"}));

    manager.addProfile(source, &error);
    EXPECT_NE(error.code, 0) << "a file of that name is already there";
    EXPECT_FALSE(error.failureReason.empty());

    // Unreadable files are left out; the automatic profile comes first when asked for.
    auto menu = manager.profileListForMenu();
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_TRUE(menu[0]->isAutoProfile());
    EXPECT_TRUE(manager.profileList(false).empty());

    error = {};
    manager.removeProfile(profileAt(*folder / "Neutral.DCP").get(), &error);
    EXPECT_EQ(error.code, 0);
    EXPECT_FALSE(fs::exists(*folder / "Neutral.DCP"));
    manager.removeProfile(profileAt(*folder / "Neutral.DCP").get(), &error);
    EXPECT_NE(error.code, 0);
    manager.removeObserver(token);
}
