// Kodak block-coded data: kodak_block_load_raw over a 12-megapixel (4500 x 3000) stream of
// a 12-bit gradient with noise, coded as per-parity differences in blocks of 256.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/DecoderState.h"
#include "raw/loaders/Loaders.h"
#include "tests/support/KodakBlockWriter.h"

namespace {

constexpr int kWidth = 4500, kHeight = 3000;

std::vector<uint8_t> block_stream() {
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0, 20);
    std::vector<uint8_t> bytes;
    std::vector<int32_t> diffs;
    for (int y = 0; y < kHeight; ++y)
        for (int x0 = 0; x0 < kWidth; x0 += 256) {
            const int n = std::min(256, kWidth - x0);
            int32_t predictor[2] = {0, 0};
            diffs.assign(size_t(n), 0);
            for (int i = 0; i < n; ++i) {
                const float v = 1000.0f + (x0 + i) * 0.5f + y * 0.25f + noise(rng);
                const int32_t target = int32_t(std::clamp(v, 0.0f, 4095.0f));
                diffs[size_t(i)] = target - predictor[i & 1];
                predictor[i & 1] = target;
            }
            const std::vector<uint8_t> block = testsupport::kodakDifferenceBlock(diffs);
            bytes.insert(bytes.end(), block.begin(), block.end());
        }
    return bytes;
}

void BM_KodakBlockLoad(benchmark::State& state) {
    std::vector<uint8_t> bytes = block_stream();
    std::vector<uint16_t> raw(size_t(kWidth) * kHeight);
    auto s = std::make_unique<raw::DecoderState>();
    for (uint32_t i = 0; i < 65536; ++i)
        s->tone_table[i] = uint16_t(i);
    s->sensor_width = s->visible_width = kWidth;
    s->sensor_height = s->visible_height = kHeight;
    s->byte_order = 0x4949;
    s->raw_buffer = raw.data();
    for (auto _ : state) {
        FILE* f = fmemopen(bytes.data(), bytes.size(), "rb");
        s->input_file = f;
        raw::kodak_block_load_raw(*s);
        std::fclose(f);
        benchmark::DoNotOptimize(raw.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight * 1e-6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KodakBlockLoad)->Unit(benchmark::kMillisecond);

} // namespace
