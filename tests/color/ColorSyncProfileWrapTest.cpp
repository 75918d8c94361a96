// The profile object: its property-list form through a real XML round trip, reading
// profiles from files, and refusing bytes that are not a profile.
#include <gtest/gtest.h>

#include <cstring>

#include "color/ColorMatchTransform.h"
#include "color/ProfileManager.h"
#include "platform/Plist.h"
#include "platform/UserDefaults.h"
#include "tests/color/IccTestProfiles.h"
#include "tests/support/TempHome.h"

namespace {

using Wrap = ColorSyncProfileWrap;

// Serialise, write as XML, read back, restore.
std::shared_ptr<Wrap> roundTrip(const Wrap& profile, platform::Dictionary* written = nullptr) {
    const platform::Dictionary plist = profile.objectSerializeForPList();
    if (written) *written = plist;
    platform::Value back;
    EXPECT_TRUE(platform::readXmlPlist(platform::writeXmlPlist(platform::Value(plist)), back));
    EXPECT_TRUE(back.dictionary());
    return back.dictionary() ? Wrap::createFromPList(*back.dictionary()) : nullptr;
}

TEST(ColorSyncProfileWrap, AutomaticProfileSerialisesAsTheClassKeyAlone) {
    auto automatic = Wrap::createAsAutoProfile();
    EXPECT_TRUE(automatic->isAutoProfile());
    EXPECT_EQ(automatic->description(), "Automatic");
    EXPECT_FALSE(automatic->csRef());
    EXPECT_FALSE(automatic->cgColorSpace());
    platform::Dictionary written;
    auto back = roundTrip(*automatic, &written);
    EXPECT_EQ(written, (platform::Dictionary{{"Class_of_serialized_Object", "ColorSyncProfileWrap"}}));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isAutoProfile());
}

TEST(ColorSyncProfileWrap, ProfileWithAFileReadsBackFromItsPathUntilTheFileIsGone) {
    testsupport::TempHome home;
    const auto file = home.path() / "profiles" / "Studio Display.icc";
    icctest::writeFile(file, icctest::rgbProfile("Studio Display"));
    auto profile = Wrap::createWithCFPath(file);
    ASSERT_TRUE(profile);
    EXPECT_FALSE(profile->isAutoProfile());
    EXPECT_EQ(profile->classType(), Wrap::kClassDisplay);

    platform::Dictionary written;
    auto back = roundTrip(*profile, &written);
    EXPECT_EQ(written.at("ScannerProfileDescription"), platform::Value("Studio Display"));
    EXPECT_EQ(written.at("ScannerProfilePath"), platform::Value(file.string()));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(profile.get()));
    EXPECT_EQ(back->hash(), profile->hash());
    EXPECT_EQ(back->description(), "Studio Display");

    std::filesystem::remove(file);
    auto gone = roundTrip(*profile);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->isAutoProfile());
}

TEST(ColorSyncProfileWrap, URLEntryIsReadWhenThePathIsMissing) {
    testsupport::TempHome home;
    const auto file = home.path() / "with space" / "p.icc";
    icctest::writeFile(file, icctest::rgbProfile("Via URL"));
    std::string url = "file://" + file.string();
    url.replace(url.find(' '), 1, "%20");
    auto profile = Wrap::createFromPList(
        {{"Class_of_serialized_Object", "ColorSyncProfileWrap"}, {"ScannerProfileURL", url}});
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->description(), "Via URL");
}

TEST(ColorSyncProfileWrap, BuiltInProfilesSerialiseByDescriptionAndReadBackOnlyWhenListed) {
    testsupport::TempHome home;
    auto& manager = ProfileManager::sharedManager();
    manager.buildProfilesArray();

    platform::Dictionary written;
    auto scanner = roundTrip(*manager.getTarnwell4kProfile(), &written);
    EXPECT_EQ(written.size(), 2u);
    EXPECT_EQ(written.at("ScannerProfileDescription"), platform::Value("Kodachrome, 4 Series scanner"));
    EXPECT_EQ(scanner, manager.getTarnwell4kProfile());

    EXPECT_EQ(roundTrip(*manager.getProPhotoGamma1Profile()), nullptr);

    auto automatic = manager.findMatchingProfile("automatic");
    ASSERT_TRUE(automatic);
    EXPECT_TRUE(automatic->isAutoProfile());
}

TEST(ColorSyncProfileWrap, EqualityNeedsFilesOnBothSides) {
    auto a = Wrap::createWithLinearRGB(), b = Wrap::createWithLinearRGB();
    EXPECT_FALSE(a->isEqual(a.get()));
    EXPECT_FALSE(a->isEqual(b.get()));
    EXPECT_FALSE(a->isEqual(nullptr));
    EXPECT_EQ(a->hash(), b->hash());
}

TEST(ColorSyncProfileWrap, ColourSpaceCarriesTheProfileBytes) {
    auto profile = Wrap::createWithLinearRGB();
    auto space = profile->cgColorSpace();
    ASSERT_TRUE(space);
    EXPECT_EQ(space->kind(), platform::ColorSpace::Kind::ICC);
    EXPECT_EQ(space->iccData(), *profile->csRef());
    EXPECT_EQ(space->name(), "Linear RGB Profile");
    EXPECT_EQ(profile->cgColorSpace(), space);
}

TEST(ColorSyncProfileWrap, LabProfileRecordsItsOwnSpace) {
    auto lab = Wrap::profileDefaultLAB();
    ASSERT_TRUE(lab);
    EXPECT_EQ(lab->spaceType(), fourCharCode("Lab "));
    // Not an RGB profile, so it cannot stand at either end of a buffer conversion.
    EXPECT_FALSE(
        ColorMatchTransform::create(*lab, *Wrap::createWithSRGB(), ColorMatchTransform::Depth::Float32));
}

TEST(ColorSyncProfileWrap, DefaultProfilesComeFromTheUserDefaults) {
    testsupport::TempHome home;
    EXPECT_FALSE(Wrap::profileDefaultRGB());
    const auto file = home.path() / "default.icc";
    icctest::writeFile(file, icctest::rgbProfile("Default RGB"));
    platform::UserDefaults::standard().setObject(file.string(), "DefaultRGBProfile");
    auto profile = Wrap::profileDefaultRGB();
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->description(), "Default RGB");
    EXPECT_FALSE(Wrap::profileDefaultGray());
}

std::vector<uint8_t> withBigEndian(std::vector<uint8_t> bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = uint8_t(value >> (24 - 8 * i));
    return bytes;
}

TEST(ColorSyncProfileWrap, DamagedBytesAreRefusedOrHarmless) {
    const auto good = icctest::rgbProfile("Good");
    std::vector<uint8_t> noMagic = good;
    std::memcpy(noMagic.data() + 36, "xxxx", 4);
    std::vector<uint8_t> garbage(4096);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i * 131 + 7);
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"empty", {}},
        {"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 100)},
        {"no signature", noMagic},
        {"garbage", garbage},
        {"truncated tags", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 3)},
        {"huge tag count", withBigEndian(good, 128, 0xFFFFFFFF)},
        {"tag offset past the end", withBigEndian(good, 132 + 4, 0x7FFFFFF0)},
        {"tag size past the end", withBigEndian(good, 132 + 8, 0x7FFFFFF0)},
        {"size field larger than the data", withBigEndian(good, 0, 0x7FFFFFF0)},
    };
    auto srgb = Wrap::createWithSRGB();
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        auto profile = Wrap::createWithBuffer(bytes.data(), uint32_t(bytes.size()));
        if (!profile) continue;
        // Accepted at the header: using it must fail cleanly, never read out of bounds.
        (void)profile->description();
        auto transform = ColorMatchTransform::create(*profile, *srgb, ColorMatchTransform::Depth::Float32);
        if (transform) {
            float pixel[4] = {0.5f, 0.5f, 0.5f, 1.0f};
            transform->convert(reinterpret_cast<uint8_t*>(pixel), 1, 1, sizeof pixel);
        }
    }
    EXPECT_FALSE(Wrap::createWithBuffer(nullptr, 10));
    EXPECT_FALSE(Wrap::createWithBuffer(good.data(), 0));
}

TEST(ColorSyncProfileWrap, PathsThatAreNotProfilesGiveNone) {
    testsupport::TempHome home;
    icctest::writeFile(home.path() / "notes.txt", std::vector<uint8_t>(300, 'x'));
    EXPECT_FALSE(Wrap::createWithCFPath(""));
    EXPECT_FALSE(Wrap::createWithCFPath(home.path()));
    EXPECT_FALSE(Wrap::createWithCFPath(home.path() / "missing.icc"));
    EXPECT_FALSE(Wrap::createWithCFPath(home.path() / "notes.txt"));
}

} // namespace
