// The tone table is rebuilt on every slider move of the output stage, and the histogram
// is redrawn after every render; both sit between the user and the updated window.
#include <benchmark/benchmark.h>

#include <array>

#include "color/ComputeMatrixAndLUT.h"
#include "engine/core/HistogramBuilder.h"

namespace {

void BM_ToneTableAndMatrix(benchmark::State& state) {
    auto lut = ImageBufferF32::create(4096, 1);
    std::array<float, 16> matrix{};
    float offset, low, f;
    for (auto _ : state) {
        ComputeMatrixAndLUT compute;
        compute.setImageParameters(platform::Dictionary{{ComputeMatrixAndLUT::kInputContrast, 0.5},
                                                        {ComputeMatrixAndLUT::kInputBrightness, 0.7},
                                                        {ComputeMatrixAndLUT::kInputFillLight, 0.3},
                                                        {ComputeMatrixAndLUT::kInputHighLight, -0.4}});
        compute.setCameraParameters(platform::Dictionary{});
        benchmark::DoNotOptimize(
            compute.populateFloatLUTAndMatrix(lut.get(), matrix.data(), &offset, &low, &f));
    }
}
BENCHMARK(BM_ToneTableAndMatrix);

// 24 MP: copy to float, gamma, counts and painting, as the window asks for it.
void BM_Histogram24MP(benchmark::State& state) {
    constexpr uint16_t kWidth = 6000, kHeight = 4000;
    auto source = ImageBufferF32::create(kWidth, kHeight);
    for (size_t r = 0; r < kHeight; ++r) {
        float* p = source->bufferFloatForRow(r);
        for (size_t i = 0; i < size_t(kWidth) * 4; ++i)
            p[i] = float((r * 7 + i * 3) % 1000) / 1000.0f;
    }
    for (auto _ : state) {
        auto builder = HistogramBuilder::create(*source);
        builder->setOutputSize({256, 100});
        benchmark::DoNotOptimize(builder->getOutputImage());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_Histogram24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
