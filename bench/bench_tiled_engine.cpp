// A trivial stage over a 24 MP image: what the tiling, the tasks on the shared queue and the
// tile bookkeeping cost on top of the pixel work of every stage of the render chain.
#include <benchmark/benchmark.h>

#include "engine/core/ImageBufferU16.h"
#include "engine/core/TiledEngine.h"

namespace {

class InvertStage : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;
    void processTile(int32_t c0, int32_t c1, int32_t r0, int32_t r1, ImageBuffer*, ImageBuffer* dest,
                     int32_t) override {
        for (int32_t r = r0; r < r1; ++r) {
            uint16_t* p = dest->bufferU16ForRow(size_t(r), size_t(c0));
            for (size_t i = 0; i < size_t(c1 - c0) * 4; ++i)
                p[i] = uint16_t(~p[i]);
        }
    }
};

void BM_TrivialStage24MP(benchmark::State& state) {
    InvertStage stage(platform::Size{6000, 4000}, "", false);
    stage.runProcessToCompletion(TileRegion::null()); // the buffer is made once
    for (auto _ : state) {
        stage.markAllDirty();
        benchmark::DoNotOptimize(stage.runProcessToCompletion(TileRegion::null()));
    }
    state.SetItemsProcessed(state.iterations() * 6000 * 4000);
}
BENCHMARK(BM_TrivialStage24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the bookkeeping: nothing is dirty, so every task just scans the map.
void BM_CleanStage24MP(benchmark::State& state) {
    InvertStage stage(platform::Size{6000, 4000}, "", false);
    stage.runProcessToCompletion(TileRegion::null());
    for (auto _ : state)
        benchmark::DoNotOptimize(stage.runProcessToCompletion(TileRegion::null()));
}
BENCHMARK(BM_CleanStage24MP)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
