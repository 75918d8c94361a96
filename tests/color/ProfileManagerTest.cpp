// The profile list: the six Photo CD profiles always, installed profiles of the kinds a
// photographer can pick when "ShowExternalProfiles" is on, rebuilt when it changes.
#include <gtest/gtest.h>

#include "color/ProfileManager.h"
#include "color/iccProfileManager.h"
#include "platform/UserDefaults.h"
#include "tests/color/IccTestProfiles.h"
#include "tests/support/TempHome.h"

namespace {

const std::vector<std::string> kPhotoCD = {"E-6, Pre-4 series scanner",        "E-6, 4 Series scanner",
                                           "Kodachrome, Pre-4 series scanner", "Kodachrome, 4 Series scanner",
                                           "Negative, all scanners",           "Generic PCD"};

std::vector<std::string> descriptions(const ProfileManager::ProfileList& list) {
    std::vector<std::string> out;
    for (auto& profile : list)
        out.push_back(profile->description());
    return out;
}

std::vector<uint8_t> grayProfile(const std::string& text) {
    // The profile keeps its own copy of the curve.
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    icctest::Handle profile(cmsCreateGrayProfile(cmsD50_xyY(), linear));
    cmsFreeToneCurve(linear);
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text.c_str());
    cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
    return icctest::save(profile.get());
}

class ProfileManagerList : public testing::Test {
  protected:
    void SetUp() override {
        const auto icc = home.path() / "icc";
        icctest::writeFile(icc / "b-display.icc", icctest::rgbProfile("B Display"));
        icctest::writeFile(icc / "a-sub" / "scanner.icm", icctest::rgbProfile("A Scanner", cmsSigInputClass));
        icctest::writeFile(icc / "c-gray.icc", grayProfile("C Gray"));
        icctest::writeFile(icc / "d-link.icc", icctest::rgbProfile("D Link", cmsSigLinkClass));
        icctest::writeFile(icc / "e-lab.icc", icctest::labProfile());
        icctest::writeFile(icc / "f-untitled.icc", icctest::rgbProfile(""));
        icctest::writeFile(icc / "g-junk.icc", std::vector<uint8_t>(500, 0x5A));
    }
    void TearDown() override {
        platform::UserDefaults::standard().removeObjectForKey("ShowExternalProfiles");
    }

    testsupport::TempHome home;
};

TEST_F(ProfileManagerList, WithoutExternalProfilesHoldsExactlyThePhotoCDProfiles) {
    auto& manager = ProfileManager::sharedManager();
    platform::UserDefaults::standard().setBool(false, "ShowExternalProfiles");
    manager.buildProfilesArray();
    EXPECT_EQ(descriptions(manager.arrayOfAllProfiles(false)), kPhotoCD);
    auto withAuto = manager.arrayOfAllProfiles(true);
    ASSERT_EQ(withAuto.size(), 7u);
    EXPECT_TRUE(withAuto.front()->isAutoProfile());
}

TEST_F(ProfileManagerList, ChangingTheDefaultRebuildsWithTheListableInstalledProfiles) {
    auto& manager = ProfileManager::sharedManager();
    std::vector<bool> announcements;
    const int token = manager.addObserver([&](std::string_view key, bool willChange) {
        EXPECT_EQ(key, "profiles");
        announcements.push_back(willChange);
    });
    platform::UserDefaults::standard().setBool(true, "ShowExternalProfiles");
    manager.removeObserver(token);
    EXPECT_EQ(announcements, (std::vector<bool>{true, false}));

    auto expected = kPhotoCD;
    // Path order; the link, Lab, untitled and junk files are left out.
    for (const char* name : {"A Scanner", "B Display", "C Gray"})
        expected.push_back(name);
    EXPECT_EQ(descriptions(manager.arrayOfAllProfiles(false)), expected);

    auto display = manager.findMatchingProfile("b DISPLAY");
    ASSERT_TRUE(display);
    EXPECT_EQ(display->path(), home.path() / "icc" / "b-display.icc");
    ASSERT_TRUE(display->csRef()); // opened from its file on first use
    EXPECT_EQ(descriptions(manager.arrayOfAllProfilesWithSpace(ColorSyncProfileWrap::kSpaceRGB)),
              (std::vector<std::string>{"B Display"}));
    EXPECT_EQ(descriptions(iccProfileManager::sharediccProfileManager().profileListForMenu()).size(),
              expected.size() + 1);
}

TEST_F(ProfileManagerList, ExternalListingHoldsEveryReadableFile) {
    auto all = descriptions(ProfileManager::arrayOfAllExternalProfiles());
    EXPECT_EQ(all.size(), 6u); // everything but the junk file
}

TEST(ProfileManager, SRGBIsAlwaysAvailable) {
    testsupport::TempHome home;
    auto srgb = ProfileManager::sharedManager().getSRGBProfile();
    ASSERT_TRUE(srgb);
    EXPECT_EQ(srgb->description(), "sRGB IEC61966-2.1");
    EXPECT_EQ(srgb->spaceType(), ColorSyncProfileWrap::kSpaceRGB);
}

TEST(iccProfileManager, RefusesToAddProfiles) {
    auto& manager = iccProfileManager::sharediccProfileManager();
    EXPECT_EQ(&manager, &iccProfileManager::sharediccProfileManager());
    EXPECT_FALSE(manager.profileDirectory());
    EXPECT_FALSE(manager.addProfile("/nonexistent.icc", nullptr));
}

} // namespace
