// Compressed Fuji data: a 24-megapixel frame (6000 x 3996, eight strips) coded by the test
// encoder from a gradient with sensor-like noise, decoded from memory into a raw buffer,
// once with the strips side by side and once one after another.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/FujiCompressedEncoder.h"

namespace {

constexpr int kWidth = 6000, kHeight = 3996;

struct Coded {
    testsupport::FujiCompressedFrame frame;
    std::vector<uint8_t> bytes;
};

const Coded& coded(bool xtrans) {
    static Coded cache[2];
    Coded& c = cache[xtrans];
    if (!c.bytes.empty()) return c;
    c.frame.xtrans = xtrans;
    c.frame.width = kWidth;
    c.frame.height = kHeight;
    c.frame.bits = 14;
    c.frame.xtransColours = testsupport::fujiXTransColours();
    c.frame.photosites.resize(size_t(kWidth) * kHeight);
    std::mt19937 rng(24);
    std::normal_distribution<float> noise(0, 20);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            c.frame.photosites[size_t(y) * kWidth + size_t(x)] =
                uint16_t(std::clamp(2000.0f + x * 0.5f + y * 0.25f + noise(rng), 0.0f, 16383.0f));
    c.bytes = testsupport::encodeFujiCompressed(c.frame).bytes();
    return c;
}

void decode(benchmark::State& state, bool xtrans) {
    const Coded& c = coded(xtrans);
    raw::set_band_threads_enabled(state.range(0) != 0);
    for (auto _ : state) {
        testsupport::LoaderRig rig(c.bytes, kWidth, kHeight);
        rig.s->cfa_pattern = xtrans ? 9 : 0x94949494;
        for (int r = 0; r < 6; ++r)
            for (int col = 0; col < 6; ++col)
                rig.s->xtrans_sensor_layout[r][col] = int8_t(c.frame.xtransColours[r][col]);
        rig.run(raw::fuji_compressed_load_raw, 0);
        benchmark::DoNotOptimize(rig.raw.data());
    }
    raw::set_band_threads_enabled(true);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.bytes.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_FujiCompressedXTrans24MP(benchmark::State& state) { decode(state, true); }
void BM_FujiCompressedBayer24MP(benchmark::State& state) { decode(state, false); }

BENCHMARK(BM_FujiCompressedXTrans24MP)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FujiCompressedBayer24MP)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
