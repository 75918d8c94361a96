// Converting buffers between profiles, checked against colours computed from the published
// matrices rather than from the profiles under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "color/ColorMatchTransform.h"
#include "color/ProfileManager.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"
#include "tests/color/IccTestProfiles.h"

namespace {

using Mat = std::array<std::array<double, 3>, 3>;
using Vec = std::array<double, 3>;

Vec mul(const Mat& m, const Vec& v) {
    Vec out{};
    for (int r = 0; r < 3; ++r)
        out[r] = m[r][0] * v[0] + m[r][1] * v[1] + m[r][2] * v[2];
    return out;
}

// IEC 61966-2-1 sRGB to XYZ (D65); Bradford D65 to D50 (Lindbloom); XYZ (D50) to ROMM RGB
// (ISO 22028-2).
constexpr Mat kSRGBToXYZ{{{0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}}};
constexpr Mat kBradfordD65ToD50{{{1.0478112, 0.0228866, -0.0501270},
                                 {0.0295424, 0.9904844, -0.0170491},
                                 {-0.0092345, 0.0150436, 0.7521316}}};
constexpr Mat kXYZToROMM{{{1.3460, -0.2556, -0.0511}, {-0.5446, 1.5082, 0.0205}, {0.0, 0.0, 1.2123}}};

double srgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

Vec expectedLinearProPhoto(const Vec& srgb) {
    Vec linear{srgbDecode(srgb[0]), srgbDecode(srgb[1]), srgbDecode(srgb[2])};
    return mul(kXYZToROMM, mul(kBradfordD65ToD50, mul(kSRGBToXYZ, linear)));
}

const std::vector<Vec> kColours = {{1, 1, 1}, {1, 0, 0},       {0, 1, 0},
                                   {0, 0, 1}, {0.5, 0.5, 0.5}, {0.8, 0.4, 0.1}};

std::shared_ptr<ImageBufferF32> floatBuffer(const std::vector<Vec>& colours) {
    auto buffer = ImageBufferF32::create(uint16_t(colours.size()), 2);
    for (size_t row = 0; row < 2; ++row)
        for (size_t i = 0; i < colours.size(); ++i) {
            float* p = buffer->bufferFloatForRow(row, i);
            p[0] = float(colours[i][0]), p[1] = float(colours[i][1]), p[2] = float(colours[i][2]);
            p[3] = 0.25f + 0.5f * float(row);
        }
    return buffer;
}

TEST(ColorMatchTransform, SRGBToLinearProPhotoMatchesThePublishedMatrices) {
    auto& manager = ProfileManager::sharedManager();
    auto srgb = manager.getSRGBProfile(), proPhoto = manager.getProPhotoGamma1Profile();
    auto buffer = floatBuffer(kColours);
    ASSERT_TRUE(ColorMatchTransform::convertBuffer(*buffer, srgb, proPhoto));
    EXPECT_EQ(buffer->bufferProfile(), proPhoto);
    for (size_t row = 0; row < 2; ++row)
        for (size_t i = 0; i < kColours.size(); ++i) {
            const Vec expected = expectedLinearProPhoto(kColours[i]);
            const float* p = buffer->bufferFloatForRow(row, i);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(p[c], expected[c], 3e-3) << "colour " << i << " channel " << c;
            EXPECT_FLOAT_EQ(p[3], 0.25f + 0.5f * float(row)); // alpha is carried over
        }
}

TEST(ColorMatchTransform, SixteenBitBuffersRoundTripThroughAnotherSpace) {
    auto& manager = ProfileManager::sharedManager();
    auto proPhoto = manager.getProPhotoGamma1_D65Profile(), rec709 = manager.getRec709Gamma1Profile();
    auto buffer = ImageBufferU16::create(3, 1);
    const uint16_t original[12] = {30000, 20000, 10000, 65535, 1000, 40000,
                                   30000, 12345, 5000,  5000,  5000, 7};
    std::copy(std::begin(original), std::end(original), buffer->bufferU16ForRow(0));
    // Rec. 709 lies inside ProPhoto, so nothing clips on the way.
    ASSERT_TRUE(ColorMatchTransform::convertBuffer(*buffer, rec709, proPhoto));
    EXPECT_NE(buffer->bufferU16ForRow(0)[0], original[0]);
    EXPECT_EQ(buffer->bufferU16ForRow(0)[11], 7);
    ASSERT_TRUE(ColorMatchTransform::convertBuffer(*buffer, proPhoto, rec709));
    for (int i = 0; i < 12; ++i)
        EXPECT_NEAR(buffer->bufferU16ForRow(0)[i], original[i], 80) << i;
}

TEST(ColorMatchTransform, SameProfileLeavesPixelsAndSetsTheProfile) {
    auto proPhoto = ProfileManager::sharedManager().getProPhotoProfile();
    auto buffer = floatBuffer(kColours);
    auto copy = ImageBufferF32::createWithCopyFrom(*buffer);
    ASSERT_TRUE(ColorMatchTransform::convertBuffer(*buffer, proPhoto, proPhoto));
    EXPECT_EQ(buffer->bufferProfile(), proPhoto);
    for (size_t i = 0; i < kColours.size(); ++i)
        for (int c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(buffer->bufferFloatForRow(0, i)[c], copy->bufferFloatForRow(0, i)[c]);
}

TEST(ColorMatchTransform, CropConvertsOnlyItsOwnPixels) {
    auto& manager = ProfileManager::sharedManager();
    auto buffer = floatBuffer(kColours);
    auto crop = buffer->croppedImageFromBuffer({1, 0, 2, 1});
    ASSERT_TRUE(crop);
    ASSERT_TRUE(ColorMatchTransform::convertBuffer(*crop, manager.getSRGBProfile(),
                                                   manager.getProPhotoGamma1Profile()));
    for (int c = 0; c < 3; ++c) {
        EXPECT_FLOAT_EQ(buffer->bufferFloatForRow(0, 0)[c], float(kColours[0][c]));
        EXPECT_NEAR(buffer->bufferFloatForRow(0, 1)[c], expectedLinearProPhoto(kColours[1])[c], 3e-3);
        EXPECT_FLOAT_EQ(buffer->bufferFloatForRow(0, 3)[c], float(kColours[3][c]));
        EXPECT_FLOAT_EQ(buffer->bufferFloatForRow(1, 1)[c], float(kColours[1][c]));
    }
}

TEST(ColorMatchTransform, ProfilesWithoutRGBDataLeaveTheBufferAlone) {
    auto& manager = ProfileManager::sharedManager();
    auto srgb = manager.getSRGBProfile();
    const std::pair<const char*, std::shared_ptr<ColorSyncProfileWrap>> sources[] = {
        {"automatic", ColorSyncProfileWrap::createAsAutoProfile()},
        {"Lab", ColorSyncProfileWrap::createWithLAB()},
        {"none", nullptr}};
    for (const auto& [what, source] : sources) {
        SCOPED_TRACE(what);
        auto buffer = floatBuffer(kColours);
        buffer->setBufferProfile(source);
        EXPECT_FALSE(ColorMatchTransform::convertBuffer(*buffer, source, srgb));
        EXPECT_EQ(buffer->bufferProfile(), source);
        EXPECT_FLOAT_EQ(buffer->bufferFloatForRow(0, 1)[0], 1.0f);
    }
    // An input-only scanner profile cannot be converted into.
    auto buffer = floatBuffer(kColours);
    EXPECT_FALSE(ColorMatchTransform::convertBuffer(*buffer, srgb, manager.getTarnwell2eProfile()));
}

} // namespace

namespace {

TEST(ColorMatchTransform, CachedTransformsAreSharedByProfileBytes) {
    auto& manager = ProfileManager::sharedManager();
    auto working = manager.getProPhotoGamma1_D65Profile(), srgb = manager.getSRGBProfile();
    using Depth = ColorMatchTransform::Depth;
    auto first = ColorMatchTransform::cached(*working, *srgb, Depth::Float32);
    ASSERT_TRUE(first);
    // Another object with the same bytes finds the same transform.
    auto bytes = srgb->csRef();
    auto sameBytes = ColorSyncProfileWrap::createWithBuffer(bytes->data(), uint32_t(bytes->size()));
    EXPECT_EQ(ColorMatchTransform::cached(*working, *sameBytes, Depth::Float32), first);
    EXPECT_NE(ColorMatchTransform::cached(*working, *srgb, Depth::UInt16), first);
    EXPECT_NE(ColorMatchTransform::cached(*srgb, *working, Depth::Float32), first);
    EXPECT_FALSE(ColorMatchTransform::cached(*ColorSyncProfileWrap::createWithLAB(), *srgb, Depth::Float32));
}

} // namespace

namespace {

// Every grey level of the working space, at both depths: the rendered image is monochrome,
// and its exports and display tiles must stay exactly so in every output space.
TEST(ColorMatchTransform, GreysStayExactlyGreyInEveryOutputSpace) {
    auto& manager = ProfileManager::sharedManager();
    auto working = manager.getProPhotoGamma1_D65Profile();
    const std::vector<uint8_t> lutBytes = icctest::matrixShaperWithLut();
    const std::pair<const char*, std::shared_ptr<ColorSyncProfileWrap>> outputs[] = {
        {"sRGB", manager.getSRGBProfile()},
        {"linear ProPhoto", manager.getProPhotoGamma1Profile()},
        {"linear Rec. 709", manager.getRec709Gamma1Profile()},
        {"ProPhoto 1.8", manager.getProPhotoProfile()},
        {"converted by Little CMS",
         ColorSyncProfileWrap::createWithBuffer(lutBytes.data(), uint32_t(lutBytes.size()))},
    };
    for (const auto& [name, output] : outputs) {
        SCOPED_TRACE(name);
        for (auto depth : {ColorMatchTransform::Depth::UInt16, ColorMatchTransform::Depth::Float32}) {
            const bool isFloat = depth == ColorMatchTransform::Depth::Float32;
            auto transform = ColorMatchTransform::create(*working, *output, depth);
            ASSERT_TRUE(transform);
            const size_t levels = 65536 + (isFloat ? 4 : 0);
            std::vector<uint16_t> words(levels * 4);
            std::vector<float> floats(levels * 4);
            for (size_t i = 0; i < levels; ++i) {
                const float f = i < 65536 ? float(i) / 65535.0f : 1.0f + float(i - 65535) * 0.75f;
                for (int c = 0; c < 3; ++c)
                    words[i * 4 + c] = uint16_t(std::min<size_t>(i, 65535)), floats[i * 4 + c] = f;
                words[i * 4 + 3] = 65535, floats[i * 4 + 3] = 1.0f;
            }
            uint8_t* first = isFloat ? reinterpret_cast<uint8_t*>(floats.data())
                                     : reinterpret_cast<uint8_t*>(words.data());
            transform->convert(first, levels, 1, levels * 4 * (isFloat ? 4 : 2));
            size_t off = 0;
            double worst = 0;
            for (size_t i = 0; i < levels; ++i) {
                const double r = isFloat ? floats[i * 4] : words[i * 4],
                             g = isFloat ? floats[i * 4 + 1] : words[i * 4 + 1],
                             b = isFloat ? floats[i * 4 + 2] : words[i * 4 + 2];
                if (r != g || g != b) ++off;
                worst = std::max({worst, std::fabs(r - g), std::fabs(g - b)});
            }
            EXPECT_EQ(off, 0u) << (isFloat ? "float" : "16-bit") << " worst " << worst << " white "
                               << (isFloat ? floats[65535 * 4 + 1] : words[65535 * 4 + 1]) << " shortcut "
                               << transform->usesMatrixShaper();
        }
    }
}

} // namespace
