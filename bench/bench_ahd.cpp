// Throughput of the master demosaic on a 24-megapixel mosaic, in megapixels per second:
// on the calling thread alone (band threads off) and on all cores.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "raw/core/BandRunner.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/DemosaicCommon.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr uint32_t kRGGB = 0x94949494;

// Our own 6 x 6 cell with the X-Trans proportions.
constexpr int8_t kXTransCell[6][6] = {
    {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1},
    {1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
};

struct Scene {
    std::unique_ptr<uint16_t[][4]> pixels = std::make_unique<uint16_t[][4]>(size_t(kWidth) * kHeight);
    raw::demosaic_job job{};

    // Soft shading, fine texture and hard edges, so both directions and ties all occur.
    explicit Scene(uint32_t filters) {
        job = {kHeight, kWidth, pixels.get(), filters, 0, 0, {}, 0};
        std::memcpy(job.xtrans, kXTransCell, sizeof job.xtrans);
        raw::demosaic_copy_xtrans(job);
        uint32_t noise = 12345;
        for (int r = 0; r < kHeight; ++r)
            for (int c = 0; c < kWidth; ++c) {
                noise = noise * 1664525u + 1013904223u;
                double shade = 12000 + 8000 * std::sin(r * 0.01) * std::cos(c * 0.013);
                int edge = ((r / 97 + c / 131) & 1) ? 20000 : 0;
                int f = raw::demosaic_colour_at(filters, r, c);
                pixels[size_t(r) * kWidth + c][f] = uint16_t(shade + edge + f * 3000 + (noise >> 22));
            }
    }
};

void runAhd(benchmark::State& state, uint32_t filters) {
    static Scene bayer(kRGGB), xtrans(raw::kPatternXTrans);
    Scene& scene = filters == kRGGB ? bayer : xtrans;
    raw::set_band_threads_enabled(state.range(0) != 0);
    for (auto _ : state) {
        // The own colours are never rewritten, so the same mosaic serves every run.
        raw::demosaic_job job = scene.job;
        raw::ahd_interpolate_threaded(job);
        benchmark::ClobberMemory();
    }
    raw::set_band_threads_enabled(true);
    state.counters["MP/s"] =
        benchmark::Counter(kWidth * double(kHeight) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_AhdBayer24MP(benchmark::State& state) { runAhd(state, kRGGB); }
void BM_AhdXTrans24MP(benchmark::State& state) { runAhd(state, raw::kPatternXTrans); }

BENCHMARK(BM_AhdBayer24MP)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AhdXTrans24MP)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
