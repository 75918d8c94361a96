// Image tables: layout, element access, conversion between profiles with Little CMS and
// the filter image made from a table.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "color/CIImageTable.h"
#include "color/PatchPixelIterator.h"
#include "color/PatchesTable.h"
#include "color/ProfileManager.h"
#include "tests/support/FilterImages.h"

namespace {

using Table = std::unique_ptr<CIImageTable>;

ProfileManager::Profile proPhoto() { return ProfileManager::sharedManager().getProPhotoProfile(); }

std::array<float, 3> valuesAt(const CIImageTable& table, uint64_t col, uint64_t row) {
    const float* p = table.getValues(col, row);
    return {p[0], p[1], p[2]};
}

double deltaE(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

struct Case {
    const char* name;
    std::function<void()> check;
};

TEST(CIImageTable, EdgeCasesOfTablesAndThePatchLayout) {
    const Case cases[] = {
        {"a 25 x 3 plain table without profile",
         [] {
             Table t = CIImageTable::createWithSizeAsTable(25, 3, nullptr);
             ASSERT_TRUE(t->isValid());
             EXPECT_EQ(uint32_t(t->table()->space), fourCharCode("RGB "));
             EXPECT_EQ(t->table()->pixelStep, 3);
             EXPECT_EQ(t->table()->rowStep, 75);
             EXPECT_FALSE(t->hasSpaceForAlpha());
             EXPECT_FALSE(t->isImage());
             EXPECT_EQ(t->getBuffers().a, nullptr);
             EXPECT_EQ(t->getBuffers().g, t->getBuffers().r + 1);
         }},
        {"an image with alpha gets alpha 1.0; writes outside are ignored",
         [] {
             Table t = CIImageTable::createWithSizeAsImage(3, 2, nullptr, true);
             t->setElement3(1, 2, {0.1f, 0.2f, 0.3f});
             const float* p = t->getValues(2, 1);
             EXPECT_EQ(p, t->table()->storage() + 1 * 12 + 2 * 4);
             EXPECT_EQ((std::array<float, 4>{p[0], p[1], p[2], p[3]}),
                       (std::array<float, 4>{0.1f, 0.2f, 0.3f, 1}));
             t->setElement3(2, 0, {9, 9, 9});
             t->setElement3(0, 3, {9, 9, 9});
             for (int i = 0; i < 24; ++i)
                 EXPECT_NE(t->table()->storage()[i], 9.0f) << i;
             EXPECT_EQ(t->getValues(3, 0), nullptr);
         }},
        {"converting an image table only relabels it",
         [] {
             Table t = CIImageTable::createWithSizeAsImage(2, 2, ColorSyncProfileWrap::createWithLAB(), true);
             t->setElement3(0, 0, {50, 10, -10});
             EXPECT_EQ(t->convertToColorSpace(proPhoto()), 0);
             EXPECT_EQ(t->colorSpace(), proPhoto());
             EXPECT_EQ(uint32_t(t->table()->space), fourCharCode("RGB "));
             EXPECT_EQ(valuesAt(*t, 0, 0), (std::array<float, 3>{50, 10, -10}));
         }},
        {"a 2 x 1 image table without alpha becomes RGBA with alpha 1.0",
         [] {
             Table t = CIImageTable::createWithSizeAsImage(2, 1, nullptr, false);
             t->setElement3(0, 0, {0.1f, 0.2f, 0.3f});
             t->setElement3(0, 1, {0.4f, 0.5f, 0.6f});
             auto image = t->genImage();
             ASSERT_TRUE(image);
             EXPECT_EQ(image->bitmap()->bytesPerRow(), 32u);
             EXPECT_EQ(image->extent(), (platform::Rect{0, 0, 2, 1}));
             EXPECT_EQ(testsupport::pixelOf(*image, 0, 0), (testsupport::Pixel{0.1f, 0.2f, 0.3f, 1}));
             EXPECT_EQ(testsupport::pixelOf(*image, 1, 0), (testsupport::Pixel{0.4f, 0.5f, 0.6f, 1}));
             EXPECT_EQ(t->table()->pixelStep, 4); // widened in place
         }},
        {"100 pixels with 6 patches: margins, patches of about 13.67 and gaps of 2",
         [] {
             auto it = PatchPixelIterator::create(100, 6);
             ASSERT_TRUE(it);
             std::string axis;
             do
                 axis += it->thisPatch() == 6 ? '-' : char('0' + it->thisPatch());
             while (it->nextPixel());
             EXPECT_EQ(axis, "----0000000000000--11111111111111--22222222222222--3333333333333--"
                             "44444444444444--55555555555555----");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.check();
    }
}

TEST(CIImageTable, SizesThatCannotBeHadGiveAnInvalidTable) {
    for (double side : {0.0, -3.0, 0.5, double(NAN), double(INFINITY), 1e12}) {
        Table t = CIImageTable::createWithSizeAsImage(side, 4, nullptr, true);
        EXPECT_FALSE(t->isValid()) << side;
        EXPECT_EQ(t->getSize(), (platform::Size{0, 0}));
        EXPECT_EQ(t->getValues(0, 0), nullptr);
        EXPECT_FALSE(t->genImage());
        t->setElement3(0, 0, {1, 2, 3}); // ignored
    }
    // width x height x 4 floats overflows 64 bits; a little less is more than memory holds.
    EXPECT_FALSE(CIImageTable::createWithSizeAsImage(4e9, 4e9, nullptr, true)->isValid());
    EXPECT_FALSE(CIImageTable::createWithSizeAsTable(2e9, 2e9, nullptr)->isValid());
    EXPECT_FALSE(CIImageTable().isValid());
}

TEST(CIImageTable, AFourthFloatGoesOnlyWhereAPixelHasRoom) {
    Table plain = CIImageTable::createWithSizeAsTable(2, 1, nullptr);
    plain->setElement4(0, 1, {1, 2, 3, 4}); // the last pixel: a fourth float would be past the block
    plain->setElement4(0, 0, {5, 6, 7, 8});
    EXPECT_EQ(valuesAt(*plain, 0, 0), (std::array<float, 3>{5, 6, 7}));
    EXPECT_EQ(valuesAt(*plain, 1, 0), (std::array<float, 3>{1, 2, 3}));

    Table image = CIImageTable::createWithSizeAsImage(1, 1, nullptr, true);
    image->setElement4(0, 0, {1, 2, 3, 0.5f});
    EXPECT_EQ(image->getBuffers().a[0], 0.5f);
    EXPECT_EQ(image->getBuffers().step, 4);
}

TEST(CIImageTable, CheckerLabToProPhotoAndBackWithinHalfADeltaE) {
    const auto& lab = PatchesTable::gretagLab();
    Table t = CIImageTable::createWithSizeAsTable(24, 1, ColorSyncProfileWrap::createWithLAB());
    for (uint64_t i = 0; i < 24; ++i)
        t->setElement3(0, i, lab[i]);
    ASSERT_EQ(t->convertToColorSpace(proPhoto()), 0);
    EXPECT_EQ(t->colorSpace(), proPhoto());
    for (uint64_t i = 18; i < 24; ++i) { // the neutral patches are nearly grey in RGB
        const auto rgb = valuesAt(*t, i, 0);
        EXPECT_NEAR(rgb[0], rgb[1], 0.02) << i;
        EXPECT_NEAR(rgb[2], rgb[1], 0.02) << i;
    }
    EXPECT_GT(valuesAt(*t, 18, 0)[1], 0.9f);  // white
    EXPECT_LT(valuesAt(*t, 23, 0)[1], 0.25f); // black
    const auto red = valuesAt(*t, 14, 0);
    EXPECT_GT(red[0], 2 * red[1]);

    ASSERT_EQ(t->convertToColorSpace(ColorSyncProfileWrap::createWithLAB()), 0);
    for (uint64_t i = 0; i < 24; ++i)
        EXPECT_LT(deltaE(valuesAt(*t, i, 0), lab[i]), 0.5) << "patch " << i;
}

TEST(CIImageTable, AFailedConversionLeavesTheTableAsItWas) {
    Table t = CIImageTable::createWithSizeAsTable(2, 1, proPhoto());
    t->setElement3(0, 1, {0.25f, 0.5f, 0.75f});
    const float* before = t->getValues(0, 0);
    EXPECT_EQ(t->convertToColorSpace(ColorSyncProfileWrap::createAsAutoProfile()),
              CIImageTable::kConversionFailed);
    EXPECT_EQ(t->convertToColorSpace(nullptr), CIImageTable::kConversionFailed);
    EXPECT_EQ(t->getValues(0, 0), before);
    EXPECT_EQ(t->colorSpace(), proPhoto());
    EXPECT_EQ(valuesAt(*t, 1, 0), (std::array<float, 3>{0.25f, 0.5f, 0.75f}));

    // Without a profile a table is only labelled.
    Table bare = CIImageTable::createWithSizeAsTable(2, 1, nullptr);
    EXPECT_EQ(bare->convertToColorSpace(proPhoto()), 0);
    EXPECT_EQ(bare->colorSpace(), proPhoto());
}

TEST(CIImageTable, AWidenedImageConvertsAndKeepsItsAlpha) {
    auto& manager = ProfileManager::sharedManager();
    Table t = CIImageTable::createWithSizeAsImage(2, 1, manager.getSRGBProfile(), false);
    t->setElement3(0, 0, {1, 1, 1});
    t->setElement3(0, 1, {0.5f, 0.2f, 0.1f});
    ASSERT_TRUE(t->genImage());
    t->getBuffers().a[0] = 0.25f;
    ASSERT_EQ(t->convertToColorSpace(manager.getProPhotoGamma1Profile()), 0);
    EXPECT_EQ(t->getBuffers().a[0], 0.25f);
    EXPECT_EQ(t->getBuffers().a[4], 1.0f);
    EXPECT_NEAR(t->getBuffers().r[0], 1.0f, 2e-3); // white stays white
    auto image = t->genImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->colorSpace(), manager.getProPhotoGamma1Profile()->cgColorSpace());
    // Only tables of an RGB-derived space with room for alpha become images.
    EXPECT_FALSE(CIImageTable::createWithSizeAsTable(2, 1, nullptr)->genImage());
    EXPECT_FALSE(
        CIImageTable::createWithSizeAsImage(2, 1, ColorSyncProfileWrap::createWithLAB(), true)->genImage());
}

} // namespace
