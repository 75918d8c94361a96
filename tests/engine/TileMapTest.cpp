#include <gtest/gtest.h>

#include "engine/core/TileMap.h"

namespace {

using platform::Rect;
using platform::Size;

TEST(TileMap, GridCoversTheImageWithShorterLastTiles) {
    TileMap map(Size{1000, 600});
    EXPECT_EQ(map.xTiles(), 2);
    EXPECT_EQ(map.yTiles(), 2);
    ASSERT_EQ(map.tileMap().size(), 4u);
    EXPECT_EQ(map.getTileTracker(1, 1)->location(), (Rect{512, 512, 488, 88}));
    EXPECT_EQ(map.getTileTracker(1, 0)->location(), (Rect{512, 0, 488, 512}));
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}})
        EXPECT_EQ(map.getTileTracker(x, y), nullptr) << x << "," << y;

    EXPECT_EQ(TileMap(Size{512, 512}).xTiles(), 1);
    EXPECT_EQ(TileMap(Size{513, 1}).xTiles(), 2);
    EXPECT_EQ(TileMap(Size{0, 0}).tileMap().size(), 0u);
    EXPECT_EQ(TileMap(Size{-5, 1e300}).xTiles(), 0); // hostile sizes build no trackers
}

TEST(TileMap, RegionForRect) {
    TileMap map(Size{2000, 1500}); // 4 x 3 tiles
    struct Case {
        Rect rect;
        TileRegion region;
    };
    const Case cases[] = {
        {{0, 0, 512, 512}, {3, 0, 0, 1, 1}}, // a far edge on a boundary takes the next tile
        {{0, 0, 510, 510}, {3, 0, 0, 0, 0}},
        {{0, 0, 511, 511}, {3, 0, 0, 1, 1}}, // one pixel before the boundary too
        {{600, 700, 100, 100}, {3, 1, 1, 1, 1}},
        {{-300, -300, 400, 400}, {3, 0, 0, 0, 0}}, // clipped at the origin
        {{1900, 1400, 5000, 5000}, {3, 3, 2, 3, 2}},
        {Rect::null(), TileRegion::null(3)},
        {Rect::infinite(), TileRegion::null(3)},
        {{10, 10, 0, 20}, TileRegion::null(3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(map.regionForRect(c.rect, 3), c.region)
            << c.rect.x << " " << c.rect.y << " " << c.rect.width;
}

TEST(TileMap, RectsThatMissTheImageCoverNoTile) {
    TileMap map(Size{1000, 600});
    for (Rect rect : {Rect{5000, 0, 10, 10}, Rect{-100, -100, 10, 10}, Rect{0, 1100, 10, 10}}) {
        TileRegion region = map.regionForRect(rect, 0);
        EXPECT_FALSE(region.isNull()); // the null region would mean every tile
        for (int32_t y = 0; y < map.yTiles(); ++y)
            for (int32_t x = 0; x < map.xTiles(); ++x)
                EXPECT_FALSE(region.contains(x, y));
    }
}

TEST(TileMap, RectForRegionIsClippedToTheImage) {
    TileMap map(Size{1000, 600});
    EXPECT_EQ(map.rectForRegion({0, 1, 0, 1, 1}), (Rect{512, 0, 488, 600}));
    EXPECT_EQ(map.rectForRegion({0, 0, 0, 0, 0}), (Rect{0, 0, 512, 512}));
    EXPECT_TRUE(map.rectForRegion(TileRegion::null()).isNull());
    EXPECT_TRUE(map.rectForRegion({0, 0, -1, 1, 1}).isNull());
}

TEST(TileMap, CleanlinessQueries) {
    TileMap map(Size{1000, 600});
    EXPECT_FALSE(map.isClean());
    EXPECT_EQ(map.dirtyList().size(), 4u);

    map.getTileTracker(0, 0)->setState(tileIsClean);
    EXPECT_TRUE(map.isCleanInRect({10, 10, 100, 100}));
    EXPECT_FALSE(map.isCleanInRect({10, 10, 600, 100}));
    EXPECT_FALSE(map.isCleanInRect({0, 0, 0, 0}));
    EXPECT_FALSE(map.isCleanInRect(Rect::null()));

    map.getTileTracker(1, 1)->setState(tileIsEdgeDirty);
    auto dirty = map.dirtyList();
    ASSERT_EQ(dirty.size(), 3u);
    EXPECT_EQ(dirty[0]->column(), 1); // rows of tiles in order
    EXPECT_EQ(dirty[1]->row(), 1);
    EXPECT_EQ(map.dirtyCount(), 3);

    for (const auto& t : map.tileMap())
        t->setState(tileIsClean);
    EXPECT_TRUE(map.isClean());
    map.resetTiles();
    EXPECT_FALSE(map.isClean());
    EXPECT_EQ(map.getTileTracker(0, 0)->passTrack(), -1);
}

TEST(TileMap, CopyKeepsStatesWithLocksOfItsOwn) {
    TileMap map(Size{1000, 600});
    map.getTileTracker(1, 0)->setState(tileIsClean);
    map.getTileTracker(1, 0)->setPassTrack(4);
    TileMap copy(map);
    auto original = map.getTileTracker(1, 0), copied = copy.getTileTracker(1, 0);
    EXPECT_NE(original, copied);
    EXPECT_TRUE(*original == *copied);
    EXPECT_EQ(copied->state(), tileIsClean);
    EXPECT_EQ(copied->passTrack(), 4);
    EXPECT_NE(&original->lock(), &copied->lock());
    EXPECT_EQ(original->hash(), size_t(512));
}

} // namespace
