// The colour-checker chart: the grid of patches, its colours and their source.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "color/PatchPixelIterator.h"
#include "color/PatchesTable.h"
#include "color/ProfileManager.h"

namespace {

// The chart's colours converted on their own, one entry after the other.
std::array<float, 3> entryIn(const CIImageTable::Profile& profile, int entry) {
    auto one = CIImageTable::createWithSizeAsTable(1, 1, ColorSyncProfileWrap::createWithLAB());
    one->setElement3(0, 0, PatchesTable::gretagLab()[size_t(entry)]);
    EXPECT_EQ(one->convertToColorSpace(profile), 0);
    const float* p = one->getValues(0, 0);
    return {p[0], p[1], p[2]};
}

std::array<float, 3> pixel(PatchesTable& chart, uint64_t x, uint64_t y) {
    const float* p = chart.imageTable().getValues(x, y);
    EXPECT_EQ(p[3], 1.0f);
    return {p[0], p[1], p[2]};
}

void expectNear(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(a[c], b[c], 1e-5) << c;
}

TEST(PatchesTable, PaintsTheCheckerInTheBuiltInProPhotoWhenNoneIsGiven) {
    PatchesTable chart;
    EXPECT_EQ(chart.imageTable().getSize(), (platform::Size{480, 320}));
    EXPECT_EQ(chart.patchesRows(), 4);
    EXPECT_EQ(chart.patchesCols(), 6);
    ASSERT_EQ(chart.populateGretag(nullptr, 1.0f), 0);
    // No listed profile is described "ProPhoto" while external profiles are off.
    const auto proPhoto = ProfileManager::sharedManager().getProPhotoProfile();
    EXPECT_EQ(chart.imageTable().colorSpace(), proPhoto);

    // Patch (row, column) centres: 0.04 + c (w + 0.02) + w / 2 along each axis.
    const double wx = (0.92 - 0.1) / 6, wy = (0.92 - 0.06) / 4;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 6; ++col) {
            SCOPED_TRACE(testing::Message() << "patch " << row * 6 + col);
            const auto x = uint64_t(480 * (0.04 + col * (wx + 0.02) + wx / 2));
            const auto y = uint64_t(320 * (0.04 + row * (wy + 0.02) + wy / 2));
            expectNear(pixel(chart, x, y), entryIn(proPhoto, row * 6 + col));
        }
    const auto surround = entryIn(proPhoto, 24);
    for (auto [x, y] : {std::pair<uint64_t, uint64_t>{0, 0}, {479, 319}, {100, 10}, {10, 100}})
        expectNear(pixel(chart, x, y), surround);

    auto image = chart.genImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->extent(), (platform::Rect{0, 0, 480, 320}));
    EXPECT_EQ(image->colorSpace(), proPhoto->cgColorSpace());
}

TEST(PatchesTable, GridsWithoutPatchesAreRefusedAndLargeOnesShowTheSurround) {
    EXPECT_FALSE(PatchPixelIterator::create(100, 0));
    EXPECT_FALSE(PatchPixelIterator::create(100, -2));
    PatchesTable chart(60, 50);
    chart.setNumPatches(0, 6);
    chart.setNumPatches(4, -1);
    EXPECT_EQ(chart.patchesRows(), 4);
    EXPECT_EQ(chart.patchesCols(), 6);

    const auto srgb = ProfileManager::sharedManager().getSRGBProfile();
    chart.setNumPatches(5, 6); // 30 patches of which the chart has 24
    ASSERT_EQ(chart.populateGretag(srgb, 1.0f), 0);
    EXPECT_EQ(chart.imageTable().colorSpace(), srgb);
    auto it = PatchPixelIterator::create(50, 5);
    uint64_t lastRow = 0;
    do
        if (it->thisPatch() == 4) lastRow = it->thisPixel();
    while (it->nextPixel());
    expectNear(pixel(chart, 30, lastRow), entryIn(srgb, 24));

    // A short axis, and more patches than it has pixels, still end.
    for (auto [length, patches] : {std::pair<uint64_t, int32_t>{1, 1}, {5, 6}, {7, 200}}) {
        auto short_ = PatchPixelIterator::create(length, patches);
        uint64_t pixels = 1;
        while (short_->nextPixel())
            ++pixels;
        EXPECT_EQ(pixels, length);
    }
}

TEST(PatchesTable, ASaturationOtherThanOneIsIgnored) {
    PatchesTable plain(48, 32), saturated(48, 32);
    ASSERT_EQ(plain.populateGretag(nullptr, 1.0f), 0);
    ASSERT_EQ(saturated.populateGretag(nullptr, 1.5f), 0);
    for (uint64_t y = 0; y < 32; ++y)
        for (uint64_t x = 0; x < 48; ++x)
            EXPECT_EQ(pixel(plain, x, y), pixel(saturated, x, y));

    PatchesTable empty(0, 0);
    EXPECT_EQ(empty.populateGretag(nullptr, 1.0f), 0);
    EXPECT_FALSE(empty.genImage());
}

// The published reference values as a colour-management package ships them.
TEST(PatchesTable, TheCheckerValuesAreThoseOfTheReferenceDataSheet) {
    const std::filesystem::path sheet = "/usr/share/color/argyll/ref/ColorChecker.cie";
    if (!std::filesystem::exists(sheet)) GTEST_SKIP() << sheet << " not present";
    std::ifstream in(sheet);
    std::string line;
    while (std::getline(in, line) && line != "BEGIN_DATA") {
    }
    for (int i = 0; i < 24; ++i) {
        ASSERT_TRUE(std::getline(in, line));
        std::istringstream fields(line);
        std::string id;
        float l, a, b;
        fields >> id >> l >> a >> b;
        const auto& ours = PatchesTable::gretagLab()[size_t(i)];
        EXPECT_EQ(id, std::string(1, char('A' + i / 6)) + "0" + char('1' + i % 6));
        EXPECT_FLOAT_EQ(ours[0], l) << id;
        EXPECT_FLOAT_EQ(ours[1], a) << id;
        EXPECT_FLOAT_EQ(ours[2], b) << id;
    }
}

} // namespace
