// Throughput of the DNG foundation's hot loops: pixel-buffer copies and MD5 digests.
#include "dng/dng_fingerprint.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_tag_types.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {
constexpr uint32_t kSide = 512;

void CopyArea(benchmark::State& state, uint32_t fromType, uint32_t toType, uint32_t toConfig) {
    const dng_rect area(kSide, kSide);
    std::vector<uint8_t> src(kSide * kSide * 3 * 4, 7), dst(kSide * kSide * 3 * 4);
    const dng_pixel_buffer source(area, 0, 3, fromType, dng_pixel_buffer::interleaved, src.data());
    dng_pixel_buffer target(area, 0, 3, toType, toConfig, dst.data());
    for (auto _ : state) {
        target.CopyArea(source, area, 0, 0, 3);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide * 3);
}

void BM_CopyShortContiguous(benchmark::State& s) {
    CopyArea(s, ttShort, ttShort, dng_pixel_buffer::interleaved);
}
void BM_CopyShortToPlanar(benchmark::State& s) { CopyArea(s, ttShort, ttShort, dng_pixel_buffer::planar); }
void BM_ConvertShortToFloat(benchmark::State& s) {
    CopyArea(s, ttShort, ttFloat, dng_pixel_buffer::interleaved);
}
void BM_ConvertFloatToShort(benchmark::State& s) {
    CopyArea(s, ttFloat, ttShort, dng_pixel_buffer::rowInterleaved);
}

void BM_Md5(benchmark::State& state) {
    std::vector<uint8_t> data(1 << 20, 0x5A);
    for (auto _ : state) {
        dng_md5_printer printer;
        printer.Process(data.data(), uint32_t(data.size()));
        benchmark::DoNotOptimize(printer.Result());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}
} // namespace

BENCHMARK(BM_CopyShortContiguous);
BENCHMARK(BM_CopyShortToPlanar);
BENCHMARK(BM_ConvertShortToFloat);
BENCHMARK(BM_ConvertFloatToShort);
BENCHMARK(BM_Md5);
