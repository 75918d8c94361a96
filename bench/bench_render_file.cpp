// render_file's road at 24 megapixels (6000 x 4000, an uncompressed synthetic DNG): both
// renderings decoded, the engine's five tiled passes, the export's strips with the colour
// conversion, then a +1 EV change rendered again; phase times and peak memory as counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "bench/RenderFile.h"
#include "settings/Schema.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TempHome.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

struct Files {
    testsupport::TempHome home;
    std::string dng;
    Files() {
        testsupport::SyntheticDngSpec spec;
        spec.width = kWidth;
        spec.height = kHeight;
        dng =
            testsupport::writeFile(home.path(), "render.dng", testsupport::buildSyntheticDng(spec)).string();
    }
};

void BM_RenderFile24MPDng(benchmark::State& state) {
    static Files files;
    renderfile::Result last;
    for (auto _ : state) {
        renderfile::Options options;
        options.input = files.dng;
        options.output = files.home.path() / "render.tiff";
        options.then.emplace(settings::InputEV.c_str(), 1.0);
        last = renderfile::renderFile(options);
        last.engine.reset(); // its buffers must not count in the next run
        if (last.exitStatus != 0 || last.renders.size() != 2) state.SkipWithError(last.message.c_str());
    }
    if (last.renders.size() != 2) return;
    const renderfile::RenderStats &first = last.renders[0], &then = last.renders[1];
    const double image = double(kWidth) * kHeight * 8; // one 16-bit RGBA image
    const uint64_t peak = std::max(first.peakBytes, then.peakBytes);
    state.counters["decode_s"] = first.decodeSeconds;
    state.counters["stages_s"] = first.stagesSeconds;
    state.counters["export_s"] = first.exportSeconds;
    state.counters["engine_s"] = first.stagesSeconds + first.exportSeconds;
    state.counters["then_s"] = then.totalSeconds;
    state.counters["growth_images"] = (double(peak) - double(last.afterDecodeBytes)) / image;
    state.counters["run_images"] = double(std::max(peak, last.decodePeakBytes)) / image;
}

BENCHMARK(BM_RenderFile24MPDng)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
