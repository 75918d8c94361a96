#include <gtest/gtest.h>

#include <QColorSpace>
#include <lcms2.h>

#include "color/BuiltinProfiles.h"
#include "display/DisplayImage.h"

namespace {

namespace bi = platform::bitmap_info;

std::shared_ptr<platform::Bitmap> onePixel(std::array<uint16_t, 4> rgba, uint32_t alpha,
                                           std::shared_ptr<const platform::ColorSpace> space) {
    platform::BitmapLayout layout{1, 1, 16, 64, 8, bi::kByteOrder16Little | alpha};
    auto bitmap = platform::Bitmap::createOwned(layout, std::move(space));
    std::copy(rgba.begin(), rgba.end(), reinterpret_cast<uint16_t*>(bitmap->mutableData()));
    return bitmap;
}

TEST(DisplayImage, MatchesTileColoursToSRGB) {
    const auto proPhotoLinear =
        platform::ColorSpace::fromICC(BuiltinProfiles::proPhotoGamma1D65(), "ProPhoto");
    struct Case {
        const char* name;
        std::array<uint16_t, 4> in;
        uint32_t alpha;
        std::shared_ptr<const platform::ColorSpace> space;
        QColor out;
    };
    const Case cases[] = {
        {"sRGB",
         {10000, 9000, 21000, 65535},
         bi::kAlphaPremultipliedLast,
         platform::ColorSpace::sRGB(),
         QColor(39, 35, 82)},
        {"sRGB, no alpha",
         {65535, 0, 32768, 0},
         bi::kAlphaNoneSkipLast,
         platform::ColorSpace::sRGB(),
         QColor(255, 0, 128)},
        // 18 % grey in linear light is sRGB 118.
        {"linear ProPhoto",
         {11796, 11796, 11796, 65535},
         bi::kAlphaPremultipliedLast,
         proPhotoLinear,
         QColor(118, 118, 118)},
        {"generic linear",
         {11796, 11796, 11796, 65535},
         bi::kAlphaLast,
         platform::ColorSpace::genericLinearRGB(),
         QColor(118, 118, 118)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = displayImage(*onePixel(c.in, c.alpha, c.space));
        ASSERT_FALSE(image.isNull());
        const QColor got = image.pixelColor(0, 0);
        EXPECT_NEAR(got.red(), c.out.red(), 1);
        EXPECT_NEAR(got.green(), c.out.green(), 1);
        EXPECT_NEAR(got.blue(), c.out.blue(), 1);
        EXPECT_EQ(got.alpha(), 255);
    }
}

// An sRGB-to-Lab table as a device link: a profile Qt does not read, but Little CMS does.
std::vector<uint8_t> tableProfile() {
    cmsHPROFILE sRGB = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(sRGB, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
    cmsHPROFILE link = cmsTransform2DeviceLink(toLab, 4.3, cmsFLAGS_FORCE_CLUT);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(link, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(link, bytes.data(), &size);
    for (void* p : {sRGB, lab, link})
        cmsCloseProfile(p);
    cmsDeleteTransform(toLab);
    return bytes;
}

TEST(DisplayImage, ProfilesQtCannotReadAreMatchedByLittleCms) {
    const auto bytes = tableProfile();
    ASSERT_FALSE(QColorSpace::fromIccProfile(
                     QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())))
                     .isValid());
    const auto space = platform::ColorSpace::fromICC(bytes, "sRGB table");
    const QImage image = displayImage(*onePixel({10000, 40000, 60000, 65535}, bi::kAlphaLast, space));
    ASSERT_FALSE(image.isNull());
    const QColor got = image.pixelColor(0, 0);
    EXPECT_NEAR(got.red(), 10000 / 257.0, 2);
    EXPECT_NEAR(got.green(), 40000 / 257.0, 2);
    EXPECT_NEAR(got.blue(), 60000 / 257.0, 2);
}

TEST(DisplayImage, RefusesLayoutsWithoutAColourMatchingForm) {
    platform::BitmapLayout alphaFirst{1, 1, 16, 64, 8, bi::kByteOrder16Little | bi::kAlphaPremultipliedFirst};
    auto bitmap = platform::Bitmap::createOwned(alphaFirst, platform::ColorSpace::sRGB());
    EXPECT_TRUE(displayImage(*bitmap).isNull());
    EXPECT_TRUE(bitmapView(*bitmap).isNull());
}

} // namespace

// Every grey level of the engine's tiles, in the spaces a tile comes in, reaches the screen
// exactly grey: both ways of matching (Qt's tables, Little CMS).
TEST(DisplayImage, GreyTilesStayGreyOnTheScreen) {
    const std::pair<const char*, std::shared_ptr<const platform::ColorSpace>> spaces[] = {
        {"linear ProPhoto D65",
         platform::ColorSpace::fromICC(BuiltinProfiles::proPhotoGamma1D65(), "ProPhoto")},
        {"linear ProPhoto", platform::ColorSpace::fromICC(BuiltinProfiles::proPhotoGamma1(), "ProPhoto D50")},
        {"generic linear", platform::ColorSpace::genericLinearRGB()},
        {"a table Qt cannot read", platform::ColorSpace::fromICC(tableProfile(), "sRGB table")},
    };
    for (const auto& [name, space] : spaces) {
        SCOPED_TRACE(name);
        platform::BitmapLayout layout{256, 256,     16,
                                      64,  256 * 8, bi::kByteOrder16Little | bi::kAlphaPremultipliedLast};
        auto bitmap = platform::Bitmap::createOwned(layout, space);
        auto* samples = reinterpret_cast<uint16_t*>(bitmap->mutableData());
        for (uint32_t i = 0; i < 65536; ++i)
            samples[4 * i] = samples[4 * i + 1] = samples[4 * i + 2] = uint16_t(i),
                        samples[4 * i + 3] = 65535;
        const QImage image = displayImage(*bitmap);
        ASSERT_FALSE(image.isNull());
        int off = 0;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const QRgb p = image.pixel(x, y);
                off += qRed(p) != qGreen(p) || qBlue(p) != qGreen(p);
            }
        EXPECT_EQ(off, 0);
        EXPECT_EQ(qGreen(image.pixel(255, 255)), 255) << "white stays white";
    }
}
