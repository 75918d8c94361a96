#include "dng/dng_threaded_host.h"

#include "dng/dng_area_task.h"
#include "dng/dng_memory.h"
#include "platform/ConcurrentQueue.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

dng_threaded_host::dng_threaded_host(uint32_t threads, dng_memory_allocator* allocator,
                                     dng_abort_sniffer* sniffer)
    : dng_host(allocator, sniffer),
      fThreads(threads ? threads : std::max(1u, uint32_t(std::thread::hardware_concurrency()))) {}

void dng_threaded_host::PerformAreaTask(dng_area_task& task, const dng_rect& area,
                                        dng_area_task_progress* progress) {
    const dng_point tileSize = ChooseTileSize(task, area);
    const uint32_t tilesAcross = (area.W() + uint32_t(tileSize.h) - 1) / uint32_t(std::max(tileSize.h, 1));
    const uint32_t tilesDown = (area.H() + uint32_t(tileSize.v) - 1) / uint32_t(std::max(tileSize.v, 1));
    const bool byColumns = tilesAcross >= tilesDown;
    const uint32_t tilesAlong = byColumns ? tilesAcross : tilesDown;
    const uint32_t threads = std::min({fThreads, task.ThreadLimit(), std::max(tilesAlong, 1u)});
    if (threads <= 1 || progress) {
        dng_host::PerformAreaTask(task, area, progress);
        return;
    }

    // Bands of whole tiles, so every thread sees the same tile grid as a single thread would.
    std::vector<dng_rect> bands;
    const uint32_t perBand = (tilesAlong + threads - 1) / threads;
    for (uint32_t first = 0; first < tilesAlong; first += perBand) {
        dng_rect band = area;
        if (byColumns) {
            band.l = area.l + int32_t(first * uint32_t(tileSize.h));
            band.r = std::min(area.r, band.l + int32_t(perBand * uint32_t(tileSize.h)));
        } else {
            band.t = area.t + int32_t(first * uint32_t(tileSize.v));
            band.b = std::min(area.b, band.t + int32_t(perBand * uint32_t(tileSize.v)));
        }
        bands.push_back(band);
    }

    const uint32_t used = uint32_t(bands.size());
    task.Start(used, area, tileSize, &Allocator(), Sniffer());
    std::mutex failureLock;
    std::exception_ptr failure;
    platform::ConcurrentQueue::shared().apply(used, [&](size_t i) {
        try {
            task.ProcessOnThread(uint32_t(i), bands[i], tileSize, Sniffer(), nullptr);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureLock);
            if (!failure) failure = std::current_exception();
        }
    });
    if (failure) std::rethrow_exception(failure);
    task.Finish(used);
}
