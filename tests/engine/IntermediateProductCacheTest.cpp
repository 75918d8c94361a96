#include <gtest/gtest.h>

#include "engine/core/ImageBufferU16.h"
#include "engine/core/IntermediateProductCache.h"

namespace {

class IntermediateProductCacheTest : public testing::Test {
  protected:
    void SetUp() override { cache.removeAllObjects(); }
    void TearDown() override { cache.removeAllObjects(); }
    IntermediateProductCache& cache = IntermediateProductCache::sharedIntermediateProductCache();
    std::shared_ptr<ImageBuffer> a = ImageBufferU16::create(1, 1), b = ImageBufferU16::create(1, 1),
                                 c = ImageBufferU16::create(1, 1);
};

TEST_F(IntermediateProductCacheTest, HoldsAtMostTwoAndDropsTheLeastRecentlyUsed) {
    cache.cacheItem(a, "a");
    cache.cacheItem(b, "b");
    EXPECT_EQ(cache.retrieveItem("a"), a); // now b is the older one
    cache.cacheItem(c, "c");
    EXPECT_EQ(cache.retrieveItem("a"), a);
    EXPECT_EQ(cache.retrieveItem("b"), nullptr);
    EXPECT_EQ(cache.retrieveItem("c"), c);
}

TEST_F(IntermediateProductCacheTest, StoringUnderAKeyAgainReplacesAndNullRemoves) {
    cache.cacheItem(a, "k");
    cache.cacheItem(b, "k");
    cache.cacheItem(c, "other");
    EXPECT_EQ(cache.retrieveItem("k"), b); // one entry per key, so nothing was evicted
    cache.cacheItem(nullptr, "k");
    EXPECT_EQ(cache.retrieveItem("k"), nullptr);
    EXPECT_EQ(cache.retrieveItem("other"), c);
    cache.cacheItem(nullptr, "never-stored");
    cache.removeAllObjects();
    EXPECT_EQ(cache.retrieveItem("other"), nullptr);
}

TEST_F(IntermediateProductCacheTest, EvictedItemStaysAliveForItsHolder) {
    std::weak_ptr<ImageBuffer> watch = a;
    cache.cacheItem(std::move(a), "a");
    auto held = cache.retrieveItem("a");
    cache.cacheItem(b, "b");
    cache.cacheItem(c, "c");
    EXPECT_EQ(cache.retrieveItem("a"), nullptr);
    EXPECT_FALSE(watch.expired());
    held.reset();
    EXPECT_TRUE(watch.expired());
}

TEST_F(IntermediateProductCacheTest, MemoryFigures) {
    EXPECT_GT(cache.get_pagesize(), 0u);
    EXPECT_GT(cache.get_free_memory(), 0u);
    EXPECT_EQ(cache.get_purgeable_size(), cache.get_purgeable_count() * cache.get_pagesize());
}

} // namespace
