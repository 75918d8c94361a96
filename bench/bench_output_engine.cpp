// The output stage over a 24 MP tile source with the camera profile's gain curve and the
// highlight knee on: display tiles at zoom 1 from one and from eight threads at once, the
// whole-image tile of an export, and a table rebuild.
#include <benchmark/benchmark.h>

#include <atomic>

#include "dng/DNGCameraProfileAbstract.h"
#include "engine/core/BitmapImage.h"
#include "engine/stages/CoreTiledEngine.h"
#include "settings/Schema.h"
#include "tests/engine/StageSource.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

platform::Dictionary settings(double contrast) {
    return {{settings::CameraProfile.c_str(),
             DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList()},
            {settings::SceneReferred.c_str(), true},
            {settings::InputKneeLow.c_str(), 1.0},
            {settings::InputKneeHigh.c_str(), 4.0},
            {settings::InputContrast.c_str(), contrast},
            {settings::InputEV.c_str(), 0.5}};
}

// One rendered chain for all benchmarks and threads, with its zoom-1 image made.
CoreTiledEngine& engine() {
    static std::shared_ptr<CoreTiledEngine> core = [] {
        // A smooth colour gradient.
        auto source = std::make_shared<StageSource>(kWidth, kHeight, [](int32_t x, int32_t y) {
            return StageSource::Pixel{uint16_t(x * 65535 / kWidth), uint16_t(y * 65535 / kHeight),
                                      uint16_t((x + y) * 32767 / (kWidth + kHeight)), 65535};
        });
        auto c = std::make_shared<CoreTiledEngine>(source, "", false);
        c->setEnableCinematic(true);
        c->setCameraParameters(platform::Dictionary{});
        c->setParameters(std::nullopt, settings(0.2));
        c->runProcessToCompletion(c->mainMap().regionForRect(c->extent(), 0));
        c->imageTile(0, 1, {0, 0, 1, 1}, nullptr, nullptr, false, 1);
        return c;
    }();
    return *core;
}

void BM_DisplayTiles512(benchmark::State& state) {
    CoreTiledEngine& core = engine();
    static std::atomic<uint32_t> next{0};
    const int32_t columns = kWidth / 512, rows = kHeight / 512;
    for (auto _ : state) {
        const uint32_t n = next++;
        const platform::Rect rect{double(512 * int32_t(n % columns)),
                                  double(512 * int32_t(n / columns % rows)), 512, 512};
        bool thumbnail = false;
        benchmark::DoNotOptimize(core.imageTile(0, 1, rect, nullptr, &thumbnail, false, 1));
        if (thumbnail) state.SkipWithError("served from the thumbnail");
    }
    state.SetItemsProcessed(state.iterations() * 512 * 512);
}
BENCHMARK(BM_DisplayTiles512)->Threads(1)->Threads(8)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeImageTile(benchmark::State& state) {
    CoreTiledEngine& core = engine();
    for (auto _ : state)
        benchmark::DoNotOptimize(core.imageTile(0, 1, core.extent(), nullptr, nullptr, false, 1));
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_WholeImageTile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Queued on the stage's own queue; the one-pixel export request waits for it.
void BM_TableRebuild(benchmark::State& state) {
    CoreTiledEngine& core = engine();
    double contrast = 0;
    for (auto _ : state) {
        contrast = contrast > 0.5 ? 0 : contrast + 0.01;
        core.setParameters(settings::InputContrast.c_str(), settings(contrast));
        benchmark::DoNotOptimize(core.imageTile(0, 1, {0, 0, 1, 1}, nullptr, nullptr, false, 1));
    }
}
BENCHMARK(BM_TableRebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
