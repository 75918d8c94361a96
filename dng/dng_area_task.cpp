#include "dng/dng_area_task.h"

#include "dng/dng_abort_sniffer.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_safe_arithmetic.h"

#include "platform/ConcurrentQueue.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <vector>

namespace {
dng_rect PatternOrArea(const dng_rect& pattern, const dng_rect& area) {
    return pattern.IsEmpty() ? area : pattern;
}

// The size of each of `count` near-equal pieces of `extent`, at most `limit` long.
uint32_t EvenPiece(uint32_t extent, int32_t limit) {
    const uint32_t maxPiece = std::max<uint32_t>(1, std::min<int64_t>(extent, std::max(limit, 0)));
    const uint32_t pieces = std::max<uint32_t>(1, SafeUint32DivideUp(extent, maxPiece));
    return SafeUint32DivideUp(extent, pieces);
}

int32_t RoundUpToGranule(uint32_t size, int32_t granule) {
    if (granule <= 1) return int32_t(size);
    uint32_t rounded;
    if (!RoundUpUint32ToMultiple(size, uint32_t(granule), &rounded)) ThrowOverflow();
    return int32_t(std::min<uint32_t>(rounded, INT32_MAX));
}
} // namespace

dng_area_task::dng_area_task(const char* name) { fName.Set(name); }

void dng_area_task::Start(uint32_t, const dng_rect&, const dng_point&, dng_memory_allocator*,
                          dng_abort_sniffer*) {}

void dng_area_task::Finish(uint32_t) {}

std::unique_ptr<dng_tile_iterator> dng_area_task::MakeAreaIterator(uint32_t, const dng_rect& pattern,
                                                                   const dng_rect& area) {
    return dng_guard_allocation([&] { return std::make_unique<dng_tile_iterator>(pattern, area); });
}

std::unique_ptr<dng_tile_iterator> dng_area_task::MakeTileIterator(uint32_t, const dng_point& tileSize,
                                                                   const dng_rect& area) {
    return dng_guard_allocation([&] { return std::make_unique<dng_tile_iterator>(tileSize, area); });
}

dng_point ChooseTileSize(const dng_area_task& task, const dng_rect& area) {
    const dng_rect patterns[3] = {PatternOrArea(task.RepeatPattern1(), area),
                                  PatternOrArea(task.RepeatPattern2(), area),
                                  PatternOrArea(task.RepeatPattern3(), area)};
    uint32_t width = patterns[0].Width();
    uint32_t height = patterns[0].Height();
    for (const dng_rect& pattern : patterns) {
        width = std::min(width, pattern.Width());
        height = std::min(height, pattern.Height());
    }

    const dng_point limit = task.TileSizeLimit();
    const dng_point granule = task.TileGranule();
    int32_t tileWidth = RoundUpToGranule(EvenPiece(width, limit.h), granule.h);
    int32_t tileHeight = RoundUpToGranule(EvenPiece(height, limit.v), granule.v);
    if (tileHeight > limit.v) tileHeight = limit.v - (granule.v > 0 ? limit.v % granule.v : 0);
    if (tileWidth > limit.h) tileWidth = limit.h - (granule.h > 0 ? limit.h % granule.h : 0);
    return dng_point(tileHeight, tileWidth);
}

void dng_area_task::ProcessOnThread(uint32_t threadIndex, const dng_rect& area, const dng_point& tileSize,
                                    dng_abort_sniffer* sniffer, dng_area_task_progress* progress) {
    const dng_rect pattern1 = PatternOrArea(RepeatPattern1(), area);
    const dng_rect pattern2 = PatternOrArea(RepeatPattern2(), area);
    const dng_rect pattern3 = PatternOrArea(RepeatPattern3(), area);
    dng_rect r3, r2, r1, tile;
    for (auto it3 = MakeAreaIterator(threadIndex, pattern3, area); it3->GetOneTile(r3);)
        for (auto it2 = MakeAreaIterator(threadIndex, pattern2, r3); it2->GetOneTile(r2);)
            for (auto it1 = MakeAreaIterator(threadIndex, pattern1, r2); it1->GetOneTile(r1);)
                for (auto tiles = MakeTileIterator(threadIndex, tileSize, r1); tiles->GetOneTile(tile);) {
                    dng_abort_sniffer::SniffForAbort(sniffer);
                    ProcessArea(threadIndex, tile, sniffer);
                    if (progress) progress->FinishedTile(tile);
                }
}

void RunAreaTask(dng_area_task& task, const dng_rect& area, dng_memory_allocator* allocator,
                 dng_abort_sniffer* sniffer, dng_area_task_progress* progress) {
    const dng_point tileSize = ChooseTileSize(task, area);
    task.Start(1, area, tileSize, allocator, sniffer);
    task.ProcessOnThread(0, area, tileSize, sniffer, progress);
    task.Finish(1);
}

void RunAreaTaskThreaded(dng_area_task& task, const dng_rect& area, uint32_t threads,
                         dng_memory_allocator* allocator, dng_abort_sniffer* sniffer,
                         dng_area_task_progress* progress) {
    if (threads <= 1 || area.IsEmpty()) {
        RunAreaTask(task, area, allocator, sniffer, progress);
        return;
    }
    const dng_point tileSize = ChooseTileSize(task, area);
    // The tiles in the order one thread would take them; workers share them out.
    std::vector<dng_rect> tiles;
    const dng_rect pattern1 = PatternOrArea(task.RepeatPattern1(), area);
    const dng_rect pattern2 = PatternOrArea(task.RepeatPattern2(), area);
    const dng_rect pattern3 = PatternOrArea(task.RepeatPattern3(), area);
    dng_rect r3, r2, r1, tile;
    for (auto it3 = task.MakeAreaIterator(0, pattern3, area); it3->GetOneTile(r3);)
        for (auto it2 = task.MakeAreaIterator(0, pattern2, r3); it2->GetOneTile(r2);)
            for (auto it1 = task.MakeAreaIterator(0, pattern1, r2); it1->GetOneTile(r1);)
                for (auto it = task.MakeTileIterator(0, tileSize, r1); it->GetOneTile(tile);)
                    dng_guard_allocation([&] { tiles.push_back(tile); });
    threads = uint32_t(std::min<size_t>(threads, tiles.size()));
    if (threads <= 1) {
        RunAreaTask(task, area, allocator, sniffer, progress);
        return;
    }
    task.Start(threads, area, tileSize, allocator, sniffer);
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorLock;
    platform::ConcurrentQueue::shared().apply(threads, [&](size_t threadIndex) {
        try {
            for (size_t i = next++; i < tiles.size() && !failed; i = next++) {
                dng_abort_sniffer::SniffForAbort(sniffer);
                task.ProcessArea(uint32_t(threadIndex), tiles[i], sniffer);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(errorLock);
            if (!error) error = std::current_exception();
            failed = true;
        }
    });
    if (error) std::rethrow_exception(error);
    task.Finish(threads);
}
