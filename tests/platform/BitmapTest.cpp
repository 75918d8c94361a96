#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Geometry.h"

namespace {

using platform::Bitmap;
using platform::BitmapLayout;
using platform::Rect;

TEST(Bitmap, LayoutsThatDoNotAddUpAreRefused) {
    std::vector<uint8_t> pixels(64);
    auto space = platform::ColorSpace::sRGB();
    // Padded rows: the data ends with the last pixel of the last row.
    auto padded = Bitmap::createView({3, 2, 8, 32, 16, 0}, pixels.data(), nullptr, space);
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->dataLength(), 16u + 12);
    EXPECT_EQ(padded->mutableData(), nullptr);

    EXPECT_FALSE(Bitmap::createView({5, 2, 8, 32, 16, 0}, pixels.data(), nullptr, space)); // row too short
    EXPECT_FALSE(Bitmap::createView({1, 1, 8, 12, 16, 0}, pixels.data(), nullptr, space)); // not whole bytes
    EXPECT_FALSE(Bitmap::createView({3, 2, 8, 32, 16, 0}, nullptr, nullptr, space));
    EXPECT_FALSE(Bitmap::createOwned({SIZE_MAX / 2, 4, 8, 32, SIZE_MAX, 0}, space));
}

TEST(Bitmap, AViewKeepsItsOwnerAlive) {
    auto owner = std::make_shared<std::vector<uint8_t>>(16, 0xAB);
    std::weak_ptr<std::vector<uint8_t>> watch = owner;
    auto view = Bitmap::createView({2, 2, 8, 32, 8, 0}, owner->data(), owner, nullptr);
    owner.reset();
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(view->copyData(), std::vector<uint8_t>(16, 0xAB));
    view.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(Bitmap, OnlyWholePixelQuarterTurnsAndMirrorsAreDrawn) {
    auto b = Bitmap::createOwned({2, 2, 8, 8, 2, 0}, nullptr);
    EXPECT_FALSE(b->transformed({0.5, 0, 0, 1, 0, 0}, 2, 2));
    EXPECT_FALSE(b->transformed({1, 0, 0, 1, 0.5, 0}, 2, 2));
    EXPECT_FALSE(b->transformed({1, 1, 0, 1, 0, 0}, 2, 2));
    EXPECT_TRUE(b->transformed({0, 1, -1, 0, 2, 0}, 2, 2));
}

struct IntersectionCase {
    Rect a, b, expected;
};

TEST(Geometry, IntersectionOfRectangles) {
    const IntersectionCase cases[] = {
        {{0, 0, 10, 10}, {5, 5, 10, 10}, {5, 5, 5, 5}},
        {{0, 0, 10, 10}, {10, 2, 5, 5}, {10, 2, 0, 5}}, // touching edges: empty, not null
        {{0, 0, 10, 10}, {10, 2, -4, 5}, {6, 2, 4, 5}}, // negative width counts leftwards
        {{0, 0, 10, 10}, Rect::infinite(), {0, 0, 10, 10}},
    };
    for (const auto& k : cases)
        EXPECT_EQ(k.a.intersection(k.b), k.expected);
    EXPECT_TRUE((Rect{0, 0, 10, 10}).intersection({11, 0, 5, 5}).isNull());
    EXPECT_TRUE(Rect::null().intersection({0, 0, 5, 5}).isNull());
    EXPECT_TRUE((Rect{10, 2, 0, 5}).isEmpty());
    EXPECT_TRUE(Rect::infinite().isInfinite());
}

} // namespace
