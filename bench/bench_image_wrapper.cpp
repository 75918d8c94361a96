// The raw image wrapper at 24 megapixels (6000 x 4000): its four-to-three conversion of a
// decoded buffer on the shared queue, and opening an uncompressed DNG with both renderings
// against the decoder's own two decodes of the same file and its one decode of both.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "raw/wrapper/rawWrapper.h"
#include "tests/raw/wrapper/DirectDecode.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/SyntheticDng.h"
#include "tests/support/TempHome.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr int64_t kPixels = int64_t(kWidth) * kHeight;

void BM_RgbaToRgb24MP(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh input each time, touched, as the decoder hands it over; the call frees it.
        rawWrapper::DecodedPixels rgba(static_cast<uint16_t*>(std::malloc(size_t(kPixels) * 8)));
        std::memset(rgba.get(), 0x5A, size_t(kPixels) * 8);
        state.ResumeTiming();
        auto rgb = rawWrapper::createRGBBufferFromRGBA(std::move(rgba), kPixels);
        benchmark::DoNotOptimize(rgb.get());
        state.PauseTiming();
        rgb.reset();
        state.ResumeTiming();
    }
    state.counters["MP/s"] =
        benchmark::Counter(double(kPixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// One synthetic camera file for the process, in a home of its own (no user defaults).
const std::string& syntheticDng() {
    static testsupport::TempHome home;
    static const std::string path = [] {
        testsupport::SyntheticDngSpec spec;
        spec.width = kWidth;
        spec.height = kHeight;
        return testsupport::writeFile(home.path(), "synthetic.dng", testsupport::buildSyntheticDng(spec))
            .string();
    }();
    return path;
}

void BM_WrapperOpens24MPDng(benchmark::State& state) {
    const std::string& path = syntheticDng();
    for (auto _ : state) {
        rawWrapper image(path, "bench", false);
        image.genImages();
        if (!image.masterImageBytes() || !image.alternateImageBytes()) state.SkipWithError("decode failed");
    }
}

void BM_DecoderTwoDecodes24MPDng(benchmark::State& state) {
    const std::string& path = syntheticDng();
    for (auto _ : state) {
        for (int which : {0, 1})
            if (!wrappertest::decodeDirectly(path, {which, false, false, false, nullptr}, false).ok)
                state.SkipWithError("decode failed");
    }
}

// The same two renderings from one unpacking of the file.
void BM_DecoderBothAtOnce24MPDng(benchmark::State& state) {
    const std::string& path = syntheticDng();
    for (auto _ : state) {
        const auto both = wrappertest::decodeBothDirectly(path, {0, false, false, false, nullptr}, false);
        if (!both[0].ok || !both[1].ok) state.SkipWithError("decode failed");
    }
}

// The same with only the master's 8-pixel frame, as whole artifact weights ask.
void BM_DecoderAlternateAndMastersFrame24MPDng(benchmark::State& state) {
    const std::string& path = syntheticDng();
    for (auto _ : state) {
        const auto both = wrappertest::decodeBothDirectly(path, {0, false, false, false, nullptr}, false, 8);
        if (!both[0].ok || !both[1].ok || !both[0].frame) state.SkipWithError("decode failed");
    }
}

BENCHMARK(BM_RgbaToRgb24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WrapperOpens24MPDng)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DecoderTwoDecodes24MPDng)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DecoderBothAtOnce24MPDng)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DecoderAlternateAndMastersFrame24MPDng)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace
