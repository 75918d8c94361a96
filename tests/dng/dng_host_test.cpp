#include "dng/dng_abort_sniffer.h"
#include "dng/dng_area_task.h"
#include "dng/dng_host.h"
#include "dng/dng_memory.h"
#include "dng/dng_mutex.h"
#include "platform/ConcurrentQueue.h"

#include "DngErrorMatchers.h"

#include <chrono>
#include <memory>
#include <vector>

namespace {
class RecordingTask : public dng_area_task {
  public:
    RecordingTask(dng_point limit = dng_point(256, 256), dng_point granule = dng_point(1, 1)) {
        fMaxTileSize = limit;
        fUnitCell = granule;
    }
    void Start(uint32_t threads, const dng_rect&, const dng_point& size, dng_memory_allocator*,
               dng_abort_sniffer*) override {
        startThreads = threads;
        tileSize = size;
    }
    void ProcessArea(uint32_t thread, const dng_rect& tile, dng_abort_sniffer*) override {
        EXPECT_EQ(thread, 0u);
        tiles.push_back(tile);
        if (failAt && tiles.size() == failAt) ThrowBadFormat();
    }
    void Finish(uint32_t) override { finished = true; }

    std::vector<dng_rect> tiles;
    dng_point tileSize;
    uint32_t startThreads = 0;
    std::size_t failAt = 0;
    bool finished = false;
};

class CountingSniffer : public dng_abort_sniffer {
  public:
    void Sniff() override {
        if (++calls == stopAt) Throw_dng_error(dng_error_user_canceled);
    }
    int calls = 0;
    int stopAt = -1;
};

// Checks that the tiles cover the area exactly once, in row-major order.
void ExpectPartition(const std::vector<dng_rect>& tiles, const dng_rect& area) {
    std::vector<int> hits(std::size_t(area.W()) * area.H(), 0);
    for (const dng_rect& t : tiles) {
        ASSERT_EQ(t & area, t) << "tile outside the area";
        for (int32_t r = t.t; r < t.b; ++r)
            for (int32_t c = t.l; c < t.r; ++c)
                ++hits[std::size_t(r - area.t) * area.W() + (c - area.l)];
    }
    for (int h : hits)
        ASSERT_EQ(h, 1);
    for (std::size_t i = 1; i < tiles.size(); ++i) {
        const dng_rect& a = tiles[i - 1];
        const dng_rect& b = tiles[i];
        EXPECT_TRUE(b.t > a.t || (b.t == a.t && b.l > a.l)) << "not row-major at tile " << i;
    }
}
} // namespace

TEST(DngAreaTask, TilesPartitionTheAreaInRowMajorOrder) {
    const dng_rect areas[] = {dng_rect(0, 0, 1000, 1000), dng_rect(-7, 13, 293, 270), dng_rect(5, 5, 6, 6)};
    for (const dng_rect& area : areas) {
        RecordingTask task;
        dng_host host;
        // One worker takes the tiles in order; several share them out.
        host.SetAreaTaskThreadCount(1);
        host.PerformAreaTask(task, area);
        EXPECT_EQ(task.startThreads, 1u);
        EXPECT_TRUE(task.finished);
        ExpectPartition(task.tiles, area);
    }
}

TEST(DngAreaTask, ChooseTileSizeCases) {
    struct Case {
        dng_rect area;
        dng_point limit, granule, expected;
    };
    const Case cases[] = {
        {dng_rect(1000u, 1000u), {256, 256}, {1, 1}, {250, 250}},
        {dng_rect(300u, 257u), {256, 256}, {1, 1}, {150, 129}},
        {dng_rect(100u, 40u), {256, 256}, {1, 1}, {100, 40}},
        {dng_rect(7u, 7u), {256, 256}, {2, 2}, {8, 8}},
        {dng_rect(600u, 600u), {256, 256}, {3, 5}, {201, 200}},
        {dng_rect(600u, 600u), {100, 100}, {16, 16}, {96, 96}},
    };
    for (const auto& c : cases) {
        RecordingTask task(c.limit, c.granule);
        EXPECT_EQ(ChooseTileSize(task, c.area), c.expected) << c.area.H() << "x" << c.area.W();
    }
}

TEST(DngAreaTask, ErrorsStopTheRunBeforeFinish) {
    RecordingTask task;
    task.failAt = 2;
    EXPECT_DNG_ERROR(RunAreaTask(task, dng_rect(600u, 600u), nullptr, nullptr, nullptr),
                     dng_error_bad_format);
    EXPECT_EQ(task.tiles.size(), 2u);
    EXPECT_FALSE(task.finished);

    RecordingTask sniffed;
    CountingSniffer sniffer;
    sniffer.stopAt = 3;
    EXPECT_DNG_ERROR(RunAreaTask(sniffed, dng_rect(600u, 600u), nullptr, &sniffer, nullptr),
                     dng_error_user_canceled);
    EXPECT_EQ(sniffed.tiles.size(), 2u) << "the sniffer runs before each tile";
}

TEST(DngTileIterator, BandsAnchoredAtTheArea) {
    dng_tile_iterator bands(dng_point(4, 4), dng_rect(5, 0, 13, 4));
    dng_rect tile;
    ASSERT_TRUE(bands.GetOneTile(tile));
    EXPECT_EQ(tile, dng_rect(5, 0, 9, 4));
    ASSERT_TRUE(bands.GetOneTile(tile));
    EXPECT_EQ(tile, dng_rect(9, 0, 13, 4));
    EXPECT_FALSE(bands.GetOneTile(tile));

    dng_tile_iterator empty(dng_point(4, 4), dng_rect(5, 5, 5, 9));
    EXPECT_FALSE(empty.GetOneTile(tile));

    // A grid that starts away from the area: cells stay aligned with the grid.
    dng_tile_iterator grid(dng_rect(0, 0, 10, 10), dng_rect(-5, 3, 12, 8));
    std::vector<dng_rect> tiles;
    while (grid.GetOneTile(tile))
        tiles.push_back(tile);
    const std::vector<dng_rect> expected = {dng_rect(-5, 3, 0, 8), dng_rect(0, 3, 10, 8),
                                            dng_rect(10, 3, 12, 8)};
    EXPECT_EQ(tiles, expected);
}

TEST(DngHost, SizesAndSettings) {
    struct Case {
        uint32_t minimum, preferred, maximum;
        uint32_t expectMinimum, expectPreferred, expectMaximum;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, 0},
        {0, 1024, 0, 980, 1024, 0},
        {0, 2048, 500, 490, 500, 500},
        {0, 0, 3000, 2560, 3000, 3000},
        {0, 5000, 0, 4352, 5000, 0},
        {0, 300, 0, 300, 300, 0},
        {2000, 1000, 0, 1000, 1000, 0},
        {100, 1024, 0, 100, 1024, 0},
    };
    for (const auto& c : cases) {
        dng_host host;
        host.SetMinimumSize(c.minimum);
        host.SetPreferredSize(c.preferred);
        host.SetMaximumSize(c.maximum);
        host.ValidateSizes();
        EXPECT_EQ(host.MinimumSize(), c.expectMinimum) << c.minimum << "/" << c.preferred << "/" << c.maximum;
        EXPECT_EQ(host.PreferredSize(), c.expectPreferred);
        EXPECT_EQ(host.MaximumSize(), c.expectMaximum);
    }

    dng_host host;
    EXPECT_TRUE(host.IsTransientCode(dng_error_memory));
    EXPECT_TRUE(host.IsTransientCode(dng_error_user_canceled));
    EXPECT_FALSE(host.IsTransientCode(dng_error_end_of_file));
    EXPECT_EQ(&host.Allocator(), &gDefaultDNGMemoryAllocator);
    EXPECT_EQ(host.AreaTaskThreadCount(), uint32_t(platform::ConcurrentQueue::shared().concurrency()));
    host.SetAreaTaskThreadCount(1);
    EXPECT_EQ(host.AreaTaskThreadCount(), 1u);
    EXPECT_EQ(host.CropFactor(), 1.0);
    EXPECT_EQ(host.SaveDNGVersion(), 0u);
    std::unique_ptr<dng_memory_block> block(host.Allocate(64));
    EXPECT_EQ(block->LogicalSize(), 64u);
}

TEST(DngMutex, RecursiveAndTimedWait) {
    dng_mutex mutex("test", 1);
    {
        dng_scoped_mutex_lock outer(mutex);
        dng_scoped_mutex_lock inner(&mutex);
        dng_scoped_mutex_lock none(nullptr);
    }
    dng_condition_variable condition;
    dng_scoped_mutex_lock lock(mutex);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(condition.Wait(mutex, 0.2));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150)) << "it really waited";
    condition.Broadcast();
    EXPECT_EQ(gDNGPriorityManager().MinimumPriority(), dng_priority_low);
}
