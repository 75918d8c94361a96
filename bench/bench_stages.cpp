// The artifact median and the sharpening stage over a 24 MP image, each timed alone: the
// stages above are rendered once and stay clean.
#include <benchmark/benchmark.h>

#include "engine/core/TiledEngine.h"
#include "engine/stages/MedianTiledEngine.h"
#include "engine/stages/SharpeningTiledEngine.h"
#include "settings/Schema.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

// A first stage with colour noise, keeping its output to itself.
class NoiseStage : public TiledEngine {
  public:
    NoiseStage() : TiledEngine(platform::Size{kWidth, kHeight}, "", false) {}
    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override {
        auto process = TiledEngine::runProcessToCompletion(region);
        if (process->buffer) process->buffer->setBufferOwner(this);
        return process;
    }
    void processTile(int32_t c0, int32_t c1, int32_t r0, int32_t r1, ImageBuffer*, ImageBuffer* dest,
                     int32_t) override {
        for (int32_t r = r0; r < r1; ++r)
            for (int32_t c = c0; c < c1; ++c) {
                uint16_t* p = dest->bufferU16ForRow(size_t(r), size_t(c));
                const uint32_t h = uint32_t(c) * 2654435761u ^ uint32_t(r) * 40503u;
                p[1] = uint16_t(20000 + (c + r) % 5000);
                p[0] = uint16_t(p[1] + h % 3000);
                p[2] = uint16_t(p[1] + (h >> 12) % 3000);
            }
    }
};

void BM_MedianPair24MP(benchmark::State& state) {
    auto red = std::make_shared<MedianTiledEngine>(std::make_shared<NoiseStage>(), "", false);
    auto blue = std::make_shared<MedianTiledEngine>(red, "", false);
    for (auto* stage : {red.get(), blue.get()}) {
        stage->setVerticalBorder(2);
        stage->setHorizontalBorder(2);
    }
    blue->setColorToProcess(2);
    blue->setParameters(std::nullopt,
                        {{settings::ArtifactFilter.c_str(), platform::Value(0.2)}}); // two passes each
    blue->runProcessToCompletion(TileRegion::null());
    for (auto _ : state) {
        red->markAllDirty();
        benchmark::DoNotOptimize(blue->runProcessToCompletion(TileRegion::null()));
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_MedianPair24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// Radius, then intensity; intensity 0 (a file opened without a preset) still maps every
// sample through its root and back.
void BM_Sharpening24MP(benchmark::State& state) {
    const double radius = double(state.range(0)), intensity = double(state.range(1));
    auto sharp = std::make_shared<SharpeningTiledEngine>(std::make_shared<NoiseStage>(), "", false);
    sharp->setParameters(std::nullopt, {{settings::InputRadius.c_str(), platform::Value(radius)},
                                        {settings::InputIntensity.c_str(), platform::Value(intensity)}});
    sharp->runProcessToCompletion(TileRegion::null());
    for (auto _ : state) {
        sharp->markAllDirty();
        benchmark::DoNotOptimize(sharp->runProcessToCompletion(TileRegion::null()));
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_Sharpening24MP)
    ->Args({1, 1})
    ->Args({4, 1})
    ->Args({16, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
