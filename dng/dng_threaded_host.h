#pragma once
// A host whose area tasks run on the shared thread pool: the area is cut into one band of
// whole tiles per thread, and the calling thread waits until every band is done.
#include "dng/dng_host.h"

class dng_threaded_host : public dng_host {
  public:
    // 0 threads means one per processor.
    explicit dng_threaded_host(uint32_t threads = 0, dng_memory_allocator* allocator = nullptr,
                               dng_abort_sniffer* sniffer = nullptr);

    uint32_t AreaTaskThreadCount() const override { return fThreads; }
    void PerformAreaTask(dng_area_task& task, const dng_rect& area,
                         dng_area_task_progress* progress = nullptr) override;

  private:
    uint32_t fThreads;
};
