#include "raw/core/BandRunner.h"

#include <atomic>
#include <pthread.h>
#include <vector>

namespace raw {
namespace {

std::atomic<bool> threadsEnabled{true};

// glibc and the sanitizers need far more than the 16 KiB the decoder once asked for.
constexpr size_t kStackSize = 1024 * 1024;

struct BandCall {
    const std::function<void(int)>* job;
    int band;
    std::exception_ptr error;
};

void* bandEntry(void* arg) {
    auto* call = static_cast<BandCall*>(arg);
    try {
        (*call->job)(call->band);
    } catch (...) {
        call->error = std::current_exception();
    }
    return nullptr;
}

} // namespace

void set_band_threads_enabled(bool enabled) { threadsEnabled = enabled; }
bool band_threads_enabled() { return threadsEnabled; }

void run_bands(int band_count, const std::function<void(int)>& job) {
    if (band_count <= 0) return;
    std::vector<BandCall> calls(band_count);
    std::vector<pthread_t> threads(band_count);
    std::vector<bool> started(band_count, false);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kStackSize);
    for (int b = 0; b < band_count; ++b)
        calls[b] = {&job, b, nullptr};
    for (int b = 0; b + 1 < band_count; ++b) {
        if (threadsEnabled && pthread_create(&threads[b], &attr, bandEntry, &calls[b]) == 0)
            started[b] = true;
        else
            bandEntry(&calls[b]);
    }
    pthread_attr_destroy(&attr);
    bandEntry(&calls[band_count - 1]);
    for (int b = 0; b + 1 < band_count; ++b)
        if (started[b]) pthread_join(threads[b], nullptr);
    // A failing band fails the step, after every thread has been joined.
    for (auto& c : calls)
        if (c.error) std::rethrow_exception(c.error);
}

BandRange band_range(int total, int bands, int band) {
    if (total <= 0 || bands <= 0) return {0, 0};
    int64_t begin = int64_t(total) * band / bands;
    int64_t end = int64_t(total) * (band + 1) / bands;
    return {int(begin), int(end)};
}

} // namespace raw
