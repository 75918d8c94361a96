// Throughput of the alternate (LMMSE) demosaic on a 24-megapixel Bayer mosaic, for the
// fusion worker the application takes and for the plain worker.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/DemosaicCommon.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// RGGB photosites of a soft colour gradient with noise, in the pixel image's layout.
std::vector<uint16_t> bayerMosaic() {
    std::vector<uint16_t> samples(size_t(kWidth) * kHeight * 4, 0);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> noise(-600, 600);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c) {
            const int colour = (r & 1) + (c & 1); // 0 red, 1 green, 2 blue
            const int base = 4000 + 9 * c + 5 * r + 6000 * colour;
            samples[(size_t(r) * kWidth + c) * 4 + colour] =
                uint16_t(std::clamp(base + noise(rng), 0, 65535));
        }
    return samples;
}

void runLmmse(benchmark::State& state, bool highlightFlag, bool threads) {
    raw::set_band_threads_enabled(threads);
    const std::vector<uint16_t> source = bayerMosaic();
    std::vector<uint16_t> samples(source.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(samples.data(), source.data(), source.size() * 2);
        raw::demosaic_job job{};
        job.height = kHeight;
        job.width = kWidth;
        job.image = reinterpret_cast<uint16_t(*)[4]>(samples.data());
        job.filters = 0x94949494; // R G / G B
        job.highlight_flag = highlightFlag;
        state.ResumeTiming();
        raw::lmmse_interpolate_threaded(job);
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["MP/s"] =
        benchmark::Counter(double(kWidth) * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    raw::set_band_threads_enabled(true);
}

void BM_LmmseFusionBayer24MP(benchmark::State& state) { runLmmse(state, true, true); }
void BM_LmmsePlainBayer24MP(benchmark::State& state) { runLmmse(state, false, true); }
// All 16 bands on the calling thread: the figure per core, less sensitive to a busy machine.
void BM_LmmseFusionBayer24MPOneThread(benchmark::State& state) { runLmmse(state, true, false); }
void BM_LmmsePlainBayer24MPOneThread(benchmark::State& state) { runLmmse(state, false, false); }

// The frame both demosaics fill before their bands start (16 pixels wide, as LMMSE's);
// argument 0 runs the parts inline.
void BM_BorderFill24MP(benchmark::State& state) {
    raw::set_band_threads_enabled(state.range(0) != 0);
    std::vector<uint16_t> samples = bayerMosaic();
    raw::demosaic_job job{};
    job.height = kHeight;
    job.width = kWidth;
    job.image = reinterpret_cast<uint16_t(*)[4]>(samples.data());
    job.filters = 0x94949494;
    for (auto _ : state) {
        raw::demosaic_border_fill(job, 16);
        benchmark::DoNotOptimize(samples.data());
    }
    raw::set_band_threads_enabled(true);
}

BENCHMARK(BM_BorderFill24MP)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LmmseFusionBayer24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LmmsePlainBayer24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LmmseFusionBayer24MPOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LmmsePlainBayer24MPOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
