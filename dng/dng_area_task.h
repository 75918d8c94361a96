#pragma once
// Base of every tiled computation: the runner splits an area into tiles and calls the task per tile.
#include "dng/dng_point.h"
#include "dng/dng_rect.h"
#include "dng/dng_string.h"
#include "dng/dng_tile_iterator.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>

class dng_abort_sniffer;
class dng_memory_allocator;

// Told about each finished tile.
class dng_area_task_progress {
  public:
    virtual ~dng_area_task_progress() = default;
    virtual void FinishedTile(const dng_rect& tile) = 0;
};

class dng_area_task : private dng_uncopyable {
  public:
    explicit dng_area_task(const char* name = "dng_area_task");
    virtual ~dng_area_task() = default;

    virtual uint32_t ThreadLimit() const { return fMaxThreads; }
    virtual uint32_t MinimumArea() const { return fMinTaskArea; }
    virtual dng_point TileGranule() const { return fUnitCell; }
    virtual dng_point TileSizeLimit() const { return fMaxTileSize; }

    // Rectangles of repeating structure; empty means none.
    virtual dng_rect RepeatPattern1() const { return dng_rect(); }
    virtual dng_rect RepeatPattern2() const { return dng_rect(); }
    virtual dng_rect RepeatPattern3() const { return dng_rect(); }

    virtual void Start(uint32_t threadCount, const dng_rect& area, const dng_point& tileSize,
                       dng_memory_allocator* allocator, dng_abort_sniffer* sniffer);
    virtual void ProcessArea(uint32_t threadIndex, const dng_rect& tile, dng_abort_sniffer* sniffer) = 0;
    virtual void Finish(uint32_t threadCount);

    virtual std::unique_ptr<dng_tile_iterator> MakeAreaIterator(uint32_t threadIndex, const dng_rect& pattern,
                                                                const dng_rect& area);
    virtual std::unique_ptr<dng_tile_iterator>
    MakeTileIterator(uint32_t threadIndex, const dng_point& tileSize, const dng_rect& area);

    const char* Name() const { return fName.Get(); }

    // Runs every tile of the area that falls to one thread.
    void ProcessOnThread(uint32_t threadIndex, const dng_rect& area, const dng_point& tileSize,
                         dng_abort_sniffer* sniffer, dng_area_task_progress* progress);

  protected:
    uint32_t fMaxThreads = 128;
    uint32_t fMinTaskArea = 256 * 256;
    dng_point fUnitCell{1, 1};
    dng_point fMaxTileSize{256, 256};
    dng_string fName;
};

// Tiles as equal as possible, within the task's size limit and on its granule.
dng_point ChooseTileSize(const dng_area_task& task, const dng_rect& area);

// Runs the task's tiles on up to `threads` workers of the shared concurrent queue (the calling
// thread alone for 1), each worker with its own thread index; the first error is rethrown once
// every worker has stopped.
void RunAreaTaskThreaded(dng_area_task& task, const dng_rect& area, uint32_t threads,
                         dng_memory_allocator* allocator, dng_abort_sniffer* sniffer,
                         dng_area_task_progress* progress);

// Runs the whole task on the calling thread.
void RunAreaTask(dng_area_task& task, const dng_rect& area, dng_memory_allocator* allocator,
                 dng_abort_sniffer* sniffer, dng_area_task_progress* progress);
