// The Photo CD wrapper's images: parse failures as errors, the browser's thumbnail, the
// colour-matched full image, the level the preference picks and the 64Base status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "color/ProfileManager.h"
#include "engine/core/DemosaicedRenderings.h"
#include "engine/core/ImageBufferU16.h"
#include "tests/photocd/wrapper/PhotoCdImageWrapperFixture.h"
#include "tests/support/Samples.h"

using namespace pcdwrap;

// No engine stage may take its four-sample rows for demosaiced RGB.
static_assert(!std::is_base_of_v<DemosaicedRenderings, PhotoCdImageWrapper>);

namespace {

// RGBA rows of a real decode of the pack, as the wrapper should hand them on unmatched.
std::vector<uint16_t> directThumbnail(const std::filesystem::path& pack, int& width, int& height) {
    pcdDecode decoder;
    decoder.setInterpolation(1);
    decoder.setColorMode(0);
    if (!decoder.parseFile(pack.string(), "", 0) || !decoder.buildHigherLevels()) return {};
    width = decoder.width();
    height = decoder.height();
    std::vector<uint16_t> rgba(size_t(width) * height * 4);
    uint16_t* p = rgba.data();
    if (!decoder.read16BitImage(p, p + 1, p + 2, p + 3, 4)) return {};
    return rgba;
}

std::vector<uint16_t> rowsOf(const ImageBufferU16& image) {
    std::vector<uint16_t> out;
    for (size_t row = 0; row < image.imageHeight(); ++row) {
        const uint16_t* p = image.bufferU16ForRow(row);
        out.insert(out.end(), p, p + size_t(image.imageWidth()) * 4);
    }
    return out;
}

bool sameSpace(const std::shared_ptr<const platform::ColorSpace>& space,
               const ProfileManager::Profile& profile) {
    return space && space == profile->cgColorSpace();
}

} // namespace

TEST_F(PhotoCdImageWrapperTest, RealHeaderOnlyFileFailsCleanlyForTheBrowserFallback) {
    LV_REQUIRE_SAMPLE("PhotoCD.pcd");
    PhotoCdImageWrapper wrapper(testsupport::samplePath("PhotoCD.pcd"), "uuid", true);
    EXPECT_FALSE(wrapper.preProcess());
    ASSERT_TRUE(wrapper.error());
    EXPECT_EQ(wrapper.error()->domain, "RawOpenErrorDomain");
    EXPECT_EQ(wrapper.error()->code, -15);
    EXPECT_EQ(wrapper.error()->failureReason, "PCD file is too small to be valid");
    EXPECT_EQ(wrapper.getImageRep(nullptr), nullptr);
    EXPECT_EQ(wrapper.getParameters()->at("status"), platform::Value("PCD file is too small to be valid"));
    EXPECT_FALSE(wrapper.metaData());
}

TEST_F(PhotoCdImageWrapperTest, EveryParseFailureIsAnError) {
    const auto missing = disc() / "IMAGES" / "NONE.PCD";
    const auto notPack = testsupport::writeFile(disc(), "TEXT.PCD", std::vector<uint8_t>(8192, 'x'));
    struct Case {
        std::filesystem::path file;
        bool silent;
        const char* text;
    } cases[] = {
        {missing, false, "Could not open PCD file - may be a file permissions problem"},
        {notPack, false, "That is not a valid PCD file"},
        {writePack(patternedPack()), true, "Could not parse Photo CD file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Script script;
        script.parseFailsSilently = c.silent;
        ScriptedWrapper wrapper(c.file, false, script);
        EXPECT_FALSE(wrapper.preProcess());
        EXPECT_FALSE(wrapper.preProcess()); // the first answer stands
        EXPECT_EQ(script.parses, 1);
        ASSERT_TRUE(wrapper.error());
        EXPECT_EQ(wrapper.error()->code, -15);
        EXPECT_EQ(wrapper.error()->failureReason, c.text);
        EXPECT_EQ(wrapper.getParameters()->at("status"), platform::Value(c.text));
        EXPECT_EQ(wrapper.masterImageBytes(), nullptr);
        EXPECT_EQ(wrapper.getImageTable(nullptr), nullptr);
        EXPECT_EQ(script.reads, 0);
    }
}

TEST_F(PhotoCdImageWrapperTest, ThumbnailIsTheSmallestLevelOpaqueAndUnmatched) {
    defaults().setInteger(9, "ResolutionSelect"); // thumbnails ignore it
    for (int rotation : {0, 1}) {
        SCOPED_TRACE(rotation);
        const auto pack = writePack(patternedPack(rotation));
        int width = 0, height = 0;
        const std::vector<uint16_t> expected = directThumbnail(pack, width, height);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(width, rotation ? 128 : 192);

        PhotoCdImageWrapper wrapper(pack, "uuid", true);
        auto rep = wrapper.getImageRep(nullptr);
        ASSERT_TRUE(rep);
        EXPECT_EQ(wrapper.ipeStatus(), 0u);
        EXPECT_EQ(rep->width(), size_t(width));
        EXPECT_EQ(rep->height(), size_t(height));
        EXPECT_EQ(rep->bitsPerComponent(), 16u);
        EXPECT_EQ(rep->bitsPerPixel(), 64u);
        EXPECT_EQ(rep->bytesPerRow(), size_t(width) * 8);
        EXPECT_TRUE(sameSpace(rep->colorSpace(), ProfileManager::sharedManager().getSRGBProfile()));
        std::vector<uint16_t> got(expected.size());
        ASSERT_EQ(rep->dataLength(), got.size() * 2);
        std::memcpy(got.data(), rep->data(), rep->dataLength());
        EXPECT_EQ(got, expected);
        EXPECT_EQ(got[3], 65535);
        EXPECT_EQ(got.back(), 65535);
        // The browser's image is a copy: the wrapper's buffer keeps the scanner profile.
        EXPECT_NE(static_cast<const void*>(rep->data()), wrapper.theImage()->bufferU16ForRow(0));
        EXPECT_EQ(wrapper.theImage()->bufferProfile(),
                  ProfileManager::sharedManager().getTarnwellXgProfile());
        EXPECT_EQ(wrapper.masterImageBytes(), nullptr);
    }
}

TEST_F(PhotoCdImageWrapperTest, ThumbnailTaggedWithTheGivenProfile) {
    PhotoCdImageWrapper wrapper(writePack(patternedPack()), "uuid", true);
    auto proPhoto = ProfileManager::sharedManager().getProPhotoProfile();
    auto rep = wrapper.getImageRep(proPhoto);
    ASSERT_TRUE(rep);
    EXPECT_TRUE(sameSpace(rep->colorSpace(), proPhoto));
}

TEST_F(PhotoCdImageWrapperTest, FullBaseImageIsMatchedIntoLinearProPhotoWithClearAlpha) {
    defaults().setInteger(2, "ResolutionSelect");
    testsupport::PhotoCdBuilder pack;
    pack.flatLevels(120); // neutral chroma
    PhotoCdImageWrapper wrapper(writePack(pack), "uuid", false);
    auto bytes = wrapper.masterImageBytes();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(wrapper.imageWidth(), 768);
    EXPECT_EQ(wrapper.imageHeight(), 512);
    auto image = wrapper.theImage();
    EXPECT_EQ(bytes.get(), image->bufferU16ForRow(0));
    EXPECT_EQ(image->bufferProfile(), wrapper.bufferProfile());
    EXPECT_EQ(wrapper.bufferProfile(), ProfileManager::sharedManager().getProPhotoGamma1_D65Profile());
    EXPECT_EQ(wrapper.genCIImage(nullptr), nullptr);

    for (size_t i : {size_t(0), size_t(768 * 256 + 384), size_t(768 * 512 - 1)}) {
        const uint16_t* p = bytes.get() + 4 * i;
        const int high = std::max({p[0], p[1], p[2]}), low = std::min({p[0], p[1], p[2]});
        EXPECT_GT(low, 1000) << "pixel " << i;
        EXPECT_LE(high - low, high / 100) << "pixel " << i << ": " << p[0] << " " << p[1] << " " << p[2];
        EXPECT_EQ(p[3], 0) << "pixel " << i;
    }
}

TEST_F(PhotoCdImageWrapperTest, ResolutionPreferencePicksTheLevelAndChecksTheExtension) {
    const auto pack = writePack(patternedPack());
    const bool root = geteuid() == 0;
    struct Case {
        const char* what;
        int64_t select;
        int index; // 0 none, 1 readable, 2 unreadable
        int width;
        unsigned ipe;
    } cases[] = {
        {"below 1 is the smallest", -3, 0, 192, 0},
        {"Base/4", 1, 0, 384, 0},
        {"Base", 2, 0, 768, 0},
        {"64Base without extension", 9, 0, 768, 1},
        {"64Base with a readable index", 9, 1, 768, 3},
        {"64Base with an unreadable index", 9, 2, 768, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.index == 2 && root) continue; // root reads every file
        std::error_code ec;
        std::filesystem::remove_all(disc() / "IPE", ec);
        if (c.index) {
            testsupport::PcdExtensionLayer layer;
            layer.runs = {{1, 0}};
            const auto index = testsupport::writeFile(
                ipeIndex().parent_path(), "INFO.IC",
                testsupport::pcdExtensionIndex({layer}, {"IMAGE64.IC"}, {testsupport::defaultPcdCodes()}));
            if (c.index == 2) std::filesystem::permissions(index, std::filesystem::perms::none);
        }
        defaults().setInteger(c.select, "ResolutionSelect");
        PhotoCdImageWrapper wrapper(pack, "uuid", false);
        ASSERT_TRUE(wrapper.preProcess());
        EXPECT_EQ(wrapper.imageWidth(), c.width);
        EXPECT_EQ(wrapper.ipeStatus(), c.ipe);
        EXPECT_EQ(wrapper.getParameters()->at("ipeStatus"), platform::Value(int64_t(c.ipe)));
    }
}

TEST_F(PhotoCdImageWrapperTest, ExtensionFoundOnADiscMountedWithLowerCaseNames) {
    defaults().setInteger(5, "ResolutionSelect");
    const auto pack = testsupport::writeFile(disc() / "images", "img0001.pcd", patternedPack().data());
    testsupport::writeFile(disc() / "ipe" / "img0001" / "64base", "info.ic", std::vector<uint8_t>{1, 2, 3});
    PhotoCdImageWrapper wrapper(pack, "uuid", false);
    ASSERT_TRUE(wrapper.preProcess());
    EXPECT_EQ(wrapper.ipeStatus(), 3u);
}

TEST_F(PhotoCdImageWrapperTest, FallbackToALowerLevelIsNoError) {
    defaults().setInteger(3, "ResolutionSelect");
    auto pack = patternedPack();
    pack.attributes(0, 1); // claims 4Base, whose data is missing
    PhotoCdImageWrapper wrapper(writePack(pack), "uuid", false);
    ASSERT_TRUE(wrapper.preProcess());
    EXPECT_EQ(wrapper.imageWidth(), 768);
    EXPECT_FALSE(wrapper.error());
    EXPECT_EQ(wrapper.getParameters()->at("status"), platform::Value("Ok"));
    ASSERT_TRUE(wrapper.getErrorString());
    EXPECT_NE(wrapper.getErrorString()->find("4Base"), std::string::npos) << *wrapper.getErrorString();
    EXPECT_TRUE(wrapper.masterImageBytes());
}

TEST_F(PhotoCdImageWrapperTest, FailedLevelBuildStopsBeforeAnyRead) {
    defaults().setInteger(2, "ResolutionSelect");
    Script script;
    script.buildFailure = "Memory allocation error";
    ScriptedWrapper wrapper(writePack(patternedPack()), false, script);
    EXPECT_EQ(wrapper.masterImageBytes(), nullptr);
    EXPECT_EQ(wrapper.masterImageBytes(), nullptr);
    EXPECT_EQ(wrapper.getImageTable(nullptr), nullptr);
    EXPECT_EQ(script.builds, 1);
    EXPECT_EQ(script.reads, 0);
    EXPECT_EQ(wrapper.theImage(), nullptr);
    ASSERT_TRUE(wrapper.error());
    EXPECT_EQ(wrapper.error()->code, -15);
    EXPECT_EQ(wrapper.error()->failureReason, "Memory allocation error");
    EXPECT_EQ(wrapper.getParameters()->at("status"), platform::Value("Memory allocation error"));
}

TEST_F(PhotoCdImageWrapperTest, NewScannerProfileConvertsAgainWithoutParsingAgain) {
    Script script;
    ScriptedWrapper wrapper(writePack(patternedPack()), true, script);
    ProfileManager& profiles = ProfileManager::sharedManager();
    ASSERT_TRUE(wrapper.getImageRep(nullptr));
    auto first = wrapper.theImage();
    ASSERT_TRUE(wrapper.getImageRep(nullptr));
    EXPECT_EQ(wrapper.theImage(), first); // nothing changed: no new conversion
    EXPECT_EQ(script.reads, 1);

    wrapper.setScannerProfile(profiles.getTarnwell2eProfile());
    EXPECT_EQ(wrapper.theImage(), nullptr);
    ASSERT_TRUE(wrapper.getImageRep(nullptr));
    EXPECT_EQ(wrapper.theImage()->bufferProfile(), profiles.getTarnwell2eProfile());
    EXPECT_EQ(script.reads, 2);
    EXPECT_EQ(script.parses, 1);
    EXPECT_EQ(script.builds, 1);
    EXPECT_EQ(first->imageWidth(), 192); // the old image stays whole for whoever holds it
}

TEST_F(PhotoCdImageWrapperTest, ImageTableIsFloatProPhoto) {
    defaults().setInteger(2, "ResolutionSelect");
    testsupport::PhotoCdBuilder pack;
    pack.flatLevels(120);
    PhotoCdImageWrapper wrapper(writePack(pack), "uuid", false);
    ProfileManager& profiles = ProfileManager::sharedManager();
    auto held = wrapper.masterImageBytes();
    ASSERT_TRUE(held);
    const std::vector<uint16_t> matched = rowsOf(*wrapper.theImage());
    for (const ProfileManager::Profile& given : {ProfileManager::Profile(), profiles.getSRGBProfile()}) {
        SCOPED_TRACE(given ? "sRGB" : "no profile");
        auto table = wrapper.getImageTable(given);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->width(), 768u);
        EXPECT_EQ(table->height(), 512u);
        EXPECT_EQ(table->bitsPerComponent(), 32u);
        EXPECT_TRUE(table->bitmapInfo() & platform::bitmap_info::kFloatComponents);
        EXPECT_TRUE(sameSpace(table->colorSpace(), profiles.getProPhotoProfile()));
        const float* p = reinterpret_cast<const float*>(table->data() + 100 * table->bytesPerRow()) + 4 * 300;
        EXPECT_GT(p[1], 0.05f);
        EXPECT_NEAR(p[0], p[1], 0.01f);
        EXPECT_NEAR(p[2], p[1], 0.01f);
        EXPECT_FLOAT_EQ(p[3], 1.0f);
    }
    // The table left the decoder in another colour mode: the image is converted again, from
    // the scanner profile (not matched twice), into a new buffer beside the one still held.
    auto again = wrapper.masterImageBytes();
    ASSERT_TRUE(again);
    EXPECT_NE(again, held);
    EXPECT_EQ(wrapper.theImage()->bufferProfile(), wrapper.bufferProfile());
    EXPECT_EQ(rowsOf(*wrapper.theImage()), matched);
    EXPECT_EQ(std::vector<uint16_t>(held.get(), held.get() + matched.size()), matched);
}
