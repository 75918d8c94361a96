#include <gtest/gtest.h>

#include "display/DisplayRawTile.h"
#include "display/DisplayTileCache.h"

namespace {

using Tile = DisplayTileCache::Tile;

Tile tile(uint32_t row, uint32_t column, uint32_t resolution = 0) {
    return std::make_shared<DisplayRawTile>(row, column, resolution, 512);
}

TEST(DisplayRawTile, HashAndEqualityGoByPlaceOnly) {
    EXPECT_EQ(tile(1, 2, 3)->hash(), (size_t(2) << 12) | 1 | (size_t(3) << 24));
    DisplayRawTile a(7, 9, 2, 512), sameElsewhere(7, 9, 2, 256);
    sameElsewhere.setWidth(100);
    EXPECT_EQ(a, sameElsewhere);
    for (const DisplayRawTile& other :
         {DisplayRawTile(8, 9, 2, 512), DisplayRawTile(7, 8, 2, 512), DisplayRawTile(7, 9, 1, 512)})
        EXPECT_FALSE(a == other);
}

TEST(DisplayRawTile, ResizingKeepsTheSampleLayout) {
    platform::BitmapLayout layout{
        2,  1,  16,
        64, 16, platform::bitmap_info::kByteOrder16Little | platform::bitmap_info::kAlphaPremultipliedLast};
    auto image = platform::Bitmap::createOwned(layout, platform::ColorSpace::sRGB());
    auto* p = reinterpret_cast<uint16_t*>(image->mutableData());
    const uint16_t pixels[8] = {65535, 0, 0, 65535, 0, 0, 65535, 65535}; // red, blue
    std::copy(pixels, pixels + 8, p);
    auto resized = DisplayRawTile::createResizedImage(*image, QSize(4, 2), false, false);
    ASSERT_TRUE(resized);
    EXPECT_EQ(resized->width(), 4u);
    EXPECT_EQ(resized->height(), 2u);
    EXPECT_EQ(resized->bitmapInfo(), image->bitmapInfo());
    EXPECT_EQ(resized->colorSpace(), image->colorSpace());
    const auto* q = reinterpret_cast<const uint16_t*>(resized->data() + resized->bytesPerRow());
    EXPECT_EQ(q[0], 65535);         // left: red
    EXPECT_EQ(q[3 * 4 + 2], 65535); // right: blue
}

TEST(DisplayTileCache, GenerationsShiftWhenTheNewestIsFull) {
    DisplayTileCache cache(1, 512, 2);
    cache.insertItem(tile(0, 0));
    EXPECT_EQ(cache.cache0().size(), 1u);
    cache.insertItem(tile(0, 1)); // full: it becomes the next older generation
    EXPECT_TRUE(cache.cache0().empty());
    EXPECT_EQ(cache.cache1().size(), 2u);
    for (uint32_t c = 2; c < 8; ++c)
        cache.insertItem(tile(0, c));
    EXPECT_EQ(cache.cache1().count(tile(0, 6)), 1u);
    EXPECT_EQ(cache.cache2().count(tile(0, 4)), 1u);
    EXPECT_EQ(cache.cacheN().count(tile(0, 2)), 1u);
    EXPECT_FALSE(cache.checkCache(0, 0, 0)); // the oldest generation was dropped
    cache.clearCache();
    EXPECT_FALSE(cache.checkCache(0, 6, 0));
}

TEST(DisplayTileCache, AHitMovesToTheNewestGeneration) {
    DisplayTileCache cache(1, 512, 3);
    Tile first = tile(4, 5, 2);
    cache.insertItem(first);
    cache.insertItem(tile(0, 1));
    cache.insertItem(tile(0, 2));
    ASSERT_EQ(cache.cache1().count(first), 1u);
    EXPECT_EQ(cache.checkCache(4, 5, -2), first); // the level's sign does not count
    EXPECT_EQ(cache.cache0().count(first), 1u);
    EXPECT_EQ(cache.cache1().count(first), 0u);
    EXPECT_FALSE(cache.checkCache(4, 6, 2));
    cache.setCacheImage({{"width", 1000}, {"height", 600}});
    EXPECT_FALSE(cache.tileForDisplayRow(9, 9, 0)); // outside the image: noted, nothing made
    EXPECT_EQ(cache.tileForDisplayRow(4, 5, 2), first);
}

} // namespace
