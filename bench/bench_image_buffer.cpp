// Image buffers change sample type for the histogram and exports, and are scaled once per
// zoom level for the display; these are the whole-image passes that a user waits for.
#include <benchmark/benchmark.h>

#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"

namespace {

constexpr uint16_t kWidth = 6000, kHeight = 4000;

std::shared_ptr<ImageBufferU16> gradient() {
    auto b = ImageBufferU16::create(kWidth, kHeight);
    for (size_t r = 0; r < kHeight; ++r) {
        uint16_t* p = b->bufferU16ForRow(r);
        for (size_t i = 0; i < size_t(kWidth) * 4; ++i)
            p[i] = uint16_t((r * 7 + i * 3) & 0xFFFF);
    }
    return b;
}

void setPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void BM_U16ToF32(benchmark::State& state) {
    auto src = gradient();
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageBufferF32::createWithCopyFrom(*src));
    setPixels(state);
}
BENCHMARK(BM_U16ToF32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_F32ToU16(benchmark::State& state) {
    auto src = ImageBufferF32::createWithCopyFrom(*gradient());
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageBufferU16::createWithCopyFrom(*src));
    setPixels(state);
}
BENCHMARK(BM_F32ToU16)->Unit(benchmark::kMillisecond)->UseRealTime();

// Zoom levels 1/2 and 1/8 of a 24-megapixel 16-bit buffer.
void BM_ResizeU16(benchmark::State& state) {
    auto src = gradient();
    const auto divisor = uint16_t(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(src->resizedImageFromBuffer(kWidth / divisor, kHeight / divisor));
    setPixels(state);
}
BENCHMARK(BM_ResizeU16)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
