// Throughput of the master demosaic on a 24-megapixel mosaic, in megapixels per second:
// on the calling thread alone (band threads off) and on all cores; beside it the command
// line's single-threaded AHD (L*a*b* homogeneity) and its X-Trans passes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "raw/core/BandRunner.h"
#include "raw/core/DecoderState.h"
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

// The command line's routines work on a decoder state around the same pixels. They too
// rewrite no photosite's own colour, so the mosaic serves every run.
template <typename Run> void runOnState(benchmark::State& state, uint32_t filters, Run run) {
    static Scene bayer(kRGGB), xtrans(raw::kPatternXTrans);
    Scene& scene = filters == kRGGB ? bayer : xtrans;
    auto s = std::make_unique<raw::DecoderState>();
    s->image_height = kHeight;
    s->image_width = kWidth;
    s->cfa_pattern = filters;
    s->colour_count = 3;
    std::memcpy(s->xtrans_layout, kXTransCell, sizeof kXTransCell);
    for (int i = 0; i < 3; ++i)
        s->rgb_from_camera[i][i] = 1;
    s->pixel_image = scene.pixels.get();
    for (auto _ : state) {
        run(*s);
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] =
        benchmark::Counter(kWidth * double(kHeight) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_AhdBayer24MP(benchmark::State& state) { runAhd(state, kRGGB); }
void BM_AhdSingleThreadedLab24MP(benchmark::State& state) { runOnState(state, kRGGB, raw::ahd_interpolate); }
void BM_XTransPasses24MP(benchmark::State& state) {
    const int passes = int(state.range(0));
    raw::set_band_threads_enabled(state.range(1) != 0);
    runOnState(state, raw::kPatternXTrans,
               [passes](raw::DecoderState& s) { raw::xtrans_interpolate(s, passes); });
    raw::set_band_threads_enabled(true);
}
void BM_AhdXTrans24MP(benchmark::State& state) { runAhd(state, raw::kPatternXTrans); }

BENCHMARK(BM_AhdBayer24MP)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AhdXTrans24MP)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AhdSingleThreadedLab24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_XTransPasses24MP)
    ->ArgNames({"passes", "threads"})
    ->ArgsProduct({{1, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
