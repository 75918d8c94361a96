#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"
#include "engine/core/IntermediateProductCache.h"
#include "engine/core/QueueEngine.h"
#include "platform/DispatchGroup.h"
#include "settings/Schema.h"
#include "tests/engine/RecordingStage.h"

namespace {

using platform::Rect;
using platform::Size;

std::shared_ptr<RecordingStage> firstStage(Size size, std::string id = "") {
    auto stage = std::make_shared<RecordingStage>(size, std::move(id), false);
    stage->claimsOutput = true;
    return stage;
}

// Writes per pixel, as counted by the recording stage, in the rectangle [c0, c1) x [r0, r1).
bool everyPixelWritten(const ImageBuffer& b, uint16_t times, int c0, int c1, int r0, int r1) {
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c)
            if (b.bufferU16ForRow(size_t(r), size_t(c))[0] != times) {
                ADD_FAILURE() << "pixel " << c << "," << r << " written "
                              << b.bufferU16ForRow(size_t(r), size_t(c))[0] << " times";
                return false;
            }
    return true;
}

TEST(TiledEngine, TilesAndEdgeStripsWriteEveryPixelOnce) {
    struct Case {
        Size size;
        int32_t border;
    };
    const Case cases[] = {{{1000, 600}, 0}, {{1000, 600}, 8},  {{512, 512}, 8}, {{513, 1}, 0},
                          {{1, 1}, 0},      {{1536, 1025}, 3}, {{20, 10}, 8},   {{600, 5}, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size.width << "x" << c.size.height << " border " << c.border);
        auto stage = firstStage(c.size);
        stage->setIgnoreEdges(c.border == 0);
        stage->setVerticalBorder(c.border);
        stage->setHorizontalBorder(c.border);
        auto process = stage->runProcessToCompletion(TileRegion::null());
        ASSERT_TRUE(process->buffer);
        const int w = int(c.size.width), h = int(c.size.height);
        everyPixelWritten(*process->buffer, 1, 0, w, 0, h);
        EXPECT_TRUE(stage->mainMap().isClean());
        EXPECT_TRUE(stage->edgesDone() || c.border == 0);
        for (const auto& call : stage->calls(false)) {
            EXPECT_GE(call.rowStart, c.border);
            EXPECT_GE(call.colStart, c.border);
            EXPECT_LE(call.rowEnd, h - c.border);
            EXPECT_LE(call.colEnd, w - c.border);
            EXPECT_EQ(call.colStart / 512, (call.colEnd - 1) / 512); // never across a tile
            EXPECT_EQ(call.rowStart / 512, (call.rowEnd - 1) / 512);
        }
    }
}

TEST(TiledEngine, BorderedStageOfTheUsualSize) {
    auto stage = firstStage({1000, 600});
    stage->setIgnoreEdges(false);
    stage->setVerticalBorder(8);
    stage->setHorizontalBorder(8);
    stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(stage->tilesProcessed().size(), 4u);
    auto edges = stage->calls(true);
    ASSERT_EQ(edges.size(), 4u);
    std::set<std::tuple<int, int, int, int>> strips;
    for (const auto& e : edges)
        strips.emplace(e.colStart, e.colEnd, e.rowStart, e.rowEnd);
    EXPECT_EQ(strips, (std::set<std::tuple<int, int, int, int>>{
                          {0, 1000, 0, 8}, {0, 1000, 592, 600}, {0, 8, 8, 592}, {992, 1000, 8, 592}}));
}

TEST(TiledEngine, SecondRunWithNothingDirtyDoesNoWork) {
    auto stage = firstStage({1000, 600});
    stage->setIgnoreEdges(false);
    stage->setVerticalBorder(2);
    stage->runProcessToCompletion(TileRegion::null());
    stage->forget();
    stage->setCachedImageIsDirty(false);
    auto process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_TRUE(stage->calls(false).empty());
    EXPECT_TRUE(stage->calls(true).empty()); // edge strips run once
    EXPECT_TRUE(process->dirtyList.empty());
    EXPECT_FALSE(stage->cachedImageIsDirty());
    everyPixelWritten(*process->buffer, 1, 0, 1000, 0, 600);
}

TEST(TiledEngine, MarkAllDirtyRedoesTilesAndEdges) {
    auto stage = firstStage({1000, 600});
    stage->setIgnoreEdges(false);
    stage->setHorizontalBorder(4);
    stage->runProcessToCompletion(TileRegion::null());
    stage->forget();
    stage->setCachedImageIsDirty(false);
    stage->markAllDirty();
    EXPECT_TRUE(stage->cachedImageIsDirty());
    auto process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(stage->tilesProcessed().size(), 4u);
    EXPECT_EQ(stage->calls(true).size(), 2u);
    everyPixelWritten(*process->buffer, 2, 0, 1000, 0, 600);
}

TEST(TiledEngine, RegionLimitsTheWorkAndTheValidRegion) {
    auto stage = firstStage({1600, 1600}); // 4 x 4 tiles
    const TileRegion corner = stage->mainMap().regionForRect({0, 0, 100, 100}, 0);
    auto process = stage->runProcessToCompletion(corner);
    EXPECT_EQ(stage->tilesProcessed(), (std::set<std::pair<int32_t, int32_t>>{{0, 0}}));
    EXPECT_EQ(process->buffer->validRegion(), (Rect{0, 0, 512, 512}));
    EXPECT_TRUE(stage->mainMap().isCleanInRect({0, 0, 100, 100}));
    EXPECT_FALSE(stage->mainMap().isClean());
    EXPECT_TRUE(stage->cachedImageIsDirty());

    stage->forget();
    process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(stage->tilesProcessed().size(), 15u); // only what was left
    everyPixelWritten(*process->buffer, 1, 0, 1600, 0, 1600);
}

TEST(TiledEngine, EveryPassTakesEveryTileOnce) {
    auto stage = firstStage({1000, 600});
    stage->setNumberOfPasses(2);
    stage->setIgnoreEdges(false);
    stage->setVerticalBorder(1);
    auto process = stage->runProcessToCompletion(TileRegion::null());
    everyPixelWritten(*process->buffer, 2, 0, 1000, 0, 600);
    std::multiset<int32_t> passes;
    for (const auto& call : stage->calls(false))
        passes.insert(call.pass);
    EXPECT_EQ(passes, (std::multiset<int32_t>{0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_TRUE(stage->mainMap().isClean());
}

TEST(TiledEngine, CancelledTilesStayDirtyForTheNextRun) {
    auto stage = firstStage({1000, 600});
    stage->setIsCanceled(true);
    stage->runProcessToCompletion(TileRegion::null());
    EXPECT_TRUE(stage->calls(false).empty());
    EXPECT_EQ(stage->mainMap().dirtyList().size(), 4u);
    stage->setIsCanceled(false);
    auto process = stage->runProcessToCompletion(TileRegion::null());
    everyPixelWritten(*process->buffer, 1, 0, 1000, 0, 600);
}

TEST(TiledEngine, BusyTileIsSkippedNotWaitedFor) {
    auto stage = firstStage({1000, 600});
    stage->runProcessToCompletion(TileRegion::null()); // the buffer, and with it the trackers
    stage->markAllDirty();
    stage->forget();
    auto busy = stage->mainMap().getTileTracker(1, 0);
    // Held on a thread of its own, as by another task: the waiting caller may run tile tasks
    // itself, and the recursive lock would let it in.
    std::promise<void> taken, done;
    std::thread holder([&] {
        std::lock_guard<std::recursive_mutex> hold(busy->lock());
        taken.set_value();
        done.get_future().wait();
    });
    taken.get_future().wait();
    stage->runProcessToCompletion(TileRegion::null());
    done.set_value();
    holder.join();
    EXPECT_EQ(stage->tilesProcessed().size(), 3u);
    EXPECT_EQ(busy->state(), tileIsDirty);
    stage->forget();
    stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(stage->tilesProcessed(), (std::set<std::pair<int32_t, int32_t>>{{1, 0}}));
}

TEST(TiledEngine, SizesWithoutABufferDoNoWork) {
    for (Size size : {Size{70000, 10}, Size{0, 0}, Size{-4, 8}}) {
        auto stage = firstStage(size);
        auto process = stage->runProcessToCompletion(TileRegion::null());
        EXPECT_EQ(process->buffer, nullptr);
        EXPECT_TRUE(stage->calls(false).empty());
    }
}

// --- chains of stages --------------------------------------------------------------------

struct Chain {
    std::shared_ptr<RecordingStage> source = firstStage({1600, 1600}); // 4 x 4 tiles
    std::shared_ptr<RecordingStage> stage = std::make_shared<RecordingStage>(source, "", false);

    void runClean() {
        stage->runProcessToCompletion(TileRegion::null());
        source->forget();
        stage->forget();
    }
};

TEST(TiledEngineChain, PullsTheSourceAndTakesItsSize) {
    Chain chain;
    EXPECT_EQ(chain.stage->outputSize(), (Size{1600, 1600}));
    auto process = chain.stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(chain.source->tilesProcessed().size(), 16u);
    EXPECT_EQ(chain.stage->tilesProcessed().size(), 16u);
    ASSERT_NE(process->buffer, chain.source->localOutputBuffer()); // the source owns its buffer
    EXPECT_EQ(process->buffer->bufferU16ForRow(1599, 1599)[1], 2);
}

TEST(TiledEngineChain, DirtyTilesFlowDownstreamOneByOne) {
    Chain chain;
    chain.runClean();
    chain.source->mainMap().getTileTracker(1, 2)->markDirty();
    chain.stage->runProcessToCompletion(TileRegion::null());
    const std::set<std::pair<int32_t, int32_t>> one{{1, 2}};
    EXPECT_EQ(chain.source->tilesProcessed(), one);
    EXPECT_EQ(chain.stage->tilesProcessed(), one);
}

TEST(TiledEngineChain, BorderedStageRedoesTheNeighboursOfAChangedTile) {
    Chain chain;
    chain.stage->setReprocessEdgeTiles(true);
    chain.runClean();
    chain.source->mainMap().getTileTracker(1, 1)->markDirty();
    chain.stage->runProcessToCompletion(TileRegion::null());
    std::set<std::pair<int32_t, int32_t>> block;
    for (int32_t y = 0; y <= 2; ++y)
        for (int32_t x = 0; x <= 2; ++x)
            block.emplace(x, y);
    EXPECT_EQ(chain.stage->tilesProcessed(), block);
    EXPECT_TRUE(chain.stage->mainMap().isClean());

    // Once redone, the neighbours are left alone by the next run.
    chain.stage->forget();
    chain.stage->runProcessToCompletion(TileRegion::null());
    EXPECT_TRUE(chain.stage->tilesProcessed().empty());

    // A corner tile has only three neighbours inside the grid.
    chain.source->mainMap().getTileTracker(3, 3)->markDirty();
    chain.stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(chain.stage->tilesProcessed(),
              (std::set<std::pair<int32_t, int32_t>>{{2, 2}, {3, 2}, {2, 3}, {3, 3}}));
}

TEST(TiledEngineChain, StageWithoutOwnerWorksInPlace) {
    auto source = std::make_shared<RecordingStage>(Size{1000, 600}, "", false);
    auto stage = std::make_shared<RecordingStage>(source, "", false);
    auto process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(process->buffer, source->localOutputBuffer());
    everyPixelWritten(*process->buffer, 2, 0, 1000, 0, 600);
}

TEST(TiledEngineChain, ReleasingPrecursorsDropsTheSource) {
    auto source = firstStage({600, 600});
    auto stage = std::make_shared<RecordingStage>(source, "", true);
    std::weak_ptr<RecordingStage> watch = source;
    source.reset();
    auto process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(stage->sourceBuf(), nullptr);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(process->buffer->bufferU16ForRow(599, 599)[1], 2);
}

TEST(TiledEngineChain, ParametersTravelUpstream) {
    struct Listening : RecordingStage {
        using RecordingStage::RecordingStage;
        std::vector<std::optional<std::string>> keys;
        void setParameters(const std::optional<std::string>& key, const platform::Dictionary& p) override {
            keys.push_back(key);
            TiledEngine::setParameters(key, p);
        }
    };
    auto source = std::make_shared<Listening>(Size{10, 10}, "", false);
    auto stage = std::make_shared<RecordingStage>(source, "", false);
    stage->setParameters(settings::ArtifactFilter.c_str(), {});
    stage->setParameters(std::nullopt, {});
    EXPECT_EQ(source->keys,
              (std::vector<std::optional<std::string>>{settings::ArtifactFilter.c_str(), std::nullopt}));
}

// --- the shared queue ----------------------------------------------------------------------

TEST(TiledEngineQueue, StagesRunFromTasksOfTheSharedQueueFinish) {
    // More waiting tasks than workers: each waits for its stage's tile tasks on the same pool.
    auto& queue = QueueEngine::sharedQueueEngine();
    const uint64_t tasks = queue.optimalNumberOfTasks() * 2 + 1;
    std::vector<std::shared_ptr<RecordingStage>> stages;
    for (uint64_t i = 0; i < tasks; ++i)
        stages.push_back(firstStage({1100, 700}));
    {
        platform::DispatchGroup group(queue.sharedQueue());
        for (auto& stage : stages)
            group.async([stage] { stage->runProcessToCompletion(TileRegion::null()); });
        group.wait();
    }
    for (auto& stage : stages)
        EXPECT_TRUE(stage->mainMap().isClean());
}

TEST(TiledEngineQueue, SingletonsAreShared) {
    EXPECT_EQ(&QueueEngine::sharedQueueEngine(), &QueueEngine::sharedQueueEngine());
    EXPECT_GE(QueueEngine::sharedQueueEngine().optimalNumberOfTasks(), 1u);
    EXPECT_EQ(&QueueEngine::sharedQueueEngine().sharedQueue(), &platform::ConcurrentQueue::shared());
    EXPECT_EQ(QueueEngine::sharedQueueEngine().slowSerialQueue().label(),
              "org.lumivar.Lumivar.slowSerialQueue");
}

// --- the output buffer in the shared cache --------------------------------------------------

class TiledEngineCache : public testing::Test {
  protected:
    void SetUp() override { cache().removeAllObjects(); }
    void TearDown() override { cache().removeAllObjects(); }
    static IntermediateProductCache& cache() {
        return IntermediateProductCache::sharedIntermediateProductCache();
    }
};

TEST_F(TiledEngineCache, OutputLivesUnderTheIdentifierAndEngineName) {
    auto stage = firstStage({1000, 600}, "doc-1");
    auto process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(cache().retrieveItem("doc-1RecordingStage"), process->buffer);
    EXPECT_EQ(stage->localOutputBuffer(), process->buffer);

    stage->flushCache();
    EXPECT_EQ(cache().retrieveItem("doc-1RecordingStage"), nullptr);
    EXPECT_TRUE(stage->idForCache().empty());
}

TEST_F(TiledEngineCache, EvictedOutputIsRebuiltInFull) {
    auto stage = firstStage({1000, 600}, "doc-1");
    stage->setIgnoreEdges(false);
    stage->setVerticalBorder(8);
    stage->runProcessToCompletion(TileRegion::null());
    stage->forget();
    cache().cacheItem(ImageBufferU16::create(1, 1), "other-a");
    cache().cacheItem(ImageBufferU16::create(1, 1), "other-b");
    ASSERT_EQ(stage->localOutputBuffer(), nullptr);

    auto process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(stage->tilesProcessed().size(), 4u);
    EXPECT_EQ(stage->calls(true).size(), 2u); // the strips went with the old buffer
    everyPixelWritten(*process->buffer, 1, 0, 1000, 0, 600);
}

TEST_F(TiledEngineCache, RebuiltSourceMakesTheStageBelowRedoItsTiles) {
    // The stage below works in the source's buffer; losing that buffer loses its work too.
    auto source = std::make_shared<RecordingStage>(Size{1000, 600}, "doc-1", false);
    auto stage = std::make_shared<RecordingStage>(source, "", false);
    stage->runProcessToCompletion(TileRegion::null());
    cache().cacheItem(nullptr, "doc-1RecordingStage");
    auto process = stage->runProcessToCompletion(TileRegion::null());
    everyPixelWritten(*process->buffer, 2, 0, 1000, 0, 600);
}

TEST_F(TiledEngineCache, ReleasingStageKeepsItsOutputToItself) {
    auto stage = std::make_shared<RecordingStage>(Size{100, 100}, "doc-1", true);
    auto process = stage->runProcessToCompletion(TileRegion::null());
    EXPECT_EQ(cache().retrieveItem("doc-1RecordingStage"), nullptr);
    EXPECT_EQ(stage->localOutputBuffer(), process->buffer);
}

// --- small operations ------------------------------------------------------------------------

TEST(TiledEngine, CopyTileCopiesTheRectangleOnly) {
    auto from = ImageBufferU16::create(8, 4), to = ImageBufferU16::create(6, 4);
    for (size_t r = 0; r < 4; ++r)
        for (size_t i = 0; i < 8 * 4; ++i)
            from->bufferU16ForRow(r)[i] = uint16_t(100 + r * 32 + i);
    TiledEngine::copyTile(2, 50, 1, 3, from.get(), to.get()); // clipped to the narrower buffer
    for (size_t r = 0; r < 4; ++r)
        for (size_t c = 0; c < 6; ++c) {
            const bool inside = r >= 1 && r < 3 && c >= 2;
            EXPECT_EQ(to->bufferU16ForRow(r, c)[3], inside ? from->bufferU16ForRow(r, c)[3] : 0)
                << c << "," << r;
        }

    auto floats = ImageBufferF32::create(8, 4);
    TiledEngine::copyTile(0, 8, 0, 4, from.get(), floats.get());
    EXPECT_EQ(floats->bufferFloatForRow(0)[0], 0.0f);
    TiledEngine::copyTile(0, 8, 3, 1, from.get(), to.get()); // end before start: nothing
    TiledEngine::copyTile(0, 8, 0, 4, nullptr, to.get());
}

TEST(TiledEngine, BaseAnswersForTheOutputStagesRequests) {
    RecordingStage stage(Size{10, 10}, "", false);
    std::array<double, 4> values{};
    EXPECT_FALSE(stage.getPixelValues(1, 1, values));
    EXPECT_EQ(stage.imageTile(0, 1.0, {0, 0, 5, 5}, nullptr, nullptr, false, 1), nullptr);
    EXPECT_EQ(stage.getThumbnail(false), nullptr);
    EXPECT_EQ(stage.extent(), (Rect{0, 0, 10, 10}));
    EXPECT_TRUE(TiledEngine::compareFloat(0.5, 0.5f + 2e-7f));
    EXPECT_FALSE(TiledEngine::compareFloat(0.5, 0.5f + 1e-6f));
}

} // namespace
