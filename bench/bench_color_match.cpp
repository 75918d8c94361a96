// Converting a whole rendered image between profiles is what an export waits for when its
// rendering space differs from the working space.
#include <benchmark/benchmark.h>

#include "color/ColorMatchTransform.h"
#include "color/ProfileManager.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/core/ImageBufferU16.h"

namespace {

constexpr uint16_t kWidth = 6000, kHeight = 4000; // 24 MP

template <class Buffer> std::shared_ptr<Buffer> gradient() {
    auto buffer = Buffer::create(kWidth, kHeight);
    for (size_t r = 0; r < kHeight; ++r)
        for (size_t c = 0; c < kWidth; ++c) {
            const double v[4] = {double(c) / kWidth, double(r) / kHeight, double((r + c) % 1000) / 1000, 1.0};
            for (int i = 0; i < 4; ++i) {
                if constexpr (std::is_same_v<Buffer, ImageBufferF32>)
                    buffer->bufferFloatForRow(r, c)[i] = float(v[i]);
                else
                    buffer->bufferU16ForRow(r, c)[i] = uint16_t(v[i] * 65535);
            }
        }
    return buffer;
}

template <class Buffer> void convertImage(benchmark::State& state) {
    auto& manager = ProfileManager::sharedManager();
    auto working = manager.getProPhotoGamma1_D65Profile(), output = manager.getSRGBProfile();
    auto buffer = gradient<Buffer>();
    auto transform = ColorMatchTransform::create(*working, *output,
                                                 std::is_same_v<Buffer, ImageBufferF32>
                                                     ? ColorMatchTransform::Depth::Float32
                                                     : ColorMatchTransform::Depth::UInt16);
    if (!transform) {
        state.SkipWithError("no transform");
        return;
    }
    for (auto _ : state) {
        auto copy = Buffer::createWithCopyFrom(*buffer);
        transform->convert(copy->pixelAddress(0, 0), kWidth, kHeight, copy->rowStepInBytes());
        benchmark::DoNotOptimize(copy->pixelAddress(0, 0));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void BM_ConvertFloat24MP(benchmark::State& state) { convertImage<ImageBufferF32>(state); }
BENCHMARK(BM_ConvertFloat24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertU16_24MP(benchmark::State& state) { convertImage<ImageBufferU16>(state); }
BENCHMARK(BM_ConvertU16_24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
